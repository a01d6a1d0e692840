// Reading the next range of a volume on a second thread while the caller
// checks and writes the range before it, so that stored data costs the
// slower of the two rather than their sum.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <thread>

namespace unrar {

class ReadAhead {
 public:
  ReadAhead() = default;
  ~ReadAhead();
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // Starts reading exactly `size` bytes at `offset` of `fd` into `buf`. The
  // thread is started on first use; without one the read happens here.
  void start(int fd, uint8_t* buf, size_t size, uint64_t offset);
  // Waits for the read started last; false when it failed or came up short.
  bool finish();

 private:
  enum State : int { Idle, Requested, Quit };
  void loop();

  std::thread thread_;
  std::atomic<int> state_{Idle};
  int fd_ = -1;
  uint8_t* buf_ = nullptr;
  size_t size_ = 0;
  uint64_t offset_ = 0;
  bool ok_ = true;
};

}  // namespace unrar
