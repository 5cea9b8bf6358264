// The script language's error numbers and texts.
//
// A script error travels as the result code 0x800A0000 + number (facility
// "control"). Platform results that scripts meet (a type mismatch in a
// conversion, a bad index, a dispatch failure) map to the language's numbers
// with ScriptErrorNumber, so Err.Number shows what a script author expects.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/result.h"

namespace tavrix::vbs {

// Run-time errors.
inline constexpr int kErrInvalidCall = 5;           // Invalid procedure call or argument
inline constexpr int kErrOverflow = 6;              // Overflow
inline constexpr int kErrOutOfMemory = 7;           // Out of memory
inline constexpr int kErrSubscript = 9;             // Subscript out of range
inline constexpr int kErrFixedArray = 10;           // This array is fixed or temporarily locked
inline constexpr int kErrDivisionByZero = 11;       // Division by zero
inline constexpr int kErrTypeMismatch = 13;         // Type mismatch
inline constexpr int kErrOutOfStack = 28;           // Out of stack space
inline constexpr int kErrSubNotDefined = 35;        // Sub or Function not defined
inline constexpr int kErrObjectNotSet = 91;         // Object variable not set
inline constexpr int kErrForNotInitialized = 92;    // For loop not initialized
inline constexpr int kErrInvalidNull = 94;          // Invalid use of Null
inline constexpr int kErrObjectRequired = 424;      // Object required
inline constexpr int kErrCannotCreate = 429;        // ActiveX component can't create object
inline constexpr int kErrNoSuchMember = 438;        // Object doesn't support this property or method
inline constexpr int kErrAutomation = 440;          // Automation error
inline constexpr int kErrNoNamedArgs = 446;         // Object doesn't support named arguments
inline constexpr int kErrArgNotOptional = 449;      // Argument not optional
inline constexpr int kErrWrongArgCount = 450;       // Wrong number of arguments or invalid property assignment
inline constexpr int kErrNotACollection = 451;      // Object not a collection
inline constexpr int kErrUnsupportedType = 458;     // Variable uses an Automation type not supported in VBScript
inline constexpr int kErrUndefinedVariable = 500;   // Variable is undefined
inline constexpr int kErrIllegalAssignment = 501;   // Illegal assignment
inline constexpr int kErrInvalidReference = 505;    // Invalid or unqualified reference
inline constexpr int kErrClassNotDefined = 506;     // Class not defined
inline constexpr int kErrException = 507;           // An exception occurred
inline constexpr int kErrElementNotFound = 32811;   // Element not found

// Compile errors.
inline constexpr int kErrSyntax = 1002;                 // Syntax error
inline constexpr int kErrExpectedColon = 1003;          // Expected ':'
inline constexpr int kErrExpectedLParen = 1005;         // Expected '('
inline constexpr int kErrExpectedRParen = 1006;         // Expected ')'
inline constexpr int kErrExpectedIdentifier = 1010;     // Expected identifier
inline constexpr int kErrExpectedEquals = 1011;         // Expected '='
inline constexpr int kErrExpectedIf = 1012;             // Expected 'If'
inline constexpr int kErrExpectedTo = 1013;             // Expected 'To'
inline constexpr int kErrExpectedEnd = 1014;            // Expected 'End'
inline constexpr int kErrExpectedFunction = 1015;       // Expected 'Function'
inline constexpr int kErrExpectedSub = 1016;            // Expected 'Sub'
inline constexpr int kErrExpectedThen = 1017;           // Expected 'Then'
inline constexpr int kErrExpectedWend = 1018;           // Expected 'Wend'
inline constexpr int kErrExpectedLoop = 1019;           // Expected 'Loop'
inline constexpr int kErrExpectedNext = 1020;           // Expected 'Next'
inline constexpr int kErrExpectedCase = 1021;           // Expected 'Case'
inline constexpr int kErrExpectedSelect = 1022;         // Expected 'Select'
inline constexpr int kErrExpectedExpression = 1023;     // Expected expression
inline constexpr int kErrExpectedStatement = 1024;      // Expected statement
inline constexpr int kErrExpectedEndOfStatement = 1025; // Expected end of statement
inline constexpr int kErrExpectedInteger = 1026;        // Expected integer constant
inline constexpr int kErrExpectedWhileUntil = 1027;     // Expected 'While' or 'Until'
inline constexpr int kErrExpectedWhileUntilEnd = 1028;  // Expected 'While', 'Until' or end of statement
inline constexpr int kErrExpectedWith = 1029;           // Expected 'With'
inline constexpr int kErrInvalidNumber = 1031;          // Invalid number
inline constexpr int kErrInvalidCharacter = 1032;       // Invalid character
inline constexpr int kErrUnterminatedString = 1033;     // Unterminated string constant
inline constexpr int kErrLoopWithoutDo = 1038;          // 'loop' without 'do'
inline constexpr int kErrInvalidExit = 1039;            // Invalid 'exit' statement
inline constexpr int kErrInvalidForVariable = 1040;     // Invalid 'for' loop control variable
inline constexpr int kErrNameRedefined = 1041;          // Name redefined
inline constexpr int kErrMustBeFirstStatement = 1042;   // Must be first statement on the line
inline constexpr int kErrParensCallingSub = 1044;       // Cannot use parentheses when calling a Sub
inline constexpr int kErrExpectedLiteral = 1045;        // Expected literal constant
inline constexpr int kErrExpectedIn = 1046;             // Expected 'In'
inline constexpr int kErrInvalidMe = 1037;              // Invalid use of 'Me' keyword
inline constexpr int kErrExpectedClass = 1047;          // Expected 'Class'
inline constexpr int kErrNotInClass = 1048;             // Must be defined inside a Class
inline constexpr int kErrExpectedLetSetGet = 1049;      // Expected Let or Set or Get ...
inline constexpr int kErrExpectedProperty = 1050;       // Expected 'Property'
inline constexpr int kErrPropertyArgCount = 1051;       // Number of arguments must be ...
inline constexpr int kErrMultipleDefault = 1052;        // Cannot have multiple default ...
inline constexpr int kErrClassEventArguments = 1053;    // Class initialize or terminate do not ...
inline constexpr int kErrPropertyNeedsArgument = 1054;  // Property set or let must have ...
inline constexpr int kErrUnexpectedNext = 1055;         // Unexpected 'Next'
inline constexpr int kErrDefaultNotPublic = 1057;       // 'Default' ... must also specify 'Public'
inline constexpr int kErrDefaultOnlyOnGet = 1058;       // 'Default' ... can only be on Property Get

// The result code of a script error number: 0x800A0000 + number.
constexpr HRESULT ScriptError(int number) {
  return HRESULT(static_cast<uint32_t>(0x800A0000u | (static_cast<uint32_t>(number) & 0xFFFFu)));
}

// True for a result in the script facility (0x800Axxxx).
constexpr bool IsScriptError(HRESULT hr) { return (hr.bits() & 0xFFFF0000u) == 0x800A0000u; }

// The text of a script error number ("Type mismatch"); "Unknown runtime error"
// for a number the table lacks.
std::string_view ScriptErrorText(int number);

// The script error number of any result: the number itself for 0x800Axxxx,
// the language's number for the platform results scripts meet
// (DISP_E_TYPEMISMATCH 13, DISP_E_OVERFLOW 6, DISP_E_DIVBYZERO 11,
// DISP_E_BADINDEX 9, DISP_E_MEMBERNOTFOUND and DISP_E_UNKNOWNNAME 438,
// DISP_E_BADPARAMCOUNT 450, DISP_E_PARAMNOTOPTIONAL 449, E_OUTOFMEMORY 7,
// E_INVALIDARG 5, ...), and for other failures the low 16 bits (as the
// language shows an unknown automation error's code).
int ScriptErrorNumber(HRESULT hr);

}  // namespace tavrix::vbs
