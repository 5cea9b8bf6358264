// CTavrixReader: reads the project file (XML, or a packaged ".pjdb" project
// through the DataReader library) in one forward pass and hands every
// finished record to an IProjectConsumer; replacement strings, connection
// strings and function blocks go into their process-wide tables.
//
//   CTavrixReader reader({}, ReaderMode::kLoad, {.dataReaderPath = settings.dataReaderPath});
//   HRESULT hr = reader.parse(settings.dataPath, &engineManager);
//
// The XML parser (expat) reads no external entity and no external DTD, and
// fetches nothing from the network: a document that needs an external entity
// is refused. A reader object serves one parse at a time, on one thread.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "config/function_block_registry.h"
#include "config/project_consumer.h"
#include "config/replace_strings.h"
#include "platform/result.h"

namespace tavrix {

struct ReaderOptions {
  // The system setting DataReader\Path: the packaged-project library. Empty:
  // a ".pjdb" path is read as plain XML.
  std::string dataReaderPath;
  // Bytes handed to the XML parser at a time (at least 1).
  size_t chunkSize = 64 * 1024;
  // The tables the reader adds to; null means the process-wide one.
  TavrixUtility::ReplaceStringMap* replaceStrings = nullptr;
  TavrixUtility::DBStringReplaceMap* connectionStrings = nullptr;
  FunctionBlockRegistry* functionBlocks = nullptr;
};

class CTavrixReader {
 public:
  // `names`: the controllers (their `RSQLCtrlName`, matched without regard to
  // letter case) that the partial modes act on; unused in kLoad.
  CTavrixReader(std::vector<std::string> names, ReaderMode mode, ReaderOptions options = {});
  ~CTavrixReader();
  CTavrixReader(const CTavrixReader&) = delete;
  CTavrixReader& operator=(const CTavrixReader&) = delete;

  // Reads the file at `path` and applies it to `engine` (null: records are
  // read and dropped; the tables are still filled). Returns S_OK, or the
  // failure that stopped the read: the file's open error; TVX_E_XML_SYNTAX
  // for a document that is not well-formed; TVX_E_XML_EXTERNAL_ENTITY for
  // one that needs an external entity; E_INVALIDARG for a calculation field
  // before its first `Calculation` or for elements nested more than
  // ReaderCore::kMaxElementDepth deep; the decryption failure of an element
  // marked `Encrypt` (E_NOTIMPL until a decoder is installed); or the
  // packaged-project failure. Every failure is logged with the path.
  HRESULT parse(std::string_view path, IProjectConsumer* engine);

  // Reads a document held in memory, as parse does after opening the file;
  // `name` stands for the path in log lines.
  HRESULT ParseDocument(std::string_view document, std::string_view name,
                        IProjectConsumer* engine);

  // Controllers matched by the last parse in the partial modes (listed and
  // found by the consumer).
  int32_t MatchedCount() const { return matched_; }
  ReaderMode mode() const { return mode_; }

 public:
  class Source;  // the document's bytes, piece by piece

 private:
  HRESULT ParseSource(std::string_view name, Source& source, IProjectConsumer* engine);
  // Writes the closing log lines of a read that began at `start`.
  HRESULT Finish(std::string_view name, HRESULT hr, std::chrono::steady_clock::time_point start);

  std::vector<std::string> names_;
  ReaderMode mode_;
  ReaderOptions options_;
  int32_t matched_ = 0;
};

}  // namespace tavrix
