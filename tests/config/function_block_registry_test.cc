#include "config/function_block_registry.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "config/text_decoder.h"

namespace tavrix {
namespace {

FunctionBlockInfo MakeBlock(const char* id, const char* name, const char* actionText) {
  FunctionBlockInfo block;
  block.m_strFunctionBlockID = id;
  block.m_strName = name;
  block.m_arguments.push_back({"A1", "first", ""});
  auto action = std::make_unique<ActionExInfo>();
  action->m_strPutItem = actionText;
  block.m_nodes.push_back(std::move(action));
  return block;
}

std::string PutItemOf(const FunctionBlockInfo& block) {
  return static_cast<const ActionExInfo&>(*block.m_nodes.at(0)).m_strPutItem;
}

TEST(FunctionBlockRegistryTest, StoresCopiesAndHandsOutCopies) {
  FunctionBlockRegistry registry;
  FunctionBlockInfo block = MakeBlock("FB1", "Pump", "Valve");
  registry.RegisterFunctionBlock(block);
  // The reader reuses its block object; the entry must not follow it.
  block.Clear();

  auto found = registry.FindFunctionBlock("FB1");
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->m_strName, "Pump");
  EXPECT_EQ(PutItemOf(*found), "Valve");
  ASSERT_EQ(found->m_arguments.size(), 1u);

  // Changing (or replacing markers in) what was found leaves the entry alone.
  static_cast<ActionExInfo&>(*found->m_nodes[0]).m_strPutItem = "changed";
  found->m_nodes.clear();
  auto again = registry.FindFunctionBlock("fb1");
  ASSERT_NE(again, nullptr);
  EXPECT_NE(again.get(), found.get());
  EXPECT_EQ(PutItemOf(*again), "Valve");

  EXPECT_EQ(registry.FindFunctionBlock("FB2"), nullptr);
  EXPECT_EQ(registry.FindFunctionBlock(""), nullptr);
}

TEST(FunctionBlockRegistryTest, SameIdReplacesTheEntry) {
  FunctionBlockRegistry registry;
  registry.RegisterFunctionBlock(MakeBlock("FB1", "Old", "a"));
  registry.RegisterFunctionBlock(MakeBlock("FB2", "Other", "b"));
  registry.RegisterFunctionBlock(MakeBlock("fb1", "New", "c"));
  EXPECT_EQ(registry.Count(), 2u);
  auto found = registry.FindFunctionBlock("FB1");
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->m_strName, "New");
  EXPECT_EQ(PutItemOf(*found), "c");
  EXPECT_EQ(registry.FindFunctionBlock("FB2")->m_strName, "Other");
}

TEST(FunctionBlockRegistryTest, ProcessWideInstance) {
  FunctionBlockRegistry& registry = FunctionBlockRegistry::Instance();
  registry.ResetForTesting();
  registry.RegisterFunctionBlock(MakeBlock("G", "Global", "x"));
  EXPECT_EQ(&FunctionBlockRegistry::Instance(), &registry);
  EXPECT_NE(FunctionBlockRegistry::Instance().FindFunctionBlock("g"), nullptr);
  registry.ResetForTesting();
  EXPECT_EQ(registry.Count(), 0u);
}

// A trigger reload finds blocks while a project re-read replaces them.
TEST(FunctionBlockRegistryTest, FindWhileReplacing) {
  FunctionBlockRegistry registry;
  registry.RegisterFunctionBlock(MakeBlock("FB", "v0", "v0"));
  std::atomic<bool> stop{false};
  std::atomic<int> torn{0};
  std::thread finder([&] {
    while (!stop.load()) {
      auto found = registry.FindFunctionBlock("FB");
      if (!found || found->m_strName != PutItemOf(*found)) torn.fetch_add(1);
    }
  });
  for (int i = 1; i < 500; ++i) {
    const std::string v = "v" + std::to_string(i);
    registry.RegisterFunctionBlock(MakeBlock("FB", v.c_str(), v.c_str()));
  }
  stop.store(true);
  finder.join();
  EXPECT_EQ(torn.load(), 0);
}

class ReverseDecoder : public ITextDecoder {
 public:
  HRESULT Decode(std::string_view text, std::string* out) override {
    if (text == "bad") return E_FAIL;
    *out = std::string(text.rbegin(), text.rend());
    return S_OK;
  }
};

TEST(TextDecoderTest, FailsWithNotImplementedUntilADecoderIsInstalled) {
  std::string out = "keep";
  EXPECT_EQ(DecodeText("abc", &out), E_NOTIMPL);
  EXPECT_EQ(out, "keep");
  EXPECT_EQ(DecodeText("abc", nullptr), E_POINTER);

  auto decoder = std::make_shared<ReverseDecoder>();
  EXPECT_EQ(SetTextDecoder(decoder), nullptr);
  EXPECT_EQ(DecodeText("abc", &out), S_OK);
  EXPECT_EQ(out, "cba");
  EXPECT_EQ(DecodeText("bad", &out), E_FAIL);
  EXPECT_EQ(out, "cba");

  EXPECT_EQ(SetTextDecoder(nullptr), decoder);
  EXPECT_EQ(DecodeText("abc", &out), E_NOTIMPL);
}

}  // namespace
}  // namespace tavrix
