#include "host/switches.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tavrix {
namespace {

TEST(ScanSwitches, TheTextToTheEndOfTheLineNamesTheSwitch) {
  struct Case {
    const char* line;
    Switch want;
  };
  const Case cases[] = {
      {"", Switch::kNone},
      {"-RegServer", Switch::kRegServer},
      {"/regserver", Switch::kRegServer},
      {"-UNREGSERVER", Switch::kUnregServer},
      {"/UnregServer", Switch::kUnregServer},
      {"-service", Switch::kService},
      {"/Service", Switch::kService},
      // A switch must be the last item: the text runs to the end of the line.
      {"-RegServer extra", Switch::kNone},
      {"-Service ", Switch::kNone},
      {"/RegServer -x", Switch::kNone},
      // Texts that match nothing are skipped and the scan goes on.
      {"-Embedding /Service", Switch::kService},
      {"-x -y -UnregServer", Switch::kUnregServer},
      {"-RegServer -Service", Switch::kService},
      // Any '-' or '/' starts a text, inside a word too.
      {"--service", Switch::kService},
      {"/opt/RegServer", Switch::kRegServer},
      {"a-b/c-Service", Switch::kService},
      // Not a switch.
      {"RegServer", Switch::kNone},
      {"- RegServer", Switch::kNone},
      {"-Reg Server", Switch::kNone},
      {"-RegServe", Switch::kNone},
      {"-RegServerX", Switch::kNone},
      {"-", Switch::kNone},
      {"/", Switch::kNone},
      {"\\Service", Switch::kNone},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ScanSwitches(c.line), c.want) << '"' << c.line << '"';
  }
}

TEST(ScanSwitches, SeesTheArgumentsJoinedWithSingleSpaces) {
  struct Case {
    std::vector<const char*> argv;
    std::string line;
    Switch want;
  };
  const Case cases[] = {
      {{"tavrix"}, "", Switch::kNone},
      {{"tavrix", "-RegServer"}, "-RegServer", Switch::kRegServer},
      {{"tavrix", "-Embedding", "/service"}, "-Embedding /service", Switch::kService},
      {{"tavrix", "-Service", "x"}, "-Service x", Switch::kNone},
      // An argument holding a blank is not told apart from two arguments.
      {{"tavrix", "-Unreg", "Server"}, "-Unreg Server", Switch::kNone},
      {{"tavrix", "-x y", "-RegServer"}, "-x y -RegServer", Switch::kRegServer},
  };
  for (const Case& c : cases) {
    const std::string line = JoinCommandLine(static_cast<int>(c.argv.size()), c.argv.data());
    EXPECT_EQ(line, c.line);
    EXPECT_EQ(ScanSwitches(line), c.want) << line;
  }
}

TEST(SwitchContext, NamesThisExecutableByItsAbsolutePath) {
  const SwitchContext context = SwitchContext::ForProcess("/srv/t.reg");
  EXPECT_EQ(context.settingsPath, "/srv/t.reg");
  ASSERT_FALSE(context.executablePath.empty());
  EXPECT_EQ(context.executablePath.front(), '/');
  EXPECT_TRUE(context.executablePath.ends_with("/host_registration_test"))
      << context.executablePath;
  EXPECT_EQ(context.messageBox, stderr);
}

}  // namespace
}  // namespace tavrix
