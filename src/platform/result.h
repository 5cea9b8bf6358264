// Result codes: the 32-bit signed codes every Tavrix operation returns.
//
// 0 is success, 1 (S_FALSE) is success with nothing done or with a partial
// failure, and every negative value is a failure. All named codes live in
// result_codes.inc; ResultName() and ResultDescription() look them up for log lines.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tavrix {

class [[nodiscard]] HRESULT {
 public:
  constexpr HRESULT() noexcept = default;
  constexpr HRESULT(int32_t code) noexcept : code_(code) {}  // NOLINT: codes convert freely
  constexpr HRESULT(uint32_t code) noexcept : code_(static_cast<int32_t>(code)) {}  // NOLINT

  constexpr int32_t code() const noexcept { return code_; }
  constexpr uint32_t bits() const noexcept { return static_cast<uint32_t>(code_); }
  constexpr bool failed() const noexcept { return code_ < 0; }
  constexpr bool succeeded() const noexcept { return code_ >= 0; }

  friend constexpr bool operator==(HRESULT a, HRESULT b) noexcept { return a.code_ == b.code_; }

 private:
  int32_t code_ = 0;
};

constexpr bool FAILED(HRESULT hr) noexcept { return hr.failed(); }
constexpr bool SUCCEEDED(HRESULT hr) noexcept { return hr.succeeded(); }

#define TAVRIX_RESULT(name, value, text) inline constexpr HRESULT name{static_cast<uint32_t>(value)};
#include "platform/result_codes.inc"
#undef TAVRIX_RESULT

// Name of a known code ("E_INVALIDARG"), or an empty view for an unknown one.
std::string_view ResultName(HRESULT hr) noexcept;

// Description of a known code; for an unknown code "Unknown result 0x%08X".
std::string ResultDescription(HRESULT hr);

// "E_INVALIDARG (0x80070057)" or "0x12345678" for unknown codes: the form log lines use.
std::string ResultText(HRESULT hr);

// Turns a system errno into the platform form 0x8007xxxx (0 gives S_OK).
HRESULT ResultFromErrno(int err) noexcept;

}  // namespace tavrix

// Returns the failure of expr from the calling function; success codes pass on.
#define RETURN_IF_FAILED(expr)                        \
  do {                                                \
    const ::tavrix::HRESULT tvx_hr_ = (expr);         \
    if (tvx_hr_.failed()) return tvx_hr_;             \
  } while (0)
