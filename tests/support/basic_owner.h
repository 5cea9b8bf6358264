// BasicItemOwner: an IItemOwner made of plain values over one Zelt
// controller. It stands in for a controller where there is none: in item
// tests and benchmarks. The server never links it.
//
// The settings are plain members: set them before items are initialised and
// leave them while items run (the controller state is the exception). It
// keeps what the items report (history rows, change events, read reports)
// for tests to look at.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "item/item_owner.h"

namespace tavrix {

class BasicItemOwner : public IItemOwner {
 public:
  struct HistoryRow {
    std::string controller;
    std::string item;
    Variant value;
    double date = 0;
    uint32_t microsecond = 0;
  };

  explicit BasicItemOwner(std::string name);
  ~BasicItemOwner() override;

  // --- Settings -------------------------------------------------------------
  std::string name;
  int32_t samplingRate = 300;
  bool writeToCache = false;
  int32_t timeStampMode = 0;
  bool useHistory = true;
  int32_t controllerType = 0;
  bool autoReconnect = false;
  int32_t recCount = 0;
  std::atomic<int32_t> controllerState{1};  // tvCtrlThreadActive
  bool versioned = false;
  LCID lcid = 1033;
  bool notRepeatError = false;
  bool variableSync = false;
  HRESULT historyManager = S_OK;  // a failure: no history manager
  bool historyEnabled = true;
  HRESULT historyResult = S_OK;   // what AddHistory returns
  bool keepReports = true;        // keep history rows and change events (tests)

  // The Zelt controller variables are created on (null: none).
  void SetConnection(Ref<IZeltController> controller);
  // Registers an item for FindItem, and a lookup for other controllers.
  void AddItem(const Ref<CTavrixItem>& item);
  void SetEngineLookup(std::function<Ref<CTavrixItem>(std::string_view, std::string_view)> f);

  // --- What items reported ----------------------------------------------------
  std::vector<HistoryRow> History() const;
  std::vector<std::string> ChangeEvents() const;  // item names, in order
  int32_t readFailures() const { return readFailures_.load(); }
  int32_t deviceReads() const { return deviceReads_.load(); }
  void ClearReports();

  // --- IItemOwner ---------------------------------------------------------------
  std::string ControllerName() const override { return name; }
  int32_t SamplingRate() const override { return samplingRate; }
  bool WriteToCache() const override { return writeToCache; }
  int32_t TimeStampMode() const override { return timeStampMode; }
  bool UseHistory() const override { return useHistory; }
  int32_t ControllerType() const override { return controllerType; }
  bool AutoReconnect() const override { return autoReconnect; }
  int32_t RecCount() const override { return recCount; }
  int32_t ControllerState() const override { return controllerState.load(); }
  bool IsVersionedProject() const override { return versioned; }
  LCID Lcid() const override { return lcid; }
  bool NotRepeatError() const override { return notRepeatError; }
  std::unique_ptr<ILockHold> EnterVariableSync() override;
  HRESULT CreateVariable(const VariableDefinition& definition, Ref<IZeltVariable>* out) override;
  IKivData* KivData() override { return kivData_.get(); }
  void ReportRead(bool good, bool deviceRead) override;
  void FireOnChangeItem(CTavrixItem& item) override;
  Ref<CTavrixItem> FindItem(std::string_view itemName) override;
  Ref<CTavrixItem> FindEngineItem(std::string_view controller, std::string_view item) override;
  HRESULT HistoryEnabled(bool* enabled) override;
  HRESULT AddHistory(const std::string& controllerName, const std::string& itemName,
                     const Variant& value, double date, uint32_t microsecond) override;

 private:
  Ref<IKivData> kivData_;
  std::recursive_mutex syncLock_;  // the variable-sync lock, when variableSync

  mutable std::mutex lock_;  // guards the members below
  Ref<IZeltController> connection_;
  std::map<std::string, Ref<CTavrixItem>> items_;  // upper-cased names
  std::function<Ref<CTavrixItem>(std::string_view, std::string_view)> engineLookup_;
  std::vector<HistoryRow> history_;
  std::vector<std::string> changes_;

  std::atomic<int32_t> readFailures_{0};
  std::atomic<int32_t> deviceReads_{0};
};

}  // namespace tavrix
