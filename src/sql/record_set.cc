#include "sql/record_set.h"

#include <cmath>
#include <limits>

#include "platform/convert.h"
#include "platform/enumerator.h"
#include "platform/safearray.h"
#include "platform/text.h"

namespace tavrix::sql {
namespace {

class Field final : public DispatchObject<Field, IDispatch> {
 public:
  Field(Ref<RecordSet> set, size_t column) : set_(std::move(set)), column_(column) {}

  HRESULT get_Value(Variant* out) { return set_->CurrentValue(column_, out); }
  HRESULT get_Name(std::string* out) {
    *out = info().name;
    return S_OK;
  }
  HRESULT get_Type(int32_t* out) {
    *out = AdoTypeOf(info());
    return S_OK;
  }
  HRESULT get_DefinedSize(int32_t* out) {
    const int64_t size = info().size;
    *out = size > std::numeric_limits<int32_t>::max() ? std::numeric_limits<int32_t>::max()
                                                      : static_cast<int32_t>(size);
    return S_OK;
  }
  HRESULT get_Attributes(int32_t* out) {
    *out = info().nullable ? 0x20 | 0x40 : 0;
    return S_OK;
  }
  HRESULT get_Precision(int32_t* out) {
    *out = info().precision;
    return S_OK;
  }
  HRESULT get_NumericScale(int32_t* out) {
    *out = info().scale;
    return S_OK;
  }
  HRESULT get_ActualSize(int32_t* out) {
    Variant v;
    RETURN_IF_FAILED(set_->CurrentValue(column_, &v));
    if (v.IsNull()) {
      *out = -1;
    } else if (v.IsText()) {
      *out = static_cast<int32_t>(v.text().size());
    } else if (v.IsArray()) {
      *out = static_cast<int32_t>(v.array().size());
    } else {
      *out = static_cast<int32_t>(VarTypeSize(v.vt()));
    }
    return S_OK;
  }

  static const DispatchTable<Field>& DispatchMembers() {
    using D = DispatchTable<Field>;
    static const D table("Tavrix.Field", {
                                             D::Get("Value", 0, &Field::get_Value),
                                             D::Get("Name", 1, &Field::get_Name),
                                             D::Get("Type", 2, &Field::get_Type),
                                             D::Get("DefinedSize", 3, &Field::get_DefinedSize),
                                             D::Get("Attributes", 4, &Field::get_Attributes),
                                             D::Get("Precision", 5, &Field::get_Precision),
                                             D::Get("NumericScale", 6, &Field::get_NumericScale),
                                             D::Get("ActualSize", 7, &Field::get_ActualSize),
                                         });
    return table;
  }

 private:
  const ColumnInfo& info() const { return set_->columns()[column_]; }

  const Ref<RecordSet> set_;
  const size_t column_;
};

class Fields final : public DispatchObject<Fields, IDispatch> {
 public:
  explicit Fields(Ref<RecordSet> set) : set_(std::move(set)) {}

  HRESULT get_Item(const Variant& index, Ref<IDispatch>* out) {
    size_t column = 0;
    RETURN_IF_FAILED(set_->FieldIndex(index, &column));
    *out = MakeRef<Field>(set_, column);
    return S_OK;
  }
  HRESULT get_Count(int32_t* out) {
    *out = static_cast<int32_t>(set_->columns().size());
    return S_OK;
  }
  HRESULT get__NewEnum(Variant* out) {
    std::vector<Variant> fields;
    for (size_t i = 0; i < set_->columns().size(); ++i) {
      fields.push_back(Variant::Dispatch(MakeRef<Field>(set_, i)));
    }
    *out = NewEnumVariant(std::move(fields));
    return S_OK;
  }

