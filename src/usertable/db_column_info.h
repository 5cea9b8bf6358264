// The columns of a user-defined table writer: where each column's value comes
// from and how it is read when a row is built.
//
//   DBColumnInfo             the common part: column name, controller name,
//                            item part, element index, writer name
//   ControllerDBColumnInfo   a controller property ("Count", "State", ...)
//   ItemDBColumnInfo         an item property ("Value", "DateTime", ...)
//   MapDBColumnInfo          a temporary item of the owning controller
//
// A column is made from its column record, then resolved once (Resolve: the
// controller, item or temporary item it names must exist), then read for
// every row (GetValue). After Resolve a column changes no more, so the rows
// of one writer may be built on any thread; the objects read have their own
// locks. A column keeps the controllers and items it reads alive, except the
// owning controller, which owns the writer through its trigger tree.
//
// The database side of a column (its parameter, whether it may hold NULL)
// belongs to the writer's prepared statement (user_table_man.h), which has
// its own lock.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "platform/ref.h"
#include "platform/result.h"
#include "platform/variant.h"
#include "usertable/table_layout.h"

namespace tavrix {

class CTavrixController;
class CTavrixItem;

// How the writer reads controller properties. The trigger engine owns the
// controller property list and fills these from it; a writer takes a copy.
//   controllerPropertyNumber: the number of a property name (without regard
//     to case), or -1 when there is none.
//   readControllerProperty: reads property `number` of a controller.
// Either may be empty: no controller property is known then.
struct ColumnReaders {
  std::function<int32_t(std::string_view name)> controllerPropertyNumber;
  std::function<HRESULT(CTavrixController& controller, int32_t number, Variant* out)>
      readControllerProperty;
};

// The values of the items of one row, read once: the first column that
// needs an item's Value (or PrevValue) reads it, later columns of the same
// row take the copy, so all columns of a row see one snapshot.
using ItemValueCache = std::map<const CTavrixItem*, Variant>;

class DBColumnInfo {
 public:
  virtual ~DBColumnInfo();
  DBColumnInfo(const DBColumnInfo&) = delete;
  DBColumnInfo& operator=(const DBColumnInfo&) = delete;

  // The column's value for the row being built, before the element index is
  // applied (ColumnElement). A failure ends the row.
  virtual HRESULT GetValue(ItemValueCache& values, ItemValueCache& prevValues, Variant* out) = 0;
  // Finds what the column reads in `owner`'s engine. E_INVALIDARG, logged
  // with the writer's name and the missing name, when it does not exist.
  virtual HRESULT Resolve(CTavrixController& owner) = 0;

  const std::string& columnName() const { return columnName_; }
  const std::string& controllerName() const { return controllerName_; }
  const std::string& itemName() const { return itemName_; }
  // -1 for a record with one column name; else the element this column takes.
  int32_t elementIndex() const { return elementIndex_; }

 protected:
  DBColumnInfo(std::string columnName, const ColumnSource& source, int32_t elementIndex,
               std::string writerName);

  // The controller named controllerName(): the owner itself, or one found in
  // the engine (kept alive by the column). Null when there is none.
  CTavrixController* FindController(CTavrixController& owner);

  const std::string columnName_;
  const std::string controllerName_;
  const std::string itemName_;
  const int32_t elementIndex_;
  const std::string writerName_;

 private:
  Ref<CTavrixController> otherController_;
};

class ControllerDBColumnInfo final : public DBColumnInfo {
 public:
  // `property` is a number of readers.controllerPropertyNumber.
  ControllerDBColumnInfo(std::string columnName, const ColumnSource& source, int32_t elementIndex,
                         std::string writerName, int32_t property, const ColumnReaders& readers);
  ~ControllerDBColumnInfo() override;

  HRESULT GetValue(ItemValueCache& values, ItemValueCache& prevValues, Variant* out) override;
  HRESULT Resolve(CTavrixController& owner) override;

 private:
  const int32_t property_;
  const ColumnReaders& readers_;  // the writer's, which outlives its columns
  CTavrixController* controller_ = nullptr;
};

class ItemDBColumnInfo final : public DBColumnInfo {
 public:
  // `property` is a number of ItemPropertyNumber (item/item_properties.h).
  ItemDBColumnInfo(std::string columnName, const ColumnSource& source, int32_t elementIndex,
                   std::string writerName, int32_t property);
  ~ItemDBColumnInfo() override;

  HRESULT GetValue(ItemValueCache& values, ItemValueCache& prevValues, Variant* out) override;
  HRESULT Resolve(CTavrixController& owner) override;

 private:
  const int32_t property_;
  Ref<CTavrixItem> item_;
};

class MapDBColumnInfo final : public DBColumnInfo {
 public:
  MapDBColumnInfo(std::string columnName, const ColumnSource& source, int32_t elementIndex,
                  std::string writerName);
  ~MapDBColumnInfo() override;

  HRESULT GetValue(ItemValueCache& values, ItemValueCache& prevValues, Variant* out) override;
  HRESULT Resolve(CTavrixController& owner) override;

 private:
  CTavrixController* controller_ = nullptr;
};

}  // namespace tavrix
