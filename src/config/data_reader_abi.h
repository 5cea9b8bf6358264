/* The contract of a packaged-project library: the shared library that the
 * system setting DataReader\Path names, which opens a ".pjdb" project and
 * gives the project reader its XML document.
 *
 * The library exports, with C linkage:
 *
 *   int32_t OpenProject(const char* path, uint32_t code,
 *                       struct TavrixProjectDocument* document);
 *
 * `path` is the project path (UTF-8); `code` is TAVRIX_OPEN_PROJECT_CODE, and
 * a library refuses any other value (E_INVALIDARG, 0x80070057). On success
 * (a result of 0 or more) the library has filled *document with the bytes
 * of an XML document, which stay valid until the reader calls
 * document->release(document) (release may be null when nothing needs
 * freeing). On failure (a negative result) *document is not used.
 */
#ifndef TAVRIX_CONFIG_DATA_READER_ABI_H_
#define TAVRIX_CONFIG_DATA_READER_ABI_H_

#include <stddef.h>
#include <stdint.h>

#define TAVRIX_OPEN_PROJECT_CODE 0x504A4442u /* "PJDB" */
#define TAVRIX_OPEN_PROJECT_EXPORT "OpenProject"

#ifdef __cplusplus
extern "C" {
#endif

struct TavrixProjectDocument {
  const char* data;  /* the document's bytes, in any encoding expat reads */
  size_t size;
  void* context;     /* the library's own */
  void (*release)(struct TavrixProjectDocument* document);
};

typedef int32_t (*TavrixOpenProjectFn)(const char* path, uint32_t code,
                                       struct TavrixProjectDocument* document);

#ifdef __cplusplus
}
#endif

#endif /* TAVRIX_CONFIG_DATA_READER_ABI_H_ */
