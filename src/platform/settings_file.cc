#include "platform/settings_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/text.h"

namespace tavrix {
namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

std::string_view TrimSpaces(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && EqualsNoCase(s.substr(0, prefix.size()), prefix);
}

// Reads a quoted text at the start of `s` ("..." with \\ and \" escapes).
// On success stores the text and the rest of `s` behind the closing quote.
bool ReadQuoted(std::string_view s, std::string* text, std::string_view* rest) {
  if (s.empty() || s.front() != '"') return false;
  std::string out;
  for (size_t i = 1; i < s.size(); ++i) {
    const char c = s[i];
    if (c == '\\' && i + 1 < s.size() && (s[i + 1] == '\\' || s[i + 1] == '"')) {
      out += s[++i];
    } else if (c == '"') {
      *text = std::move(out);
      *rest = s.substr(i + 1);
      return true;
    } else {
      out += c;
    }
  }
  return false;
}

std::string Quote(std::string_view s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  out += '"';
  return out;
}

bool ParseHex8(std::string_view s, uint32_t* out) {
  if (s.size() != 8) return false;
  uint32_t v = 0;
  for (char c : s) {
    int d;
    if (c >= '0' && c <= '9') {
      d = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      d = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
      d = c - 'A' + 10;
    } else {
      return false;
    }
    v = v << 4 | static_cast<uint32_t>(d);
  }
  *out = v;
  return true;
}

bool IsTrivia(std::string_view line) {
  std::string_view t = TrimSpaces(line);
  return t.empty() || t.front() == ';';
}

std::string FormatValueLine(std::string_view name, const RegValue& v) {
  std::string out = name.empty() ? "@" : Quote(name);
  out += '=';
  switch (v.type) {
    case RegValue::Type::kString:
      out += Quote(v.text);
      break;
    case RegValue::Type::kDword: {
      char buf[16];
      std::snprintf(buf, sizeof buf, "dword:%08x", v.dword);
      out += buf;
      break;
    }
    case RegValue::Type::kOther:
      out += v.text;
      break;
    case RegValue::Type::kDeleted:
      out += '-';
      break;
  }
  return out;
}

}  // namespace

std::string SettingsFile::DefaultPath() {
  const char* env = std::getenv("TAVRIX_REGISTRY");
  if (env != nullptr && *env != '\0') return env;
  return "/etc/tavrix/tavrix.reg";
}

