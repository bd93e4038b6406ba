// Global services offered to a loaded module by name, as the host's global function does.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "sdk/lwtypes.h"

namespace tarrow::host {

// The module reaches the host through one plain function pointer with no user data, so the
// registry that answers it is process-wide: the one most recently made current.
class ServiceRegistry {
 public:
  ServiceRegistry() = default;
  ServiceRegistry(const ServiceRegistry&) = delete;
  ServiceRegistry& operator=(const ServiceRegistry&) = delete;
  ~ServiceRegistry();

  // Offers a service (a table, a function or a plain value) under a name.
  void provide(const std::string& name, void* service);
  void withdraw(const std::string& name);

  // Answers a request and records its name; null for a name nobody provides.
  void* lookup(const char* name);

  // Every name asked for, in order, repeats included.
  std::vector<std::string> requested() const;
  int timesRequested(const std::string& name) const;
  void clearRequests();

  // Makes this registry the one the global function answers from.
  void makeCurrent();
  // The host's global function, to hand to activation entries.
  static GlobalFunc* globalFunction();

 private:
  mutable std::mutex mutex_;
  std::map<std::string, void*, std::less<>> services_;
  std::vector<std::string> requested_;
};

}  // namespace tarrow::host
