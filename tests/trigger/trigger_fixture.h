// What the trigger tests share: a project of simulated controllers whose
// trigger trees are given as project-file fragments, run by a real engine
// manager with the trigger engine installed.
//
//   TriggerProject p;
//   p.controllers.push_back({"A", {{"Count", "counter"}, {"Out", "out"}},
//                            Action(6, "<m_strPutItem>Out</m_strPutItem>...")});
//   ASSERT_EQ(Start(p), S_OK);
//   EXPECT_TRUE(WaitFor([&] { return ValueOf("A", "Out").vt() == VT_I4; }));
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "config/function_block_registry.h"
#include "controller/controller.h"
#include "engine/engine_fixture.h"
#include "trigger/actions/process_spawn.h"
#include "trigger/trigger_install.h"

namespace tavrix::trigger_test {

using namespace std::chrono_literals;
using engine_test::EngineTest;
using engine_test::UniqueZeltName;

struct TriggerItem {
  std::string name;
  std::string variable;  // a simulator variable (DESIGN: counter, ramp, any name a cell)
  std::string extra{};   // further item elements
};

struct TriggerController {
  std::string name;
  std::vector<TriggerItem> items{};
  std::string trigger{};        // the children of TriggerEx
  std::string tempVariables{};  // the TempVariableList text
  int32_t samplingRate = 20;
  bool startup = true;
  std::string extra{};          // further controller elements
};

struct TriggerProject {
  std::string version = "1.4.0";  // empty: an unversioned project
  std::string workspace{};        // further workspace elements
  std::string functionBlocks{};   // FunctionBlock elements
  std::vector<TriggerController> controllers{};
};

// <Action> with the common texts and `body`.
inline std::string Action(int32_t number, const std::string& body = "",
                          const std::string& description = "act", const std::string& id = "1") {
  return "<Action><m_strId>" + description + id + "</m_strId><Description>" + description +
         "</Description><m_lId>" + id + "</m_lId><m_lAction>" + std::to_string(number) +
         "</m_lAction>" + body + "</Action>";
}

// A put-value action writing `value` of variant type `type` to `item`.
inline std::string PutValue(const std::string& item, const std::string& value, int type = 3,
                            const std::string& description = "put", const std::string& id = "1",
                            const std::string& controller = "") {
  return Action(6,
                "<m_strPutController>" + controller + "</m_strPutController><m_strPutItem>" +
                    item + "</m_strPutItem><m_strPutValue>" + value +
                    "</m_strPutValue><m_lPutType>" + std::to_string(type) + "</m_lPutType>",
                description, id);
}

// An <Evaluation> (or <While>) with one condition and the given children.
inline std::string Evaluation(const std::string& name, int condition, const std::string& threshold,
                              const std::string& children, const std::string& elseChildren = "",
                              const std::string& element = "Evaluation",
                              const std::string& description = "eval",
                              const std::string& extra = "") {
  std::string xml = "<" + element + "><Description>" + description + "</Description><m_lId>1</m_lId>" +
                    "<m_strName>" + name + "</m_strName><m_lCondition>" +
                    std::to_string(condition) + "</m_lCondition><m_strThreshold>" + threshold +
                    "</m_strThreshold>" + extra + children;
  if (!elseChildren.empty()) xml += "<Else>" + elseChildren + "</Else>";
  return xml + "</" + element + ">";
}

inline std::string TriggerProjectXml(const TriggerProject& p) {
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<TavrixProject>\n";
  if (!p.version.empty()) xml += "<Version>" + p.version + "</Version>\n";
  xml += "<INode Type=\"clsTavrixWorkspace\">\n<clsTavrixWorkspace>\n" + p.workspace;
  if (!p.functionBlocks.empty()) xml += "<FunctionBlockList>" + p.functionBlocks + "</FunctionBlockList>\n";
  xml += "</clsTavrixWorkspace>\n";
  for (const TriggerController& c : p.controllers) {
    xml += "<INode Type=\"clsTavrixController\">\n<clsTavrixController>\n"
           "<m_strCtrlName>" + UniqueZeltName(c.name) + "</m_strCtrlName>\n"
           "<RSQLCtrlName>" + c.name + "</RSQLCtrlName>\n"
           "<m_bEnabled>True</m_bEnabled>\n"
           "<m_strProvider>ZeltProv.Sim</m_strProvider>\n"
           "<m_lSamplingRate>" + std::to_string(c.samplingRate) + "</m_lSamplingRate>\n"
           "<m_bStartup>" + (c.startup ? "True" : "False") + "</m_bStartup>\n" + c.extra +
           "<TriggerEx>";
    if (!c.tempVariables.empty()) xml += "<TempVariableList>" + c.tempVariables + "</TempVariableList>";
    xml += c.trigger + "</TriggerEx>\n</clsTavrixController>\n<Text>" + c.name + "</Text>\n";
    for (const TriggerItem& item : c.items) {
      xml += "<INode Type=\"clsTavrixItem\"><clsTavrixItem><m_strItemName>" + item.name +
             "</m_strItemName><m_bEnabled>True</m_bEnabled><m_bVariableEnabled>True"
             "</m_bVariableEnabled><m_strVarName>" + item.variable +
             "</m_strVarName>" + item.extra + "</clsTavrixItem></INode>\n";
    }
    xml += "</INode>\n";
  }
  return xml + "</INode>\n</TavrixProject>\n";
}

class TriggerTest : public EngineTest {
 protected:
  TriggerTest() { InstallTriggerEngine(); }
  ~TriggerTest() override {
    // The engine stops (in the base) before the parts are reset below only
    // if it is stopped here first.
    if (engine_) engine_test::MustReturn("Terminate", [this] { engine_->Terminate(); });
    engine_.reset();
    // Programs the tree started may still be writing into the test's folder,
    // which the base removes next.
    WaitFor([] { return PendingChildren() == 0; });
    ControllerParts::Instance() = ControllerParts{};
    FunctionBlockRegistry::Instance().ResetForTesting();
  }