HRESULT SettingsFile::Parse(std::string_view text, std::string_view fileName, SettingsFile* out,
                            std::string* error) {
  SettingsFile file;
  auto fail = [&](size_t lineNo, std::string_view what) {
    if (error != nullptr) {
      *error = std::string(fileName) + ":" + std::to_string(lineNo) + ": " + std::string(what);
    }
    return E_INVALIDARG;
  };

  if (text.substr(0, kBom.size()) == kBom) {
    file.header_.push_back(std::string(kBom));
    text.remove_prefix(kBom.size());
  }
  file.finalNewline_ = text.empty() || text.back() == '\n';

  // Split into lines. Each keeps its carriage return, if it has one, so it is
  // written back as read; new lines take the ending of the first line.
  std::vector<std::string_view> lines;
  for (size_t pos = 0; pos < text.size();) {
    size_t nl = text.find('\n', pos);
    if (nl == std::string_view::npos) nl = text.size();
    lines.push_back(text.substr(pos, nl - pos));
    pos = nl + 1;
  }
  file.crlf_ = !lines.empty() && !lines.front().empty() && lines.front().back() == '\r';
  auto body = [](std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
  };

  std::vector<std::string> pending;  // comments and blank lines not yet placed
  for (size_t i = 0; i < lines.size(); ++i) {
    const size_t lineNo = i + 1;
    const std::string_view line = lines[i];
    std::string_view t = TrimSpaces(body(line));
    if (IsTrivia(body(line))) {
      pending.emplace_back(line);
      continue;
    }
    if (t.front() == '[') {
      if (t.back() != ']' || t.size() < 3) return fail(lineNo, "a key line must be [name]");
      if (t[1] == '-') return fail(lineNo, "key deletion lines are not supported here");
      Key key;
      key.leading = std::move(pending);
      pending.clear();
      key.raw = std::string(line);
      key.name = std::string(TrimSpaces(t.substr(1, t.size() - 2)));
      file.keys_.push_back(std::move(key));
      continue;
    }
    if (file.keys_.empty()) {
      if (EqualsNoCase(t, "Windows Registry Editor Version 5.00") || EqualsNoCase(t, "REGEDIT4")) {
        for (auto& p : pending) file.header_.push_back(std::move(p));
        pending.clear();
        file.header_.emplace_back(line);
        continue;
      }
      return fail(lineNo, "a value before the first [key] line");
    }
    // A value line: "name"=data or @=data, hex data may go on over lines ending in "\".
    std::string raw(line);
    std::string_view rest;
    Line l;
    l.isValue = true;
    if (t.front() == '@') {
      rest = t.substr(1);
    } else if (!ReadQuoted(t, &l.name, &rest)) {
      return fail(lineNo, "expected \"name\"=value or @=value");
    }
    rest = TrimSpaces(rest);
    if (rest.empty() || rest.front() != '=') return fail(lineNo, "expected = after the value name");
    rest = TrimSpaces(rest.substr(1));
    if (rest.empty()) return fail(lineNo, "the value is missing after =");
    if (rest.front() == '"') {
      std::string_view after;
      if (!ReadQuoted(rest, &l.value.text, &after)) {
        return fail(lineNo, "the quoted text is not closed");
      }
      if (!TrimSpaces(after).empty()) return fail(lineNo, "text after the closing quote");
      l.value.type = RegValue::Type::kString;
    } else if (StartsWithNoCase(rest, "dword:")) {
      if (!ParseHex8(rest.substr(6), &l.value.dword)) {
        return fail(lineNo, "dword: must be followed by exactly 8 hexadecimal digits");
      }
      l.value.type = RegValue::Type::kDword;
    } else if (StartsWithNoCase(rest, "hex:") || StartsWithNoCase(rest, "hex(")) {
      std::string data(rest);
      while (!data.empty() && data.back() == '\\') {
        if (++i >= lines.size()) return fail(lineNo, "the hex data goes on past the end of the file");
        data.pop_back();
        data += TrimSpaces(body(lines[i]));
        raw += '\n';
        raw += lines[i];
      }
      l.value.type = RegValue::Type::kOther;
      l.value.text = std::move(data);
    } else if (rest == "-") {
      l.value.type = RegValue::Type::kDeleted;
    } else {
      return fail(lineNo, "the value must be a quoted text, dword:, hex: or -");
    }
    l.raw = std::move(raw);
    Key& key = file.keys_.back();
    for (auto& p : pending) key.lines.push_back(Line{std::move(p), false, false, {}, {}});
    pending.clear();
    key.lines.push_back(std::move(l));
  }
  file.trailing_ = std::move(pending);
  *out = std::move(file);
  return S_OK;
}

HRESULT SettingsFile::Load(const std::string& path, SettingsFile* out, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    const int err = errno;
    if (error != nullptr) *error = path + ": " + std::strerror(err);
    return ResultFromErrno(err == 0 ? ENOENT : err);
  }
  std::ostringstream ss;
  ss << in.rdbuf();
  if (in.bad()) {
    if (error != nullptr) *error = path + ": read error";
    return E_FAIL;
  }
  return Parse(ss.str(), path, out, error);
}

SettingsFile::Key* SettingsFile::FindKey(std::string_view key) {
  for (Key& k : keys_) {
    if (EqualsNoCase(k.name, key)) return &k;
  }
  return nullptr;
}

const SettingsFile::Key* SettingsFile::FindKey(std::string_view key) const {
  return const_cast<SettingsFile*>(this)->FindKey(key);
}

bool SettingsFile::HasKey(std::string_view key) const { return FindKey(key) != nullptr; }

const RegValue* SettingsFile::Find(std::string_view key, std::string_view name) const {
  const Key* k = FindKey(key);
  if (k == nullptr) return nullptr;
  // The last line of a name wins, as when a .reg file is imported.
  const RegValue* found = nullptr;
  for (const Line& l : k->lines) {
    if (l.isValue && EqualsNoCase(l.name, name)) found = &l.value;
  }
  return (found != nullptr && found->type != RegValue::Type::kDeleted) ? found : nullptr;
}

std::optional<std::string> SettingsFile::GetString(std::string_view key,
                                                   std::string_view name) const {
  const RegValue* v = Find(key, name);
  if (v == nullptr || v->type != RegValue::Type::kString) return std::nullopt;
  return v->text;
}

std::optional<uint32_t> SettingsFile::GetDword(std::string_view key, std::string_view name) const {
  const RegValue* v = Find(key, name);
  if (v == nullptr || v->type != RegValue::Type::kDword) return std::nullopt;
  return v->dword;
}

