// Global services offered to a loaded module by name, as the host's global function does.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "sdk/lwtypes.h"

namespace tarrow::host {

// The module reaches the host through one plain function pointer with no user data, so the
// registry that answers it is process-wide: the one most recently made current.
//
// The module may ask at any time and from any thread (every new time fetches the scene info
// again), so answering allocates nothing and takes no lock: the names sit in a fixed table
// filled while the host starts up, and each name keeps a count of its requests instead of a
// log that would grow with the length of a run.
class ServiceRegistry {
 public:
  // How many names one registry offers at most; the host offers nine.
  static constexpr std::size_t kCapacity = 16;

  ServiceRegistry() = default;
  ServiceRegistry(const ServiceRegistry&) = delete;
  ServiceRegistry& operator=(const ServiceRegistry&) = delete;
  ~ServiceRegistry();

  // Offers a service (a table, a function or a plain value) under a name, or replaces the one
  // offered under it. The first offer of a name copies the name; throws std::length_error when
  // kCapacity names are offered already.
  void provide(std::string_view name, void* service);

  // Answers a request and counts it: the service, or null for a name nobody provides.
  void* lookup(std::string_view name) noexcept;

  // Requests of a name offered here so far (0 for a name not offered).
  long long timesRequested(std::string_view name) const noexcept;
  // Requests of names nobody provides, null names included.
  long long unprovidedRequests() const noexcept;
  // Every request so far.
  long long totalRequests() const noexcept;
  // The names asked for that nobody provides, each once, in the order first asked (at most
  // kCapacity of them), since the registry was made or forgetMissed was called.
  std::vector<std::string> missedNames() const;
  void forgetMissed() noexcept;

  // Makes this registry the one the global function answers from.
  void makeCurrent() noexcept;
  // The host's global function, to hand to activation entries.
  static GlobalFunc* globalFunction() noexcept;

 private:
  struct Entry {
    std::string name;  // written before the entry is published, never after
    std::atomic<void*> service{nullptr};
    mutable std::atomic<long long> requests{0};
  };

  // The published entry of this name, or null.
  const Entry* find(std::string_view name) const noexcept;
  // The global function: the current registry's answer.
  static void* answer(const char* name, int useMode) noexcept;

  std::mutex provideMutex_;  // one offer at a time; lookups never take it
  std::array<Entry, kCapacity> entries_;
  std::atomic<std::size_t> published_{0};
  std::atomic<long long> unprovided_{0};
  // The module's own texts, which live as long as it is loaded; kept without copying.
  std::array<std::atomic<const char*>, kCapacity> missed_{};
  std::atomic<std::size_t> missedCount_{0};
  void noteMissed(const char* name) noexcept;
};

}  // namespace tarrow::host
