#include "vbscript/runner/wscript_object.h"

#include <chrono>
#include <thread>

#include "platform/convert.h"
#include "platform/dispatch.h"
#include "platform/enumerator.h"
#include "platform/object.h"
#include "platform/text.h"
#include "vbscript/errors.h"

namespace tavrix::vbs {

HRESULT EchoText(const Variant& value, LCID lcid, std::string* out) {
  const Variant& v = value.Deref();
  if (v.IsEmpty()) {
    out->clear();
    return S_OK;
  }
  if (v.IsNull()) {
    *out = "Null";
    return S_OK;
  }
  if (v.vt() == VT_BOOL) {
    *out = v.isTrue() ? "True" : "False";
    return S_OK;
  }
  if (v.IsObject()) {
    Variant inner;
    RETURN_IF_FAILED(DefaultValue(v, &inner, lcid));
    return EchoText(inner, lcid, out);
  }
  Variant text;
  RETURN_IF_FAILED(ChangeType(v, VT_BSTR, &text, VARIANT_ALPHABOOL, lcid));
  *out = text.text();
  return S_OK;
}

namespace {

class Arguments final : public DispatchObject<Arguments, IDispatch> {
 public:
  explicit Arguments(std::vector<std::string> values) : values_(std::move(values)) {}

  static const DispatchTable<Arguments>& DispatchMembers() {
    using D = DispatchTable<Arguments>;
    static const D table("WScript.Arguments", {
        D::Get("Item", DISPID_VALUE, &Arguments::Item),
        D::Get("Count", 1, &Arguments::Count),
        D::Get("Length", 2, &Arguments::Count),
        D::Get("_NewEnum", DISPID_NEWENUM, &Arguments::NewEnum),
    });
    return table;
  }

  HRESULT Item(int32_t index, std::string* out) {
    if (index < 0 || static_cast<size_t>(index) >= values_.size()) {
      return ScriptError(kErrSubscript);
    }
    *out = values_[static_cast<size_t>(index)];
    return S_OK;
  }
  HRESULT Count(int32_t* out) {
    *out = static_cast<int32_t>(values_.size());
    return S_OK;
  }
  HRESULT NewEnum(Variant* out) {
    std::vector<Variant> items;
    for (const std::string& s : values_) items.push_back(Variant::Text(s));
    *out = NewEnumVariant(std::move(items));
    return S_OK;
  }

 private:
  std::vector<std::string> values_;
};

class TextStream final : public DispatchObject<TextStream, IDispatch> {
 public:
  TextStream(std::ostream* stream, LCID lcid) : stream_(stream), lcid_(lcid) {}

  static const DispatchTable<TextStream>& DispatchMembers() {
    using D = DispatchTable<TextStream>;
    static const D table("TextStream", {
        D::Method("Write", 1, &TextStream::Write),
        D::Method("WriteLine", 2, &TextStream::WriteLine).Optional(1),
        D::Method("WriteBlankLines", 3, &TextStream::WriteBlankLines),
    });
    return table;
  }

  HRESULT Write(const Variant& v) {
    std::string text;
    RETURN_IF_FAILED(EchoText(v, lcid_, &text));
    *stream_ << text << std::flush;
    return S_OK;
  }
  HRESULT WriteLine(const Variant& v) {
    std::string text;
    if (!v.IsMissing()) RETURN_IF_FAILED(EchoText(v, lcid_, &text));
    *stream_ << text << '\n' << std::flush;
    return S_OK;
  }
  HRESULT WriteBlankLines(int32_t count) {
    for (int32_t i = 0; i < count; ++i) *stream_ << '\n';
    *stream_ << std::flush;
    return S_OK;
  }

 private:
  std::ostream* stream_;
  LCID lcid_;
};

// Hand-written IDispatch: Echo takes any number of arguments, which a
// dispatch table cannot declare.
class WScript final : public Object<IDispatch> {
 public:
  explicit WScript(WScriptOptions options)
      : o_(std::move(options)),
        arguments_(MakeRef<Arguments>(o_.arguments)),
        stdOut_(MakeRef<TextStream>(o_.out, o_.lcid)),
        stdErr_(MakeRef<TextStream>(o_.err, o_.lcid)) {}

  HRESULT GetIDsOfNames(std::string_view name, DISPID* id) override {
    for (size_t i = 0; i < std::size(kNames); ++i) {
      if (EqualsNoCase(name, kNames[i])) {
        *id = static_cast<DISPID>(i + 1);
        return S_OK;
      }
    }
    return DISP_E_UNKNOWNNAME;
  }

  HRESULT Invoke(DISPID id, uint16_t flags, std::span<Variant> args, Variant* result,
                 ExcepInfo*, LCID) override {
    if ((flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET)) == 0) return DISP_E_MEMBERNOTFOUND;
    Variant value;
    switch (id) {
      case 1: {  // Echo
        std::string line;
        for (size_t i = 0; i < args.size(); ++i) {
          std::string text;
          RETURN_IF_FAILED(EchoText(args[i], o_.lcid, &text));
          if (i > 0) line += ' ';
          line += text;
        }
        *o_.out << line << '\n' << std::flush;
        break;
      }
      case 2:  // Arguments
        if (!args.empty()) return DISP_E_BADPARAMCOUNT;
        value = Variant::Dispatch(Ref<IDispatch>(arguments_));
        break;
      case 3: {  // Quit
        if (args.size() > 1) return DISP_E_BADPARAMCOUNT;
        int32_t code = 0;
        if (!args.empty() && !args[0].Deref().IsMissing()) {
          Variant c;
          RETURN_IF_FAILED(ChangeType(args[0], VT_I4, &c, 0, o_.lcid));
          code = c.i4();
        }
        if (o_.quit) o_.quit(code);
        break;
      }
      case 4:  // StdOut
        value = Variant::Dispatch(Ref<IDispatch>(stdOut_));
        break;
      case 5:  // StdErr
        value = Variant::Dispatch(Ref<IDispatch>(stdErr_));
        break;
      case 6: {  // Sleep
        if (args.size() != 1) return DISP_E_BADPARAMCOUNT;
        Variant ms;
        RETURN_IF_FAILED(ChangeType(args[0], VT_I4, &ms, 0, o_.lcid));
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms.i4());
        while (std::chrono::steady_clock::now() < end) {
          if (o_.interrupted && o_.interrupted()) break;
          std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        break;
      }
      case 7:  // ScriptName
        value = Variant::Text(o_.scriptName);
        break;
      case 8:  // ScriptFullName
        value = Variant::Text(o_.scriptFullName);
        break;
      case 9:  // Name
        value = Variant::Text("Tavrix Script Host");
        break;
      case 10:  // Version
        value = Variant::Text("5.8");
        break;
      default:
        return DISP_E_MEMBERNOTFOUND;
    }
    if (result != nullptr) *result = std::move(value);
    return S_OK;
  }

 private:
  static constexpr std::string_view kNames[] = {
      "Echo", "Arguments", "Quit", "StdOut", "StdErr", "Sleep",
      "ScriptName", "ScriptFullName", "Name", "Version",
  };

  WScriptOptions o_;
  Ref<Arguments> arguments_;
  Ref<TextStream> stdOut_;
  Ref<TextStream> stdErr_;
};

}  // namespace

Ref<IDispatch> MakeWScript(WScriptOptions options) {
  return Ref<IDispatch>(MakeRef<WScript>(std::move(options)));
}

}  // namespace tavrix::vbs