SettingsFile::Key& SettingsFile::EnsureKey(std::string_view key) {
  if (Key* k = FindKey(key)) return *k;
  Key k;
  if (!keys_.empty() || !header_.empty()) k.leading.push_back(crlf_ ? "\r" : "");
  k.name = std::string(key);
  keys_.push_back(std::move(k));
  return keys_.back();
}

void SettingsFile::CreateKey(std::string_view key) { EnsureKey(key); }

void SettingsFile::Set(std::string_view key, std::string_view name, RegValue value) {
  Key& k = EnsureKey(key);
  // Replace the last line of that name and drop earlier duplicates.
  Line* target = nullptr;
  for (Line& l : k.lines) {
    if (l.isValue && EqualsNoCase(l.name, name)) target = &l;
  }
  if (target == nullptr) {
    Line l;
    l.isValue = true;
    l.changed = true;
    l.name = std::string(name);
    l.value = std::move(value);
    k.lines.push_back(std::move(l));
    return;
  }
  target->changed = true;
  target->value = std::move(value);
}

void SettingsFile::SetString(std::string_view key, std::string_view name, std::string_view text) {
  Set(key, name, RegValue{RegValue::Type::kString, std::string(text), 0});
}

void SettingsFile::SetDword(std::string_view key, std::string_view name, uint32_t value) {
  Set(key, name, RegValue{RegValue::Type::kDword, {}, value});
}

bool SettingsFile::DeleteValue(std::string_view key, std::string_view name) {
  Key* k = FindKey(key);
  if (k == nullptr) return false;
  const size_t before = k->lines.size();
  std::erase_if(k->lines, [&](const Line& l) { return l.isValue && EqualsNoCase(l.name, name); });
  return k->lines.size() != before;
}

bool SettingsFile::DeleteTree(std::string_view key) {
  const size_t before = keys_.size();
  std::erase_if(keys_, [&](const Key& k) {
    if (EqualsNoCase(k.name, key)) return true;
    return k.name.size() > key.size() && k.name[key.size()] == '\\' &&
           EqualsNoCase(std::string_view(k.name).substr(0, key.size()), key);
  });
  return keys_.size() != before;
}

std::string SettingsFile::Serialize() const {
  // Lines read from the file carry their own carriage return; lines written
  // here take the ending of the file's first line.
  const std::string_view cr = crlf_ ? "\r" : "";
  std::vector<std::string> out;
  size_t first = 0;
  std::string text;
  if (!header_.empty() && header_.front() == kBom) {
    text += kBom;
    first = 1;
  }
  for (size_t i = first; i < header_.size(); ++i) out.push_back(header_[i]);
  for (const Key& k : keys_) {
    for (const std::string& l : k.leading) out.push_back(l);
    out.push_back(k.raw.empty() ? "[" + k.name + "]" + std::string(cr) : k.raw);
    for (const Line& l : k.lines) {
      out.push_back(l.changed ? FormatValueLine(l.name, l.value) + std::string(cr) : l.raw);
    }
  }
  for (const std::string& l : trailing_) out.push_back(l);
  for (size_t i = 0; i < out.size(); ++i) {
    text += out[i];
    if (i + 1 < out.size() || finalNewline_) text += '\n';
  }
  return text;
}

HRESULT SettingsFile::SaveAtomically(const std::string& path, std::string* error) const {
  const std::string data = Serialize();
  std::string tmp = path + ".XXXXXX";
  const int fd = mkstemp(tmp.data());
  auto fail = [&](const char* what) {
    const int err = errno;
    if (error != nullptr) *error = path + ": " + what + ": " + std::strerror(err);
    return ResultFromErrno(err == 0 ? EIO : err);
  };
  if (fd < 0) return fail("cannot create a temporary file");
  size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      const HRESULT hr = fail("cannot write");
      ::close(fd);
      ::unlink(tmp.c_str());
      return hr;
    }
    done += static_cast<size_t>(n);
  }
  // Settings files are readable by everyone, like the registry key they replace.
  (void)::fchmod(fd, 0644);
  const bool synced = ::fsync(fd) == 0;
  const HRESULT syncHr = synced ? S_OK : fail("cannot flush");
  if (::close(fd) != 0 || !synced) {
    const HRESULT hr = synced ? fail("cannot close") : syncHr;
    ::unlink(tmp.c_str());
    return hr;
  }
  if (::rename(tmp.c_str(), path.c_str()) != 0) {
    const HRESULT hr = fail("cannot replace");
    ::unlink(tmp.c_str());
    return hr;
  }
  return S_OK;
}

}  // namespace tavrix
