// Threads that share the points of one frame: each pass splits a range into one contiguous
// part per thread, so which thread computes a point never changes its result.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>
#include <vector>

namespace tarrow::host {

class WorkerPool {
 public:
  // Work over the points [begin, end) of a pass; context is the caller's.
  using Work = void (*)(void* context, size_t begin, size_t end);

  // The most threads a pool takes: far more than one frame's points can use (each thread takes
  // one contiguous part), and few enough that a system gives them to one process.
  static constexpr int kMaxThreads = 1024;

  // threads <= 0: one per hardware core. The calling thread is one of them. Throws
  // std::runtime_error with a one-line message for more than kMaxThreads, or when the system
  // does not start a thread; the threads started before then are stopped first.
  explicit WorkerPool(int threads);
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  int threads() const { return static_cast<int>(workers_.size()) + 1; }

  // Runs work over [0, count) and returns when every part is done. Allocates nothing, so a
  // pass can be timed or counted on its own.
  void run(size_t count, Work work, void* context);

 private:
  void serve(size_t part);
  void stop() noexcept;
  void partRange(size_t part, size_t& begin, size_t& end) const;

  std::vector<std::thread> workers_;
  std::mutex mutex_;
  std::condition_variable start_;
  std::condition_variable done_;
  unsigned long long generation_ = 0;
  size_t pending_ = 0;
  bool stopping_ = false;
  size_t count_ = 0;
  Work work_ = nullptr;
  void* context_ = nullptr;
};

}  // namespace tarrow::host
