#include "host/run/frame_loop.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

#if defined(__linux__)
#include <sys/resource.h>
#endif

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TARROW_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define TARROW_SANITIZED 1
#endif
#endif

namespace tarrow::host {
namespace {

using ::testing::HasSubstr;

// Counts how often each index of a pass was handed out.
struct Visits {
  std::vector<std::atomic<int>> counts;
  explicit Visits(size_t n) : counts(n) {}
  static void work(void* context, size_t begin, size_t end) {
    auto& visits = *static_cast<Visits*>(context);
    for (size_t i = begin; i < end; ++i) visits.counts[i].fetch_add(1, std::memory_order_relaxed);
  }
  bool eachOnce() const {
    for (const auto& count : counts) {
      if (count.load() != 1) return false;
    }
    return true;
  }
};

// What a refused pool says: one line, naming the count asked for.
std::string refusal(int threads) {
  try {
    WorkerPool pool(threads);
  } catch (const std::runtime_error& error) {
    return error.what();
  }
  return "(accepted)";
}

TEST(WorkerPoolTest, TakesUpToItsLimitAndRefusesMoreWithOneLine) {
  for (int threads : {WorkerPool::kMaxThreads + 1, 100000}) {
    SCOPED_TRACE(threads);
    const std::string message = refusal(threads);
    EXPECT_THAT(message, HasSubstr(std::to_string(threads) + " threads"));
    EXPECT_THAT(message, HasSubstr("at most " + std::to_string(WorkerPool::kMaxThreads)));
    EXPECT_EQ(message.find('\n'), std::string::npos);
  }

  WorkerPool pool(WorkerPool::kMaxThreads);
  EXPECT_EQ(pool.threads(), WorkerPool::kMaxThreads);
  Visits visits(3 * WorkerPool::kMaxThreads + 7);
  pool.run(visits.counts.size(), &Visits::work, &visits);
  EXPECT_TRUE(visits.eachOnce());
}

#if defined(__linux__) && !defined(TARROW_SANITIZED)
// The process's address space now, from /proc.
long long addressSpaceBytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmSize:", 0) == 0) return std::stoll(line.substr(7)) * 1024;
  }
  return -1;
}

// Room for a few thread stacks and no more: the pool starts some of its threads, then the
// system refuses one. The run must not wait for that thread, nor keep the others running.
// Runs in a child of its own, which prints what went wrong and exits 1, or exits 0.
void startAPoolWithRoomForAFewThreads() {
  std::string problems;
  const long long now = addressSpaceBytes();
  const auto limit = static_cast<rlim_t>(now + (64ll << 20));
  const rlimit room{limit, limit};
  if (now <= 0 || setrlimit(RLIMIT_AS, &room) != 0) problems += "cannot limit the address space\n";
  const std::string message = refusal(64);
  std::smatch found;
  if (!std::regex_match(message, found,
                        std::regex("cannot start 64 threads: thread ([0-9]+) did not start \\(.+\\)")) ||
      std::stoi(found[1]) < 3) {
    problems += "refusal: " + message + "\n";
  }
  // What did start was stopped, and a pool that fits still works.
  WorkerPool pool(2);
  Visits visits(101);
  pool.run(visits.counts.size(), &Visits::work, &visits);
  if (!visits.eachOnce()) problems += "a pool of two missed points\n";
  std::fputs(problems.c_str(), stderr);
  std::fflush(stderr);
  std::exit(problems.empty() ? 0 : 1);
}

TEST(WorkerPoolTest, AThreadThatCannotStartIsNotWaitedFor) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(startAPoolWithRoomForAFewThreads(), ::testing::ExitedWithCode(0), "");
}
#endif

}  // namespace
}  // namespace tarrow::host