  static const DispatchTable<Fields>& DispatchMembers() {
    using D = DispatchTable<Fields>;
    static const D table("Tavrix.Fields",
                         {
                             D::Get("Item", 0, &Fields::get_Item),
                             D::Get("Count", 1, &Fields::get_Count),
                             D::Get("_NewEnum", DISPID_NEWENUM, &Fields::get__NewEnum),
                         });
    return table;
  }

 private:
  const Ref<RecordSet> set_;
};

}  // namespace

Ref<RecordSet> RecordSet::Create(RowSet rows) { return MakeRef<RecordSet>(std::move(rows)); }

// Position 0 is the first row, or EOF (and BOF) when there is none.
RecordSet::RecordSet(RowSet rows) : rows_(std::move(rows)) {}

HRESULT RecordSet::FieldIndex(const Variant& indexOrName, size_t* out) const {
  const Variant& v = indexOrName.Deref();
  if (v.IsText()) {
    for (size_t i = 0; i < rows_.columns.size(); ++i) {
      if (EqualsNoCase(rows_.columns[i].name, v.text())) {
        *out = i;
        return S_OK;
      }
    }
    return DISP_E_BADINDEX;
  }
  Variant n;
  if (ChangeType(v, VT_I4, &n).failed()) return DISP_E_BADINDEX;
  if (n.i4() < 0 || static_cast<size_t>(n.i4()) >= rows_.columns.size()) return DISP_E_BADINDEX;
  *out = static_cast<size_t>(n.i4());
  return S_OK;
}

HRESULT RecordSet::CurrentValue(size_t column, Variant* out) const {
  std::lock_guard lock(mutex_);
  if (closed_) return TVX_E_SQL_OBJECT_CLOSED;
  if (position_ < 0 || position_ >= static_cast<int64_t>(rows_.rowCount())) {
    return TVX_E_SQL_NO_CURRENT_RECORD;
  }
  if (column >= rows_.columns.size()) return DISP_E_BADINDEX;
  *out = rows_.at(static_cast<size_t>(position_), column);
  return S_OK;
}

HRESULT RecordSet::get_Fields(Ref<IDispatch>* out) {
  {
    std::lock_guard lock(mutex_);
    if (closed_) return TVX_E_SQL_OBJECT_CLOSED;
  }
  *out = MakeRef<Fields>(Ref<RecordSet>(this));
  return S_OK;
}

HRESULT RecordSet::get_EOF(bool* out) {
  std::lock_guard lock(mutex_);
  if (closed_) return TVX_E_SQL_OBJECT_CLOSED;
  *out = position_ >= static_cast<int64_t>(rows_.rowCount());
  return S_OK;
}

HRESULT RecordSet::get_BOF(bool* out) {
  std::lock_guard lock(mutex_);
  if (closed_) return TVX_E_SQL_OBJECT_CLOSED;
  *out = position_ < 0 || rows_.rowCount() == 0;
  return S_OK;
}

HRESULT RecordSet::get_RecordCount(int32_t* out) {
  std::lock_guard lock(mutex_);
  if (closed_) return TVX_E_SQL_OBJECT_CLOSED;
  *out = static_cast<int32_t>(rows_.rowCount());
  return S_OK;
}

HRESULT RecordSet::get_AbsolutePosition(int32_t* out) {
  std::lock_guard lock(mutex_);
  if (closed_) return TVX_E_SQL_OBJECT_CLOSED;
  if (position_ < 0) {
    *out = -2;
  } else if (position_ >= static_cast<int64_t>(rows_.rowCount())) {
    *out = -3;
  } else {
    *out = static_cast<int32_t>(position_ + 1);
  }
  return S_OK;
}

HRESULT RecordSet::MoveTo(int64_t position, int64_t delta) {
  std::lock_guard lock(mutex_);
  if (closed_) return TVX_E_SQL_OBJECT_CLOSED;
  const auto rows = static_cast<int64_t>(rows_.rowCount());
  if (rows == 0) return delta == 0 ? S_OK : TVX_E_SQL_NO_CURRENT_RECORD;
  if (delta != 0) {
    // Moving on from EOF, or back from BOF, has no record to start from.
    if ((delta > 0 && position_ >= rows) || (delta < 0 && position_ < 0)) {
      return TVX_E_SQL_NO_CURRENT_RECORD;
    }
    position = position_ + delta;
  }
  // Past either end is EOF or BOF.
  position_ = position < -1 ? -1 : position > rows ? rows : position;
  return S_OK;
}

HRESULT RecordSet::MoveNext() { return MoveTo(0, 1); }
HRESULT RecordSet::MovePrevious() { return MoveTo(0, -1); }
HRESULT RecordSet::MoveFirst() { return MoveTo(0, 0); }
HRESULT RecordSet::MoveLast() { return MoveTo(static_cast<int64_t>(rows_.rowCount()) - 1, 0); }
HRESULT RecordSet::Move(int32_t count) {
  if (count != 0) return MoveTo(0, count);
  std::lock_guard lock(mutex_);
  return closed_ ? TVX_E_SQL_OBJECT_CLOSED : S_OK;
}

HRESULT RecordSet::Close() {
  std::lock_guard lock(mutex_);
  if (closed_) return TVX_E_SQL_OBJECT_CLOSED;
  closed_ = true;
  return S_OK;
}

HRESULT RecordSet::get_State(int32_t* out) {
  std::lock_guard lock(mutex_);
  *out = closed_ ? 0 : 1;
  return S_OK;
}

HRESULT RecordSet::get_RecordsAffected(int32_t* out) {
  std::lock_guard lock(mutex_);
  if (closed_) return TVX_E_SQL_OBJECT_CLOSED;
  const int64_t n = rows_.rowsChanged;
  *out = n > std::numeric_limits<int32_t>::max() ? std::numeric_limits<int32_t>::max()
                                                 : static_cast<int32_t>(n);
  return S_OK;
}

HRESULT RecordSet::CallMoveNext(Variant*) { return MoveNext(); }
HRESULT RecordSet::CallMovePrevious(Variant*) { return MovePrevious(); }
HRESULT RecordSet::CallMoveFirst(Variant*) { return MoveFirst(); }
HRESULT RecordSet::CallMoveLast(Variant*) { return MoveLast(); }
HRESULT RecordSet::CallClose(Variant*) { return Close(); }

const DispatchTable<RecordSet>& RecordSet::DispatchMembers() {
  using D = DispatchTable<RecordSet>;
  static const D table("Tavrix.Recordset",
                       {
                           D::Get("Fields", 0, &RecordSet::get_Fields),
                           D::Get("EOF", 1, &RecordSet::get_EOF),
                           D::Get("BOF", 2, &RecordSet::get_BOF),
                           D::Get("RecordCount", 3, &RecordSet::get_RecordCount),
                           D::Get("AbsolutePosition", 4, &RecordSet::get_AbsolutePosition),
                           D::Method("MoveNext", 5, &RecordSet::CallMoveNext),
                           D::Method("MovePrevious", 6, &RecordSet::CallMovePrevious),
                           D::Method("MoveFirst", 7, &RecordSet::CallMoveFirst),
                           D::Method("MoveLast", 8, &RecordSet::CallMoveLast),
                           D::Method("Move", 9, &RecordSet::Move),
                           D::Method("Close", 10, &RecordSet::CallClose),
                           D::Get("State", 11, &RecordSet::get_State),
                           D::Get("RecordsAffected", 12, &RecordSet::get_RecordsAffected),
                       });
  return table;
}

HRESULT ExecuteToRecordSet(SqlConnection& connection, std::string_view sql, Ref<RecordSet>* out) {
  RowSet rows;
  RETURN_IF_FAILED(connection.Execute(sql, &rows));
  *out = RecordSet::Create(std::move(rows));
  return S_OK;
}

}  // namespace tavrix::sql
