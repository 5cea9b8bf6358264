#include "controller/legacy_triggers.h"

#include "controller/controller.h"
#include "controller/controller_parts.h"
#include "item/adviser.h"
#include "item/item.h"

namespace tavrix {

LegacyTriggers::~LegacyTriggers() { Release(); }

bool LegacyTriggers::IsValid(const LegacyTriggerInfo& info) {
  const int32_t action = info.m_lAction & ~kLegacyTriggerInsertRow;
  return info.m_lAction >= 0 && action <= 4 && info.m_lCondition >= 0 &&
         info.m_lCondition <= 5 && !info.m_strThreshold.empty() &&
         (action != 4 || !info.m_strExeFile.empty());
}

HRESULT LegacyTriggers::Read(CTavrixController& controller, const LegacyTriggerRecord& record,
                             Ref<CTavrixItem> item) {
  Release();
  if (!item) return E_INVALIDARG;
  newEnum_ = record.m_lNewEnum;
  count_ = record.m_lCount;
  item_ = std::move(item);
  const auto& factory = ControllerParts::Instance().createLegacyTrigger;
  for (const LegacyTriggerInfo& info : record.m_info) {
    if (!info.m_bPresent) continue;
    if (!IsValid(info)) {
      Release();
      return E_INVALIDARG;
    }
    if (info.m_lAction == 0 || !factory) continue;
    std::unique_ptr<CTavrixObserver> observer;
    if (FAILED(factory(controller, info, &observer)) || !observer) {
      Release();
      return E_FAIL;
    }
    item_->Attach(observer.get());
    observers_.push_back(std::move(observer));
  }
  return S_OK;
}

void LegacyTriggers::Release() {
  for (const auto& observer : observers_) item_->Detach(observer.get());
  observers_.clear();
  item_ = nullptr;
}

}  // namespace tavrix
