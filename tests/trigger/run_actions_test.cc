// The actions that act rather than move values: sampling start and stop,
// programs started by the shell action, scripts, the external trigger
// plug-in, forced scans and reconnection.
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <mutex>
#include <sstream>

#include "trigger/actions/process_spawn.h"
#include "trigger/trigger_fixture.h"
#include "trigger/trigger_services.h"

namespace tavrix::trigger_test {
namespace {

std::string Shell(const std::string& file, const std::string& params,
                  const std::string& description = "sh", const std::string& id = "1") {
  return Action(4, "<m_strExeFile>" + file + "</m_strExeFile><m_strExeParams>" + params +
                       "</m_strExeParams>",
                description, id);
}

std::string Script(const std::string& text, const std::string& description = "scr",
                   const std::string& id = "1") {
  return Action(7, "<m_strScript>" + text + "</m_strScript><m_bNotSafeMode>True</m_bNotSafeMode>",
                description, id);
}

std::string Callback(const std::string& description = "cb", const std::string& id = "1") {
  return Action(5,
                "<PluginFileName>ext.so</PluginFileName><PluginFullName>Ext.Trigger"
                "</PluginFullName><PluginConfig><Data><Key>Mode</Key><Value>fast</Value>"
                "<Data><Key>Inner</Key><Value>v</Value></Data></Data></PluginConfig>",
                description, id);
}

std::string Scan(int32_t number, const std::string& controller, const std::string& item,
                 const std::string& description = "scan", const std::string& id = "1") {
  return Action(number, "<m_strPutController>" + controller +
                            "</m_strPutController><m_strPutItem>" + item +
                            "</m_strPutItem><m_strExtension>1</m_strExtension>",
                description, id);
}

std::string Reconnect(int32_t mode, const std::string& description, const std::string& id) {
  return Action(12, "<m_strExtension>" + std::to_string(mode) + "</m_strExtension>", description,
                id);
}

// Children of this process that have ended and not been reaped.
int ZombieChildren() {
  int zombies = 0;
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return -1;
  while (dirent* entry = readdir(proc)) {
    if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
    std::ifstream in(std::string("/proc/") + entry->d_name + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t end = stat.rfind(')');
    if (end == std::string::npos) continue;
    std::istringstream rest(stat.substr(end + 1));
    char state = 0;
    long ppid = 0;
    rest >> state >> ppid;
    if (ppid == getpid() && state == 'Z') ++zombies;
  }
  closedir(proc);
  return zombies;
}

size_t LinesIn(const std::filesystem::path& file) {
  std::ifstream in(file);
  size_t n = 0;
  for (std::string line; std::getline(in, line);) ++n;
  return n;
}

// A plug-in that records its calls and answers as told.
struct FakePlugin final : IExternalTriggerPlugin {
  enum class Answer { kOk, kFail, kThrow };
  std::atomic<Answer> answer{Answer::kOk};
  std::mutex mutex;
  std::vector<TriggerCallRecord> calls;
  PluginConfigNode lastConfig;
  std::vector<std::string> resets;

  HRESULT ExecuteTrigger(const TriggerCallRecord& call, const PluginConfigNode& config) override {
    {
      std::lock_guard<std::mutex> lock(mutex);
      calls.push_back(call);
      lastConfig = config;
    }
    switch (answer.load()) {
      case Answer::kOk: return S_OK;
      case Answer::kFail: return E_UNEXPECTED;
      case Answer::kThrow: throw std::runtime_error("plug-in broke");
    }
    return S_OK;
  }
  void ResetTrigger(const std::string& idPath) override {
    std::lock_guard<std::mutex> lock(mutex);
    resets.push_back(idPath);
  }
  void AsyncPerformance(const std::string&, std::vector<TriggerAsyncPerformance>*) override {}
  size_t CallCount() {
    std::lock_guard<std::mutex> lock(mutex);
    return calls.size();
  }
};

// What the fake script hosts saw and how they answer.
struct ScriptLog {
  enum class Answer { kOk, kFail, kThrow };
  std::atomic<Answer> answer{Answer::kOk};
  std::atomic<int> hosts{0};
  std::atomic<int> runs{0};
  std::mutex mutex;
  std::string script;
  std::string fullName;
  bool notSafeMode = false;
};

struct FakeHost final : ITriggerScriptHost {
  explicit FakeHost(ScriptLog* log) : log(log) { ++log->hosts; }
  HRESULT Initialize(CTavrixController&, const std::string& script, const std::string& fullName,
                     Ref<IDispatch>, bool notSafeMode) override {
    std::lock_guard<std::mutex> lock(log->mutex);
    log->script = script;
    log->fullName = fullName;
    log->notSafeMode = notSafeMode;
    return S_OK;
  }
  HRESULT Run() override {
    ++log->runs;
    switch (log->answer.load()) {
      case ScriptLog::Answer::kOk: return S_OK;
      case ScriptLog::Answer::kFail: return E_ABORT;
      case ScriptLog::Answer::kThrow: throw 42;
    }
    return S_OK;
  }
  ScriptLog* log;
};

class RunActionsTest : public TriggerTest {
 protected:
  ~RunActionsTest() override {
    // The tree releases its actions (and calls the plug-in) as the engine stops.
    StopEngine();
    TriggerServices::Instance().Reset();
  }

  std::vector<std::string> TraceOf(const std::string& controller) {
    return Controller(controller)->traceList();
  }
  std::string File(const std::string& name) const { return (dir_ / name).string(); }
};

TEST(CommandLineSplit, WordsQuotesAndEscapedQuotes) {
  struct Case {
    std::string text;
    std::vector<std::string> words;
  } cases[] = {
      {"", {}},
      {"   \t ", {}},
      {"a b", {"a", "b"}},
      {"  a   b  ", {"a", "b"}},
      {"\"a b\" c", {"a b", "c"}},
      {"x\"a b\"y", {"xa by"}},
      {"\"\" a", {"", "a"}},
      {"say \\\"hi\\\"", {"say", "\"hi\""}},
      {"\"a \\\" b\"", {"a \" b"}},
      {"C:\\dir\\f.txt", {"C:\\dir\\f.txt"}},
      {"\"open end", {"open end"}},
      {"$x;rm -rf /", {"$x;rm", "-rf", "/"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SplitCommandLine(c.text), c.words) << c.text;
  }
}

TEST_F(RunActionsTest, SamplingActionsSetTheControllersSamplingMode) {
  struct Case {
    std::string trigger;
    std::vector<std::string> lines;  // in this order
    int32_t mode;                   // -2: not checked (a one-cycle run may have ended)
  } cases[] = {
      {Action(2, "", "stop"), {"TavrixController[A] : Sampling thread is waiting for a trigger signal."}, 0},
      {Action(2, "", "stop", "1") + Action(1, "", "start", "2"),
       {"TavrixController[A] : Sampling thread is waiting for a trigger signal.",
        "TavrixController[A] : Sampling thread is activated."},
       -2},
      {Action(3, "", "once"), {"TavrixController[A] : Sampling thread is executed only one cycle."}, -2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.trigger);
    TriggerProject p;
    p.controllers = {TriggerController{"A", {{"Count", "counter"}}, c.trigger}};
    ASSERT_EQ(Start(p), S_OK);
    ASSERT_EQ(InitResult("A"), 1);
    for (const std::string& line : c.lines) ASSERT_TRUE(WaitForLine(line)) << line;
    if (c.lines.size() == 2) {
      EXPECT_LT(IndexOf(c.lines[0]), IndexOf(c.lines[1]));
    }
    if (c.mode != -2) {
      EXPECT_EQ(Controller("A")->samplingMode(), c.mode);
      // Waiting for a trigger signal, the cycles no longer read the items.
      const Variant before = ValueOf("A", "Count");
      std::this_thread::sleep_for(200ms);
      EXPECT_TRUE(ValueOf("A", "Count").Identical(before));
    }
    StopEngine();
  }
}

TEST_F(RunActionsTest, ShellStartsTheProgramWithItsQuotedWordsAndWithoutAShell) {
  const std::string spaced = File("a b.txt");
  const std::string plain = File("plain.txt");
  const std::string semicolon = File("semi");
  TriggerProject p;
  p.controllers = {TriggerController{
      "A", {{"Count", "counter"}},
      Shell("/usr/bin/touch", "\"" + spaced + "\"   " + plain + " " + semicolon + ";x")}};
  ASSERT_EQ(Start(p), S_OK);
  ASSERT_EQ(InitResult("A"), 1);
  EXPECT_TRUE(WaitFor([&] {
    return std::filesystem::exists(spaced) && std::filesystem::exists(plain);
  }));
  // A shell would have run "x" after touching "semi"; touch gets "semi;x".
  EXPECT_TRUE(WaitFor([&] { return std::filesystem::exists(semicolon + ";x"); }));
  EXPECT_FALSE(std::filesystem::exists(semicolon));
  EXPECT_EQ(CountOf("CExecuteShellActionObject"), 0);
}

TEST_F(RunActionsTest, ShellWithoutFileEndsTheListAndAMissingProgramOnlyFails) {
  struct Case {
    std::string first;
    std::string line;
    HRESULT result;
    bool siblingRuns;
    std::vector<std::string> trace;
  } cases[] = {
      {Shell("", "x", "empty", "1"), "CExecuteShellActionObject[A\\empty(1)] : File name is not specified.",
       E_INVALIDARG, false, {}},
      {Shell("/nonexistent/tavrix-program", "x", "missing", "1"),
       "CExecuteShellActionObject[A\\missing(1)] : Failed in Execute().", E_FAIL, true,
       {"A\\missing(1)"}},
      {Shell("tavrix-no-such-program-on-path", "", "unknown", "1"),
       "CExecuteShellActionObject[A\\unknown(1)] : Failed in Execute().", E_FAIL, true,
       {"A\\unknown(1)"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    const std::string marker = File("sibling");
    std::filesystem::remove(marker);
    TriggerProject p;
    p.controllers = {TriggerController{
        "A", {{"Count", "counter"}}, c.first + Shell("/usr/bin/touch", marker, "next", "2")}};
    ASSERT_EQ(Start(p), S_OK);
    ASSERT_EQ(InitResult("A"), 1);
    ASSERT_TRUE(WaitForLine(c.line));
    EXPECT_EQ(LineOf(c.line).result, c.result);
    if (c.siblingRuns) {
      EXPECT_TRUE(WaitFor([&] { return std::filesystem::exists(marker); }));
      EXPECT_TRUE(WaitFor([&] { return TraceOf("A") == c.trace; }));
    } else {
      ASSERT_TRUE(WaitFor([&] { return CountOf(c.line) >= 3; }));
      EXPECT_FALSE(std::filesystem::exists(marker));
      EXPECT_EQ(TraceOf("A"), c.trace);
    }
    StopEngine();
  }
}

TEST_F(RunActionsTest, ShellChildrenAreReapedAfterManyFirings) {
  const std::string count = File("count");
  TriggerProject p;
  TriggerController a{"A", {{"Count", "counter"}},
                      Shell("/bin/sh", "-c \"echo x >> '" + count + "'\"")};
  a.samplingRate = 5;
  p.controllers = {a};
  ASSERT_EQ(Start(p), S_OK);
  ASSERT_EQ(InitResult("A"), 1);
  ASSERT_TRUE(WaitFor([&] { return LinesIn(count) >= 1000; }));
  StopEngine();
  EXPECT_TRUE(WaitFor([] { return PendingChildren() == 0 && ZombieChildren() == 0; }))
      << PendingChildren() << " pending, " << ZombieChildren() << " zombies";
}

// A descriptor the server holds open without close-on-exec (a database file,
// a socket) must not reach the programs it starts.
TEST_F(RunActionsTest, ShellProgramsInheritNoDescriptorsOfTheServer) {
  const int leaky = ::open(File("held").c_str(), O_CREAT | O_WRONLY, 0600);
  ASSERT_GE(leaky, 3);
  const std::string listing = File("fds");
  TriggerProject p;
  p.controllers = {TriggerController{
      "A", {{"Count", "counter"}},
      Shell("/bin/sh", "-c \"ls /proc/self/fd > '" + listing + ".tmp'; mv '" + listing +
                           ".tmp' '" + listing + "'\"")}};
  ASSERT_EQ(Start(p), S_OK);
  ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(listing); }));
  StopEngine();
  ::close(leaky);
  std::ifstream in(listing);
  std::vector<std::string> fds;
  for (std::string fd; in >> fd;) fds.push_back(fd);
  // 0 to 2, and the one ls opens to read the folder.
  EXPECT_EQ(fds, (std::vector<std::string>{"0", "1", "2", "3"}));
}

TEST_F(RunActionsTest, CallbackWithoutPluginFailsWithAccessDeniedAndEndsTheList) {
  TriggerProject p;
  p.controllers = {TriggerController{
      "A", {{"Count", "counter"}}, Callback("cb", "1") + Shell("/usr/bin/touch", File("after"), "next", "2")}};
  ASSERT_EQ(Start(p), S_OK);
  ASSERT_EQ(InitResult("A"), 1);
  ASSERT_TRUE(WaitFor([&] { return TraceOf("A") == std::vector<std::string>{"A\\cb(1)"}; }));
  std::this_thread::sleep_for(100ms);
  EXPECT_FALSE(std::filesystem::exists(File("after")));
}

TEST_F(RunActionsTest, CallbackHandsEachExecutionToThePlugin) {
  struct Case {
    FakePlugin::Answer answer;
    std::string line;  // empty: no failure line
    HRESULT result;
    std::vector<std::string> trace;
  } cases[] = {
      {FakePlugin::Answer::kOk, "", S_OK, {}},
      {FakePlugin::Answer::kFail, "CCallbackActionObject[A\\cb(1)] : Failed in Execute().",
       E_UNEXPECTED, {"A\\cb(1)"}},
      {FakePlugin::Answer::kThrow,
       "CCallbackActionObject[A\\cb(1)] : Failed in Execute external trigger.", E_FAIL,
       {"A\\cb(1)"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    FakePlugin plugin;
    plugin.answer = c.answer;
    TriggerServices::Instance().SetPlugin(&plugin);
    const std::string marker = File("after");
    std::filesystem::remove(marker);
    TriggerProject p;
    p.controllers = {TriggerController{
        "A", {{"Count", "counter"}}, Callback("cb", "1") + Shell("/usr/bin/touch", marker, "next", "2")}};
    ASSERT_EQ(Start(p), S_OK);
    ASSERT_EQ(InitResult("A"), 1);
    ASSERT_TRUE(WaitFor([&] { return plugin.CallCount() >= 3; }));
    // A failing plug-in call does not end the list.
    EXPECT_TRUE(WaitFor([&] { return std::filesystem::exists(marker); }));
    if (c.line.empty()) {
      EXPECT_EQ(CountOf("CCallbackActionObject"), 0);
    } else {
      ASSERT_TRUE(WaitForLine(c.line));
      EXPECT_EQ(LineOf(c.line).result, c.result);
    }
    EXPECT_TRUE(WaitFor([&] { return TraceOf("A") == c.trace; }));
    {
      std::lock_guard<std::mutex> lock(plugin.mutex);
      const TriggerCallRecord& first = plugin.calls.front();
      const TriggerCallRecord& later = plugin.calls.back();
      EXPECT_EQ(first.pluginFileName, "ext.so");
      EXPECT_EQ(first.pluginFullName, "Ext.Trigger");
      EXPECT_EQ(first.controllerName, "A");
      EXPECT_EQ(first.fullName, "A\\cb(1)");
      EXPECT_FALSE(first.idPath.empty());
      EXPECT_GT(later.executionCount, first.executionCount);
      ASSERT_EQ(plugin.lastConfig.m_children.size(), 1u);
      EXPECT_EQ(plugin.lastConfig.m_children[0].m_strValue, "fast");
      ASSERT_EQ(plugin.lastConfig.m_children[0].m_children.size(), 1u);
      EXPECT_EQ(plugin.lastConfig.m_children[0].m_children[0].m_strKey, "Inner");
    }
    const std::string idPath = plugin.calls.front().idPath;
    StopEngine();
    // Released with the tree: the plug-in forgets the action.
    std::lock_guard<std::mutex> lock(plugin.mutex);
    EXPECT_NE(std::find(plugin.resets.begin(), plugin.resets.end(), idPath), plugin.resets.end());
    TriggerServices::Instance().SetPlugin(nullptr);
  }
}

TEST_F(RunActionsTest, ScriptRunsInTheInstalledHostAndFailingScriptsMayBeDropped) {
  struct Case {
    ScriptLog::Answer answer;
    bool dispose;
    std::string line;  // empty: no failure line
    HRESULT result;
    bool keepsRunning;
  } cases[] = {
      {ScriptLog::Answer::kOk, true, "", S_OK, true},
      {ScriptLog::Answer::kFail, false, "CExecuteScriptActionObject[A\\scr(1)] : Failed in Execute().",
       E_ABORT, true},
      {ScriptLog::Answer::kFail, true, "CExecuteScriptActionObject[A\\scr(1)] : Failed in Execute().",
       E_ABORT, false},
      {ScriptLog::Answer::kThrow, true, "CExecuteScriptActionObject[A\\scr(1)] : Exception occurred.",
       E_FAIL, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line + (c.dispose ? " disposing" : " keeping"));
    ScriptLog log;
    log.answer = c.answer;
    TriggerServices::Instance().SetScriptHostFactory(
        [&log] { return std::make_unique<FakeHost>(&log); });
    TriggerProject p;
    p.workspace = std::string("<m_bDisposeErrorScripts>") + (c.dispose ? "True" : "False") +
                  "</m_bDisposeErrorScripts>";
    p.controllers = {TriggerController{"A", {{"Count", "counter"}}, Script("x = 1", "scr", "1")}};
    ASSERT_EQ(Start(p), S_OK);
    ASSERT_EQ(InitResult("A"), 1);
    ASSERT_TRUE(WaitFor([&] { return log.runs >= 1; }));
    {
      std::lock_guard<std::mutex> lock(log.mutex);
      EXPECT_EQ(log.script, "x = 1");
      EXPECT_EQ(log.fullName, "A\\scr(1)");
      EXPECT_TRUE(log.notSafeMode);
    }
    if (!c.line.empty()) {
      ASSERT_TRUE(WaitForLine(c.line));
      EXPECT_EQ(LineOf(c.line).result, c.result);
      EXPECT_TRUE(WaitForLine("CExecuteScriptActionObject[A\\scr(1)] : Failed in Execute()."));
    }
    if (c.keepsRunning) {
      EXPECT_TRUE(WaitFor([&] { return log.runs >= 5; }));
    } else {
      std::this_thread::sleep_for(200ms);
      EXPECT_EQ(log.runs.load(), 1);
    }
    StopEngine();
    TriggerServices::Instance().SetScriptHostFactory(nullptr);
  }
}

TEST_F(RunActionsTest, ScriptWithoutHostCannotInitialise) {
  TriggerProject p;
  p.controllers = {TriggerController{"A", {{"Count", "counter"}}, Script("x = 1", "scr", "1")}};
  ASSERT_EQ(Start(p), S_OK);
  EXPECT_EQ(InitResult("A"), 2);
  const auto line = LineOf("CExecuteScriptActionObject[A\\scr(1)] : Failed in Initialize().");
  EXPECT_EQ(line.result, E_NOTIMPL);
}

TEST_F(RunActionsTest, ScansReadTheItemsOfTheOwnAndOtherControllersNow) {
  struct Case {
    std::string trigger;
    std::string controller;  // whose counter the scan advances
    std::string item;
  } cases[] = {
      {Scan(9, "B", "Other"), "B", "Other"},
      {Scan(10, "B", ""), "B", "Other"},
      {Scan(9, "", "Count"), "A", "Count"},
      {Scan(10, "", ""), "A", "Count"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.trigger);
    TriggerProject p;
    TriggerController a{"A", {{"Count", "counter"}}, c.trigger};
    // B samples once at its start, then only the scans read its items.
    TriggerController b{"B", {{"Other", "counter"}}};
    b.samplingRate = 600000;
    p.controllers = {a, b};
    ASSERT_EQ(Start(p), S_OK);
    ASSERT_EQ(InitResult("A"), 1);
    EXPECT_TRUE(WaitFor([&] {
      const Variant v = ValueOf(c.controller, c.item);
      return v.vt() == VT_I4 && v.i4() > 5;
    }));
    EXPECT_EQ(CountOf("Failed in"), 0);
    EXPECT_TRUE(TraceOf("A").empty());
    StopEngine();
  }
}

TEST_F(RunActionsTest, ScansOfUnknownTargetsCannotInitialise) {
  struct Case {
    std::string trigger;
    std::string line;
  } cases[] = {
      {Scan(9, "", "Nope"), "CDoScanItemActionObject[A\\scan(1)] : Failed in Initialize()."},
      {Scan(9, "C", "Other"), "CDoScanItemActionObject[A\\scan(1)] : Failed in Initialize()."},
      {Scan(9, "", "*t"), "CDoScanItemActionObject[A\\scan(1)] : Failed in Initialize()."},
      {Scan(10, "C", ""), "CDoScanControllerActionObject[A\\scan(1)] : Failed in Initialize()."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.trigger);
    TriggerProject p;
    TriggerController a{"A", {{"Count", "counter"}}, c.trigger};
    a.tempVariables = "t";
    p.controllers = {a, TriggerController{"B", {{"Other", "counter"}}}};
    ASSERT_EQ(Start(p), S_OK);
    EXPECT_EQ(InitResult("A"), 2);
    EXPECT_EQ(LineOf(c.line).result, E_INVALIDARG);
    StopEngine();
  }
}

TEST_F(RunActionsTest, ReconnectRunsOneReconnectionAtATime) {
  // Both actions fire in every pass. Whether the second one still runs
  // depends on how far the first one's reconnection has got (it stops the
  // pass as it deactivates the controller); either way the deactivations
  // never overlap and each ends with the controller sampling again.
  TriggerProject p;
  p.controllers = {TriggerController{"A", {{"Count", "counter"}},
                                     Reconnect(0, "first", "1") + Reconnect(0, "second", "2")}};
  ASSERT_EQ(Start(p), S_OK);
  ASSERT_EQ(InitResult("A"), 1);
  ASSERT_TRUE(WaitFor([&] { return CountOf("_Deactivate : End.") >= 2; }));
  ASSERT_TRUE(WaitFor([&] { return CountOf("Sampling Started") >= 3; }));
  const std::vector<std::string> running = log_.Texts();
  EXPECT_TRUE(TraceOf("A").empty());
  StopEngine();  // fails the test if a reconnection thread keeps it from ending

  bool deactivated = false;
  for (const std::string& line : running) {
    if (line.find("_Deactivate : Start.") != std::string::npos) {
      EXPECT_FALSE(deactivated) << "a reconnection began while another ran";
      deactivated = true;
    } else if (line.find("Sampling Started") != std::string::npos) {
      deactivated = false;
    }
  }
  const std::string skipped =
      "CReconnectActionObject[A\\second(2)] : Reconnection is already running. Execute cancel.";
  if (CountOf(skipped) > 0) {
    EXPECT_EQ(LineOf(skipped).result, S_FALSE);
  }
}

}  // namespace
}  // namespace tavrix::trigger_test
