// The ODBC backend, through the unixODBC driver manager.
//
// Each connection has its own environment and connection handles; texts cross
// the ODBC boundary as UTF-16 (the wide calls), so no process locale is involved.
// Parameters are bound with the ODBC SQL type of their column (from the column
// description), which typed servers such as PostgreSQL need to accept a value
// for a timestamp or integer column.
//
// Native codes are the driver's native error numbers; the SQLSTATE is kept. A
// SQLSTATE of class 08 (connection exception) or 57P0x (server shut down) marks
// the connection broken.
#pragma once

#include <memory>
#include <string>

#include "sql/connection.h"

namespace tavrix::sql {

// Connects with an ODBC connection string (no prompt). On failure *out stays
// null and *error describes it (E_FAIL with the driver manager's or driver's
// SQLSTATE and text).
HRESULT OpenOdbc(const std::string& odbcString, std::unique_ptr<SqlConnection>* out,
                 ProviderError* error);

}  // namespace tavrix::sql
