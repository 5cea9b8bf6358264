// Identifiers in SQL text: table and schema names written safely.
//
// Names come from project files, never from data; even so they are never pasted
// into SQL as they are. A plain identifier (an ASCII letter or "_", then letters,
// digits, "_" or "$") is written as it stands, so the database applies its own
// case rules exactly as to a name typed in a query. Any other name is enclosed
// in the database's quote character with that character doubled inside, so
// it can never end the identifier early.
#pragma once

#include <string>
#include <string_view>

#include "platform/result.h"

namespace tavrix::sql {

// True for an ASCII identifier that needs no quotes: [A-Za-z_][A-Za-z0-9_$]*.
bool IsPlainIdentifier(std::string_view name) noexcept;

// `name` enclosed in `quote` with every `quote` inside doubled.
std::string QuoteIdentifier(std::string_view name, char quote = '"');

// A table name, optionally qualified ("schema.table", "catalog.schema.table"),
// for SQL text. The name is split at each "." outside quotes; each part is
// trimmed and may itself be quoted ("...", [...] or `...`, the closing character
// doubled inside); a quoted part stays quoted (its case matters), an unquoted
// plain part is written as it is, any other part is quoted with `quote`.
// E_INVALIDARG for an empty name or part, more than three parts, an unclosed
// quote, a NUL character, or a part that needs quotes when the database has
// none (quote ' ').
HRESULT QuoteTableName(std::string_view name, char quote, std::string* out);

}  // namespace tavrix::sql
