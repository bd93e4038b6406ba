#include "host/run/frame_loop.h"

#include <algorithm>
#include <stdexcept>
#include <string>
#include <system_error>

namespace tarrow::host {

WorkerPool::WorkerPool(int threads) {
  if (threads > kMaxThreads) {
    throw std::runtime_error(std::to_string(threads) + " threads asked for; a run uses at most " +
                             std::to_string(kMaxThreads));
  }
  if (threads <= 0) threads = std::min(static_cast<int>(std::thread::hardware_concurrency()), kMaxThreads);
  if (threads <= 0) threads = 1;
  workers_.reserve(static_cast<size_t>(threads - 1));
  try {
    for (int part = 1; part < threads; ++part) {
      workers_.emplace_back([this, part] { serve(static_cast<size_t>(part)); });
    }
  } catch (const std::system_error& error) {
    // A thread that did not start is not in workers_, so nothing waits for it; the ones that
    // did start are told to stop and joined, and the pool is refused whole.
    const size_t failed = workers_.size() + 2;  // the calling thread is the first
    stop();
    throw std::runtime_error("cannot start " + std::to_string(threads) + " threads: thread " +
                             std::to_string(failed) + " did not start (" + error.code().message() + ")");
  }
}

WorkerPool::~WorkerPool() { stop(); }

void WorkerPool::stop() noexcept {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  start_.notify_all();
  for (auto& worker : workers_) worker.join();
  workers_.clear();
}

void WorkerPool::partRange(size_t part, size_t& begin, size_t& end) const {
  const size_t parts = workers_.size() + 1;
  begin = count_ * part / parts;
  end = count_ * (part + 1) / parts;
}

void WorkerPool::run(size_t count, Work work, void* context) {
  if (workers_.empty()) {
    work(context, 0, count);
    return;
  }
  {
    std::lock_guard lock(mutex_);
    count_ = count;
    work_ = work;
    context_ = context;
    pending_ = workers_.size();
    ++generation_;
  }
  start_.notify_all();
  size_t begin = 0;
  size_t end = 0;
  partRange(0, begin, end);
  work(context, begin, end);
  std::unique_lock lock(mutex_);
  done_.wait(lock, [this] { return pending_ == 0; });
}

void WorkerPool::serve(size_t part) {
  unsigned long long seen = 0;
  for (;;) {
    size_t begin = 0;
    size_t end = 0;
    Work work = nullptr;
    void* context = nullptr;
    {
      std::unique_lock lock(mutex_);
      start_.wait(lock, [&] { return stopping_ || generation_ != seen; });
      if (stopping_) return;
      seen = generation_;
      partRange(part, begin, end);
      work = work_;
      context = context_;
    }
    work(context, begin, end);
    {
      std::lock_guard lock(mutex_);
      --pending_;
    }
    done_.notify_one();
  }
}

}  // namespace tarrow::host
