#include "host/loader/unprovided.h"

#include <cstdio>
#include <cstdlib>

namespace tarrow::host {

void stopUnprovided(const char* table, const char* member) noexcept {
  std::fprintf(stderr, "tarrow-host: the module called %s.%s, which this stand-in host does not provide\n",
               table, member);
  std::fflush(stderr);
  std::_Exit(kUnprovidedExitStatus);
}

void stopUnprovidedSlot(const char* table, std::size_t index) noexcept {
  std::fprintf(stderr,
               "tarrow-host: the module called %s member %zu, which this stand-in host does not provide\n",
               table, index);
  std::fflush(stderr);
  std::_Exit(kUnprovidedExitStatus);
}

}  // namespace tarrow::host
