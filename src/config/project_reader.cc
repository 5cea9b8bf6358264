#include "config/project_reader.h"

#include <expat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <vector>

#include "config/packaged_project.h"
#include "config/reader_core.h"
#include "platform/log.h"

namespace tavrix {
namespace {

// Separates a namespace URI from the local name in expat's element names.
constexpr char kNamespaceSeparator = '\x01';

std::string_view LocalName(const XML_Char* name) {
  const char* local = std::strrchr(name, kNamespaceSeparator);
  return local != nullptr ? std::string_view(local + 1) : std::string_view(name);
}

// Records nothing: for a parse without an engine (the tables still fill).
class NullConsumer final : public IProjectConsumer {
 public:
  HRESULT InitializeHistory(const WorkspaceRecord&) override { return S_OK; }
  HRESULT SetWorkspaceInfo(const WorkspaceRecord&) override { return S_OK; }
  HRESULT RegisterController(const ControllerRecord&) override { return S_OK; }
  void AddItem(const ItemRecord&) override {}
  void SetLegacyTrigger(const LegacyTriggerRecord&) override {}
  bool FindController(std::string_view) override { return false; }
  HRESULT ReloadTrigger(std::string_view, const ControllerRecord&) override { return S_OK; }
  HRESULT UpdateController(std::string_view, const ControllerRecord&) override { return S_OK; }
  void UpdateItem(std::string_view, const ItemRecord&) override {}
  void FinishControllerUpdate(std::string_view, const ControllerRecord&, ReaderMode) override {}
  void SetCommonSetting(std::string_view, std::string_view, std::string_view,
                        std::string_view) override {}
  void SetProjectVersion(const ProjectVersion&) override {}
};

// What the expat callbacks share.
struct ExpatContext {
  XML_Parser parser = nullptr;
  ReaderCore* core = nullptr;
  HRESULT failure = S_OK;       // the failure that stopped the parse
  std::string refusedEntity;    // set when an external entity was needed
  unsigned long refusedLine = 0;
  unsigned long refusedColumn = 0;
  std::vector<ReaderAttribute> attributes;  // reused between elements
};

void Stop(ExpatContext* ctx, HRESULT hr) {
  if (ctx->failure.succeeded()) ctx->failure = hr;
  XML_StopParser(ctx->parser, XML_FALSE);
}

void Refuse(ExpatContext* ctx, std::string_view entity) {
  if (ctx->refusedEntity.empty()) {
    ctx->refusedEntity = entity.empty() ? std::string("(unnamed)") : std::string(entity);
    ctx->refusedLine = XML_GetCurrentLineNumber(ctx->parser);
    ctx->refusedColumn = XML_GetCurrentColumnNumber(ctx->parser) + 1;
  }
}

void XMLCALL OnStartElement(void* data, const XML_Char* name, const XML_Char** atts) {
  auto* ctx = static_cast<ExpatContext*>(data);
  if (ctx->failure.failed()) return;
  ctx->attributes.clear();
  for (const XML_Char** a = atts; a[0] != nullptr && a[1] != nullptr; a += 2) {
    ctx->attributes.push_back({LocalName(a[0]), std::string_view(a[1])});
  }
  const HRESULT hr = ctx->core->StartElement(LocalName(name), ctx->attributes);
  if (hr.failed()) Stop(ctx, hr);
}

void XMLCALL OnEndElement(void* data, const XML_Char*) {
  auto* ctx = static_cast<ExpatContext*>(data);
  if (ctx->failure.failed()) return;
  const HRESULT hr = ctx->core->EndElement();
  if (hr.failed()) Stop(ctx, hr);
}

void XMLCALL OnCharacters(void* data, const XML_Char* text, int length) {
  auto* ctx = static_cast<ExpatContext*>(data);
  if (ctx->failure.failed() || length <= 0) return;
  ctx->core->Characters(std::string_view(text, static_cast<size_t>(length)));
}

// An external general entity in the content: never read.
int XMLCALL OnExternalEntity(XML_Parser parser, const XML_Char*, const XML_Char*,
                             const XML_Char* systemId, const XML_Char*) {
  auto* ctx = static_cast<ExpatContext*>(XML_GetUserData(parser));
  Refuse(ctx, systemId != nullptr ? systemId : "");
  return XML_STATUS_ERROR;
}

// An entity declared where the parser does not look (an external DTD or
// parameter entity): the document would read differently with it.
void XMLCALL OnSkippedEntity(void* data, const XML_Char* name, int) {
  auto* ctx = static_cast<ExpatContext*>(data);
  if (ctx->failure.failed()) return;
  Refuse(ctx, name != nullptr ? name : "");
  Stop(ctx, TVX_E_XML_EXTERNAL_ENTITY);
}

}  // namespace

// Gives the document in pieces of at most `max` bytes; an empty piece ends it.
class CTavrixReader::Source {
 public:
  virtual ~Source() = default;
  virtual HRESULT Next(size_t max, std::string_view* piece) = 0;
};

namespace {

class MemorySource final : public CTavrixReader::Source {
 public:
  explicit MemorySource(std::string_view document) : rest_(document) {}
  HRESULT Next(size_t max, std::string_view* piece) override {
    *piece = rest_.substr(0, max);
    rest_.remove_prefix(piece->size());
    return S_OK;
  }

 private:
  std::string_view rest_;
};

class FileSource final : public CTavrixReader::Source {
 public:
  ~FileSource() override {
    if (file_ != nullptr) std::fclose(file_);
  }
  HRESULT Open(std::string_view path) {
    const std::string p(path);
    file_ = std::fopen(p.c_str(), "rb");
    return file_ != nullptr ? S_OK : ResultFromErrno(errno);
  }
  HRESULT Next(size_t max, std::string_view* piece) override {
    buffer_.resize(max);
    const size_t got = std::fread(buffer_.data(), 1, max, file_);
    if (got == 0 && std::ferror(file_)) return ResultFromErrno(errno != 0 ? errno : EIO);
    *piece = std::string_view(buffer_.data(), got);
    return S_OK;
  }

