// ZeltProv.Sim: the variable kinds under an injected clock, the generator,
// writes, name and option refusals, open_failures, OFFLINE/ONLINE, read
// latency, and state shared per controller name.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>
#include <vector>

#include "platform/clock.h"
#include "platform/date.h"
#include "platform/safearray.h"
#include "zelt_fixture.h"

namespace tavrix::zelt_test {
namespace {

constexpr int64_t kStartMicros = 1'700'000'000'123'456;  // 2023-11-14 22:13:20.123456 UTC

class SimulatorTest : public ZeltTest {
 protected:
  FakeClock clock{0, kStartMicros};
  ScopedClockOverride useClock{clock};
};

Variant Bytes(std::vector<uint8_t> bytes, int32_t lower = 0) {
  Ref<SafeArray> a = SafeArray::Create1D(VT_UI1, static_cast<uint32_t>(bytes.size()), lower);
  if (!bytes.empty()) std::memcpy(a->data(), bytes.data(), bytes.size());
  return Variant::Array(std::move(a));
}

// Floats compare with a tolerance; everything else must be identical.
void ExpectValue(const Variant& got, const Variant& want) {
  if (want.vt() == VT_R8 && got.vt() == VT_R8) {
    EXPECT_NEAR(got.r8(), want.r8(), 1e-9);
  } else {
    EXPECT_TRUE(got.Identical(want)) << DebugString(got) << " want " << DebugString(want);
  }
}

TEST_F(SimulatorTest, EveryKindGivesItsSequence) {
  struct Step {
    uint32_t advanceMs;  // the clock moves this far before the read
    Variant expected;
  };
  struct Case {
    const char* name;
    const char* option;
    std::vector<Step> steps;
  };
  const auto date = [](int64_t sinceStartMs) {
    return Variant::Date(DateFromUnixMicros(kStartMicros + sinceStartMs * 1000));
  };
  constexpr double kPi = std::numbers::pi;
  constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
  // The fake clock starts 123.456 ms past a whole multiple of 4000 ms.
  const double sinePhase0 = 2 * std::sin(2 * kPi * 123.456 / 1000);
  const Case cases[] = {
      {"counter", "", {{0, Variant::I4(0)}, {0, Variant::I4(1)}, {5, Variant::I4(2)}}},
      {"Counter:10", "", {{0, Variant::I4(10)}, {0, Variant::I4(11)}}},
      {"COUNTER:10:-5", "", {{0, Variant::I4(10)}, {0, Variant::I4(5)}, {0, Variant::I4(0)}}},
      {"counter:2147483646:1",
       "",
       {{0, Variant::I4(kMax - 1)}, {0, Variant::I4(kMax)}, {0, Variant::I4(-kMax - 1)}}},
      {"ramp:0:1:0.4",
       "",
       {{0, Variant::R8(0)}, {0, Variant::R8(0.4)}, {0, Variant::R8(0.8)}, {0, Variant::R8(0)}}},
      {"RAMP:-1:1:1",
       "",
       {{0, Variant::R8(-1)}, {0, Variant::R8(0)}, {0, Variant::R8(1)}, {0, Variant::R8(-1)}}},
      {"ramp:3:3:1", "", {{0, Variant::R8(3)}, {0, Variant::R8(3)}}},
      {"sine:2:1000",
       "",
       {{0, Variant::R8(sinePhase0)},
        {1000, Variant::R8(sinePhase0)},  // a whole period later
        {1000 - 123, Variant::R8(2 * std::sin(2 * kPi * 0.456 / 1000))}}},
      {"sine:1.5:4000",
       "clock_offset_s=500",  // the host clock drives the sine, not the device clock
       {{3876, Variant::R8(1.5 * std::sin(2 * kPi * 3999.456 / 4000))}}},
      {"@CURRENT_TIME", "", {{0, date(0)}, {60'000, date(60'000)}}},
      {"@current_time", "clock_offset_s=-3600", {{0, date(-3'600'000)}}},
      {"bytes:3", "", {{0, Bytes({0, 0, 0})}}},
      {"plain cell", "", {{0, Variant()}}},
      {"Counter1", "", {{0, Variant()}}},  // not the counter kind: a plain cell
      {"rampage:1", "", {{0, Variant()}}},
  };
  int n = 0;
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    clock.SetUtcMicros(kStartMicros);
    Ref<IZeltController> c = Open("Kinds" + std::to_string(n++), k.option);
    Ref<IZeltVariable> v = AddVar(c.get(), k.name);
    for (const Step& step : k.steps) {
      clock.AdvanceMs(step.advanceMs);
      ExpectValue(Read(v.get()), step.expected);
    }
  }
}

