#include "trigger/controller_values.h"

#include <array>
#include <string>

#include "controller/controller.h"
#include "platform/safearray.h"
#include "platform/text.h"
#include "zelt/interfaces.h"

namespace tavrix {

namespace {

constexpr int32_t kScanTimes0 = 5;
constexpr int32_t kTag = 8;
constexpr int32_t kSettingData0 = 9;
constexpr int32_t kSettingDataCount = 21;
constexpr int32_t kTriggerInitState = 30;
constexpr int32_t kTriggerErrorActions = 31;
constexpr int32_t kExternalFunctionsStatus = 32;

constexpr std::array<std::string_view, 5> kLeadingNames = {"Index", "Name", "Description",
                                                           "State", "Count"};
constexpr std::array<std::string_view, 6> kMessageFields = {"DATETIME", "DESCRIPTION",
                                                            "DESTINATION", "NUMBER",
                                                            "SOURCE", "VALUE"};

// "<prefix><n>" with n a plain decimal number in [0, count): n, else -1.
int32_t NumberedName(std::string_view name, std::string_view prefix, int32_t count) {
  if (name.size() <= prefix.size() || !EqualsNoCase(name.substr(0, prefix.size()), prefix)) {
    return -1;
  }
  const std::string_view digits = name.substr(prefix.size());
  if (digits.size() > 2) return -1;
  int32_t n = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return -1;
    n = n * 10 + (c - '0');
  }
  if (digits.size() == 2 && digits[0] == '0') return -1;
  return n < count ? n : -1;
}

HRESULT SettingData(CTavrixController& c, int32_t key, Variant* out) {
  const ControllerSettingsPtr s = c.settings();
  const bool versioned = c.host().IsVersionedProject();
  switch (key) {
    case 0: *out = Variant::Text(s->m_bstrCtrlName); return S_OK;
    case 1: *out = Variant::Text(s->m_bstrProvider); return S_OK;
    case 2: *out = Variant::Text(s->m_bstrMachine); return S_OK;
    case 3: *out = Variant::Text(s->m_bstrParam); return S_OK;
    case 4: *out = Variant::Bool(s->m_bUseHistory); return S_OK;
    case 5: *out = Variant::Bool(s->m_bWriteToCache); return S_OK;
    case 6: *out = Variant::I4(s->m_lTimeStamp); return S_OK;
    case 7: *out = Variant::I4(s->m_lSamplingRate); return S_OK;
    case 8: *out = Variant::Bool(c.distribute()); return S_OK;
    case 9: *out = Variant::Bool(s->m_bStartup); return S_OK;
    case 10: {
      const int32_t index = s->m_iThreadPriority;
      *out = Variant::I4(index >= 0 && index < 7 ? kThreadPriorities[index] : 0);
      return S_OK;
    }
    case 11: *out = Variant::Bool(versioned ? s->m_bWDTDS : s->m_bWDT); return S_OK;
    case 12: *out = Variant::I4(versioned ? s->m_lWDTTime : s->m_lWDTCount); return S_OK;
    case 13: *out = Variant::I4(s->m_lWDTAction); return S_OK;
    case 14: *out = Variant::Bool(s->m_bAutoReconn); return S_OK;
    case 15: *out = Variant::I4(s->m_lRecCount); return S_OK;
    case 16: *out = Variant::I4(s->m_lRecInterval); return S_OK;
    case 17: *out = Variant::I4(c.ControllerType()); return S_OK;
    case 18: *out = Variant::Bool(c.scriptEnabled()); return S_OK;
    case 19: *out = Variant::Text(c.scriptText()); return S_OK;
    case 20: *out = Variant::Bool(c.notSafeMode()); return S_OK;
    default: return E_INVALIDARG;
  }
}

HRESULT Description(CTavrixController& c, Variant* out) {
  const ControllerSettingsPtr s = c.settings();
  if (s->m_bDescription || c.host().IsVersionedProject()) {
    *out = Variant::Text(s->m_bstrDescription);
    return S_OK;
  }
  Ref<IZeltController> zelt = c.zeltController();
  if (!zelt) return E_ACCESSDENIED;
  std::string text;
  const HRESULT hr = zelt->get_Description(&text);
  if (SUCCEEDED(hr)) *out = Variant::Text(text);
  return hr;
}

}  // namespace

