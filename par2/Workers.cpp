#include "par2/Workers.h"

#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace par2 {

bool RunJobs(size_t count, unsigned threads, const std::function<void(size_t)>& job, const std::function<bool()>& poll,
             std::atomic<bool>& cancel) {
  std::atomic<size_t> next{0};
  std::mutex mutex;
  std::condition_variable finished;
  size_t running = 0;
  std::exception_ptr failure;
  auto work = [&] {
    try {
      for (size_t i; !cancel && (i = next++) < count;) job(i);
    } catch (...) {
      std::lock_guard lock(mutex);
      if (!failure) failure = std::current_exception();
      cancel = true;
    }
    std::lock_guard lock(mutex);
    --running;
    finished.notify_all();
  };
  const size_t n = std::min<size_t>(threads == 0 ? 1 : threads, count);
  std::vector<std::thread> pool;
  running = n;
  for (size_t t = 0; t < n; ++t) pool.emplace_back(work);
  bool keepGoing = true;
  {
    std::unique_lock lock(mutex);
    while (running != 0) {
      finished.wait_for(lock, std::chrono::milliseconds(15));
      if (running == 0) break;
      lock.unlock();
      if (keepGoing && poll && !poll()) {
        keepGoing = false;
        cancel = true;
      }
      lock.lock();
    }
  }
  for (std::thread& t : pool) t.join();
  if (failure) std::rethrow_exception(failure);
  if (keepGoing && poll && !poll()) keepGoing = false;
  return keepGoing && !cancel;
}

}  // namespace par2
