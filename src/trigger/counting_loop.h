// The counting loop (CForObject): runs its children a number of times given
// by a constant or an item, optionally writing the pass index to an item.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "trigger/action_object.h"
#include "trigger/operand.h"

namespace tavrix {

// Where the count comes from.
class ForBaseParameter {
 public:
  virtual ~ForBaseParameter() = default;
  virtual HRESULT GetValue(Variant* out) = 0;
};

class ForConstParameter final : public ForBaseParameter {
 public:
  explicit ForConstParameter(int32_t count) : count_(count) {}
  HRESULT GetValue(Variant* out) override;

 private:
  int32_t count_;
};

// An item (or temporary item) read as the count, or written as the index.
class ForItemParameter final : public ForBaseParameter {
 public:
  HRESULT Resolve(CTavrixController& controller, std::string_view name);
  HRESULT GetValue(Variant* out) override;
  HRESULT SetValue(int32_t index);

 private:
  Operand operand_;
};

class CForObject final : public CActionObject {
 public:
  CForObject(std::string countText, std::string currentCountText);

  HRESULT Execute(int32_t kind, IZeltMessage* message) override;
  HRESULT Initialize(CTavrixController& controller) override;
  void ReleaseResources() override;
  const char* GetClassName() const override { return "CForObject"; }
  bool ClearsLastResult() const override { return false; }
  bool IsInsideLoop() const override { return true; }

 private:
  std::string countText_;
  std::string currentCountText_;
  std::unique_ptr<ForBaseParameter> count_;
  std::unique_ptr<ForItemParameter> currentCount_;
};

}  // namespace tavrix