TEST_F(SimulatorTest, AReadStampsTheVariableWithTheDeviceClock) {
  Ref<IZeltController> c = Open("Stamp", "clock_offset_s=1.5");
  Ref<IZeltVariable> v = AddVar(c.get(), "counter");
  double date = -1;
  int32_t micros = -1;
  ASSERT_EQ(v->get_DateTime(&date), S_OK);
  ASSERT_EQ(v->get_Microsecond(&micros), S_OK);
  EXPECT_EQ(date, 0);
  EXPECT_EQ(micros, 0);

  Read(v.get());
  const int64_t device = kStartMicros + 1'500'000;  // 20.123456 + 1.5 = 21.623456 s
  ASSERT_EQ(v->get_DateTime(&date), S_OK);
  ASSERT_EQ(v->get_Microsecond(&micros), S_OK);
  EXPECT_DOUBLE_EQ(date, DateFromUnixMicros(device - device % 1'000'000));
  EXPECT_EQ(micros, 623'456);

  clock.AdvanceMs(10);
  ASSERT_EQ(v->put_Value(Variant::I4(1)), E_ACCESSDENIED);  // no stamp for a refused write
  ASSERT_EQ(v->get_Microsecond(&micros), S_OK);
  EXPECT_EQ(micros, 623'456);
  Ref<IZeltVariable> cell = AddVar(c.get(), "cell");
  ASSERT_EQ(cell->put_Value(Variant::I4(1)), S_OK);
  ASSERT_EQ(cell->get_Microsecond(&micros), S_OK);
  EXPECT_EQ(micros, 633'456);
}

TEST_F(SimulatorTest, RandomFollowsTheSeedAndSharesOneGeneratorPerController) {
  auto sequence = [&](const char* name, const char* option, const char* var, int reads) {
    Ref<IZeltVariable> v = AddVar(Open(name, option).get(), var);
    std::vector<double> values;
    for (int i = 0; i < reads; ++i) values.push_back(Read(v.get()).r8());
    return values;
  };
  const std::vector<double> a = sequence("R1", "seed=7", "random:-5:5", 6);
  EXPECT_EQ(sequence("R2", "seed=7", "random:-5:5", 6), a);
  EXPECT_NE(sequence("R3", "seed=8", "random:-5:5", 6), a);
  EXPECT_NE(sequence("R4", "", "random:-5:5", 6), a);  // default seed 1
  for (double x : a) {
    EXPECT_GE(x, -5);
    EXPECT_LT(x, 5);
  }
  // Two variables draw alternately from the controller's one generator.
  Ref<IZeltController> c = Open("R5", "seed=7");
  Ref<IZeltVariable> x = AddVar(c.get(), "random:-5:5");
  Ref<IZeltVariable> y = AddVar(c.get(), "RANDOM:0:10");
  EXPECT_DOUBLE_EQ(Read(x.get()).r8(), a[0]);
  EXPECT_NEAR(Read(y.get()).r8(), a[1] + 5, 1e-12);
  EXPECT_DOUBLE_EQ(Read(x.get()).r8(), a[2]);
  EXPECT_EQ(sequence("R6", "", "random:2:2", 2), (std::vector<double>{2, 2}));
}

TEST_F(SimulatorTest, WritesKeepTheValueOrAreRefused) {
  Ref<IZeltController> c = Open("Writes");
  Ref<IZeltVariable> cell = AddVar(c.get(), "Setpoint");
  Ref<IZeltVariable> block = AddVar(c.get(), "bytes:4");
  Variant byRefTarget = Variant("by ref");
  struct Case {
    IZeltVariable* variable;
    Variant written;
    HRESULT expected;
    Variant readBack;
  };
  const Case cases[] = {
      {cell.get(), Variant::I4(5), S_OK, Variant::I4(5)},
      {cell.get(), Variant("text"), S_OK, Variant("text")},
      {cell.get(), Variant::ByRef(&byRefTarget), S_OK, Variant("by ref")},
      {cell.get(), Variant::Null(), S_OK, Variant::Null()},
      {cell.get(), Variant::Dispatch(Ref<IDispatch>(static_cast<IDispatch*>(c.get()))),
       DISP_E_TYPEMISMATCH, Variant::Null()},
      {block.get(), Bytes({1, 2, 3, 4}, 5), S_OK, Bytes({1, 2, 3, 4})},
      {block.get(), Bytes({1, 2, 3}), E_INVALIDARG, Bytes({1, 2, 3, 4})},
      {block.get(), Variant::I4(1), DISP_E_TYPEMISMATCH, Bytes({1, 2, 3, 4})},
      {AddVar(c.get(), "counter").get(), Variant::I4(9), E_ACCESSDENIED, Variant::I4(0)},
      {AddVar(c.get(), "@CURRENT_TIME").get(), Variant::Date(1), E_ACCESSDENIED,
       Variant::Date(DateFromUnixMicros(kStartMicros))},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(DebugString(k.written));
    EXPECT_EQ(k.variable->put_Value(k.written), k.expected);
    ExpectValue(Read(k.variable), k.readBack);
  }
}

TEST_F(SimulatorTest, MalformedNamesAndOptionsAreRefusedWithADescription) {
  Ref<IZeltVariables> vars = Variables(Open("Refusals").get());
  for (const char* name :
       {"ramp", "ramp:0:1", "ramp:1:0:1", "ramp:0:1:0", "ramp:0:1:-1", "sine:1:0", "sine:1",
        "sine:x:100", "random:5:1", "random:1", "random:nan:1", "bytes:0", "bytes:x",
        "bytes:1048577", "bytes", "counter:1:2:3", "counter:a", "counter:", "counter:1.5"}) {
    SCOPED_TRACE(name);
    Ref<IZeltVariable> v;
    EXPECT_EQ(vars->Add(name, "", &v), E_INVALIDARG);
    EXPECT_EQ(v, nullptr);
    EXPECT_NE(ZeltLastError().find(name), std::string::npos) << ZeltLastError();
  }
  Ref<IZeltVariable> v;
  EXPECT_EQ(vars->Add("", "", &v), E_INVALIDARG);
  int32_t count = -1;
  ASSERT_EQ(vars->get_Count(&count), S_OK);
  EXPECT_EQ(count, 0);

  struct OptionCase {
    const char* option;
    const char* described;
  };
  const OptionCase options[] = {
      {"speed=3", "speed"},
      {"seed", "seed"},
      {"seed=-1", "seed"},
      {"seed=x", "seed"},
      {"open_failures=1.5", "open_failures"},
      {"read_latency_ms=-2", "read_latency_ms"},
      {"clock_offset_s=1e300", "clock_offset_s"},
      {"clock_offset_s=", "clock_offset_s"},
  };
  for (const OptionCase& k : options) {
    SCOPED_TRACE(k.option);
    Ref<IZeltController> c;
    EXPECT_EQ(workspace->AddController("Opt", "ZeltProv.Sim", "", k.option, &c), E_INVALIDARG);
    EXPECT_NE(ZeltLastError().find(k.described), std::string::npos) << ZeltLastError();
  }
  EXPECT_TRUE(Open("Opt", " Seed = 3 ;; READ_LATENCY_MS=0;clock_offset_s=+2.5e1 ;"));
}

TEST_F(SimulatorTest, TheFirstOpenFailuresOpensOfANameFail) {
  Ref<IZeltWorkspace> other = DefaultWorkspace(CreateZeltEngine());
  Ref<IZeltController> c;
  EXPECT_EQ(workspace->AddController("Flaky", "ZeltProv.Sim", "", "open_failures=2", &c), E_FAIL);
  EXPECT_NE(ZeltLastError().find("open_failures"), std::string::npos);
  // The count belongs to the name, whichever workspace opens it.
  EXPECT_EQ(other->AddController("FLAKY", "ZeltProv.Sim", "", "open_failures=2", &c), E_FAIL);
  EXPECT_EQ(c, nullptr);
  Ref<IZeltControllers> list;
  ASSERT_EQ(workspace->get_Controllers(&list), S_OK);
  int32_t count = -1;
  ASSERT_EQ(list->get_Count(&count), S_OK);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(workspace->AddController("Flaky", "ZeltProv.Sim", "", "open_failures=2", &c), S_OK);
  EXPECT_EQ(other->AddController("Flaky", "ZeltProv.Sim", "", "", &c), S_OK);
}

TEST_F(SimulatorTest, OfflineFailsEveryReadAndWriteOfTheNameUntilOnline) {
  Ref<IZeltController> c = Open("Line");
  Ref<IZeltClassObject> robot;
  ASSERT_EQ(c->AddRobot("Arm", "", &robot), S_OK);
  Ref<IZeltVariable> counter = AddVar(c.get(), "counter");
  Ref<IZeltVariable> cell = AddVar(Variables(robot.get()).get(), "cell");
  // The same device through another engine.
  Ref<IZeltController> twin;
  ASSERT_EQ(
      DefaultWorkspace(CreateZeltEngine())->AddController("LINE", "ZeltProv.Sim", "", "", &twin),
      S_OK);
  Ref<IZeltVariable> twinCounter = AddVar(twin.get(), "counter");
  EXPECT_EQ(Read(counter.get()).i4(), 0);

  ASSERT_EQ(Execute(twin.get(), "offline"), S_OK);
  for (IZeltVariable* v : {counter.get(), cell.get(), twinCounter.get()}) {
    Variant value = Variant::I4(-1);
    EXPECT_EQ(v->get_Value(&value), E_FAIL);
    EXPECT_EQ(value.i4(), -1);
    EXPECT_EQ(v->put_Value(Variant::I4(3)), E_FAIL);
  }
  EXPECT_NE(ZeltLastError().find("offline"), std::string::npos);
  // Declaring and commands still work while offline.
  EXPECT_TRUE(AddVar(c.get(), "declared offline"));

  Variant result;
  ASSERT_EQ(robot->Execute(Variant(" Online "), Variant(), &result), S_OK);
  EXPECT_EQ(Read(twinCounter.get()).i4(), 1);  // no read advanced it while offline
  EXPECT_EQ(cell->put_Value(Variant::I4(3)), S_OK);
}

TEST_F(SimulatorTest, ReadLatencySleepsOnTheInjectedClock) {
  Ref<IZeltController> c = Open("Slow", "read_latency_ms=250");
  Ref<IZeltVariable> v = AddVar(c.get(), "@CURRENT_TIME");
  const uint64_t before = clock.AdvancedMs();
  const Variant value = Read(v.get());
  EXPECT_EQ(clock.AdvancedMs() - before, 250u);
  // The read sees the clock after the wait.
  EXPECT_DOUBLE_EQ(value.date(), DateFromUnixMicros(kStartMicros + 250'000));
  ASSERT_EQ(v->put_Value(Variant()), E_ACCESSDENIED);
  Read(AddVar(c.get(), "cell").get());
  EXPECT_EQ(clock.AdvancedMs() - before, 500u);
}

TEST_F(SimulatorTest, ClassObjectsAreSeparateNamespacesOfOneSharedDevice) {
  Ref<IZeltController> c = Open("Space", "seed=3");
  Ref<IZeltClassObject> task, robot, file, nested;
  ASSERT_EQ(c->AddTask("Main", "", &task), S_OK);
  ASSERT_EQ(c->AddRobot("Main", "", &robot), S_OK);
  ASSERT_EQ(c->AddFile("Main", "", &file), S_OK);
  ASSERT_EQ(file->AddFile("Main", "", &nested), S_OK);
  std::vector<Ref<IZeltVariable>> cells;
  cells.push_back(AddVar(c.get(), "x"));
  for (IZeltClassObject* o : {task.get(), robot.get(), file.get(), nested.get()}) {
    cells.push_back(AddVar(Variables(o).get(), "x"));
  }
  for (size_t i = 0; i < cells.size(); ++i) {
    ASSERT_EQ(cells[i]->put_Value(Variant::I4(static_cast<int32_t>(i))), S_OK);
  }
  for (size_t i = 0; i < cells.size(); ++i) EXPECT_EQ(Read(cells[i].get()).i4(), int32_t(i));

  // Another engine's controller of the same name sees the same cells; its
  // own options do not change the device made by the first open.
  Ref<IZeltController> twin;
  ASSERT_EQ(DefaultWorkspace(CreateZeltEngine())
                ->AddController("space", "ZeltProv.Sim", "", "clock_offset_s=100", &twin),
            S_OK);
  Ref<IZeltClassObject> twinTask;
  ASSERT_EQ(twin->AddTask("MAIN", "", &twinTask), S_OK);
  EXPECT_EQ(Read(AddVar(Variables(twinTask.get()).get(), "X").get()).i4(), 1);
  EXPECT_DOUBLE_EQ(Read(AddVar(twin.get(), "@CURRENT_TIME").get()).date(),
                   DateFromUnixMicros(kStartMicros));
}

}  // namespace
}  // namespace tavrix::zelt_test
