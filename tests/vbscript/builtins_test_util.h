// Calling built-ins without the interpreter: a small context and a runner for
// tables of calls with their expected result or error number.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/date.h"
#include "platform/safearray.h"
#include "platform/variant.h"
#include "vbscript/builtins.h"
#include "vbscript/errors.h"

namespace tavrix::vbs::testing {

class TestContext final : public BuiltinContext {
 public:
  explicit TestContext(LCID lcid = 1033) : lcid(lcid) {}
  LCID Locale() override { return lcid; }
  HRESULT Interrupted() override { return interrupt; }
  RandomState& Random() override { return random; }

  LCID lcid;
  HRESULT interrupt = S_OK;
  RandomState random;
};

// Calls a built-in by name as the interpreter would: the count of arguments
// is checked against the table first.
inline HRESULT Call(BuiltinContext& context, std::string_view name,
                    const std::vector<Variant>& args, Variant* result) {
  const BuiltinInfo* info = FindBuiltin(name);
  if (info == nullptr) {
    ADD_FAILURE() << "no built-in " << name;
    return E_FAIL;
  }
  if (args.size() < info->minArgs || args.size() > info->maxArgs) {
    return ScriptError(kErrWrongArgCount);
  }
  return info->function(context, args, result);
}

// Short value makers for the tables.
inline Variant S(std::string_view s) { return Variant::Text(s); }
inline Variant I2(int16_t v) { return Variant::I2(v); }
inline Variant I4(int32_t v) { return Variant::I4(v); }
inline Variant R4(float v) { return Variant::R4(v); }
inline Variant R8(double v) { return Variant::R8(v); }
inline Variant B(bool v) { return Variant::Bool(v); }
inline Variant Null() { return Variant::Null(); }
inline Variant Empty() { return Variant::Empty(); }
inline Variant Missing() { return Variant::Missing(); }
inline Variant Date(int y, int m, int d, int h = 0, int n = 0, int s = 0) {
  double date = 0;
  EXPECT_TRUE(DateFromFields(y, m, d, h, n, s, 0, &date).succeeded());
  return Variant::Date(date);
}
inline Variant Texts(std::vector<std::string_view> items) {
  Ref<SafeArray> a = SafeArray::Create1D(VT_VARIANT, static_cast<uint32_t>(items.size()));
  for (size_t i = 0; i < items.size(); ++i) {
    EXPECT_TRUE(a->Put(i, Variant::Text(items[i])).succeeded());
  }
  return Variant::Array(std::move(a));
}

struct Case {
  std::string_view name;
  std::vector<Variant> args;
  Variant expected;  // type and value (Variant::Identical); unused when error != 0
  int error = 0;     // the expected script error number
  LCID lcid = 1033;
};

// Expects an error number instead of a value.
inline Case Fails(std::string_view name, std::vector<Variant> args, int error, LCID lcid = 1033) {
  return Case{name, std::move(args), Variant(), error, lcid};
}

inline std::string Describe(const Case& c) {
  std::string s = std::string(c.name) + "(";
  for (size_t i = 0; i < c.args.size(); ++i) s += (i ? ", " : "") + DebugString(c.args[i]);
  return s + ") under " + std::to_string(c.lcid);
}

inline void RunCases(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    SCOPED_TRACE(Describe(c));
    TestContext context(c.lcid);
    const Variant sentinel = Variant::Text("unchanged");
    Variant result = sentinel;
    const HRESULT hr = Call(context, c.name, c.args, &result);
    if (c.error != 0) {
      EXPECT_TRUE(hr.failed());
      EXPECT_EQ(ScriptErrorNumber(hr), c.error);
      EXPECT_TRUE(result.Identical(sentinel)) << "result changed on failure";
    } else {
      if (hr.failed()) {
        ADD_FAILURE() << "failed with error " << ScriptErrorNumber(hr);
        continue;
      }
      EXPECT_TRUE(result.Identical(c.expected))
          << "got " << DebugString(result) << ", expected " << DebugString(c.expected);
    }
  }
}

}  // namespace tavrix::vbs::testing
