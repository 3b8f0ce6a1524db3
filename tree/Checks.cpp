// Check states and types, with tri-state propagation down to box children and
// up through tri-state ancestors (each ancestor is evaluated once per change).
#include "tree/VirtualTreeCore.h"

#include <vector>

void TVirtualTreeCore::SetCheckState(PVirtualNode node, TCheckState value) {
  if (node == nullptr || node == root) return;
  if (node->CheckState == value || (node->States & vsDisabled)) return;
  if (DoChecking(node, value)) DoCheckClick(node, value);
}

void TVirtualTreeCore::SetCheckType(PVirtualNode node, TCheckType value) {
  if (node == nullptr || node == root) return;
  if (node->CheckType == value || options.misc.Contains(toReadOnly)) return;
  node->CheckType = value;
  node->CheckState = csUncheckedNormal;
  PVirtualNode parent = node->Parent;
  if (options.autoOptions.Contains(toAutoTristateTracking) && IsBoxCheckType(value) && parent != root) {
    if (!(parent->States & vsInitialized)) InitNode(parent);
    if (parent->CheckType == ctTriStateCheckBox &&
        (parent->CheckState == csUncheckedNormal || parent->CheckState == csCheckedNormal))
      SetCheckState(node, parent->CheckState);
  }
  InvalidateNodeArea(node);
}

TCheckState TVirtualTreeCore::DetermineNextCheckState(TCheckType checkType, TCheckState checkState) {
  switch (checkType) {
    case ctTriStateCheckBox:
    case ctCheckBox:
      return checkState == csCheckedNormal ? csUncheckedNormal : csCheckedNormal;
    case ctRadioButton:
      return csCheckedNormal;
    case ctButton:
      return csUncheckedNormal;
    default:
      return csMixedNormal;
  }
}

// ---- Propagation --------------------------------------------------------------
//
// A change walks down into box children and up through tri-state ancestors. The
// walk keeps its open steps on an explicit stack instead of the call stack, so
// chains of any depth propagate; the events fire in the order a nested call of
// ChangeCheckState, CheckParentCheckState and DoCheckClick would fire them.

namespace {
enum class TCheckStepKind : uint8_t { Change, Click, Parent };

// One open step of a check change.
struct TCheckStep {
  TCheckStepKind kind;
  PVirtualNode node;
  TCheckState value;
  int phase = 0;
  PVirtualNode child = nullptr;  // Change going down: the child being set
};
}  // namespace

bool TVirtualTreeCore::ChangeCheckState(PVirtualNode node, TCheckState value) {
  return RunCheckSteps(static_cast<int>(TCheckStepKind::Change), node, value);
}

void TVirtualTreeCore::DoCheckClick(PVirtualNode node, TCheckState newCheckState) {
  RunCheckSteps(static_cast<int>(TCheckStepKind::Click), node, newCheckState);
}

bool TVirtualTreeCore::CheckParentCheckState(PVirtualNode node, TCheckState newCheckState) {
  return RunCheckSteps(static_cast<int>(TCheckStepKind::Parent), node, newCheckState);
}

TCheckState TVirtualTreeCore::ParentStateFromSiblings(PVirtualNode node, TCheckState newCheckState) const {
  uint32_t boxCount = 0, checkedCount = 0;
  bool partial = false;
  for (PVirtualNode run = node->Parent->FirstChild; run != nullptr; run = run->NextSibling) {
    if (!IsBoxCheckType(run->CheckType)) continue;
    ++boxCount;
    TCheckState state = run == node ? newCheckState : run->CheckState;
    if (state == csCheckedNormal || state == csCheckedPressed) ++checkedCount;
    if (state == csMixedNormal) partial = true;
  }
  if (checkedCount == 0 && !partial) return csUncheckedNormal;
  return checkedCount < boxCount ? csMixedNormal : csCheckedNormal;
}

TCheckState TVirtualTreeCore::StateFromChildren(PVirtualNode node, TCheckState value) const {
  // Children that refused (or are disabled) count with the state they kept.
  int checked = 0, mixed = 0, unchecked = 0;
  for (PVirtualNode child = node->FirstChild; child != nullptr; child = child->NextSibling) {
    if (!IsBoxCheckType(child->CheckType)) continue;
    if (child->CheckState == csCheckedNormal) ++checked;
    if (child->CheckState == csMixedNormal) ++mixed;
    if (child->CheckState == csUncheckedNormal) ++unchecked;
  }
  if (mixed > 0) return csMixedNormal;
  if (checked > 0) return unchecked > 0 ? csMixedNormal : csCheckedNormal;
  return value;
}

