// Items in their surroundings for tests: a simulated Zelt controller of a
// name no other test uses, a BasicItemOwner over it, items made from
// records, and a device handle through which a test puts the values the
// items then read.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "config/project_records.h"
#include "item/item.h"
#include "platform/log.h"
#include "platform/safearray.h"
#include "support/basic_owner.h"
#include "zelt/engine.h"
#include "zelt/interfaces.h"

namespace tavrix::item_test {

// A record of an enabled item reading the simulated variable `variable`.
inline ItemRecord VarItem(std::string_view name, std::string_view variable) {
  ItemRecord r;
  r.m_strItemName = std::string(name);
  r.m_bEnabled = true;
  r.m_bVariableEnabled = true;
  r.m_strVarName = std::string(variable);
  r.m_lRequestType = 12;  // VT_VARIANT: no conversion unless a test asks
  r.m_lRequestTypeW = 12;
  r.m_lInitDataType = 3;
  r.m_bUseHistory = true;
  r.m_bOnChangeEvent = true;
  return r;
}

// A sub-item of `parent` cutting a piece of type `type` at `offset`.
inline ItemRecord SubItem(std::string_view name, std::string_view parent, VARTYPE type,
                          int32_t offset, int32_t byteOrder = 0) {
  ItemRecord r = VarItem(name, "");
  r.m_bVariableEnabled = false;
  r.m_bSubItem = true;
  r.m_strSubItemParentName = std::string(parent);
  r.m_lSubItemDataType = type;
  r.m_lSubItemOffset = offset;
  r.m_lSubItemByteOrder = byteOrder;
  return r;
}

inline Variant Bytes(std::initializer_list<uint8_t> bytes) {
  Ref<SafeArray> a = SafeArray::Create1D(VT_UI1, static_cast<uint32_t>(bytes.size()));
  std::copy(bytes.begin(), bytes.end(), a->data());
  return Variant::Array(std::move(a));
}

inline std::vector<uint8_t> BytesOf(const Variant& v) {
  if (v.vt() != (VT_ARRAY | VT_UI1)) return {};
  const SafeArray& a = v.array();
  return std::vector<uint8_t>(a.data(), a.data() + a.size());
}

class ItemTest : public ::testing::Test {
 protected:
  ItemTest() : log(0), owner(UniqueName("ItemCtl")) {
    Ref<IZeltEngine> engine = CreateZeltEngine();
    Ref<IZeltWorkspaces> spaces;
    EXPECT_EQ(engine->get_Workspaces(&spaces), S_OK);
    EXPECT_EQ(spaces->Item(Variant::I4(0), &workspace_), S_OK);
    EXPECT_EQ(workspace_->AddController(owner.name, "ZeltProv.Sim", "", "", &device_), S_OK);
    owner.SetConnection(device_);
    owner.useHistory = true;
  }
  ~ItemTest() override {
    for (const Ref<CTavrixItem>& item : made_) {
      item->Deactivate();
      item->Terminate();
    }
  }

  static std::string UniqueName(std::string_view base) {
    static std::atomic<int> next{0};
    return std::string(base) + std::to_string(next.fetch_add(1));
  }

  // An initialised item, registered with its owner; activated unless told.
  Ref<CTavrixItem> Make(const ItemRecord& record, bool activate = true) {
    return Make(record, owner, activate);
  }
  Ref<CTavrixItem> Make(const ItemRecord& record, BasicItemOwner& itemOwner, bool activate) {
    auto item = MakeRef<CTavrixItem>();
    EXPECT_EQ(item->Initialize(static_cast<int32_t>(made_.size()), record, itemOwner), S_OK);
    itemOwner.AddItem(item);
    made_.push_back(item);
    if (activate) {
      EXPECT_EQ(item->Activate(), S_OK);
    }
    return item;
  }
  // InitSubitem of every item made so far, then activation of the listed ones.
  void Link() {
    for (const Ref<CTavrixItem>& item : made_) EXPECT_EQ(item->InitSubitem(), S_OK);
  }

  // An owner over another simulated controller, opened with `option`; its
  // device is reached through Device(name, owner).
  BasicItemOwner& OtherOwner(std::string_view option) {
    auto other = std::make_unique<BasicItemOwner>(UniqueName("ItemCtl"));
    Ref<IZeltController> device;
    EXPECT_EQ(workspace_->AddController(other->name, "ZeltProv.Sim", "", option, &device), S_OK);
    other->SetConnection(device);
    devices_[other.get()] = device;
    others_.push_back(std::move(other));
    return *others_.back();
  }

  // The simulated variable `name`, as the device sees it.
  Ref<IZeltVariable> Device(std::string_view name, BasicItemOwner* of = nullptr) {
    Ref<IZeltVariables> vars;
    EXPECT_EQ((of ? devices_[of] : device_)->get_Variables(&vars), S_OK);
    Ref<IZeltVariable> v;
    HRESULT hr = vars->Add(name, "", &v);
    if (hr == TVX_E_ZELT_ALREADY_EXISTS) hr = vars->Item(Variant::Text(name), &v);
    EXPECT_EQ(hr, S_OK) << name;
    return v;
  }
  void Put(std::string_view variable, const Variant& value) {
    ASSERT_EQ(Device(variable)->put_Value(value), S_OK);
  }
  Variant Get(std::string_view variable, BasicItemOwner* of = nullptr) {
    Variant v;
    EXPECT_EQ(Device(variable, of)->get_Value(&v), S_OK);
    return v;
  }
  void Command(std::string_view command) {
    Variant result;
    ASSERT_EQ(device_->Execute(Variant::Text(command), Variant(), &result), S_OK);
  }

  // The level of the first captured line containing `part`, or -1.
  int LevelOf(std::string_view part) const {
    for (const auto& line : log.Lines()) {
      if (line.text.find(part) != std::string::npos) return static_cast<int>(line.level);
    }
    return -1;
  }

  static HRESULT Read(CTavrixItem& item, int32_t flags = 0, bool* providerRead = nullptr) {
    return item.ReadValue(flags, providerRead);
  }

  CapturingLogSink log;
  BasicItemOwner owner;

 private:
  Ref<IZeltWorkspace> workspace_;
  Ref<IZeltController> device_;
  std::vector<std::unique_ptr<BasicItemOwner>> others_;
  std::map<BasicItemOwner*, Ref<IZeltController>> devices_;
  std::vector<Ref<CTavrixItem>> made_;
};

}  // namespace tavrix::item_test
