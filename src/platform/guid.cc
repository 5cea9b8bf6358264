#include "platform/unknown.h"

namespace tavrix {

namespace {
// Hand-written hex so the text never depends on the process locale.
void AppendHex(std::string& out, uint64_t value, int digits) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) out += kDigits[(value >> shift) & 0xF];
}
}  // namespace

std::string GuidToString(const Guid& g) {
  std::string out;
  out.reserve(38);
  out += '{';
  AppendHex(out, g.data1, 8);
  out += '-';
  AppendHex(out, g.data2, 4);
  out += '-';
  AppendHex(out, g.data3, 4);
  out += '-';
  AppendHex(out, g.data4[0], 2);
  AppendHex(out, g.data4[1], 2);
  out += '-';
  for (int i = 2; i < 8; ++i) AppendHex(out, g.data4[i], 2);
  out += '}';
  return out;
}

}  // namespace tavrix
