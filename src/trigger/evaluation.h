// Evaluation nodes: a list of conditions that selects the children or the
// else branch (CEvaluationObject), and the repeat node that runs its
// children while the conditions hold (CWhileObject).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/variant.h"
#include "trigger/action_object.h"
#include "trigger/operand.h"

namespace tavrix {

// What a definition gives for one condition (resolved at initialisation).
struct ConditionDefinition {
  std::string name;       // watched name (operand reference)
  int32_t condition = 0;  // 0..16
  std::string threshold;  // literal, or a "$" reference in projects from 1.2
  int32_t source = 0;     // 0 cached value, 1 previous cached value, 2 read now
  bool itemValue = false;
};

class CEvaluationObject;

// One condition of an evaluation or repeat node.
class CEvaluationCondition {
 public:
  explicit CEvaluationCondition(ConditionDefinition definition);

  // Resolves the watched name and the threshold; logs and returns
  // E_INVALIDARG for a name or reference that does not resolve.
  HRESULT Initialize(CTavrixController& controller, const CEvaluationObject& node);
  // Refreshes the cached value (and the threshold reference's value).
  HRESULT UpdateCache();
  // Whether the condition holds in an execution of `kind`.
  bool Evaluate(int32_t kind, IZeltMessage* message, const CEvaluationObject& node);
  void Release();
  // The item this condition watches on `controller`, if any.
  CTavrixItem* WatchedItemOf(const CTavrixController& controller) const;

 private:
  ConditionDefinition definition_;
  Operand watched_;
  Operand thresholdReference_;
  Variant current_;
  Variant previous_;
  Variant thresholdValue_;  // the literal, or the reference's last value
  // thresholdValue_ converted to the type of the value last compared, kept
  // while neither changes (a literal is converted once, not every cycle).
  Variant thresholdConverted_;
  bool thresholdConvertedValid_ = false;
  bool cached_ = false;
};

class CElseObject final : public CActionObject {
 public:
  const char* GetClassName() const override { return "CElseObject"; }
  bool SuppressElapsedLog() const override { return true; }
  bool ClearsLastResult() const override { return false; }
};

class CEvaluationObject : public CActionObject {
 public:
  explicit CEvaluationObject(bool conjunction);
  ~CEvaluationObject() override;

  HRESULT Execute(int32_t kind, IZeltMessage* message) override;
  HRESULT UpdateCache(int32_t kind) override;
  HRESULT Initialize(CTavrixController& controller) override;
  void ReleaseResources() override;
  const char* GetClassName() const override { return "CEvaluationObject"; }
  bool HasCache() const override { return true; }
  bool ClearsLastResult() const override { return false; }
  bool IsMeasured() const override { return false; }
  // The walks include the else branch.
  HRESULT InitializeTree(CTavrixController& controller) override;
  void CollectWatchedItems(CTavrixController& controller,
                           std::vector<Ref<CTavrixItem>>* items) override;
  CActionObject* FindById(std::string_view id) override;
  bool HasBackupFiles() const override;
  void CollectBackupTargets(std::vector<CActionObject*>* targets) override;
  int32_t CountAsyncInserts() const override;
  void CollectExternalAsyncPerformance(std::vector<TriggerAsyncPerformance>* list) override;
  void ResetCounters() override;
  int32_t Number(int32_t counter) override;
  void CollectIds(std::vector<TriggerNodeId>* ids) const override;

  // Records a condition; it is resolved when the node is initialised.
  virtual HRESULT AddCondition(ConditionDefinition definition);

  CElseObject& elseBranch() { return *else_; }

 protected:
  // Whether the conditions select the children (true) or the else branch.
  bool ConditionsHold(int32_t kind, IZeltMessage* message);

 private:
  bool conjunction_;
  std::vector<ConditionDefinition> pending_;
  std::vector<CEvaluationCondition> conditions_;
  std::unique_ptr<CElseObject> else_;
};

class CWhileObject final : public CEvaluationObject {
 public:
  explicit CWhileObject(bool conjunction) : CEvaluationObject(conjunction) {}

  HRESULT Execute(int32_t kind, IZeltMessage* message) override;
  const char* GetClassName() const override { return "CWhileObject"; }
  bool IsInsideLoop() const override { return true; }
  HRESULT AddCondition(ConditionDefinition definition) override;
};

}  // namespace tavrix
