// Failure descriptions of the Zelt objects.
//
// A failing Zelt call that has more to say than its code records a description
// for the calling thread (the place a late-bound caller would find error
// details) and writes it as a log line. The description stays until the next
// failure recorded on the same thread.
#pragma once

#include <string>
#include <string_view>

#include "platform/result.h"

namespace tavrix {

// Records `description` for this thread, logs it with the code (at trace level
// for TVX_E_ZELT_ALREADY_EXISTS, which callers expect and handle, at warning
// level otherwise) and returns `hr`.
HRESULT ZeltFail(HRESULT hr, std::string_view description);

// The description of the last failure recorded on this thread ("" when none).
std::string ZeltLastError();

}  // namespace tavrix
