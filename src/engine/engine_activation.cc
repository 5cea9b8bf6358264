// The activation thread, which activates the controllers group by group, and
// the deactivation that undoes it group by group.
//
// A group is the controllers of one priority value: all of them are started
// at once (each on its own activation thread, which stays as the
// controller's reconnection monitor), and the next group waits until every
// one of them has signalled its activated event. The abort event ends every
// wait, so a stop never waits for a controller that cannot activate.
#include <chrono>
#include <map>
#include <thread>

#include "engine/engine_man.h"
#include "platform/log.h"

namespace tavrix {
namespace {

using Group = std::vector<Ref<CTavrixController>>;

// The controllers by priority, ascending; each group keeps the given order.
template <typename Priority>
std::map<int32_t, Group> GroupBy(const Group& controllers, Priority priority) {
  std::map<int32_t, Group> groups;
  for (const auto& c : controllers) groups[priority(*c)].push_back(c);
  return groups;
}

}  // namespace

HRESULT CTavrixEngineMan::StartActivation() {
  return activationThread_.Start("EngineActivate", [this] { ActivationThreadBody(); });
}

void CTavrixEngineMan::ActivationThreadBody() {
  Log(0, "TavrixEngineMan : Waiting Controller Activate.\n");
  // The abort event first: a stop wins over settings that arrive with it.
  if (WaitAny({&abort_, &settingsReceived_}) == 0) {
    activationResult_.store(E_ABORT.code());
    return;
  }
  Log(0, "TavrixEngineMan : Start Controller Activate.\n");
  for (const auto& c : Controllers()) (void)c->CreateTemporaryItems();
  activationResult_.store(ActivateGroups().code());
}

HRESULT CTavrixEngineMan::ActivateGroups() {
  bool anyStarted = false;
  const auto groups = GroupBy(Controllers(), [](CTavrixController& c) {
    return c.activatePriority();
  });
  for (const auto& [priority, members] : groups) {
    // A stop between two groups: the next group is not started at all.
    if (abort_.IsSet()) {
      Log(1, "TavrixEngineMan : Abort activate controller.\n");
      break;
    }
    Log(1, "TavrixEngineMan : Start activate controller group %d.\n", priority);
    Group waiting;
    for (const auto& c : members) {
      if (FAILED(c->StartActivationThread(true))) {
        LogResult(E_FAIL, 3, "TavrixEngineMan : Failed in activating TavrixController(%ls).\n",
                  c->name());
        continue;
      }
      {
        MutexLock lock(&controllersLock_);
        started_.push_back(c);
      }
      anyStarted = true;
      waiting.push_back(c);
    }
    for (const auto& c : waiting) {
      // A controller whose activation failed ends its activation thread
      // without the activated event; the groups after it still start.
      const int signalled = WaitAny({&abort_, &c->activatedEvent(), &c->activationEndedEvent()});
      if (signalled == 0) {
        Log(1, "TavrixEngineMan : Abort activate controller.\n");
        return anyStarted ? S_OK : E_FAIL;
      }
      if (signalled == 2) {
        Log(1, "TavrixEngineMan : Controller [%ls] is not activated.\n", c->name());
        continue;
      }
      Log(0, "TavrixEngineMan : Controller [%ls] is initialized.\n", c->name());
    }
    Log(1, "TavrixEngineMan : End activate controller group %d.\n", priority);
  }
  return anyStarted ? S_OK : E_FAIL;
}

void CTavrixEngineMan::Deactivate() {
  MutexLock lock(&memberLock_);
  if (deactivated_.exchange(true)) return;
  abort_.Set();
  // After the join no controller can be added to the started list.
  activationThread_.Join();

  const auto groups = GroupBy(StartedControllers(), [](CTavrixController& c) {
    return c.deactivatePriority();
  });
  for (const auto& [priority, members] : groups) {
    Log(1, "TavrixEngineMan : Start Deactivate Controller group %d.\n", priority);
    for (const auto& c : members) c->_StopReconnect();
    // Each controller is deactivated as soon as its monitor has ended, so a
    // slow one does not hold up the others of its group.
    Group remaining = members;
    for (;;) {
      std::erase_if(remaining, [](const Ref<CTavrixController>& c) {
        if (c->_WaitForStopReconnect(0) != 0) return false;
        c->_Deactivate();
        return true;
      });
      if (remaining.empty()) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(kDeactivatePollMs));
    }
    Log(1, "TavrixEngineMan : End Deactivate Controller group %d.\n", priority);
  }
}

}  // namespace tavrix