int32_t ControllerValueNumber(std::string_view name) {
  for (size_t i = 0; i < kLeadingNames.size(); ++i) {
    if (EqualsNoCase(name, kLeadingNames[i])) return static_cast<int32_t>(i);
  }
  if (const int32_t n = NumberedName(name, "ScanTimes", 3); n >= 0) return kScanTimes0 + n;
  if (EqualsNoCase(name, "Tag")) return kTag;
  if (const int32_t n = NumberedName(name, "SettingData", kSettingDataCount); n >= 0) {
    return kSettingData0 + n;
  }
  if (EqualsNoCase(name, "TriggerInitState")) return kTriggerInitState;
  if (EqualsNoCase(name, "TriggerErrorActions")) return kTriggerErrorActions;
  if (EqualsNoCase(name, "ExternalFunctionsStatus")) return kExternalFunctionsStatus;
  return -1;
}

HRESULT ReadControllerValue(CTavrixController& c, int32_t number, Variant* out) {
  if (out == nullptr) return E_POINTER;
  switch (number) {
    case 0: *out = Variant::I4(c.index()); return S_OK;
    case 1: *out = Variant::Text(c.name()); return S_OK;
    case 2: return Description(c, out);
    case 3: *out = Variant::I4(c.State()); return S_OK;
    case 4: *out = Variant::I4(static_cast<int32_t>(c.itemCountRelaxed())); return S_OK;
    case kScanTimes0:
    case kScanTimes0 + 1:
    case kScanTimes0 + 2: {
      const ScanTimes t = c.scanTimes();
      const bool none = c.host().IsVersionedProject() && !t.completed;
      const uint32_t values[3] = {t.last, t.minimum, t.maximum};
      *out = Variant::I4(none ? -1 : static_cast<int32_t>(values[number - kScanTimes0]));
      return S_OK;
    }
    case kTag:
      // Clients set the tag through the automation object; until one does,
      // it is empty.
      *out = Variant();
      return S_OK;
    case kTriggerInitState: *out = Variant::I4(c.triggerInitResult()); return S_OK;
    case kTriggerErrorActions: {
      const std::vector<std::string> names = c.traceList();
      Ref<SafeArray> array = SafeArray::Create1D(VT_VARIANT, static_cast<uint32_t>(names.size()));
      if (!array) return E_OUTOFMEMORY;
      for (size_t i = 0; i < names.size(); ++i) {
        (void)array->Put(i, Variant::Text(names[i]));
      }
      *out = Variant::Array(std::move(array));
      return S_OK;
    }
    case kExternalFunctionsStatus:
      // Filled by the external-function library; none is loaded here.
      *out = Variant();
      return S_OK;
    default:
      if (number >= kSettingData0 && number < kSettingData0 + kSettingDataCount) {
        return SettingData(c, number - kSettingData0, out);
      }
      return E_INVALIDARG;
  }
}

int32_t MessageFieldNumber(std::string_view name) {
  for (size_t i = 0; i < kMessageFields.size(); ++i) {
    if (EqualsNoCase(name, kMessageFields[i])) return static_cast<int32_t>(i);
  }
  return -1;
}

HRESULT ReadMessageField(IZeltMessage& message, int32_t number, Variant* out) {
  std::string text;
  int32_t value = 0;
  HRESULT hr;
  switch (number) {
    case 0: return message.get_DateTime(out);
    case 1: hr = message.get_Description(&text); break;
    case 2: hr = message.get_Destination(&text); break;
    case 3:
      hr = message.get_Number(&value);
      if (SUCCEEDED(hr)) *out = Variant::I4(value);
      return hr;
    case 4: hr = message.get_Source(&text); break;
    case 5: return message.get_Value(out);
    default: return E_INVALIDARG;
  }
  if (SUCCEEDED(hr)) *out = Variant::Text(text);
  return hr;
}

ColumnReaders ControllerColumnReaders() {
  return ColumnReaders{ControllerValueNumber, ReadControllerValue};
}

}  // namespace tavrix
