// The common fixture of the Zelt tests: a fresh simulator, an engine and its
// default workspace, and short helpers for the calls every test makes.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "platform/variant.h"
#include "zelt/engine.h"
#include "zelt/error.h"
#include "zelt/interfaces.h"
#include "zelt/sim_state.h"

namespace tavrix::zelt_test {

class ZeltTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetZeltSimulator();
    engine = CreateZeltEngine();
    workspace = DefaultWorkspace(engine);
  }
  void TearDown() override { ResetZeltSimulator(); }

  static Ref<IZeltWorkspace> DefaultWorkspace(const Ref<IZeltEngine>& e) {
    Ref<IZeltWorkspaces> spaces;
    EXPECT_EQ(e->get_Workspaces(&spaces), S_OK);
    Ref<IZeltWorkspace> ws;
    EXPECT_EQ(spaces->Item(Variant::I4(0), &ws), S_OK);
    return ws;
  }

  // A simulated controller of the default workspace (null when the open fails).
  Ref<IZeltController> Open(std::string_view name, std::string_view option = "") {
    Ref<IZeltController> c;
    EXPECT_EQ(workspace->AddController(name, "ZeltProv.Sim", "", option, &c), S_OK)
        << ZeltLastErrorText();
    return c;
  }

  static Ref<IZeltVariables> Variables(IZeltController* c) {
    Ref<IZeltVariables> vars;
    EXPECT_EQ(c->get_Variables(&vars), S_OK);
    return vars;
  }
  static Ref<IZeltVariables> Variables(IZeltClassObject* o) {
    Ref<IZeltVariables> vars;
    EXPECT_EQ(o->get_Variables(&vars), S_OK);
    return vars;
  }

  static Ref<IZeltVariable> AddVar(IZeltVariables* vars, std::string_view name) {
    Ref<IZeltVariable> v;
    EXPECT_EQ(vars->Add(name, "", &v), S_OK) << name;
    return v;
  }
  Ref<IZeltVariable> AddVar(IZeltController* c, std::string_view name) {
    return AddVar(Variables(c).get(), name);
  }

  static Variant Read(IZeltVariable* v) {
    Variant value;
    EXPECT_EQ(v->get_Value(&value), S_OK);
    return value;
  }

  static HRESULT Execute(IZeltController* c, std::string_view command) {
    Variant result;
    return c->Execute(Variant::Text(command), Variant(), &result);
  }

  static std::string ZeltLastErrorText() { return ZeltLastError(); }

  Ref<IZeltEngine> engine;
  Ref<IZeltWorkspace> workspace;
};

}  // namespace tavrix::zelt_test
