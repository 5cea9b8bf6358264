// Packaged projects (".pjdb"): a library named by the system setting
// DataReader\Path opens the package and returns its XML document
// (config/data_reader_abi.h).
#pragma once

#include <functional>
#include <string_view>

#include "platform/result.h"

namespace tavrix {

// Whether `path` ends in ".pjdb" in any letter case.
bool IsPackagedProjectPath(std::string_view path);

// Loads `libraryPath`, calls its "OpenProject" for `projectPath` and passes
// the document to `consume` (which returns the parse result), then releases
// the document and unloads the library. Returns E_FAIL (after a level-3 line)
// when the library does not load or lacks "OpenProject", the library's
// failure when it cannot open the project, else the result of `consume`.
HRESULT ReadPackagedProject(std::string_view libraryPath, std::string_view projectPath,
                            const std::function<HRESULT(std::string_view document)>& consume);

}  // namespace tavrix
