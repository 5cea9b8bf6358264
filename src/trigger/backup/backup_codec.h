// The bytes of one backup file: a table row that the database did not take,
// kept so it can be inserted again later (backup_codec.cc describes the
// layout). The files outlive the process and may have been damaged, so the
// decoder trusts no length or count in them.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/result.h"
#include "usertable/table_sinks.h"

namespace tavrix {

// The most variant arrays one inside another (an array of variants in the
// row counts 1); deeper values are neither written nor read.
inline constexpr int kMaxBackupArrayNesting = 8;

// Replaces *bytes with the encoding of `row`. Values may be empty, null,
// the 1-, 2-, 4- and 8-byte integers, R4, R8, currency, date, boolean, text,
// and arrays of those numbers, of texts and of variants (any dimensions; an
// array is written as its elements in storage order, so it reads back
// one-dimensional). A reference to a variant is written as its target.
// E_INVALIDARG for an empty row, for any other type (VT_INT, VT_ERROR,
// decimals, objects ...), for more than kMaxBackupArrayNesting variant
// arrays one inside another, or for a value too large for its 32-bit length;
// *bytes is then unchanged.
HRESULT EncodeBackupRow(const TableRow& row, std::string* bytes);

// Replaces *row with the values encoded in `bytes`. Arrays come back
// one-dimensional with lower bound 0, booleans as -1 or 0, texts as UTF-8
// (an unpaired surrogate becomes U+FFFD). E_INVALIDARG, with *row unchanged,
// for input that is empty, cut short, longer than its records, has an
// unknown type, an odd text length, a count that does not fit the bytes
// left, or nesting past kMaxBackupArrayNesting. Allocates no more than a
// small multiple of bytes.size().
HRESULT DecodeBackupRow(std::string_view bytes, TableRow* row);

}  // namespace tavrix
