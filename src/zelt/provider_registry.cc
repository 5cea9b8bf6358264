// The provider registry. ZeltProv.Sim is entered when the registry is first
// used, so linking the library is all a program needs to have the simulator.
#include <mutex>
#include <unordered_map>

#include "platform/text.h"
#include "zelt/provider.h"
#include "zelt/sim_provider.h"

namespace tavrix {
namespace {

struct Registry {
  std::mutex mutex;  // guards factories
  std::unordered_map<std::string, ZeltProviderFactory, NoCaseHash, NoCaseEqual> factories;
};

Registry& TheRegistry() {
  static Registry* registry = [] {
    auto* r = new Registry;  // lives for the process: providers may be asked for at exit
    r->factories.emplace(std::string(kZeltSimProviderName), &CreateSimProvider);
    return r;
  }();
  return *registry;
}

}  // namespace

std::string ZeltScopeKey(const ZeltScope& scope) {
  std::string key;
  for (const ZeltScopeStep& step : scope) {
    key += static_cast<char>('0' + step.kind);
    key += ':';
    key += FoldCase(step.name);
    key += '\x1F';  // a unit separator: no name is expected to hold one
  }
  return key;
}

void RegisterZeltProvider(std::string_view name, ZeltProviderFactory factory) {
  Registry& r = TheRegistry();
  ZeltProviderFactory replaced;  // destroyed outside the lock
  std::lock_guard lock(r.mutex);
  auto [it, added] = r.factories.try_emplace(std::string(name), std::move(factory));
  if (!added) {
    replaced = std::move(it->second);
    it->second = std::move(factory);
  }
}

std::unique_ptr<IZeltProvider> CreateZeltProvider(std::string_view name) {
  Registry& r = TheRegistry();
  ZeltProviderFactory factory;
  {
    std::lock_guard lock(r.mutex);
    auto it = r.factories.find(name);
    if (it == r.factories.end()) return nullptr;
    factory = it->second;
  }
  return factory ? factory() : nullptr;
}

}  // namespace tavrix
