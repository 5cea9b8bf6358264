// Configuration records shared by the project reader and the trigger
// definitions: a plug-in configuration node, a user-defined table description
// and the two forms of calculation entry. Every field is the element's text
// (UTF-8) as read; what the texts mean is decided by the code that uses them
// (the table writer, the calculations, the external trigger plug-in).
//
// All records are plain values: copying one copies it deeply, Clear()
// restores the state the reader starts each object from (texts empty, lists
// empty).
#pragma once

#include <string>
#include <vector>

namespace tavrix {

// One node of a plug-in configuration tree (`PluginConfig`): a key, a value
// and the child nodes in document order. The root node of a tree has no key
// or value of its own in the file; it only holds the `Data` children.
struct PluginConfigNode {
  std::string m_strKey;
  std::string m_strValue;
  std::vector<PluginConfigNode> m_children;

  void Clear() {
    m_strKey.clear();
    m_strValue.clear();
    m_children.clear();
  }
  friend bool operator==(const PluginConfigNode&, const PluginConfigNode&) = default;
};

// One `clsTavrixTableColumn` of a user-defined table description.
struct TableColumnInfo {
  std::string m_strColumnName;  // one or more column names, comma-separated
  std::string m_strItemName;    // "controller\item", "controller", "\item" or "*temp"
  std::string m_strProperty;    // controller or item property name

  void Clear() {
    m_strColumnName.clear();
    m_strItemName.clear();
    m_strProperty.clear();
  }
  friend bool operator==(const TableColumnInfo&, const TableColumnInfo&) = default;
};

// A user-defined table description (`clsTavrixUserDefineDBInfo`, also spelt
// `clsTavrixUserDefineBDInfo` in older files).
struct UserDefineDBInfo {
  std::string m_strADOCon;      // connection string written in the file
  std::string m_strTableName;
  std::string m_bAsync;         // asynchronous-write text, read as a flag by the writer
  std::string m_strConSetting;  // name in the connection-string table; wins when not empty
  std::vector<TableColumnInfo> m_columns;

  void Clear() {
    m_strADOCon.clear();
    m_strTableName.clear();
    m_bAsync.clear();
    m_strConSetting.clear();
    m_columns.clear();
  }
  friend bool operator==(const UserDefineDBInfo&, const UserDefineDBInfo&) = default;
};

// A `Calculation` entry of a controller's or an action's `CalculationList`.
struct ControllerCalcInfo {
  std::string m_lCalcIndex;  // operation code text
  std::string m_strTarget;
  std::string m_strLeft;
  std::string m_strRight;

  void Clear() {
    m_lCalcIndex.clear();
    m_strTarget.clear();
    m_strLeft.clear();
    m_strRight.clear();
  }
  friend bool operator==(const ControllerCalcInfo&, const ControllerCalcInfo&) = default;
};

// A `Calculation` entry of an item's `CalculationList`.
struct ItemCalcInfo {
  std::string m_lCalcIndex;  // operation code text
  std::string m_strItem;

  void Clear() {
    m_lCalcIndex.clear();
    m_strItem.clear();
  }
  friend bool operator==(const ItemCalcInfo&, const ItemCalcInfo&) = default;
};

}  // namespace tavrix
