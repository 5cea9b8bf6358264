// Shows the value layer every part of Tavrix stands on: a few values as a
// controller would deliver them, converted, computed with, and stored as the
// typed texts that history rows and Kiv replies carry.
#include <cstdio>
#include <string>

#include "kivdata/kivdata.h"
#include "platform/arith.h"
#include "platform/clock.h"
#include "platform/convert.h"
#include "platform/date.h"
#include "platform/result.h"
#include "platform/safearray.h"
#include "platform/variant.h"

using namespace tavrix;

namespace {

Ref<IKivData> g_kiv;

std::string TypedText(const Variant& v) {
  std::string t;
  const HRESULT hr = g_kiv->TextForm(v, &t);
  return hr.failed() ? "(" + ResultText(hr) + ")" : t;
}

std::string AsText(const Variant& v, LCID lcid) {
  if (v.IsNull()) return "Null";
  if (v.IsArray()) return "(an array has no plain text)";
  Variant out;
  const HRESULT hr = ChangeType(v, VT_BSTR, &out, VARIANT_ALPHABOOL, lcid);
  return hr.failed() ? "(" + ResultText(hr) + ")" : out.text();
}

void Show(const char* what, const Variant& v) {
  Variant back;
  const bool exact = g_kiv->Parse(TypedText(v), &back).succeeded() && back.Identical(v);
  std::printf("  %-34s %-15s en-US %-22s de-DE %-22s typed text %s%s\n", what,
              VarTypeName(v.vt()).c_str(), AsText(v, 1033).c_str(), AsText(v, 1031).c_str(),
              TypedText(v).c_str(), exact ? "" : "  (NOT EXACT)");
}

void ShowOp(const char* what, HRESULT hr, const Variant& result) {
  if (hr.failed()) {
    std::printf("  %-38s -> %s\n", what, ResultText(hr).c_str());
  } else {
    std::printf("  %-38s -> %-14s %s\n", what, VarTypeName(result.vt()).c_str(),
                AsText(result, 1033).c_str());
  }
}

}  // namespace

int main() {
  if (HRESULT hr = CreateKivData(&g_kiv); hr.failed()) {
    std::fprintf(stderr, "the data-conversion component could not be created: %s\n",
                 ResultText(hr).c_str());
    return 1;
  }

  std::printf("Values as a controller delivers them:\n");
  Show("a temperature (R8)", Variant::R8(21.375));
  Show("a counter (I4)", Variant::I4(-1234567));
  Show("a status flag (BOOL)", Variant::Bool(true));
  Show("a price (CY)", Variant::Cy(Currency{123456789}));
  Show("a label with a comma and a quote", Variant::Text("Line 3, \"north\""));
  const double now = DateFromUnixMicros(SystemClock().UtcMicros());
  Show("the controller's clock (DATE, UTC)", Variant::Date(now));

  const SafeArrayBound bounds[] = {{1, 2}, {0, 3}};
  Ref<SafeArray> grid = SafeArray::Create(VT_I2, bounds);
  for (size_t i = 0; i < grid->size(); ++i) (void)grid->Put(i, Variant::I2(int16_t(i * 10)));
  Show("a 2 x 3 block with lower bound 1", Variant::Array(grid));

  std::printf("\nConversions a value pipeline asks for:\n");
  Variant out;
  ShowOp("R8 2.5 to I4 (banker's rounding)", ChangeType(Variant::R8(2.5), VT_I4, &out), out);
  ShowOp("R8 3.5 to I4", ChangeType(Variant::R8(3.5), VT_I4, &out), out);
  ShowOp("I4 300 to UI1", ChangeType(Variant::I4(300), VT_UI1, &out), out);
  ShowOp("text \"1.234,5\" to R8 in de-DE",
         ChangeType(Variant::Text("1.234,5"), VT_R8, &out, 0, 1031), out);
  ShowOp("text \"abc\" to I4", ChangeType(Variant::Text("abc"), VT_I4, &out), out);

  std::printf("\nArithmetic with the platform's promotion rules:\n");
  ShowOp("I2 32767 + I2 1", VarAdd(Variant::I2(32767), Variant::I2(1), &out), out);
  ShowOp("I4 2147483647 + I4 1", VarAdd(Variant::I4(2147483647), Variant::I4(1), &out), out);
  ShowOp("text \"10\" + I4 5", VarAdd(Variant::Text("10"), Variant::I4(5), &out), out);
  ShowOp("Null + I4 5", VarAdd(Variant::Null(), Variant::I4(5), &out), out);
  ShowOp("I4 7 \\ I4 0", VarIdiv(Variant::I4(7), Variant::I4(0), &out), out);
  const HRESULT cmp = VarCmp(Variant::I4(1), Variant::R8(1.0));
  std::printf("  %-38s -> %s\n", "compare I4 1 with R8 1.0",
              cmp == VARCMP_EQ ? "equal" : ResultText(cmp).c_str());
  return 0;
}
