// The system-value action (14): writes a value of the engine, of a controller
// or of an item's properties to an item or temporary item.
//
// m_strPutValue has three fields separated by "\": controller, item and
// property.
//   "\\<engine or controller value>"  LastError, SystemTime, LocalTime,
//                                     AsyncQueueSize, else a value of the own
//                                     controller ($Controller names)
//   "<controller>\\<value>"           a value of that controller
//   "<controller>\<item>\<property>"  a property of that controller's item
//   "\<item>\<property>"              a property of an own item
#include <string>
#include <vector>

#include "config/trigger_info.h"
#include "controller/controller.h"
#include "controller/controller_lookup.h"
#include "item/item.h"
#include "item/item_properties.h"
#include "platform/clock.h"
#include "platform/date.h"
#include "platform/text.h"
#include "trigger/action_object.h"
#include "trigger/actions/action_makers.h"
#include "trigger/controller_values.h"
#include "trigger/operand.h"
#include "trigger/trigger_services.h"

namespace tavrix {

namespace {

enum EngineValue : int32_t {
  kLastError = 0,
  kSystemTime = 1,
  kLocalTime = 2,
  kAsyncQueueSize = 3,
};

constexpr std::string_view kEngineValueNames[] = {"LastError", "SystemTime", "LocalTime",
                                                  "AsyncQueueSize"};

template <size_t N>
int32_t NumberIn(const std::string_view (&names)[N], std::string_view name) {
  for (size_t i = 0; i < N; ++i) {
    if (EqualsNoCase(names[i], name)) return static_cast<int32_t>(i);
  }
  return -1;
}

std::vector<std::string_view> SplitFields(std::string_view text) {
  std::vector<std::string_view> fields;
  size_t start = 0;
  while (true) {
    const size_t slash = text.find('\\', start);
    fields.push_back(text.substr(start, slash - start));
    if (slash == std::string_view::npos) return fields;
    start = slash + 1;
  }
}

}  // namespace

class CPutSystemValueObject final : public CActionObject {
 public:
  explicit CPutSystemValueObject(const ActionExInfo& info)
      : controllerName_(info.m_strPutController),
        itemName_(info.m_strPutItem),
        sourceText_(info.m_strPutValue) {}

  HRESULT Initialize(CTavrixController& controller) override {
    ReleaseResources();
    HRESULT hr = ResolveTarget(controller, controllerName_, itemName_, &target_);
    if (SUCCEEDED(hr)) hr = ResolveSource(controller);
    if (FAILED(hr)) {
      ReleaseResources();
      LogNode(hr, 1, "Failed in Initialize().");
      return hr;
    }
    return S_OK;
  }

  HRESULT Execute(int32_t, IZeltMessage*) override {
    if (!target_.resolved()) return S_FALSE;
    Variant value;
    HRESULT hr = ReadSource(&value);
    if (SUCCEEDED(hr)) hr = WriteOperand(target_, value);
    // Reported whatever it is: this action keeps no earlier result, so the
    // value it read (LastError) was the one before it.
    ReportResult(hr, *this);
    if (FAILED(hr)) {
      LogNode(hr, 1, "Failed in Execute().");
      return S_FALSE;
    }
    return S_OK;
  }

  void ReleaseResources() override {
    target_.Reset();
    source_ = Source::kNone;
    number_ = -1;
    item_ = nullptr;
    otherController_ = nullptr;
    valueController_ = nullptr;
  }
  bool ClearsLastResult() const override { return false; }
  const char* GetClassName() const override { return "CPutSystemValueObject"; }

 private:
  enum class Source { kNone, kEngine, kController, kItem };

  // The controller named `name`, or null.
  CTavrixController* FindController(CTavrixController& owner, std::string_view name) {
    return NamedController(owner, name, &otherController_);
  }

  HRESULT ResolveSource(CTavrixController& owner) {
    const std::vector<std::string_view> fields = SplitFields(sourceText_);
    if (fields.size() != 3 || fields[2].empty()) return E_INVALIDARG;
    const std::string_view controllerField = fields[0];
    const std::string_view itemField = fields[1];
    const std::string_view property = fields[2];
    if (!itemField.empty()) {
      CTavrixController* controller =
          controllerField.empty() ? &owner : FindController(owner, controllerField);
      if (controller == nullptr) return E_INVALIDARG;
      item_ = controller->FindItem(itemField);
      number_ = ItemPropertyNumber(property);
      if (!item_ || number_ < 0) return E_INVALIDARG;
      source_ = Source::kItem;
      return S_OK;
    }
    if (controllerField.empty()) {
      number_ = NumberIn(kEngineValueNames, property);
      if (number_ >= 0) {
        source_ = Source::kEngine;
        return S_OK;
      }
      valueController_ = &owner;
    } else {
      valueController_ = FindController(owner, controllerField);
      if (valueController_ == nullptr) return E_INVALIDARG;
    }
    number_ = ControllerValueNumber(property);
    if (number_ < 0) return E_INVALIDARG;
    source_ = Source::kController;
    return S_OK;
  }

  HRESULT ReadSource(Variant* out) {
    switch (source_) {
      case Source::kItem: return ReadItemProperty(*item_, number_, out);
      case Source::kController: return ReadControllerValue(*valueController_, number_, out);
      case Source::kEngine: return ReadEngineValue(out);
      default: return E_UNEXPECTED;
    }
  }

  HRESULT ReadEngineValue(Variant* out) {
    switch (number_) {
      case kLastError:
        *out = Variant::I4(GetLastResult().code());
        return S_OK;
      case kSystemTime:
        *out = Variant::Date(DateFromUnixMicros(SystemClock().UtcMicros()));
        return S_OK;
      case kLocalTime: {
        double local = 0;
        RETURN_IF_FAILED(UtcToLocal(DateFromUnixMicros(SystemClock().UtcMicros()), &local));
        *out = Variant::Date(local);
        return S_OK;
      }
      case kAsyncQueueSize:
        // As the external trigger plug-in last reported it.
        *out = Variant::I4(TriggerServices::Instance().asyncQueueCount());
        return S_OK;
      default:
        return E_UNEXPECTED;
    }
  }

  const std::string controllerName_;
  const std::string itemName_;
  const std::string sourceText_;
  Operand target_;
  Source source_ = Source::kNone;
  int32_t number_ = -1;
  Ref<CTavrixItem> item_;
  // The controller of a controller value; `otherController_` keeps another
  // controller alive (the own one owns the tree).
  CTavrixController* valueController_ = nullptr;
  Ref<CTavrixController> otherController_;
};

std::unique_ptr<CActionObject> MakeSystemValueAction(const ActionExInfo& info) {
  return std::make_unique<CPutSystemValueObject>(info);
}

}  // namespace tavrix
