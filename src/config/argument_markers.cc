#include "config/argument_markers.h"

#include <array>

namespace tavrix {
namespace {

struct MarkerPrefix {
  ArgumentMarkerKind kind;
  std::string_view prefix;  // the marker name before the token
};

constexpr std::array<MarkerPrefix, 4> kMarkerPrefixes = {{
    {ArgumentMarkerKind::kValue, "ARG_"},
    {ArgumentMarkerKind::kController, "CTRLARG_"},
    {ArgumentMarkerKind::kItem, "ITEMARG_"},
    {ArgumentMarkerKind::kEscaped, "ESCAPEARG_"},
}};

// The kind a marker name stands for, or false when it is none of the four.
bool ParseMarkerName(std::string_view name, ArgumentMarkerKind* kind) {
  for (const MarkerPrefix& m : kMarkerPrefixes) {
    if (name.size() != m.prefix.size() + kArgumentMarkerToken.size()) continue;
    if (EqualsNoCase(name.substr(0, m.prefix.size()), m.prefix) &&
        EqualsNoCase(name.substr(m.prefix.size()), kArgumentMarkerToken)) {
      *kind = m.kind;
      return true;
    }
  }
  return false;
}

// What a marker of `kind` inserts for `value`; false when it cannot be formed.
bool MarkerText(ArgumentMarkerKind kind, const std::string& value,
                const ArgumentContext& context, std::string* out) {
  const size_t slash = value.find('\\');
  switch (kind) {
    case ArgumentMarkerKind::kValue:
      *out = value;
      return true;
    case ArgumentMarkerKind::kController:
      if (slash != std::string::npos) {
        *out = value.substr(0, slash);
        return true;
      }
      // A bare item name belongs to the controller that calls the block.
      if (context.controllerName.empty()) return false;
      *out = context.controllerName;
      return true;
    case ArgumentMarkerKind::kItem:
      *out = slash == std::string::npos ? value : value.substr(slash + 1);
      return true;
    case ArgumentMarkerKind::kEscaped:
      *out = value;
      if (slash != std::string::npos) out->insert(slash, 1, '\\');
      return true;
  }
  return false;
}

}  // namespace

std::string MakeArgumentMarker(ArgumentMarkerKind kind, std::string_view argumentId) {
  std::string s = "$";
  for (const MarkerPrefix& m : kMarkerPrefixes) {
    if (m.kind == kind) s += m.prefix;
  }
  s += kArgumentMarkerToken;
  s += ':';
  s += argumentId;
  s += '$';
  return s;
}

HRESULT ReplaceArgumentMarkers(std::string* text, const ArgumentContext& context,
                               const ArgumentMap& args) {
  if (text == nullptr) return E_POINTER;
  const std::string_view in = *text;
  if (in.find('$') == std::string_view::npos) return S_OK;
  std::string out;
  out.reserve(in.size());
  size_t pos = 0;
  while (pos < in.size()) {
    const size_t open = in.find('$', pos);
    if (open == std::string_view::npos) break;
    const size_t close = in.find('$', open + 1);
    if (close == std::string_view::npos) break;
    out.append(in, pos, open - pos);
    const std::string_view inner = in.substr(open + 1, close - open - 1);
    const size_t colon = inner.find(':');
    ArgumentMarkerKind kind;
    bool replaced = false;
    if (colon != std::string_view::npos && ParseMarkerName(inner.substr(0, colon), &kind)) {
      auto it = args.find(inner.substr(colon + 1));
      if (it != args.end()) {
        std::string insert;
        if (!MarkerText(kind, it->second, context, &insert)) return E_INVALIDARG;
        out += insert;
        replaced = true;
      }
    }
    if (replaced) {
      pos = close + 1;
    } else {
      // Not a marker: keep the "$" and let the closing one open the next try,
      // so "$x$ARG_...:id$" still finds the marker after "$x".
      out += '$';
      pos = open + 1;
    }
  }
  out.append(in, pos, std::string_view::npos);
  *text = std::move(out);
  return S_OK;
}

}  // namespace tavrix
