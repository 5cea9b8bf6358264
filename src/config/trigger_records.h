// Records that belong to trigger definitions but are not tree nodes: the
// conditions of an evaluation or repeat node, the declared arguments of a
// function block and the parameters of a controller-execute action. Every
// field holds the element's text as read; the trigger engine converts them
// when it creates the executable nodes.
//
// TextField(element) gives the field an element of the record's section
// fills (names matched without regard to letter case), or null for an
// element the record does not know; the reader appends character data there.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tavrix {

// `Condition` inside `Evaluation` or `While`.
struct ConditionInfo {
  std::string m_strName;       // watched item
  std::string m_lCondition;    // condition number 0..16
  std::string m_strThreshold;
  std::string m_bPrevValue;    // value source 0..2
  std::string m_bItemValue;    // threshold names an item (flag, default false)

  void Clear();
  std::string* TextField(std::string_view element);
  friend bool operator==(const ConditionInfo&, const ConditionInfo&) = default;
};

// `Argument` inside a function block's `ArgumentList`.
struct ArgumentInfo {
  std::string m_strArgumentID;
  std::string m_strName;
  std::string m_strComment;

  void Clear();
  // "ArgumentID", "Name", "Comment".
  std::string* TextField(std::string_view element);
  friend bool operator==(const ArgumentInfo&, const ArgumentInfo&) = default;
};

// `ArgumentValue` inside `ExecuteParam`/`ArgumentValues`.
struct ArgumentValueInfo {
  std::string m_lArgumentValueType;
  std::string m_strArgumentValue;

  void Clear();
  std::string* TextField(std::string_view element);
  friend bool operator==(const ArgumentValueInfo&, const ArgumentValueInfo&) = default;
};

// `ExecuteParam` of a controller-execute action.
struct ExecuteParamInfo {
  std::string m_strResultItem;
  std::string m_strCommand;
  std::string m_lArgumentType;
  std::vector<ArgumentValueInfo> m_argumentValues;  // in document order

  void Clear();
  // The three texts of the record itself; the argument values are filled
  // through ArgumentValueInfo::TextField of the last appended value.
  std::string* TextField(std::string_view element);
  friend bool operator==(const ExecuteParamInfo&, const ExecuteParamInfo&) = default;
};

}  // namespace tavrix
