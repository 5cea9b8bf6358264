// The switch node: runs the first of its cases whose value equals the value
// of the watched name, or the default case.
#pragma once

#include <cstdint>
#include <string>

#include "platform/variant.h"
#include "trigger/action_object.h"
#include "trigger/operand.h"

namespace tavrix {

class CCaseObject : public CActionObject {
 public:
  explicit CCaseObject(std::string value) : value_(std::move(value)) {}

  const char* GetClassName() const override { return "CCaseObject"; }
  bool SuppressElapsedLog() const override { return true; }
  // Whether `value` selects this case.
  virtual bool Matches(const Variant& value) const;

 private:
  std::string value_;
};

class CDefaultCaseObject final : public CCaseObject {
 public:
  CDefaultCaseObject() : CCaseObject(std::string()) {}
  bool Matches(const Variant&) const override { return true; }
};

class CSwitchObject final : public CActionObject {
 public:
  CSwitchObject(std::string name, int32_t source);

  HRESULT Execute(int32_t kind, IZeltMessage* message) override;
  HRESULT UpdateCache(int32_t kind) override;
  HRESULT Initialize(CTavrixController& controller) override;
  void ReleaseResources() override;
  const char* GetClassName() const override { return "CSwitchObject"; }
  bool HasCache() const override { return true; }
  void CollectWatchedItems(CTavrixController& controller,
                           std::vector<Ref<CTavrixItem>>* items) override;

 private:
  std::string name_;
  int32_t source_;
  Operand watched_;
  Variant current_;
  Variant previous_;
  bool cached_ = false;
};

}  // namespace tavrix
