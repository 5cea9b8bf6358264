// Fuzzes the project reader: any bytes either read or fail with a result,
// never crash, leak or overrun. The first byte chooses the reader mode and
// how many bytes expat gets per call, so that texts and names arrive in
// pieces; elements marked Encrypt go through a decoder that accepts half
// of the texts.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "config/function_block_registry.h"
#include "config/project_consumer.h"
#include "config/project_reader.h"
#include "config/replace_strings.h"
#include "config/text_decoder.h"
#include "platform/log.h"

namespace {

class FuzzDecoder final : public tavrix::ITextDecoder {
 public:
  tavrix::HRESULT Decode(std::string_view text, std::string* out) override {
    if (!text.empty() && (text[0] & 1) != 0) return tavrix::E_ACCESSDENIED;
    out->assign(text.rbegin(), text.rend());
    return tavrix::S_OK;
  }
};

// Keeps the log quiet: lines are formatted but dropped.
class NullSink final : public tavrix::LogSink {
 public:
  void Write(uint32_t, tavrix::HRESULT, std::string_view) override {}
};

// Finds every controller and refuses those whose name starts with "x", so
// that the skip paths run too.
class FuzzConsumer final : public tavrix::IProjectConsumer {
 public:
  using HRESULT = tavrix::HRESULT;
  HRESULT InitializeHistory(const tavrix::WorkspaceRecord& w) override {
    return Verdict(w.m_strZeltHost);
  }
  HRESULT SetWorkspaceInfo(const tavrix::WorkspaceRecord& w) override {
    return Verdict(w.m_strDefCtrlName);
  }
  HRESULT RegisterController(const tavrix::ControllerRecord& c) override {
    return Verdict(c.m_strCtrlName);
  }
  void AddItem(const tavrix::ItemRecord&) override {}
  void SetLegacyTrigger(const tavrix::LegacyTriggerRecord&) override {}
  bool FindController(std::string_view) override { return true; }
  HRESULT ReloadTrigger(std::string_view name, const tavrix::ControllerRecord&) override {
    return Verdict(name);
  }
  HRESULT UpdateController(std::string_view name, const tavrix::ControllerRecord&) override {
    return Verdict(name);
  }
  void UpdateItem(std::string_view, const tavrix::ItemRecord&) override {}
  void FinishControllerUpdate(std::string_view, const tavrix::ControllerRecord&,
                              tavrix::ReaderMode) override {}
  void SetCommonSetting(std::string_view, std::string_view, std::string_view,
                        std::string_view) override {}
  void SetProjectVersion(const tavrix::ProjectVersion&) override {}

 private:
  static HRESULT Verdict(std::string_view name) {
    return !name.empty() && name[0] == 'x' ? tavrix::E_FAIL : tavrix::S_OK;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static NullSink sink;
  static const bool installed = [] {
    tavrix::SetLogSink(&sink);
    tavrix::SetLogLevel(0);
    tavrix::SetTextDecoder(std::make_shared<FuzzDecoder>());
    return true;
  }();
  (void)installed;
  if (size == 0) return 0;

  tavrix::TavrixUtility::ReplaceStringMap replaceStrings;
  tavrix::TavrixUtility::DBStringReplaceMap connectionStrings;
  tavrix::FunctionBlockRegistry functionBlocks;
  tavrix::ReaderOptions options;
  options.chunkSize = (data[0] & 0x0F) == 0 ? 1 << 16 : (data[0] & 0x0F);
  options.replaceStrings = &replaceStrings;
  options.connectionStrings = &connectionStrings;
  options.functionBlocks = &functionBlocks;
  const auto mode = static_cast<tavrix::ReaderMode>((data[0] >> 4) & 3);
  tavrix::CTavrixReader reader({"CtrlA", "Line1"}, mode, options);
  const std::string_view document(reinterpret_cast<const char*>(data + 1), size - 1);
  FuzzConsumer consumer;
  (void)reader.ParseDocument(document, "fuzz.xml", &consumer);
  return 0;
}
