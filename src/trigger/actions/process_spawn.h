// Starting programs for the shell action: a parameter text split into
// words, and a child started without a shell and without waiting for it.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"

namespace tavrix {

// The words of a parameter text: white space separates words; double quotes
// group words with their white space and are removed; a backslash before a
// double quote gives the quote itself. Any other backslash is kept. A pair
// of quotes with nothing between them is an empty word.
std::vector<std::string> SplitCommandLine(std::string_view text);

// Starts `file` (looked up in PATH when it has no "/") with `arguments` as
// argv[1..], stdin on /dev/null and every descriptor above stderr closed,
// the default signal dispositions and an empty signal mask. Does not wait:
// the child is reaped in the background once it ends. S_OK and *pid (when
// given), or the failure of the start (ENOENT, EACCES ... as results).
HRESULT SpawnDetached(const std::string& file, const std::vector<std::string>& arguments,
                      pid_t* pid = nullptr);

// How many started children have not been reaped yet.
size_t PendingChildren();

}  // namespace tavrix
