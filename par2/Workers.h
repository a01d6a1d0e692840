#pragma once
// Work spread over the cores while the caller's thread reports progress.
#include <atomic>
#include <cstddef>
#include <functional>

namespace par2 {

// Runs job(i) for every i in [0, count) on up to `threads` threads. The
// caller's thread meanwhile calls poll() every few milliseconds and once at
// the end; when poll returns false, `cancel` is set for the jobs to see and
// RunJobs returns false. An exception in a job is passed on to the caller.
bool RunJobs(size_t count, unsigned threads, const std::function<void(size_t)>& job, const std::function<bool()>& poll,
             std::atomic<bool>& cancel);

}  // namespace par2
