#include "unrar/ReadAhead.h"

#include <system_error>

#include "unrar/Blocks.h"

namespace unrar {

ReadAhead::~ReadAhead() {
  if (!thread_.joinable()) return;
  finish();
  state_.store(Quit);
  state_.notify_one();
  thread_.join();
}

void ReadAhead::start(int fd, uint8_t* buf, size_t size, uint64_t offset) {
  fd_ = fd;
  buf_ = buf;
  size_ = size;
  offset_ = offset;
  if (!thread_.joinable()) {
    try {
      thread_ = std::thread(&ReadAhead::loop, this);
    } catch (const std::system_error&) {
      ok_ = preadAll(fd_, buf_, size_, offset_);  // no second thread to be had
      return;
    }
  }
  state_.store(Requested, std::memory_order_release);
  state_.notify_one();
}

bool ReadAhead::finish() {
  for (int s = state_.load(std::memory_order_acquire); s == Requested; s = state_.load(std::memory_order_acquire))
    state_.wait(s);
  return ok_;
}

void ReadAhead::loop() {
  for (;;) {
    int s = state_.load(std::memory_order_acquire);
    if (s == Quit) return;
    if (s != Requested) {
      state_.wait(s);
      continue;
    }
    ok_ = preadAll(fd_, buf_, size_, offset_);
    state_.store(Idle, std::memory_order_release);
    state_.notify_one();
  }
}

}  // namespace unrar
