// Function-block argument markers.
//
// The body of a function block refers to the arguments of its call with
// markers of the form "$" + marker name + ":" + argument ID + "$", where the
// marker name is one of the four kinds below followed by the fixed token
// kArgumentMarkerToken:
//
//   ARG_<token>        the whole value
//   CTRLARG_<token>    the controller part of the value (before the first
//                      "\"), or the owning controller's name when the value
//                      has no "\"
//   ITEMARG_<token>    the item part (after the first "\"); the whole value
//                      when it has no "\"
//   ESCAPEARG_<token>  the value with its first "\" doubled
//
// A sequence whose marker name is not one of these, or whose argument ID is
// not in the call, is left as it is. Marker names and argument IDs are
// matched without regard to letter case. Inserted values are never scanned
// again, so a value may itself contain "$" or marker texts.
#pragma once

#include <map>
#include <string>
#include <string_view>

#include "platform/result.h"
#include "platform/text.h"

namespace tavrix {

// The 32 hexadecimal digits every marker name carries. Project tools write
// this exact token; changing it breaks every function block in the field.
inline constexpr std::string_view kArgumentMarkerToken = "5F3A9C0E7B2D4816A0C3E9F1D7B5A2C4";

enum class ArgumentMarkerKind {
  kValue,       // ARG_
  kController,  // CTRLARG_
  kItem,        // ITEMARG_
  kEscaped,     // ESCAPEARG_
};

// Argument ID -> value, as the call text gives them.
using ArgumentMap = std::map<std::string, std::string, NoCaseLess>;

// What a replacement needs to know about where the block is called.
struct ArgumentContext {
  // Name of the controller that owns the calling node; the controller part
  // of a value without "\".
  std::string controllerName;
};

// The marker text for `argumentId`, e.g. "$ARG_<token>:Speed$".
std::string MakeArgumentMarker(ArgumentMarkerKind kind, std::string_view argumentId);

// Replaces every marker in *text whose argument is in `args`, scanning left
// to right. S_OK on success, *text replaced. E_POINTER for a null text.
// E_INVALIDARG when a CTRLARG_ marker needs the owning controller (its value
// has no "\") and context.controllerName is empty; *text is then unchanged.
HRESULT ReplaceArgumentMarkers(std::string* text, const ArgumentContext& context,
                               const ArgumentMap& args);

}  // namespace tavrix
