#include "host/loader/service_registry.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace tarrow::host {
namespace {

std::atomic<ServiceRegistry*> current{nullptr};

}  // namespace

ServiceRegistry::~ServiceRegistry() {
  ServiceRegistry* self = this;
  current.compare_exchange_strong(self, nullptr);
}

void ServiceRegistry::provide(std::string_view name, void* service) {
  std::lock_guard lock(provideMutex_);
  const std::size_t count = published_.load(std::memory_order_relaxed);
  for (std::size_t i = 0; i < count; ++i) {
    if (entries_[i].name == name) {
      entries_[i].service.store(service, std::memory_order_release);
      return;
    }
  }
  if (count == kCapacity) {
    throw std::length_error("the service registry is full: no room for \"" + std::string(name) + "\"");
  }
  Entry& entry = entries_[count];
  entry.name.assign(name);
  entry.service.store(service, std::memory_order_relaxed);
  published_.store(count + 1, std::memory_order_release);  // the entry is complete before it is seen
}

const ServiceRegistry::Entry* ServiceRegistry::find(std::string_view name) const noexcept {
  const std::size_t count = published_.load(std::memory_order_acquire);
  for (std::size_t i = 0; i < count; ++i) {
    if (entries_[i].name == name) return &entries_[i];
  }
  return nullptr;
}

void* ServiceRegistry::lookup(std::string_view name) noexcept {
  const Entry* entry = find(name);
  if (entry == nullptr) {
    unprovided_.fetch_add(1, std::memory_order_relaxed);
    return nullptr;
  }
  entry->requests.fetch_add(1, std::memory_order_relaxed);
  return entry->service.load(std::memory_order_acquire);
}

long long ServiceRegistry::timesRequested(std::string_view name) const noexcept {
  const Entry* entry = find(name);
  return entry != nullptr ? entry->requests.load(std::memory_order_relaxed) : 0;
}

long long ServiceRegistry::unprovidedRequests() const noexcept {
  return unprovided_.load(std::memory_order_relaxed);
}

long long ServiceRegistry::totalRequests() const noexcept {
  long long total = unprovidedRequests();
  const std::size_t count = published_.load(std::memory_order_acquire);
  for (std::size_t i = 0; i < count; ++i) total += entries_[i].requests.load(std::memory_order_relaxed);
  return total;
}

void ServiceRegistry::noteMissed(const char* name) noexcept {
  const std::size_t count = std::min(missedCount_.load(std::memory_order_acquire), kCapacity);
  for (std::size_t i = 0; i < count; ++i) {
    const char* known = missed_[i].load(std::memory_order_acquire);
    if (known != nullptr && std::strcmp(known, name) == 0) return;
  }
  const std::size_t slot = missedCount_.fetch_add(1, std::memory_order_acq_rel);
  if (slot < kCapacity) missed_[slot].store(name, std::memory_order_release);
}

std::vector<std::string> ServiceRegistry::missedNames() const {
  std::vector<std::string> names;
  const std::size_t count = std::min(missedCount_.load(std::memory_order_acquire), kCapacity);
  for (std::size_t i = 0; i < count; ++i) {
    if (const char* name = missed_[i].load(std::memory_order_acquire)) names.emplace_back(name);
  }
  return names;
}

void ServiceRegistry::forgetMissed() noexcept {
  for (auto& name : missed_) name.store(nullptr, std::memory_order_relaxed);
  missedCount_.store(0, std::memory_order_release);
}

void ServiceRegistry::makeCurrent() noexcept { current.store(this, std::memory_order_release); }

void* ServiceRegistry::answer(const char* name, int /*useMode*/) noexcept {
  ServiceRegistry* registry = current.load(std::memory_order_acquire);
  if (registry == nullptr) return nullptr;
  if (name == nullptr) {
    registry->unprovided_.fetch_add(1, std::memory_order_relaxed);
    return nullptr;
  }
  void* service = registry->lookup(name);
  if (service == nullptr) registry->noteMissed(name);
  return service;
}

GlobalFunc* ServiceRegistry::globalFunction() noexcept { return &answer; }

}  // namespace tarrow::host
