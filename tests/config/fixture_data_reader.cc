// A packaged-project library for the tests: a ".pjdb" file here is a
// gzip-compressed XML document, which OpenProject returns unpacked.
#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "config/data_reader_abi.h"

namespace {

constexpr int32_t kInvalidArg = static_cast<int32_t>(0x80070057u);
constexpr int32_t kFileNotFound = static_cast<int32_t>(0x80070002u);
constexpr int32_t kFail = static_cast<int32_t>(0x80004005u);

void Release(TavrixProjectDocument* document) {
  delete static_cast<std::string*>(document->context);
  document->context = nullptr;
  document->data = nullptr;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int32_t OpenProject(
    const char* path, uint32_t code, TavrixProjectDocument* document) {
  if (code != TAVRIX_OPEN_PROJECT_CODE || path == nullptr || document == nullptr) {
    return kInvalidArg;
  }
  gzFile file = gzopen(path, "rb");
  if (file == nullptr) return kFileNotFound;
  auto* text = new std::string();
  char buffer[4096];
  int got = 0;
  while ((got = gzread(file, buffer, sizeof buffer)) > 0) text->append(buffer, got);
  const bool failed = got < 0;
  gzclose(file);
  if (failed) {
    delete text;
    return kFail;
  }
  document->data = text->data();
  document->size = text->size();
  document->context = text;
  document->release = Release;
  return 0;
}
