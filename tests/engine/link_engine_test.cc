// Links between the items of two simulated controllers, wired by the engine's
// own item wiring: the link check across controllers, and links that loop
// between two controllers under load, which must neither deadlock the
// sampling threads nor lose the last value.
#include <future>

#include "config/project_version.h"
#include "engine/engine_fixture.h"
#include "item/item.h"
#include "item/link_check.h"

namespace tavrix::engine_test {
namespace {

struct SimItem {
  std::string name;
  std::string variable;  // empty: a reference item
  std::string links;
};

struct LinkedController {
  std::string name;
  std::vector<SimItem> items;
};

// A versioned project of simulated controllers sampling every millisecond.
std::string LinkedProject(const std::vector<LinkedController>& controllers) {
  std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<TavrixProject>\n<Version>1.4.0</Version>\n"
      "<INode Type=\"clsTavrixWorkspace\">\n<clsTavrixWorkspace>\n"
      "<m_strZeltHost>localhost</m_strZeltHost>\n</clsTavrixWorkspace>\n";
  for (const LinkedController& c : controllers) {
    xml += "<INode Type=\"clsTavrixController\">\n<clsTavrixController>\n"
           "<m_strCtrlName>" + UniqueZeltName(c.name) + "</m_strCtrlName>\n"
           "<m_bEnabled>True</m_bEnabled>\n"
           "<RSQLCtrlName>" + c.name + "</RSQLCtrlName>\n"
           "<m_strProvider>ZeltProv.Sim</m_strProvider>\n"
           "<m_lSamplingRate>1</m_lSamplingRate>\n<m_bStartup>True</m_bStartup>\n"
           "</clsTavrixController>\n<Text>" + c.name + "</Text>\n";
    for (const SimItem& item : c.items) {
      const bool reference = item.variable.empty();
      xml += "<INode Type=\"clsTavrixItem\">\n<clsTavrixItem>\n"
             "<m_strItemName>" + item.name + "</m_strItemName>\n"
             "<m_bEnabled>True</m_bEnabled>\n" +
             (reference ? std::string("<m_lType>2</m_lType>\n")
                        : "<m_bVariableEnabled>True</m_bVariableEnabled>\n<m_strVarName>" +
                              item.variable + "</m_strVarName>\n") +
             "<LinkItem>" + item.links + "</LinkItem>\n"
             "<m_bUseHistory>False</m_bUseHistory>\n"
             "</clsTavrixItem>\n</INode>\n";
    }
    xml += "</INode>\n";
  }
  xml += "</INode>\n</TavrixProject>\n";
  return xml;
}

// Waits up to `limit` for `body` to return; a body that does not return has
// threads stuck in a deadlock that nothing can undo, so the program ends
// with the reason rather than hang the suite.
template <typename F>
void MustReturnWithin(std::chrono::seconds limit, const char* what, F body) {
  auto done = std::async(std::launch::async, std::move(body));
  if (done.wait_for(limit) != std::future_status::ready) {
    std::fprintf(stderr, "%s did not return within %llds: deadlocked\n", what,
                 static_cast<long long>(limit.count()));
    std::abort();
  }
  done.get();
}

class LinkEngineTest : public EngineTest {
 protected:
  ~LinkEngineTest() override {
    if (engine_) MustReturn("Terminate", [this] { engine_->Terminate(); });
    engine_.reset();
    ResetVersionedProjectForTesting();
  }

  // Starts the engine with its own item wiring (the other services record)
  // and waits until every controller is active.
  void StartLinked(const std::vector<LinkedController>& controllers) {
    EngineServices services = RecordingServices(calls_, answers_);
    services.itemWiring.reset();  // the engine's own
    engine_ = std::make_unique<CTavrixEngineMan>(std::move(services));
    EngineSettings settings;
    settings.dataPath = WriteProject(LinkedProject(controllers));
    engine_->SetSettings(settings);
    ASSERT_EQ(engine_->Initialize(), S_OK);
    ASSERT_TRUE(WaitForLine("TavrixEngineMan : End activate controller group 0.\n"));
  }

