// The script's Err object: the last run-time error a script handled under
// On Error Resume Next, and Raise / Clear. One per engine instance; the
// interpreter reads and writes the fields directly, scripts reach them
// through IDispatch (Number is the default member).
#pragma once

#include <cstdint>
#include <string>

#include "platform/dispatch.h"

namespace tavrix::vbs {

class ErrObject final : public DispatchObject<ErrObject, IDispatch> {
 public:
  static const DispatchTable<ErrObject>& DispatchMembers();

  // The fields as scripts see them. Number 0 means "no error".
  int32_t number = 0;
  std::string description;
  std::string source;
  std::string helpFile;
  int32_t helpContext = 0;

  // The error the last Raise asked for: its result code (0 when none), for
  // the interpreter to take the description and source from.
  HRESULT raised;

  void Clear();

  HRESULT get_Number(int32_t* out);
  HRESULT put_Number(int32_t v);
  HRESULT get_Description(std::string* out);
  HRESULT put_Description(const std::string& v);
  HRESULT get_Source(std::string* out);
  HRESULT put_Source(const std::string& v);
  HRESULT get_HelpFile(std::string* out);
  HRESULT put_HelpFile(const std::string& v);
  HRESULT get_HelpContext(int32_t* out);
  HRESULT put_HelpContext(int32_t v);
  // Raise number [, source [, description [, helpfile [, helpcontext]]]]:
  // fails with the error's result code (0x800A0000 + number for the
  // language's numbers, the number itself for a full result code such as
  // vbObjectError + 513); error 5 for 0.
  HRESULT Raise(const Variant& number, const Variant& source, const Variant& description,
                const Variant& helpFile, const Variant& helpContext);
  HRESULT DoClear();

  // The result code of an error number, as Raise makes it.
  static HRESULT CodeOf(int32_t number);
};

// The source the language gives its own run-time errors.
inline constexpr const char* kRuntimeSource = "Microsoft VBScript runtime error";
inline constexpr const char* kCompileSource = "Microsoft VBScript compilation error";

}  // namespace tavrix::vbs
