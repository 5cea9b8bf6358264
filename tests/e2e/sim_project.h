// Projects for the whole-process tests: one simulated controller with the
// items a test needs, and optionally an SQLite history.
#pragma once

#include <string>
#include <vector>

namespace tavrix::e2e {

struct ItemSpec {
  std::string name;
  std::string variable;
  std::string extra;  // further item elements
};

// A versioned project with one simulated controller `name` sampling `items`
// every `rateMs`; with a database path, the items' changes go to its history
// (with the manager's own rows, "$$OPEN$$" and "$$CLOSE$$").
inline std::string SimProject(const std::string& name, int rateMs, const std::string& option,
                              const std::vector<ItemSpec>& items,
                              const std::string& database = "") {
  std::string xml = R"(<?xml version="1.0" encoding="UTF-8"?>
<TavrixProject>
  <Version>1.4.0</Version>
  <INode Type="clsTavrixWorkspace">
    <clsTavrixWorkspace>
)";
  if (!database.empty()) {
    xml += R"(      <m_strTableName>TavrixHistory</m_strTableName>
      <m_lMaxRecord>1000000</m_lMaxRecord>
      <m_bEnableHistory>True</m_bEnableHistory>
      <m_bSysInfo>True</m_bSysInfo>
      <m_strHistoryConSetting>HISTORY</m_strHistoryConSetting>
      <DBConnectionStringList>
        <DBConnectionString>
          <key>HISTORY</key>
          <value>Provider=SQLite;Data Source=)" + database + R"(</value>
        </DBConnectionString>
      </DBConnectionStringList>
)";
  }
  xml += R"(    </clsTavrixWorkspace>
    <INode Type="clsTavrixController">
      <clsTavrixController>
        <m_strCtrlName>)" + name + R"(</m_strCtrlName>
        <RSQLCtrlName>)" + name + R"(</RSQLCtrlName>
        <m_bEnabled>True</m_bEnabled>
        <m_strProvider>ZeltProv.Sim</m_strProvider>
        <m_strMachine>Sim)" + name + R"(</m_strMachine>
        <m_strParam>)" + option + R"(</m_strParam>
        <m_lSamplingRate>)" + std::to_string(rateMs) + R"(</m_lSamplingRate>
        <m_lTimeStamp>3</m_lTimeStamp>
        <m_bStartup>True</m_bStartup>
        <m_bUseHistory>)" + (database.empty() ? "False" : "True") + R"(</m_bUseHistory>
      </clsTavrixController>
      <Text>)" + name + R"(</Text>
)";
  for (const ItemSpec& item : items) {
    xml += R"(      <INode Type="clsTavrixItem">
        <clsTavrixItem>
          <m_strItemName>)" + item.name + R"(</m_strItemName>
          <m_bEnabled>True</m_bEnabled>
          <m_bVariableEnabled>True</m_bVariableEnabled>
          <m_strVarName>)" + item.variable + R"(</m_strVarName>
          <m_bUseHistory>)" + (database.empty() ? "False" : "True") + R"(</m_bUseHistory>
)" + item.extra + R"(        </clsTavrixItem>
      </INode>
)";
  }
  xml += R"(    </INode>
  </INode>
</TavrixProject>
)";
  return xml;
}

}  // namespace tavrix::e2e
