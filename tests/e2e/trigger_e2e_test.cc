// A trigger tree inside the real process: a simulated counter passes a
// threshold, and the tree writes a value to another item, runs a program and
// stops sampling, once and in this order.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "e2e/tavrix_process.h"

namespace {

using tavrix::e2e::ReadFile;

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

std::string Action(const std::string& description, int number, const std::string& body) {
  return "<Action><m_strId>" + description + "</m_strId><Description>" + description +
         "</Description><m_lId>1</m_lId><m_lAction>" + std::to_string(number) + "</m_lAction>" +
         body + "</Action>";
}

std::string Shell(const std::string& description, const std::string& command) {
  return Action(description, 4,
                "<m_strExeFile>/bin/sh</m_strExeFile><m_strExeParams>-c \"" + command +
                    "\"</m_strExeParams>");
}

// Count == 20: Out := 42, append a line to fired.txt, stop sampling. Out
// changing: append its value to seen.txt (Out is watched, so it is still
// read while the controller waits for a trigger signal).
std::string Project(const std::filesystem::path& dir) {
  const std::string fired = (dir / "fired.txt").string();
  const std::string seen = (dir / "seen.txt").string();
  return R"(<?xml version="1.0" encoding="UTF-8"?>
<TavrixProject>
  <Version>1.4.0</Version>
  <INode Type="clsTavrixWorkspace">
    <clsTavrixWorkspace></clsTavrixWorkspace>
    <INode Type="clsTavrixController">
      <clsTavrixController>
        <m_strCtrlName>TriggerLine</m_strCtrlName>
        <RSQLCtrlName>Line</RSQLCtrlName>
        <m_bEnabled>True</m_bEnabled>
        <m_strProvider>ZeltProv.Sim</m_strProvider>
        <m_lSamplingRate>20</m_lSamplingRate>
        <m_bStartup>True</m_bStartup>
        <m_bOutputActionLog>True</m_bOutputActionLog>
        <TriggerEx>
          <Evaluation><Description>threshold</Description><m_lId>1</m_lId>
            <m_strName>Count</m_strName><m_lCondition>0</m_lCondition>
            <m_strThreshold>20</m_strThreshold>)" +
         Action("write", 6,
                "<m_strPutItem>Out</m_strPutItem><m_strPutValue>42</m_strPutValue>"
                "<m_lPutType>3</m_lPutType>") +
         Shell("program", "echo fired >> " + fired) + Action("stop", 2, "") + R"(
          </Evaluation>
          <Evaluation><Description>changed</Description><m_lId>2</m_lId>
            <m_strName>Out</m_strName><m_lCondition>6</m_lCondition>)" +
         Shell("record", "echo changed >> " + seen) + R"(
          </Evaluation>
        </TriggerEx>
      </clsTavrixController>
      <Text>Line</Text>
      <INode Type="clsTavrixItem"><clsTavrixItem><m_strItemName>Count</m_strItemName>
        <m_bEnabled>True</m_bEnabled><m_bVariableEnabled>True</m_bVariableEnabled>
        <m_strVarName>counter</m_strVarName></clsTavrixItem></INode>
      <INode Type="clsTavrixItem"><clsTavrixItem><m_strItemName>Out</m_strItemName>
        <m_bEnabled>True</m_bEnabled><m_bVariableEnabled>True</m_bVariableEnabled>
        <m_strVarName>out</m_strVarName></clsTavrixItem></INode>
    </INode>
  </INode>
</TavrixProject>
)";
}

class TriggerProcessTest : public tavrix::e2e::TavrixProcessTest {};

TEST_F(TriggerProcessTest, ACounterThresholdWritesRunsAProgramAndStopsSamplingOnce) {
  const std::filesystem::path project = dir_ / "project.xml";
  tavrix::e2e::WriteFile(project, Project(dir_));
  tavrix::e2e::WriteFile(settings_, SettingsText(project.string(), "\"LogLevel\"=dword:00000000\n"));
  Spawn({"-RegServer"});
  ASSERT_EQ(Wait(), 0) << Stderr();
  Spawn({}, {"IOTAPPTEMP=" + dir_.string(), "QUORVELSHARE=" + dir_.string()});
  ASSERT_TRUE(WaitForLog("TavrixController[Line] : Sampling thread is waiting for a trigger signal.\n"))
      << Stderr() << ReadFile(log_);
  ASSERT_TRUE(WaitForText(dir_ / "seen.txt", "changed\n")) << ReadFile(log_);
  // Later cycles read the counter on (it is watched) but never see 20 again.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ASSERT_EQ(::kill(pid_, SIGTERM), 0);
  EXPECT_EQ(Wait(), 0) << Stderr();

  EXPECT_EQ(ReadFile(dir_ / "fired.txt"), "fired\n");
  EXPECT_EQ(ReadFile(dir_ / "seen.txt"), "changed\n");
  const std::string log = ReadFile(log_);
  const std::string write = "CPutValueActionObject[Line\\write(1)] : Executed.";
  const std::string program = "CExecuteShellActionObject[Line\\program(1)] : Executed.";
  const std::string stop = "CStopActionObject[Line\\stop(1)] : Executed.";
  for (const std::string& line : {write, program, stop}) EXPECT_EQ(Count(log, line), 1u) << line;
  EXPECT_LT(log.find(write), log.find(program));
  EXPECT_LT(log.find(program), log.find(stop));
  EXPECT_EQ(Count(log, "Sampling thread is waiting for a trigger signal."), 1u);
}

}  // namespace
