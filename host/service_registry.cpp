#include "host/service_registry.h"

#include <atomic>

namespace tarrow::host {
namespace {

std::atomic<ServiceRegistry*> current{nullptr};

void* answerGlobal(const char* name, int /*useCode*/) noexcept {
  ServiceRegistry* registry = current.load(std::memory_order_acquire);
  try {
    return registry != nullptr && name != nullptr ? registry->lookup(name) : nullptr;
  } catch (...) {
    return nullptr;  // out of memory recording the request: the module gets no service
  }
}

}  // namespace

ServiceRegistry::~ServiceRegistry() {
  ServiceRegistry* self = this;
  current.compare_exchange_strong(self, nullptr);
}

void ServiceRegistry::provide(const std::string& name, void* service) {
  std::lock_guard lock(mutex_);
  services_[name] = service;
}

void ServiceRegistry::withdraw(const std::string& name) {
  std::lock_guard lock(mutex_);
  services_.erase(name);
}

void* ServiceRegistry::lookup(const char* name) {
  std::lock_guard lock(mutex_);
  requested_.emplace_back(name);
  auto found = services_.find(std::string_view(name));
  return found == services_.end() ? nullptr : found->second;
}

std::vector<std::string> ServiceRegistry::requested() const {
  std::lock_guard lock(mutex_);
  return requested_;
}

int ServiceRegistry::timesRequested(const std::string& name) const {
  std::lock_guard lock(mutex_);
  int count = 0;
  for (const auto& asked : requested_) count += asked == name ? 1 : 0;
  return count;
}

void ServiceRegistry::clearRequests() {
  std::lock_guard lock(mutex_);
  requested_.clear();
}

void ServiceRegistry::makeCurrent() { current.store(this, std::memory_order_release); }

GlobalFunc* ServiceRegistry::globalFunction() { return &answerGlobal; }

}  // namespace tarrow::host
