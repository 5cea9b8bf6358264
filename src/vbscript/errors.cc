#include "vbscript/errors.h"

namespace tavrix::vbs {
namespace {

struct ErrorText {
  int number;
  std::string_view text;
};

constexpr ErrorText kTexts[] = {
    {5, "Invalid procedure call or argument"},
    {6, "Overflow"},
    {7, "Out of memory"},
    {9, "Subscript out of range"},
    {10, "This array is fixed or temporarily locked"},
    {11, "Division by zero"},
    {13, "Type mismatch"},
    {14, "Out of string space"},
    {28, "Out of stack space"},
    {35, "Sub or Function not defined"},
    {48, "Error in loading DLL"},
    {51, "Internal error"},
    {53, "File not found"},
    {70, "Permission denied"},
    {76, "Path not found"},
    {91, "Object variable not set"},
    {92, "For loop not initialized"},
    {94, "Invalid use of Null"},
    {424, "Object required"},
    {429, "ActiveX component can't create object"},
    {430, "Class doesn't support Automation"},
    {438, "Object doesn't support this property or method"},
    {440, "Automation error"},
    {445, "Object doesn't support this action"},
    {446, "Object doesn't support named arguments"},
    {447, "Object doesn't support current locale setting"},
    {448, "Named argument not found"},
    {449, "Argument not optional"},
    {450, "Wrong number of arguments or invalid property assignment"},
    {451, "Object not a collection"},
    {458, "Variable uses an Automation type not supported in VBScript"},
    {500, "Variable is undefined"},
    {501, "Illegal assignment"},
    {502, "Object not safe for scripting"},
    {505, "Invalid or unqualified reference"},
    {506, "Class not defined"},
    {507, "An exception occurred"},
    {1001, "Out of memory"},
    {1002, "Syntax error"},
    {1003, "Expected ':'"},
    {1005, "Expected '('"},
    {1006, "Expected ')'"},
    {1007, "Expected ']'"},
    {1010, "Expected identifier"},
    {1011, "Expected '='"},
    {1012, "Expected 'If'"},
    {1013, "Expected 'To'"},
    {1014, "Expected 'End'"},
    {1015, "Expected 'Function'"},
    {1016, "Expected 'Sub'"},
    {1017, "Expected 'Then'"},
    {1018, "Expected 'Wend'"},
    {1019, "Expected 'Loop'"},
    {1020, "Expected 'Next'"},
    {1021, "Expected 'Case'"},
    {1022, "Expected 'Select'"},
    {1023, "Expected expression"},
    {1024, "Expected statement"},
    {1025, "Expected end of statement"},
    {1026, "Expected integer constant"},
    {1027, "Expected 'While' or 'Until'"},
    {1028, "Expected 'While', 'Until' or end of statement"},
    {1029, "Expected 'With'"},
    {1030, "Identifier too long"},
    {1031, "Invalid number"},
    {1032, "Invalid character"},
    {1033, "Unterminated string constant"},
    {1034, "Unterminated comment"},
    {1037, "Invalid use of 'Me' keyword"},
    {1038, "'loop' without 'do'"},
    {1039, "Invalid 'exit' statement"},
    {1040, "Invalid 'for' loop control variable"},
    {1041, "Name redefined"},
    {1042, "Must be first statement on the line"},
    {1043, "Cannot assign to non-ByVal argument"},
    {1044, "Cannot use parentheses when calling a Sub"},
    {1045, "Expected literal constant"},
    {1046, "Expected 'In'"},
    {1047, "Expected 'Class'"},
    {1048, "Must be defined inside a Class"},
    {1049, "Expected Let or Set or Get in property declaration"},
    {1050, "Expected 'Property'"},
    {1051, "Number of arguments must be consistent across properties"},
    {1052, "Cannot have multiple default property/method in a Class"},
    {1053, "Class initialize or terminate do not have arguments"},
    {1054, "Property set or let must have at least one argument"},
    {1055, "Unexpected 'Next'"},
    {1057, "'Default' must also specify 'Public'"},
    {1058, "'Default' can only be on Property Get"},
    {32811, "Element not found"},
};

struct ResultMap {
  uint32_t result;
  int number;
};

constexpr ResultMap kResults[] = {
    {0x80020005u, 13},   // DISP_E_TYPEMISMATCH
    {0x8002000Au, 6},    // DISP_E_OVERFLOW
    {0x80020012u, 11},   // DISP_E_DIVBYZERO
    {0x8002000Bu, 9},    // DISP_E_BADINDEX
    {0x80020003u, 438},  // DISP_E_MEMBERNOTFOUND
    {0x80020006u, 438},  // DISP_E_UNKNOWNNAME
    {0x8002000Eu, 450},  // DISP_E_BADPARAMCOUNT
    {0x8002000Fu, 449},  // DISP_E_PARAMNOTOPTIONAL
    {0x80020007u, 446},  // DISP_E_NONAMEDARGS
    {0x80020008u, 458},  // DISP_E_BADVARTYPE
    {0x80020011u, 451},  // DISP_E_NOTACOLLECTION
    {0x80020009u, 507},  // DISP_E_EXCEPTION
    {0x8007000Eu, 7},    // E_OUTOFMEMORY
    {0x80070057u, 5},    // E_INVALIDARG
    {0x80004002u, 430},  // E_NOINTERFACE
    {0x80004003u, 424},  // E_POINTER
};

}  // namespace

std::string_view ScriptErrorText(int number) {
  for (const ErrorText& e : kTexts) {
    if (e.number == number) return e.text;
  }
  return "Unknown runtime error";
}

int ScriptErrorNumber(HRESULT hr) {
  if (IsScriptError(hr)) return static_cast<int>(hr.bits() & 0xFFFFu);
  for (const ResultMap& m : kResults) {
    if (m.result == hr.bits()) return m.number;
  }
  return static_cast<int>(hr.bits() & 0xFFFFu);
}

}  // namespace tavrix::vbs
