#include "host/frame_loop.h"

namespace tarrow::host {

WorkerPool::WorkerPool(int threads) {
  if (threads <= 0) threads = static_cast<int>(std::thread::hardware_concurrency());
  if (threads <= 0) threads = 1;
  workers_.reserve(static_cast<size_t>(threads - 1));
  for (int part = 1; part < threads; ++part) {
    workers_.emplace_back([this, part] { serve(static_cast<size_t>(part)); });
  }
}

WorkerPool::~WorkerPool() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  start_.notify_all();
  for (auto& worker : workers_) worker.join();
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
