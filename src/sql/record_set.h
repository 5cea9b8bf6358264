// Record sets: the rows of a free SQL command, held in memory, as an automation
// object a script can walk.
//
//   Set rs = History.Execute("select item_name, item_value from history")
//   Do While Not rs.EOF
//     total = total & rs("item_name") & "=" & rs.Fields(1).Value & ";"
//     rs.MoveNext
//   Loop
//
// Members of the record set (dispatch ids in brackets):
//   Fields [0, default]        the field collection of the current row
//   EOF [1], BOF [2]           past the last / before the first row (both True
//                              when there are no rows)
//   RecordCount [3]            number of rows
//   AbsolutePosition [4]       1-based current row; -3 at EOF, -2 at BOF
//   MoveNext [5], MovePrevious [6], MoveFirst [7], MoveLast [8], Move(n) [9]
//   Close [10]                 releases the rows; every later member but State
//                              fails with TVX_E_SQL_OBJECT_CLOSED
//   State [11]                 1 open, 0 closed
//   RecordsAffected [12]       rows changed by the command, -1 for a query
// Members of the field collection: Item(index or name) [0, default], Count [1],
// _NewEnum [-4] (the fields). Members of a field: Value [0, default], Name [1],
// Type [2] (the ADO type number, column.h AdoTypeOf), DefinedSize [3],
// Attributes [4] (0x20 adFldIsNullable | 0x40 adFldMayBeNull when nullable),
// Precision [5], NumericScale [6], ActualSize [7] (bytes of the value; -1 NULL).
//
// Moving past EOF or before BOF, and reading a field's value there, fail with
// TVX_E_SQL_NO_CURRENT_RECORD; an unknown field name or index gives
// DISP_E_BADINDEX. A field reads the row that is current when its value is
// read, as in ADO. The objects are safe to use from several threads: one lock
// guards the current position.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "platform/dispatch.h"
#include "platform/variant.h"
#include "sql/column.h"
#include "sql/connection.h"

namespace tavrix::sql {

class RecordSet final : public DispatchObject<RecordSet, IDispatch> {
 public:
  static Ref<RecordSet> Create(RowSet rows);

  // --- C++ access.
  const std::vector<ColumnInfo>& columns() const noexcept { return rows_.columns; }
  size_t recordCount() const noexcept { return rows_.rowCount(); }
  int64_t rowsChanged() const noexcept { return rows_.rowsChanged; }
  // Row r, column c (both 0-based, in range); independent of the position.
  const Variant& At(size_t row, size_t column) const noexcept { return rows_.at(row, column); }
  // The column of a field index (a number, 0-based) or name (no case).
  // DISP_E_BADINDEX when there is none.
  HRESULT FieldIndex(const Variant& indexOrName, size_t* out) const;
  // The value of column `column` in the current row.
  HRESULT CurrentValue(size_t column, Variant* out) const;

  // --- Automation members.
  HRESULT get_Fields(Ref<IDispatch>* out);
  HRESULT get_EOF(bool* out);
  HRESULT get_BOF(bool* out);
  HRESULT get_RecordCount(int32_t* out);
  HRESULT get_AbsolutePosition(int32_t* out);
  HRESULT MoveNext();
  HRESULT MovePrevious();
  HRESULT MoveFirst();
  HRESULT MoveLast();
  HRESULT Move(int32_t count);
  HRESULT Close();
  HRESULT get_State(int32_t* out);
  HRESULT get_RecordsAffected(int32_t* out);

  static const DispatchTable<RecordSet>& DispatchMembers();

  // Use Create; public only for MakeRef.
  explicit RecordSet(RowSet rows);

 private:
  // The dispatch table's entries for the members without parameters: the table
  // cannot yet bind a member function that takes none, so each gives an empty
  // result instead.
  HRESULT CallMoveNext(Variant* none);
  HRESULT CallMovePrevious(Variant* none);
  HRESULT CallMoveFirst(Variant* none);
  HRESULT CallMoveLast(Variant* none);
  HRESULT CallClose(Variant* none);

  // Moves by `delta` rows, or to `position` when delta is 0; the position is
  // -1 at BOF, rowCount() at EOF, else the current row.
  HRESULT MoveTo(int64_t position, int64_t delta);

  const RowSet rows_;
  mutable std::mutex mutex_;  // guards position_ and closed_
  int64_t position_ = 0;
  bool closed_ = false;
};

// Runs `sql` on `connection` as a free command (SqlConnection::Execute) and
// gives its rows as a record set positioned on the first row. The failure of
// the command is returned (and recorded on the connection).
HRESULT ExecuteToRecordSet(SqlConnection& connection, std::string_view sql, Ref<RecordSet>* out);

}  // namespace tavrix::sql
