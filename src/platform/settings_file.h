// The settings file: Tavrix's stand-in for the registry, in the syntax of
// ".reg" files.
//
//   Windows Registry Editor Version 5.00        (optional; or REGEDIT4)
//   ; a comment
//   [HKEY_CLASSES_ROOT\SoftWare\Tavrix]
//   "DataPath"="/var/lib/tavrix/project.xml"    text, with \\ and \" escapes
//   "LogType"=dword:00000004                    32-bit value, exactly 8 hex digits
//   @="Tavrix"                                  the key's default value
//   "Blob"=hex:01,02                             other types (hex:, hex(N):) are kept
//                                                as written; a reader asking for a
//                                                text or a 32-bit value finds none
//   "Gone"=-                                     a deleted value: absent
//
// Key and value names compare without regard to case. Lines that are not
// changed are written back byte for byte, so a program that adds keys and then
// removes them again leaves the file as it was.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"

namespace tavrix {

struct RegValue {
  enum class Type { kString, kDword, kOther, kDeleted };
  Type type = Type::kString;
  std::string text;    // kString: the unescaped text; kOther: the data as written
  uint32_t dword = 0;  // kDword
};

class SettingsFile {
 public:
  // Path of the process's settings file: $TAVRIX_REGISTRY, else /etc/tavrix/tavrix.reg.
  static std::string DefaultPath();

  // Parses `text`. On a syntax error returns E_INVALIDARG and sets *error to
  // "<fileName>:<line>: <what is wrong>"; *out is then unchanged.
  static HRESULT Parse(std::string_view text, std::string_view fileName, SettingsFile* out,
                       std::string* error);

  // Reads and parses the file at `path`. A missing file gives 0x80070002
  // (file not found), another read failure its errno code; *error says which.
  static HRESULT Load(const std::string& path, SettingsFile* out, std::string* error);

  bool HasKey(std::string_view key) const;
  // The value, or null when the key or value does not exist or was deleted.
  const RegValue* Find(std::string_view key, std::string_view name) const;
  // A text value; a value of another type counts as absent.
  std::optional<std::string> GetString(std::string_view key, std::string_view name) const;
  // A 32-bit value; a value of another type counts as absent.
  std::optional<uint32_t> GetDword(std::string_view key, std::string_view name) const;

  // Creates the key when it does not exist (appended at the end of the file).
  void CreateKey(std::string_view key);
  // Set creates the key when needed and replaces a value of the same name.
  void SetString(std::string_view key, std::string_view name, std::string_view text);
  void SetDword(std::string_view key, std::string_view name, uint32_t value);
  // True when something was removed.
  bool DeleteValue(std::string_view key, std::string_view name);
  // Removes the key and every key below it, with the comments and blank lines
  // that stand before each. True when something was removed.
  bool DeleteTree(std::string_view key);

  std::string Serialize() const;

  // Writes the file through a temporary file in the same folder, flushed to
  // disk, then renamed over `path`, so a reader never sees half a file.
  HRESULT SaveAtomically(const std::string& path, std::string* error) const;

 private:
  struct Line {
    std::string raw;       // the line as read (without its line feed); empty for new lines
    bool changed = false;  // written from name/value instead of raw
    bool isValue = false;
    std::string name;  // value name ("" for the default value)
    RegValue value;
  };
  struct Key {
    std::vector<std::string> leading;  // comments and blank lines before the key line
    std::string raw;                   // the "[...]" line as read
    std::string name;
    std::vector<Line> lines;
  };

  Key* FindKey(std::string_view key);
  const Key* FindKey(std::string_view key) const;
  Key& EnsureKey(std::string_view key);
  void Set(std::string_view key, std::string_view name, RegValue value);

  std::vector<std::string> header_;  // lines before the first key (header, comments)
  std::vector<Key> keys_;
  std::vector<std::string> trailing_;  // comments and blank lines after the last value
  bool crlf_ = false;                  // the file used CR LF line ends
  bool finalNewline_ = true;
};

}  // namespace tavrix
