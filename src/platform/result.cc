#include "platform/result.h"

#include <cstdio>

namespace tavrix {
namespace {

struct ResultEntry {
  uint32_t value;
  std::string_view name;
  std::string_view text;
};

constexpr ResultEntry kResults[] = {
#define TAVRIX_RESULT(name, value, text) {static_cast<uint32_t>(value), #name, text},
#include "platform/result_codes.inc"
#undef TAVRIX_RESULT
};

const ResultEntry* Find(HRESULT hr) noexcept {
  for (const auto& e : kResults) {
    if (e.value == hr.bits()) return &e;
  }
  return nullptr;
}

}  // namespace

std::string_view ResultName(HRESULT hr) noexcept {
  const ResultEntry* e = Find(hr);
  return e ? e->name : std::string_view{};
}

std::string ResultDescription(HRESULT hr) {
  if (const ResultEntry* e = Find(hr)) return std::string(e->text);
  char buf[40];
  std::snprintf(buf, sizeof buf, "Unknown result 0x%08X", hr.bits());
  return buf;
}

std::string ResultText(HRESULT hr) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", hr.bits());
  std::string_view name = ResultName(hr);
  if (name.empty()) return buf;
  return std::string(name) + " (" + buf + ")";
}

HRESULT ResultFromErrno(int err) noexcept {
  if (err == 0) return S_OK;
  return HRESULT(static_cast<uint32_t>(0x80070000u | (static_cast<uint32_t>(err) & 0xFFFFu)));
}

}  // namespace tavrix
