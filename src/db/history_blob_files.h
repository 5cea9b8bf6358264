// Byte-array value files: with m_bBlobToFile a VT_ARRAY|VT_UI1 value is kept in
// a file of the history file folder and its row holds only the file name.
//
// A file holds the raw bytes of the array (the elements of its first dimension)
// and nothing else. Names:
//   history row        <controller>_<item>_<YYYYMMDDhhmmss>_<microsecond, 6 digits>.dat
//   current-value row  <controller>_<item>_Current.dat
// Controller and item names are made safe first (SafeFileNamePart), so a name
// can never leave the folder or hide the file. A name already taken gets a
// suffix before ".dat" ("_1", "_2", ...): files are created exclusively and
// never replace another row's file. Only the current-value row's own file is
// replaced, through a temporary file and a rename, so a reader never sees it
// half written.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/result.h"
#include "platform/variant.h"

namespace tavrix {

// `name` fit to be part of a file name: "/", "\" and control characters become
// "_", every run of two or more dots becomes as many "_", and a leading dot
// becomes "_". Cut to at most 96 bytes, never inside a UTF-8 character. Empty
// stays empty.
std::string SafeFileNamePart(std::string_view name);

// The file name of a history row. The date's calendar fields are taken to the
// microsecond, so a time such as hh:mm:59.9995 keeps its second instead of
// rounding into the next one; `microsecond` is written as given.
std::string HistoryBlobFileName(std::string_view controller, std::string_view item, double date,
                                uint32_t microsecond);
std::string CurrentBlobFileName(std::string_view controller, std::string_view item);

// True for a name this module makes: no separator, no leading dot, no "..",
// ending in ".dat". Names read back from the table are checked with it before
// a file is replaced.
bool IsHistoryBlobFileName(std::string_view name);

// The bytes a byte-array value stores: the elements of its first dimension.
// REQUIRES: value.vt() == (VT_ARRAY | VT_UI1).
std::span<const uint8_t> BlobBytes(const Variant& value);

// Creates `name` (or, when taken, the first free suffixed name) in `folder`
// exclusively and writes `bytes` to it. S_OK with the name used in *created;
// on failure no file is left behind, *sysError gets the errno and the result is
// its code (ResultFromErrno).
HRESULT CreateBlobFile(const std::string& folder, std::string_view name,
                       std::span<const uint8_t> bytes, std::string* created, int* sysError);

// Replaces (or creates) `name` in `folder` with `bytes`: written to a new
// temporary file first, then renamed over it. Failure as CreateBlobFile.
HRESULT ReplaceBlobFile(const std::string& folder, std::string_view name,
                        std::span<const uint8_t> bytes, int* sysError);

// Removes `name` from `folder`; errors are ignored (the file was never
// referenced by a row).
void RemoveBlobFile(const std::string& folder, std::string_view name);

}  // namespace tavrix
