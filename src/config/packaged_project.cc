#include "config/packaged_project.h"

#include <dlfcn.h>

#include <string>

#include "config/data_reader_abi.h"
#include "platform/log.h"
#include "platform/text.h"

namespace tavrix {

bool IsPackagedProjectPath(std::string_view path) {
  constexpr std::string_view kExtension = ".pjdb";
  return path.size() >= kExtension.size() &&
         EqualsNoCase(path.substr(path.size() - kExtension.size()), kExtension);
}

HRESULT ReadPackagedProject(std::string_view libraryPath, std::string_view projectPath,
                            const std::function<HRESULT(std::string_view document)>& consume) {
  const std::string library(libraryPath);
  void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* why = dlerror();
    LogResult(E_FAIL, 3, "CTavrixReader::parse : Cannot load the DataReader library %s : %s\n",
              library, why != nullptr ? why : "");
    return E_FAIL;
  }
  auto open = reinterpret_cast<TavrixOpenProjectFn>(dlsym(handle, TAVRIX_OPEN_PROJECT_EXPORT));
  if (open == nullptr) {
    LogResult(E_FAIL, 3, "CTavrixReader::parse : The DataReader library %s lacks %s.\n", library,
              TAVRIX_OPEN_PROJECT_EXPORT);
    dlclose(handle);
    return E_FAIL;
  }
  const std::string project(projectPath);
  TavrixProjectDocument document{nullptr, 0, nullptr, nullptr};
  HRESULT hr = HRESULT(open(project.c_str(), TAVRIX_OPEN_PROJECT_CODE, &document));
  if (hr.succeeded()) {
    const std::string_view content =
        document.data != nullptr ? std::string_view(document.data, document.size)
                                 : std::string_view();
    hr = consume(content);
    if (document.release != nullptr) document.release(&document);
  } else {
    LogResult(hr, 1, "CTavrixReader::parse : The DataReader library cannot open %s.\n", project);
  }
  dlclose(handle);
  return hr;
}

}  // namespace tavrix