bool TVirtualTreeCore::RunCheckSteps(int kind, PVirtualNode node, TCheckState value) {
  std::vector<TCheckStep> steps;
  steps.push_back({static_cast<TCheckStepKind>(kind), node, value});
  bool last = false;  // the answer of the step that ended last
  // Steps of kind Change past phase 0 hold vsChecking and one count of the
  // propagation: an exception from a handler gives both back.
  auto leaveChange = [this](PVirtualNode changed) {
    changed->States &= ~vsChecking;
    if (--checkPropagationCount == 0) DoStateChange({}, {tsCheckPropagation});
  };
  try {
    while (!steps.empty()) {
      size_t top = steps.size() - 1;
      TCheckStep& step = steps[top];
      switch (step.kind) {
        case TCheckStepKind::Click:
          // DoCheckClick: the change, then its report.
          if (step.phase == 0) {
            step.phase = 1;
            steps.push_back({TCheckStepKind::Change, step.node, step.value});
            continue;
          }
          if (last) {
            PVirtualNode reported = step.node;
            steps.pop_back();
            DoChecked(reported);
          } else {
            steps.pop_back();
          }
          last = true;
          continue;

        case TCheckStepKind::Parent: {
          // CheckParentCheckState: the parent's state from the siblings, asked
          // and applied; the parent's own change walks on upwards (once).
          if (step.phase == 1) {
            steps.pop_back();
            last = true;
            continue;
          }
          PVirtualNode parent = step.node->Parent;
          TCheckState state = ParentStateFromSiblings(step.node, step.value);
          if (!DoChecking(parent, state)) {
            steps.pop_back();
            last = false;
            continue;
          }
          steps[top].phase = 1;
          steps.push_back({TCheckStepKind::Click, parent, state});
          continue;
        }

        case TCheckStepKind::Change:
          break;
      }

      // ChangeCheckState.
      PVirtualNode changed = step.node;
      if (step.phase == 0) {
        if (changed->States & vsChecking) {
          steps.pop_back();
          last = false;
          continue;
        }
        changed->States |= vsChecking;
        if (checkPropagationCount == 0) {
          ++checkPropagationSerial;
          DoStateChange({tsCheckPropagation});
        }
        ++checkPropagationCount;
        step.phase = 1;
        if (!(changed->States & vsInitialized)) InitNode(changed);
        TCheckStep& again = steps[top];
        bool goDown = again.node->CheckType == ctTriStateCheckBox &&
                      options.autoOptions.Contains(toAutoTristateTracking) &&
                      (again.value == csUncheckedNormal || again.value == csCheckedNormal) &&
                      again.node->FirstChild != nullptr;
        again.phase = goDown ? 2 : 3;
        continue;
      }

      if (step.phase == 2) {
        // Down: each box child takes the value through SetCheckState, which
        // asks and reports for itself and walks on into its own children.
        PVirtualNode child = step.child == nullptr ? changed->FirstChild : step.child->NextSibling;
        TCheckState childValue = step.value;
        for (; child != nullptr; child = child->NextSibling) {
          if (!IsBoxCheckType(child->CheckType)) continue;
          if (child->CheckState == steps[top].value || (child->States & vsDisabled)) continue;
          childValue = steps[top].value;
          steps[top].child = child;
          if (DoChecking(child, childValue)) break;
        }
        TCheckStep& again = steps[top];
        if (child != nullptr) {
          // SetCheckState hands on the value the handler may have replaced.
          steps.push_back({TCheckStepKind::Click, child, childValue});
          continue;
        }
        again.value = StateFromChildren(changed, again.value);
        again.phase = 3;
        continue;
      }

      if (step.phase == 3) {
        if (changed->CheckType == ctRadioButton && step.value == csCheckedNormal) {
          for (PVirtualNode sibling = changed->Parent->FirstChild; sibling != nullptr; sibling = sibling->NextSibling)
            if (sibling->CheckType == ctRadioButton) sibling->CheckState = csUncheckedNormal;
          InvalidateWhole();
        }
        changed->CheckState = step.value;
        PVirtualNode parent = changed->Parent;
        if (parent != root && !(parent->States & vsInitialized)) InitNode(parent);
        TCheckStep& again = steps[top];
        again.phase = 4;
        if (options.autoOptions.Contains(toAutoTristateTracking) && parent != root &&
            !(parent->States & (vsChecking | vsDisabled)) && IsBoxCheckType(changed->CheckType) &&
            parent->CheckType == ctTriStateCheckBox) {
          // A refusal further up stops the walk there; this node's change
          // stands and is reported.
          steps.push_back({TCheckStepKind::Parent, changed, again.value});
        }
        continue;
      }

      // phase 4: done.
      InvalidateNodeArea(changed);
      steps.pop_back();
      leaveChange(changed);
      last = true;
    }
  } catch (...) {
    for (const TCheckStep& open : steps)
      if (open.kind == TCheckStepKind::Change && open.phase > 0) leaveChange(open.node);
    throw;
  }
  return last;
}