 private:
  std::FILE* file_ = nullptr;
  std::vector<char> buffer_;
};

}  // namespace

CTavrixReader::CTavrixReader(std::vector<std::string> names, ReaderMode mode,
                             ReaderOptions options)
    : names_(std::move(names)), mode_(mode), options_(std::move(options)) {}

CTavrixReader::~CTavrixReader() = default;

HRESULT CTavrixReader::parse(std::string_view path, IProjectConsumer* engine) {
  if (IsPackagedProjectPath(path) && !options_.dataReaderPath.empty()) {
    const auto start = std::chrono::steady_clock::now();
    const HRESULT hr = ReadPackagedProject(
        options_.dataReaderPath, path, [&](std::string_view document) {
          MemorySource source(document);
          return ParseSource(path, source, engine);
        });
    return Finish(path, hr, start);
  }
  const auto start = std::chrono::steady_clock::now();
  FileSource source;
  HRESULT hr = source.Open(path);
  if (hr.succeeded()) hr = ParseSource(path, source, engine);
  return Finish(path, hr, start);
}

HRESULT CTavrixReader::ParseDocument(std::string_view document, std::string_view name,
                                     IProjectConsumer* engine) {
  const auto start = std::chrono::steady_clock::now();
  MemorySource source(document);
  return Finish(name, ParseSource(name, source, engine), start);
}

HRESULT CTavrixReader::Finish(std::string_view name, HRESULT hr,
                              std::chrono::steady_clock::time_point start) {
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - start);
  Log(0, "CTavrixReader::parse end. time : %dms\n", static_cast<int64_t>(elapsed.count()));
  if (hr.failed()) {
    Log(1, "CTavrixReader::parse(m_pXmlReader->parseURL) error code: %08x\n", hr.bits());
  }
  Log(0, "Parse result code: %08x\n", hr.bits());
  if (hr.succeeded()) return hr;
  LogResult(hr, 1, "Parsing document error: %ls\n", name);
  if (!ResultName(hr).empty()) {
    LogResult(hr, 3, "Failed to load project. %ls\n", ResultDescription(hr));
  } else {
    LogResult(hr, 3, "Failed to load project. error code : %08x\n", hr.bits());
  }
  return hr;
}

HRESULT CTavrixReader::ParseSource(std::string_view name, Source& source,
                                   IProjectConsumer* engine) {
  matched_ = 0;
  NullConsumer none;
  ReaderTables tables{
      options_.replaceStrings != nullptr ? options_.replaceStrings
                                         : &TavrixUtility::ReplaceStringMap::Instance(),
      options_.connectionStrings != nullptr ? options_.connectionStrings
                                            : &TavrixUtility::DBStringReplaceMap::Instance(),
      options_.functionBlocks != nullptr ? options_.functionBlocks
                                         : &FunctionBlockRegistry::Instance(),
  };
  ReaderCore core(names_, mode_, tables, engine != nullptr ? engine : &none);

  XML_Parser parser = XML_ParserCreateNS(nullptr, kNamespaceSeparator);
  if (parser == nullptr) {
    Log(1, "CTavrixReader::parse(CoCreateInstance) error code: %08x\n", E_OUTOFMEMORY.bits());
    return E_OUTOFMEMORY;
  }
  ExpatContext ctx;
  ctx.parser = parser;
  ctx.core = &core;
  XML_SetUserData(parser, &ctx);
  XML_SetElementHandler(parser, OnStartElement, OnEndElement);
  XML_SetCharacterDataHandler(parser, OnCharacters);
  XML_SetExternalEntityRefHandler(parser, OnExternalEntity);
  XML_SetSkippedEntityHandler(parser, OnSkippedEntity);
  XML_SetParamEntityParsing(parser, XML_PARAM_ENTITY_PARSING_NEVER);

  const size_t chunk = std::clamp<size_t>(options_.chunkSize, 1, INT_MAX / 2);
  core.StartDocument();
  HRESULT hr = S_OK;
  while (true) {
    std::string_view piece;
    hr = source.Next(chunk, &piece);
    if (hr.failed()) break;
    const bool last = piece.empty();
    const int length = static_cast<int>(piece.size());
    if (XML_Parse(parser, piece.data(), length, last ? XML_TRUE : XML_FALSE) == XML_STATUS_ERROR) {
      const XML_Error code = XML_GetErrorCode(parser);
      if (!ctx.refusedEntity.empty()) {
        LogResult(TVX_E_XML_EXTERNAL_ENTITY, 3,
                  "CTavrixReader::parse : %s line %d, column %d needs the external entity %s, "
                  "which is never read. The document is refused.\n",
                  name, ctx.refusedLine, ctx.refusedColumn, ctx.refusedEntity);
        hr = TVX_E_XML_EXTERNAL_ENTITY;
      } else if (ctx.failure.failed()) {
        hr = ctx.failure;
      } else {
        LogResult(TVX_E_XML_SYNTAX, 3,
                  "CTavrixReader::parse : XML error in %s at line %d, column %d : %s\n", name,
                  XML_GetCurrentLineNumber(parser), XML_GetCurrentColumnNumber(parser) + 1,
                  XML_ErrorString(code));
        hr = TVX_E_XML_SYNTAX;
      }
      break;
    }
    if (last) break;
  }
  core.EndDocument();
  matched_ = core.matched();
  XML_ParserFree(parser);
  return hr;
}

}  // namespace tavrix
