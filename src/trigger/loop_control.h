// return, break and continue.
#pragma once

#include "trigger/action_object.h"

namespace tavrix {

class CReturnObject final : public CActionObject {
 public:
  HRESULT Execute(int32_t kind, IZeltMessage* message) override;
  const char* GetClassName() const override { return "CReturnObject"; }
};

class CBreakObject final : public CActionObject {
 public:
  HRESULT Execute(int32_t kind, IZeltMessage* message) override;
  const char* GetClassName() const override { return "CBreakObject"; }
  bool ClearsLastResult() const override { return false; }
};

class CContinueObject final : public CActionObject {
 public:
  HRESULT Execute(int32_t kind, IZeltMessage* message) override;
  const char* GetClassName() const override { return "CContinueObject"; }
  bool ClearsLastResult() const override { return false; }
};

}  // namespace tavrix
