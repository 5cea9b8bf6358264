// IItemOwner: what an item needs from the controller that owns it.
//
// Items live in the item library, below the controller, so they reach their
// controller only through this interface: the controller's settings that an
// item copies, the project-wide facts, the Zelt access that is shared between
// controllers, the reporting of reads and changes, the other items an alias
// or a sub-item names, and the history manager. CTavrixController implements
// it; tests and benchmarks use BasicItemOwner (tests/support/basic_owner.h).
//
// Every member may be called from any thread (the sampling thread, client
// threads, delayed-write threads) and must not call back into the calling
// item while that item holds its locks, except where a member says so.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "kivdata/kivdata.h"
#include "platform/ref.h"
#include "platform/result.h"
#include "platform/unknown.h"
#include "platform/variant.h"
#include "zelt/interfaces.h"

namespace tavrix {

class CTavrixItem;

// The controller state in which client reads of a deactivated item read the
// device at most once a sampling period (tvCtrlThreadDeactive).
inline constexpr int32_t kOwnerStateDeactive = 2;

// A held lock; destroying it leaves the lock.
class ILockHold {
 public:
  virtual ~ILockHold() = default;
};

// What an item asks for when it creates its Zelt variable. Texts are already
// expanded (replacement strings, connect mode).
struct VariableDefinition {
  int32_t varClass = 0;        // ZeltVarClass: 0 controller, 1 task, 2 robot, 3 extension, 4 file
  std::string name;            // variable name
  std::string option;          // variable option
  std::string objectName;      // class object (classes 1 to 4)
  std::string objectOption;    // its option
  // For files in a versioned project: the object name is a path of nested
  // files separated by this text (empty: one file).
  std::string fileDelimiter;
};

class IItemOwner {
 public:
  virtual ~IItemOwner() = default;

  // --- The controller's own settings (its SettingData keys) ---------------

  // The controller's name (m_bstrTVXCtrlName): in log lines and history rows.
  virtual std::string ControllerName() const = 0;
  virtual int32_t SamplingRate() const = 0;   // "Sampling Rate" (7), ms
  virtual bool WriteToCache() const = 0;      // "Write to Cache" (5)
  virtual int32_t TimeStampMode() const = 0;  // "Time Stamp" (6): 0 none, 1 device, 2 local, 3 UTC
  virtual bool UseHistory() const = 0;        // "Use History" (4)
  virtual int32_t ControllerType() const = 0; // key 17: 1 = never connects
  virtual bool AutoReconnect() const = 0;     // m_bAutoReconn
  virtual int32_t RecCount() const = 0;       // m_lRecCount
  // The controller state now (tvCtrlThread...).
  virtual int32_t ControllerState() const = 0;

  // --- Project and process ---------------------------------------------------

  virtual bool IsVersionedProject() const = 0;
  // The LCID system setting: the locale of value comparisons and texts.
  virtual LCID Lcid() const = 0;
  // The NotRepeatError system setting: a failing item logs once until it
  // succeeds again.
  virtual bool NotRepeatError() const = 0;

  // --- Zelt access -------------------------------------------------------------

  // Enters the lock that serialises variable access through the shared Zelt
  // controller (m_bVariableSync); null when the controller does not sync.
  // The item holds the result around get_Value and put_Value.
  virtual std::unique_ptr<ILockHold> EnterVariableSync() = 0;
  // Creates (or takes the existing) Zelt variable `definition` names on the
  // controller's connection, serialised with opening and closing. S_OK and
  // *out set; a failure (no connection, the provider refused) leaves *out
  // null. CreateZeltVariable (item/zelt_variable.h) does the Zelt part.
  virtual HRESULT CreateVariable(const VariableDefinition& definition,
                                 Ref<IZeltVariable>* out) = 0;
  // The controller's data-conversion component, or null when it has none.
  virtual IKivData* KivData() = 0;

  // --- Reporting -------------------------------------------------------------

  // A read outside the cycle (a client's get_Value) for the failed-cycle
  // counter: good or failed, and whether the device was asked.
  virtual void ReportRead(bool good, bool deviceRead) = 0;
  // The item's value changed and it has an OnChange observer: fire
  // OnChangeItem to clients, the DDE advise and the external trigger plug-in.
  // Runs on the reading thread inside the item's notification (the item's
  // observer-list lock is held).
  virtual void FireOnChangeItem(CTavrixItem& item) = 0;

  // --- Other items -------------------------------------------------------------

  // An item of this controller by name (without regard to case), or null.
  virtual Ref<CTavrixItem> FindItem(std::string_view name) = 0;
  // An item of the controller named `controller` (found through the engine
  // manager, without regard to case), or null.
  virtual Ref<CTavrixItem> FindEngineItem(std::string_view controller, std::string_view item) = 0;

  // --- History -----------------------------------------------------------------

  // Whether the history manager records history; a failure when no history
  // manager could be had (the item then records nothing).
  virtual HRESULT HistoryEnabled(bool* enabled) = 0;
  // Records one value in the history database (AddHistory of the history
  // manager): controller name, item name, value, date, microsecond.
  virtual HRESULT AddHistory(const std::string& controllerName, const std::string& itemName,
                             const Variant& value, double date, uint32_t microsecond) = 0;
};

}  // namespace tavrix
