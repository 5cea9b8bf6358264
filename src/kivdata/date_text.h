// The value text of a date (VT_DATE): readable where that is exact, and the
// exact day number where it is not. The grammar is described at the top of
// typed_text.cc.
#pragma once

#include <string>
#include <string_view>

#include "platform/result.h"

namespace tavrix::kivdata {

// Appends the text of a date given as the platform's day number (days since
// 1899-12-30; the fraction is the time of day, taken by magnitude for dates
// before that day). ParseDateText gives back the same bits for every double.
void AppendDateText(double date, std::string* out);

// Reads a date text (without blanks around it). DISP_E_TYPEMISMATCH when it is
// neither a readable date nor a number, DISP_E_OVERFLOW for a year outside
// 100..9999 or a number out of range; *out is unchanged on failure.
HRESULT ParseDateText(std::string_view text, double* out);

}  // namespace tavrix::kivdata