  HRESULT Start(const TriggerProject& project) {
    return StartOn(WriteProject(TriggerProjectXml(project)));
  }

  // Stops the engine and forgets its lines, for the next case of a table.
  void StopEngine() {
    if (engine_) engine_test::MustReturn("Terminate", [this] { engine_->Terminate(); });
    engine_.reset();
    log_.Clear();
  }

  Ref<CTavrixController> Controller(const std::string& name) {
    return engine_ ? engine_->FindController(name) : Ref<CTavrixController>();
  }
  // The trigger initialisation result once the controller's activation has
  // set it (0 while it has not, after 30 s).
  int32_t InitResult(const std::string& controller) {
    Ref<CTavrixController> c = Controller(controller);
    if (!c) return -1;
    WaitFor([&] { return c->triggerInitResult() != 0; });
    return c->triggerInitResult();
  }
  Ref<CTavrixItem> Item(const std::string& controller, const std::string& item) {
    Ref<CTavrixController> c = Controller(controller);
    return c ? c->FindItem(item) : Ref<CTavrixItem>();
  }
  // The cached value of an item (Empty when there is no such item).
  Variant ValueOf(const std::string& controller, const std::string& item) {
    Ref<CTavrixItem> i = Item(controller, item);
    return i ? i->value() : Variant();
  }
  Variant TemporaryValueOf(const std::string& controller, const std::string& name) {
    Variant v;
    if (Ref<CTavrixController> c = Controller(controller)) {
      (void)c->temporaryItems().GetValue(name, &v);
    }
    return v;
  }

  // Waits up to 30 s for `done`.
  static bool WaitFor(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (std::chrono::steady_clock::now() < deadline) {
      if (done()) return true;
      std::this_thread::sleep_for(2ms);
    }
    return done();
  }
};

}  // namespace tavrix::trigger_test
