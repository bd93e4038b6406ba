#include "host/base/unique_name.h"

#include <atomic>
#include <cinttypes>
#include <cstdio>
#include <random>

namespace tarrow::host {

std::string uniqueSuffix() {
  static std::atomic<uint64_t> calls{0};
  std::random_device entropy;
  const uint64_t random = (static_cast<uint64_t>(entropy()) << 32) ^ entropy();
  char text[48];
  std::snprintf(text, sizeof text, "%016" PRIx64 "-%" PRIu64, random, ++calls);
  return text;
}

}  // namespace tarrow::host
