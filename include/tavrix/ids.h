// Fixed identifiers of the Tavrix server: its type library, its two creatable
// classes and its application id. RPC clients name the classes by these ids
// (or by their ProgIDs, "Tavrix.TavrixEngine" and "Tavrix.TavrixMessage"); the
// registration entries in the settings file carry them as the "{...}" texts.
//
// The values were assigned once for Tavrix and never change: a new value
// would orphan every registration and client that holds the old one. Each
// text is checked against its Guid when this header compiles.
#pragma once

#include <string_view>

#include "platform/unknown.h"

namespace tavrix {

// Type library TavrixLib, version 1.0.
inline constexpr Guid LIBID_TavrixLib{0xE091E2C8, 0x2A2F, 0x455E,
                                      {0x97, 0xF9, 0x12, 0x7D, 0x9C, 0x73, 0xD5, 0x0E}};
inline constexpr std::string_view kLibIdText = "{E091E2C8-2A2F-455E-97F9-127D9C73D50E}";

// Class TavrixEngine ("Tavrix.TavrixEngine.1").
inline constexpr Guid CLSID_TavrixEngine{0x3095429E, 0x5469, 0x41F9,
                                         {0xB4, 0xF8, 0x68, 0x63, 0x4E, 0x9D, 0xC9, 0x2D}};
inline constexpr std::string_view kTavrixEngineClsidText =
    "{3095429E-5469-41F9-B4F8-68634E9DC92D}";

// Class TavrixMessage ("Tavrix.TavrixMessage.1").
inline constexpr Guid CLSID_TavrixMessage{0x622BAAEA, 0xC8CC, 0x439C,
                                          {0xAB, 0xCF, 0x2D, 0x4F, 0x6B, 0x3B, 0x5D, 0x60}};
inline constexpr std::string_view kTavrixMessageClsidText =
    "{622BAAEA-C8CC-439C-ABCF-2D4F6B3B5D60}";

// The application id: its key holds the server's mode ("LocalService" or "RunAs").
inline constexpr Guid APPID_Tavrix{0x1575F0E3, 0x5FB1, 0x4C55,
                                   {0xA2, 0xC6, 0xE4, 0xF7, 0xEA, 0x39, 0x59, 0x77}};
inline constexpr std::string_view kAppIdText = "{1575F0E3-5FB1-4C55-A2C6-E4F7EA395977}";

namespace ids_detail {

// Whether `text` is the upper-case "{8-4-4-4-12}" form of `g`.
constexpr bool TextNamesGuid(std::string_view text, const Guid& g) {
  constexpr char kDigits[] = "0123456789ABCDEF";
  if (text.size() != 38 || text.front() != '{' || text.back() != '}') return false;
  size_t pos = 1;
  auto hex = [&](uint64_t value, int digits) {
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) {
      if (text[pos++] != kDigits[(value >> shift) & 0xF]) return false;
    }
    return true;
  };
  auto dash = [&] { return text[pos++] == '-'; };
  if (!hex(g.data1, 8) || !dash() || !hex(g.data2, 4) || !dash() || !hex(g.data3, 4) || !dash() ||
      !hex(g.data4[0], 2) || !hex(g.data4[1], 2) || !dash()) {
    return false;
  }
  for (int i = 2; i < 8; ++i) {
    if (!hex(g.data4[i], 2)) return false;
  }
  return pos == 37;
}

static_assert(TextNamesGuid(kLibIdText, LIBID_TavrixLib));
static_assert(TextNamesGuid(kTavrixEngineClsidText, CLSID_TavrixEngine));
static_assert(TextNamesGuid(kTavrixMessageClsidText, CLSID_TavrixMessage));
static_assert(TextNamesGuid(kAppIdText, APPID_Tavrix));

}  // namespace ids_detail

}  // namespace tavrix
