// FindBuiltinConstant: the language's named constants.
//
// Numeric constants are Integer when they fit 16 bits and Long otherwise, as
// the same number written in a script would be (so VarType(vbTrue) is 2).
#include <string_view>
#include <unordered_map>

#include "platform/text.h"
#include "vbscript/builtins.h"

namespace tavrix::vbs {
namespace {

struct NumberConstant {
  std::string_view name;
  int32_t value;
};

constexpr NumberConstant kNumbers[] = {
    // Comparison.
    {"vbBinaryCompare", 0}, {"vbTextCompare", 1},
    // VarType results.
    {"vbEmpty", 0}, {"vbNull", 1}, {"vbInteger", 2}, {"vbLong", 3}, {"vbSingle", 4},
    {"vbDouble", 5}, {"vbCurrency", 6}, {"vbDate", 7}, {"vbString", 8}, {"vbObject", 9},
    {"vbError", 10}, {"vbBoolean", 11}, {"vbVariant", 12}, {"vbDataObject", 13},
    {"vbDecimal", 14}, {"vbByte", 17}, {"vbArray", 8192},
    // Days and weeks.
    {"vbUseSystem", 0}, {"vbUseSystemDayOfWeek", 0}, {"vbSunday", 1}, {"vbMonday", 2},
    {"vbTuesday", 3}, {"vbWednesday", 4}, {"vbThursday", 5}, {"vbFriday", 6},
    {"vbSaturday", 7}, {"vbFirstJan1", 1}, {"vbFirstFourDays", 2}, {"vbFirstFullWeek", 3},
    // FormatDateTime.
    {"vbGeneralDate", 0}, {"vbLongDate", 1}, {"vbShortDate", 2}, {"vbLongTime", 3},
    {"vbShortTime", 4},
    // Tristate.
    {"vbTrue", -1}, {"vbFalse", 0}, {"vbUseDefault", -2},
    // Errors.
    {"vbObjectError", -2147221504},
    // MsgBox buttons, icons, defaults, modality and results.
    {"vbOKOnly", 0}, {"vbOKCancel", 1}, {"vbAbortRetryIgnore", 2}, {"vbYesNoCancel", 3},
    {"vbYesNo", 4}, {"vbRetryCancel", 5}, {"vbCritical", 16}, {"vbQuestion", 32},
    {"vbExclamation", 48}, {"vbInformation", 64}, {"vbDefaultButton1", 0},
    {"vbDefaultButton2", 256}, {"vbDefaultButton3", 512}, {"vbDefaultButton4", 768},
    {"vbApplicationModal", 0}, {"vbSystemModal", 4096}, {"vbOK", 1}, {"vbCancel", 2},
    {"vbAbort", 3}, {"vbRetry", 4}, {"vbIgnore", 5}, {"vbYes", 6}, {"vbNo", 7},
    // Colours.
    {"vbBlack", 0x000000}, {"vbRed", 0x0000FF}, {"vbGreen", 0x00FF00}, {"vbYellow", 0x00FFFF},
    {"vbBlue", 0xFF0000}, {"vbMagenta", 0xFF00FF}, {"vbCyan", 0xFFFF00},
    {"vbWhite", 0xFFFFFF},
};

struct TextConstant {
  std::string_view name;
  std::string_view value;
};

constexpr TextConstant kTexts[] = {
    {"vbCr", "\r"},          {"vbLf", "\n"},          {"vbCrLf", "\r\n"},
    {"vbNewLine", "\r\n"},   {"vbTab", "\t"},         {"vbNullString", ""},
    {"vbNullChar", std::string_view("\0", 1)},        {"vbFormFeed", "\f"},
    {"vbVerticalTab", "\v"},
};

using ConstantMap = std::unordered_map<std::string_view, Variant, NoCaseHash, NoCaseEqual>;

// Built once and read-only after: safe to share between threads.
const ConstantMap& Constants() {
  static const ConstantMap map = [] {
    ConstantMap m;
    for (const NumberConstant& c : kNumbers) {
      const bool fits16 = c.value >= -32768 && c.value <= 32767;
      m.emplace(c.name, fits16 ? Variant::I2(static_cast<int16_t>(c.value))
                               : Variant::I4(c.value));
    }
    for (const TextConstant& c : kTexts) m.emplace(c.name, Variant::Text(c.value));
    return m;
  }();
  return map;
}

}  // namespace

bool FindBuiltinConstant(std::string_view name, Variant* out) {
  const ConstantMap& map = Constants();
  const auto it = map.find(name);
  if (it == map.end()) return false;
  *out = it->second;
  return true;
}

}  // namespace tavrix::vbs
