#include "usertable/db_column_info.h"

#include <utility>

#include "controller/controller.h"
#include "controller/controller_lookup.h"
#include "item/item.h"
#include "item/item_properties.h"
#include "platform/log.h"
#include "platform/text.h"

namespace tavrix {

DBColumnInfo::DBColumnInfo(std::string columnName, const ColumnSource& source, int32_t elementIndex,
                           std::string writerName)
    : columnName_(std::move(columnName)),
      controllerName_(source.controller),
      itemName_(source.item),
      elementIndex_(elementIndex),
      writerName_(std::move(writerName)) {}

DBColumnInfo::~DBColumnInfo() = default;

CTavrixController* DBColumnInfo::FindController(CTavrixController& owner) {
  return NamedController(owner, controllerName_, &otherController_);
}

// --- Controller columns ---------------------------------------------------------

ControllerDBColumnInfo::ControllerDBColumnInfo(std::string columnName, const ColumnSource& source,
                                               int32_t elementIndex, std::string writerName,
                                               int32_t property, const ColumnReaders& readers)
    : DBColumnInfo(std::move(columnName), source, elementIndex, std::move(writerName)),
      property_(property),
      readers_(readers) {}

ControllerDBColumnInfo::~ControllerDBColumnInfo() = default;

HRESULT ControllerDBColumnInfo::Resolve(CTavrixController& owner) {
  controller_ = FindController(owner);
  if (controller_ == nullptr) {
    LogResult(E_INVALIDARG, 1, "ControllerDBColumnInfo[%ls] : Invalid controller name [%ls]\n",
              writerName_, controllerName_);
    return E_INVALIDARG;
  }
  return S_OK;
}

HRESULT ControllerDBColumnInfo::GetValue(ItemValueCache&, ItemValueCache&, Variant* out) {
  if (controller_ == nullptr || !readers_.readControllerProperty) return E_UNEXPECTED;
  return readers_.readControllerProperty(*controller_, property_, out);
}

// --- Item columns ---------------------------------------------------------------

ItemDBColumnInfo::ItemDBColumnInfo(std::string columnName, const ColumnSource& source,
                                   int32_t elementIndex, std::string writerName, int32_t property)
    : DBColumnInfo(std::move(columnName), source, elementIndex, std::move(writerName)),
      property_(property) {}

ItemDBColumnInfo::~ItemDBColumnInfo() = default;

HRESULT ItemDBColumnInfo::Resolve(CTavrixController& owner) {
  CTavrixController* controller = FindController(owner);
  if (controller == nullptr) {
    LogResult(E_INVALIDARG, 1, "ItemDBColumnInfo[%ls] : Invalid controller name [%ls]\n",
              writerName_, controllerName_);
    return E_INVALIDARG;
  }
  item_ = controller->FindItem(itemName_);
  if (!item_) {
    LogResult(E_INVALIDARG, 1, "ItemDBColumnInfo[%ls] : Invalid item name [%ls]\n", writerName_,
              itemName_);
    return E_INVALIDARG;
  }
  return S_OK;
}

HRESULT ItemDBColumnInfo::GetValue(ItemValueCache& values, ItemValueCache& prevValues,
                                   Variant* out) {
  if (!item_) return E_UNEXPECTED;
  ItemValueCache* cache = property_ == kItemPropertyValue       ? &values
                          : property_ == kItemPropertyPrevValue ? &prevValues
                                                                : nullptr;
  if (cache == nullptr) return ReadItemProperty(*item_, property_, out);
  auto it = cache->find(item_.get());
  if (it == cache->end()) {
    Variant value;
    RETURN_IF_FAILED(ReadItemProperty(*item_, property_, &value));
    it = cache->emplace(item_.get(), std::move(value)).first;
  }
  *out = it->second;
  return S_OK;
}

// --- Temporary-item columns -------------------------------------------------------

MapDBColumnInfo::MapDBColumnInfo(std::string columnName, const ColumnSource& source,
                                 int32_t elementIndex, std::string writerName)
    : DBColumnInfo(std::move(columnName), source, elementIndex, std::move(writerName)) {}

MapDBColumnInfo::~MapDBColumnInfo() = default;

HRESULT MapDBColumnInfo::Resolve(CTavrixController& owner) {
  CTavrixController* controller = FindController(owner);
  if (controller == nullptr || !controller->temporaryItems().Exists(itemName_)) {
    LogResult(E_INVALIDARG, 1, "MapDBColumnInfo[%ls] : Invalid temporary item name [%ls]\n",
              writerName_, "*" + itemName_);
    return E_INVALIDARG;
  }
  controller_ = controller;
  return S_OK;
}

HRESULT MapDBColumnInfo::GetValue(ItemValueCache&, ItemValueCache&, Variant* out) {
  if (controller_ == nullptr) return E_UNEXPECTED;
  return controller_->temporaryItems().GetValue(itemName_, out);
}

}  // namespace tavrix
