// The formatter the Format calculation operation (39) uses: the formatter
// plug-in once its bridge is started. Without one, Format fails with
// E_NOTIMPL.
#pragma once

#include <memory>

#include "platform/result.h"
#include "platform/unknown.h"
#include "platform/variant.h"

namespace tavrix {

class IValueFormatter {
 public:
  virtual ~IValueFormatter() = default;
  // Formats `value` by `format` under `lcid` into *out. Called from any
  // thread, possibly from several at once.
  virtual HRESULT Format(const Variant& value, const Variant& format, LCID lcid,
                         Variant* out) = 0;
};

// The process-wide formatter (null: none). Installing replaces the previous
// one; a call already running keeps the one it started with.
void SetValueFormatter(std::shared_ptr<IValueFormatter> formatter);
std::shared_ptr<IValueFormatter> CurrentValueFormatter();

}  // namespace tavrix
