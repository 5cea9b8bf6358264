#include "zelt/sim_state.h"

#include <cmath>
#include <utility>

#include "platform/clock.h"

namespace tavrix {
namespace {

struct StateRegistry {
  std::mutex mutex;  // guards states; a leaf lock
  std::unordered_map<std::string, std::shared_ptr<SimState>, NoCaseHash, NoCaseEqual> states;
};

StateRegistry& Registry() {
  static StateRegistry* registry = new StateRegistry;  // for the process: used at exit too
  return *registry;
}

}  // namespace

SimState::SimState(std::string name, const SimOptions& options)
    : name_(std::move(name)), options_(options), random_(options.seed) {}

HRESULT SimState::CountOpen(std::string* error) {
  uint32_t open = 0;
  {
    std::lock_guard lock(mutex_);
    if (opens_ < UINT32_MAX) ++opens_;
    open = opens_;
  }
  if (open > options_.openFailures) return S_OK;
  *error = "ZeltProv.Sim: open " + std::to_string(open) + " of controller '" + name_ +
           "' fails (open_failures=" + std::to_string(options_.openFailures) + ")";
  return E_FAIL;
}

std::shared_ptr<SimCell> SimState::Cell(std::string_view scopeKey, std::string_view name,
                                        const SimVarShape& shape) {
  std::string key(scopeKey);
  key += FoldCase(name);
  std::lock_guard lock(mutex_);
  std::shared_ptr<SimCell>& cell = cells_[key];
  if (!cell) cell = std::make_shared<SimCell>(shape);
  return cell;
}

int64_t SimState::ToDevice(int64_t hostUtcMicros) const {
  return hostUtcMicros + std::llround(options_.clockOffsetS * 1e6);
}

int64_t SimState::DeviceUtcMicros() const { return ToDevice(SystemClock().UtcMicros()); }

HRESULT SimState::Read(SimCell& cell, Variant* value, int64_t* utcMicros) {
  if (options_.readLatencyMs > 0) SystemClock().SleepMs(options_.readLatencyMs);
  const int64_t host = SystemClock().UtcMicros();
  const int64_t device = ToDevice(host);
  Variant v;
  {
    std::lock_guard lock(mutex_);
    if (!online_) return E_FAIL;
    v = ReadSimCell(cell, host, device, random_);
  }
  *value = std::move(v);
  *utcMicros = device;
  return S_OK;
}

HRESULT SimState::Write(SimCell& cell, const Variant& value, int64_t* utcMicros,
                        std::string* error) {
  const int64_t device = DeviceUtcMicros();
  std::lock_guard lock(mutex_);
  if (!online_) {
    *error = "ZeltProv.Sim: controller '" + name_ + "' is offline";
    return E_FAIL;
  }
  RETURN_IF_FAILED(WriteSimCell(cell, value, error));
  *utcMicros = device;
  return S_OK;
}

void SimState::SetOnline(bool online) {
  std::lock_guard lock(mutex_);
  online_ = online;
}

bool SimState::online() const {
  std::lock_guard lock(mutex_);
  return online_;
}

int32_t SimState::NextSerial() {
  std::lock_guard lock(mutex_);
  serial_ = serial_ == INT32_MAX ? 1 : serial_ + 1;
  return serial_;
}

std::shared_ptr<SimState> SimStateFor(std::string_view name, const SimOptions& options) {
  StateRegistry& r = Registry();
  std::lock_guard lock(r.mutex);
  auto it = r.states.find(name);
  if (it != r.states.end()) return it->second;
  auto state = std::make_shared<SimState>(std::string(name), options);
  r.states.emplace(std::string(name), state);
  return state;
}

void ResetZeltSimulator() {
  std::unordered_map<std::string, std::shared_ptr<SimState>, NoCaseHash, NoCaseEqual> old;
  StateRegistry& r = Registry();
  std::lock_guard lock(r.mutex);
  old.swap(r.states);
}

}  // namespace tavrix
