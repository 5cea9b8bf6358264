// The value layer's costs per operation, each beside the plain C++ it stands in for.
#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "kivdata/kivdata.h"
#include "platform/convert.h"
#include "platform/safearray.h"
#include "platform/variant.h"

using namespace tavrix;
using tavrix::bench::KeepAlive;
using tavrix::bench::NsPerOp;
using tavrix::bench::Report;

namespace {

constexpr size_t kN = 1'000'000;

void CopyFigures() {
  const Variant number = Variant::R8(1234.5678);
  const double plain = 1234.5678;
  Report("variant copy, R8", NsPerOp(kN, [&](size_t) { Variant c = number; KeepAlive(c); }),
         "double copy", NsPerOp(kN, [&](size_t) { double c = plain; KeepAlive(c); }));

  const std::string text(40, 'x');
  const Variant textVar = Variant::Text(text);
  Report("variant copy, 40-char text",
         NsPerOp(kN, [&](size_t) { Variant c = textVar; KeepAlive(c); }), "std::string copy",
         NsPerOp(kN, [&](size_t) { std::string c = text; KeepAlive(c); }));

  const std::vector<uint8_t> bytes(1000, 7);
  Ref<SafeArray> block = SafeArray::Create1D(VT_UI1, 1000);
  const Variant blockVar = Variant::Array(block);
  Report("variant copy, 1000-byte array",
         NsPerOp(kN, [&](size_t) { Variant c = blockVar; KeepAlive(c); }),
         "std::vector<uint8_t> copy",
         NsPerOp(kN, [&](size_t) { std::vector<uint8_t> c = bytes; KeepAlive(c); }));
}

void ChangeTypeFigures() {
  const Variant number = Variant::R8(1234.5678);
  Report("ChangeType R8 -> I4",
         NsPerOp(kN,
                 [&](size_t) {
                   Variant out;
                   (void)ChangeType(number, VT_I4, &out);
                   KeepAlive(out);
                 }),
         "std::nearbyint + cast",
         NsPerOp(kN, [&](size_t) { KeepAlive(static_cast<int32_t>(std::nearbyint(1234.5678))); }));

  Report("ChangeType R8 -> BSTR (1033)",
         NsPerOp(kN / 4,
                 [&](size_t) {
                   Variant out;
                   (void)ChangeType(number, VT_BSTR, &out, 0, 1033);
                   KeepAlive(out);
                 }),
         "snprintf %.15g",
         NsPerOp(kN / 4, [&](size_t) {
           char buf[32];
           std::snprintf(buf, sizeof buf, "%.15g", 1234.5678);
           KeepAlive(buf[0]);
         }));

  const Variant text = Variant::Text("1234.5678");
  Report("ChangeType BSTR -> R8 (1033)",
         NsPerOp(kN / 4,
                 [&](size_t) {
                   Variant out;
                   (void)ChangeType(text, VT_R8, &out, 0, 1033);
                   KeepAlive(out);
                 }),
         "std::from_chars", NsPerOp(kN / 4, [&](size_t) {
           double d = 0;
           const std::string& s = text.text();
           std::from_chars(s.data(), s.data() + s.size(), d);
           KeepAlive(d);
         }));
}

void TypedTextFigures() {
  Ref<IKivData> kiv;
  if (CreateKivData(&kiv).failed()) {
    std::printf("typed text: the data-conversion component could not be created\n");
    return;
  }
  const Variant number = Variant::R8(1234.5678);
  Report("typed text round trip, R8",
         NsPerOp(kN / 4,
                 [&](size_t) {
                   std::string t;
                   Variant back;
                   (void)kiv->TextForm(number, &t);
                   (void)kiv->Parse(t, &back);
                   KeepAlive(back);
                 }),
         "to_chars + from_chars", NsPerOp(kN / 4, [&](size_t) {
           char buf[32];
           auto r = std::to_chars(buf, buf + sizeof buf, 1234.5678);
           double d = 0;
           std::from_chars(buf, r.ptr, d);
           KeepAlive(d);
         }));

  Ref<SafeArray> arr = SafeArray::Create1D(VT_I4, 16);
  for (uint32_t i = 0; i < 16; ++i) (void)arr->Put(i, Variant::I4(static_cast<int32_t>(i * 977)));
  const Variant array = Variant::Array(arr);
  Report("typed text round trip, 16 x I4 array",
         NsPerOp(kN / 20,
                 [&](size_t) {
                   std::string t;
                   Variant back;
                   (void)kiv->TextForm(array, &t);
                   (void)kiv->Parse(t, &back);
                   KeepAlive(back);
                 }),
         "16 x (to_chars + from_chars)", NsPerOp(kN / 20, [&](size_t) {
           char buf[16 * 12];
           char* p = buf;
           for (int i = 0; i < 16; ++i) p = std::to_chars(p, buf + sizeof buf, i * 977).ptr;
           int v = 0;
           for (const char* q = buf; q < p;) q = std::from_chars(q, p, v).ptr;
           KeepAlive(v);
         }));
}

}  // namespace

int main() {
  std::printf("Tavrix value layer: cost per operation (best of 5 runs)\n");
  CopyFigures();
  ChangeTypeFigures();
  TypedTextFigures();
  return 0;
}
