// How an object names its class to the script's TypeName function.
//
// TypeName(obj) gives the name an object states through IScriptTypeName
// ("Dictionary", a script class's name), and "Object" for an object that does
// not implement it. An object takes part by listing the interface in its
// Object<...> entries (platform/object.h).
#pragma once

#include <string>

#include "platform/unknown.h"

namespace tavrix::vbs {

inline constexpr IID IID_IScriptTypeName{0x6A1E52C0, 0x3B7D, 0x4F0E,
                                         {0x9C, 0x21, 0x5D, 0x7B, 0x80, 0x13, 0xA4, 0x6F}};

class IScriptTypeName : public IUnknown {
 public:
  static constexpr const IID& kIid = IID_IScriptTypeName;

  // The class name as scripts see it; never empty.
  virtual std::string TypeName() = 0;

 protected:
  ~IScriptTypeName() = default;
};

}  // namespace tavrix::vbs
