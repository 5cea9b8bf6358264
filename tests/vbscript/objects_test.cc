// Objects seen by scripts only through IDispatch: members with and without
// parentheses, property puts with arguments, default members, For Each over
// _NewEnum, ByRef arguments of methods, and dispatch failures as errors.
#include <gtest/gtest.h>

#include <map>
#include <stdexcept>

#include "platform/dispatch.h"
#include "platform/enumerator.h"
#include "platform/safearray.h"
#include "vbscript/script_fixture.h"

namespace tavrix::vbs::testing {
namespace {

// An item of the controller: its default member is its value.
class Item final : public DispatchObject<Item, IDispatch> {
 public:
  Item(std::string name, Variant value) : name_(std::move(name)), value_(std::move(value)) {}
  static const DispatchTable<Item>& DispatchMembers() {
    using D = DispatchTable<Item>;
    static const D table("Item", {
        D::Property("Value", DISPID_VALUE, &Item::GetValue, &Item::PutValue),
        D::Get("Name", 1, &Item::GetName),
    });
    return table;
  }
  HRESULT GetValue(Variant* out) {
    *out = value_;
    return S_OK;
  }
  HRESULT PutValue(const Variant& v) {
    value_ = v;
    return S_OK;
  }
  HRESULT GetName(std::string* out) {
    *out = name_;
    return S_OK;
  }

 private:
  std::string name_;
  Variant value_;
};

// A controller: items by name (the default member), arguments by name with a
// put, a collection of its items, and members that fail.
class Controller final : public DispatchObject<Controller, IDispatch> {
 public:
  Controller() {
    items_["T"] = MakeRef<Item>("T", Variant::I4(21));
    items_["P"] = MakeRef<Item>("P", Variant::Text("open"));
  }
  static const DispatchTable<Controller>& DispatchMembers() {
    using D = DispatchTable<Controller>;
    static const D table("Controller", {
        D::Get("Item", DISPID_VALUE, &Controller::GetItem),
        D::Property("Argument", 1, &Controller::GetArgument, &Controller::PutArgument),
        D::Get("_NewEnum", DISPID_NEWENUM, &Controller::NewEnum),
        D::Method("Fail", 2, &Controller::Fail),
        D::Method("Swap", 3, &Controller::Swap),
        D::Get("Count", 4, &Controller::Count),
        D::Method("Bad", 5, &Controller::Bad),
        D::Get("List", 6, &Controller::List),
    });
    return table;
  }
  HRESULT GetItem(const std::string& name, Ref<IDispatch>* out) {
    const auto it = items_.find(name);
    if (it == items_.end()) return DISP_E_BADINDEX;
    *out = Ref<IDispatch>(it->second);
    return S_OK;
  }
  HRESULT GetArgument(const std::string& name, Variant* out) {
    *out = arguments_[name];
    return S_OK;
  }
  HRESULT PutArgument(const std::string& name, const Variant& v) {
    arguments_[name] = v;
    return S_OK;
  }
  HRESULT NewEnum(Variant* out) {
    std::vector<Variant> values;
    for (auto& [name, item] : items_) values.push_back(Variant::Dispatch(Ref<IDispatch>(item)));
    *out = NewEnumVariant(std::move(values));
    return S_OK;
  }
  HRESULT Fail() { throw std::runtime_error("the device is offline"); }
  HRESULT Swap(Variant* a, Variant* b, Variant* result) {
    std::swap(*a, *b);
    *result = Variant::Bool(true);
    return S_OK;
  }
  HRESULT Count(int32_t* out) {
    *out = static_cast<int32_t>(items_.size());
    return S_OK;
  }
  HRESULT Bad(int32_t) { return S_OK; }
  HRESULT List(Variant* out) {
    Ref<SafeArray> a = SafeArray::Create1D(VT_I4, 3);
    for (int32_t i = 0; i < 3; ++i) (void)a->Put(static_cast<size_t>(i), Variant::I4(i * 10));
    *out = Variant::Array(a);
    return S_OK;
  }

 private:
  std::map<std::string, Ref<Item>> items_;
  std::map<std::string, Variant> arguments_;
};

TEST(VbsObjects, DispatchMembersAndDefaults) {
  static const Case kCases[] = {
      {"default member of the item", "x = MyCtrl(\"T\")\nWScript.Echo x, TypeName(x), "
                                     "MyCtrl(\"T\") + 1, MyCtrl.Item(\"P\").Name",
       "21 Long 22 P\n"},
      {"Set keeps the object", "Set it = MyCtrl(\"T\")\nWScript.Echo IsObject(it), it.Name",
       "True T\n"},
      {"put through the default member", "MyCtrl(\"T\") = 5\nWScript.Echo MyCtrl(\"T\").Value",
       "5\n"},
      {"property put with arguments",
       "MyCtrl.Argument(\"x\") = 42\nMyCtrl.Argument(\"y\") = \"s\"\n"
       "WScript.Echo MyCtrl.Argument(\"x\"), MyCtrl.Argument(\"y\")",
       "42 s\n"},
      {"For Each over _NewEnum", "For Each it In MyCtrl\nWScript.Echo it.Name, it\nNext", "P open\nT 21\n"},
      {"For Each over a non-collection", "x = 3\nFor Each v In x\nNext", "", kErrNotACollection,
       2},
      {"ByRef arguments of methods", "a = 1 : b = \"two\"\nMyCtrl.Swap a, b\nWScript.Echo a, b",
       "two 1\n"},
      {"members with and without parentheses", "WScript.Echo MyCtrl.Count, MyCtrl.Count()",
       "2 2\n"},
      {"arguments index a member's value", "WScript.Echo MyCtrl.List(2), UBound(MyCtrl.List)",
       "20 2\n"},
      {"exception text reaches Err", "On Error Resume Next\nMyCtrl.Fail\n"
                                     "WScript.Echo Err.Description",
       "the device is offline\n"},
      {"bad index from the object", "x = MyCtrl(\"nope\")", "", kErrSubscript, 1},
      {"argument type mismatch", "MyCtrl.Bad \"abc\"", "", kErrTypeMismatch, 1},
      {"wrong argument count", "MyCtrl.Bad 1, 2", "", kErrWrongArgCount, 1},
      {"Let of an object without default", "x = WScript", "", kErrNoSuchMember, 1},
      {"Let of Nothing", "x = Nothing", "", kErrObjectNotSet, 1},
      {"With on the controller", "With MyCtrl\n.Argument(\"k\") = 1\nWScript.Echo .Count, "
                                 ".Argument(\"k\")\nEnd With",
       "2 1\n"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    const Outcome o = RunScript(c.script, "MyCtrl", Ref<IDispatch>(MakeRef<Controller>()));
    EXPECT_EQ(o.output, c.output) << Describe(o);
    EXPECT_EQ(o.error, c.error) << Describe(o);
    if (c.error != 0) {
      EXPECT_EQ(o.line, c.line) << Describe(o);
    }
  }
}

}  // namespace
}  // namespace tavrix::vbs::testing