  Ref<CTavrixItem> Item(std::string_view controller, std::string_view item) {
    Ref<CTavrixItem> found = engine_->FindEngineItem(controller, item);
    EXPECT_TRUE(found) << controller << "\\" << item;
    return found;
  }

  // Waits until `item` holds `value`; false after 20 s.
  static bool WaitForValue(CTavrixItem& item, const Variant& value) {
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (std::chrono::steady_clock::now() < deadline) {
      if (item.value().Identical(value)) return true;
      std::this_thread::sleep_for(2ms);
    }
    return false;
  }
};

// The check runs once the links of every controller exist, so a loop through
// two controllers is seen from both ends.
TEST_F(LinkEngineTest, TheLinkCheckSeesLoopsThroughTwoControllers) {
  StartLinked({{"C1", {{"R1", "", "C2\\R2"}, {"A", "a", "C2\\B"}}},
               {"C2", {{"R2", "", "C1\\R1"}, {"B", "b", "C1\\A"}}}});
  for (const auto& [controller, item] : {std::pair{"C1", "R1"}, std::pair{"C2", "R2"}}) {
    SCOPED_TRACE(item);
    Ref<CTavrixItem> r = Item(controller, item);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->linkCheckResult(), kLinkCheckCritical);
    EXPECT_EQ(r->state(), tvItemFailed);
    Variant out;
    EXPECT_EQ(r->get_Value(&out), E_ACCESSDENIED);
    EXPECT_GE(IndexOf(std::string("TavrixItem[") + controller + "\\" + item +
                      "] : Critical cyclic link detected."),
              0);
  }
  EXPECT_EQ(Item("C1", "A")->linkCheckResult(), kLinkCheckCycle);
  EXPECT_EQ(Item("C2", "B")->linkCheckResult(), kLinkCheckCycle);
  EXPECT_EQ(LineOf("TavrixItem[C1\\A] : Cyclic link detected.").level, 1u);
  EXPECT_EQ(LineOf("TavrixItem[C2\\B] : Cyclic link detected.").level, 1u);
}

// A and B link to each other from two controllers, each many times over, so
// that both sampling threads spend most of a cycle copying into the other
// controller while clients change both ends. Written under the source's
// locks, two such notifications at once wait for each other for ever.
TEST_F(LinkEngineTest, LinksThatLoopBetweenTwoControllersNeitherDeadlockNorLoseTheLastValue) {
  std::string toB, toA;
  for (int i = 0; i < 16; ++i) {
    toB += std::string(i ? "," : "") + "C2\\B";
    toA += std::string(i ? "," : "") + "C1\\A";
  }
  StartLinked({{"C1", {{"A", "a", toB}, {"S", "s", "C2\\D"}}},
               {"C2", {{"B", "b", toA}, {"D", "d", ""}}}});
  Ref<CTavrixItem> a = Item("C1", "A"), b = Item("C2", "B");
  Ref<CTavrixItem> s = Item("C1", "S"), d = Item("C2", "D");
  ASSERT_TRUE(a && b && s && d);

  MustReturnWithin(60s, "the load", [&] {
    std::atomic<bool> stop{false};
    auto load = [&stop](CTavrixItem* item, int32_t from) {
      for (int32_t v = from; !stop.load(); ++v) {
        (void)item->put_Value(Variant::I4(v));
        std::this_thread::sleep_for(100us);
      }
    };
    std::thread first(load, a.get(), 0), second(load, b.get(), 1000000);
    std::thread third([&] {
      for (int32_t v = 0; !stop.load(); ++v) (void)s->put_Value(Variant::I4(v));
    });
    std::this_thread::sleep_for(2s);
    stop = true;
    first.join();
    second.join();
    third.join();
  });

  // Both sampling threads still run, and the last value written at the
  // source reaches the destination.
  MustReturnWithin(60s, "the last value", [&] {
    ASSERT_EQ(s->put_Value(Variant::I4(-7)), S_OK);
    EXPECT_TRUE(WaitForValue(*s, Variant::I4(-7)));
    EXPECT_TRUE(WaitForValue(*d, Variant::I4(-7))) << DebugString(d->value());
  });
  EXPECT_EQ(CountOf("Failed in updating the linked destination."), 0);
}

}  // namespace
}  // namespace tavrix::engine_test
