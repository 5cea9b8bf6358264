// Provider errors: what a database or the access layer said when a call failed.
//
// Every failing call of a connection or statement records one on its connection
// (SqlConnection::lastError), so the caller can write its log line with the
// provider's own text after seeing the failure code.
#pragma once

#include <cstdint>
#include <string>

#include "platform/result.h"

namespace tavrix::sql {

struct ProviderError {
  // The code the failing call returned:
  //   DB_E_CANTCONVERTVALUE  a value the column cannot take (type)
  //   DB_E_DATAOVERFLOW      a value out of the column's range or size
  //   DB_E_INTEGRITYVIOLATION NULL into a NOT NULL column, a key or check violated
  //   DB_E_ERRORSINCOMMAND   the SQL text is wrong (syntax, unknown table or column)
  //   XACT_E_NOTRANSACTION   commit or roll back without a transaction
  //   TVX_E_SQL_PROVIDER_NOT_FOUND  no backend takes the connection string
  //   E_INVALIDARG           a malformed connection string or a bad argument
  //   E_FAIL                 anything else the database reported (lock time-outs,
  //                          a lost connection, I/O errors)
  HRESULT code = S_OK;
  // The database's own code: SQLite's extended result code, the ODBC native error;
  // 0 when the access layer itself refused the call.
  int64_t nativeCode = 0;
  // The five-character SQLSTATE for ODBC errors ("08S01"); empty otherwise.
  std::string sqlState;
  // The text for the log line, prefixed with its source: "[SQLite] ...",
  // "[unixODBC][...]..." as the driver manager gives it, "[Tavrix] ..." for the
  // access layer's own refusals. Never holds a connection string.
  std::string description;

  bool failed() const noexcept { return code.failed(); }
};

// An error raised by the access layer itself (nativeCode 0).
inline ProviderError LayerError(HRESULT code, std::string text) {
  return ProviderError{code, 0, {}, "[Tavrix] " + std::move(text)};
}

}  // namespace tavrix::sql
