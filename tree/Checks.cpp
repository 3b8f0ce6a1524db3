// Check states and types, with tri-state propagation down to box children and
// up through tri-state ancestors (each ancestor is evaluated once per change).
#include "tree/VirtualTreeCore.h"

#include <vector>

void TVirtualTreeCore::SetCheckState(PVirtualNode node, TCheckState value) {
  if (node == nullptr || node == root) return;
  if (node->CheckState == value || (node->States & vsDisabled)) return;
  TCallOutScope scope(*this);
  if (DoChecking(node, value) && !Gone(node)) DoCheckClick(node, value);
}

void TVirtualTreeCore::SetCheckType(PVirtualNode node, TCheckType value) {
  if (node == nullptr || node == root) return;
  if (node->CheckType == value || options.misc.Contains(toReadOnly)) return;
  node->CheckType = value;
  node->CheckState = csUncheckedNormal;
  PVirtualNode parent = node->Parent;
  TCallOutScope scope(*this);
  if (options.autoOptions.Contains(toAutoTristateTracking) && IsBoxCheckType(value) && parent != root) {
    if (!(parent->States & vsInitialized)) InitNode(parent);
    if (Gone(node) || Gone(parent)) return;
    if (parent->CheckType == ctTriStateCheckBox &&
        (parent->CheckState == csUncheckedNormal || parent->CheckState == csCheckedNormal))
      SetCheckState(node, parent->CheckState);
  }
  if (!Gone(node)) InvalidateNodeArea(node);
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
// A change walks down into box children and up through tri-state ancestors. A
// run keeps its open steps on a stack of its own; each nested click and parent
// step goes through its virtual slot, so an override sees every node. While
// the slot is the tree's own and runs are nested deeply, the running run takes
// the step back onto its stack, so chains of any depth propagate; the events
// fire in the order nested calls of ChangeCheckState, CheckParentCheckState
// and DoCheckClick fire them.
//
// Every handler may free nodes: after each call out, a step whose node was
// freed ends without touching it, and a walk through children whose current
// child went away goes on from the child that took its place.

namespace {
enum class TCheckStepKind : uint8_t { Change, Click, Parent };

// Runs started through the slots inside a run before steps stay on its stack.
constexpr int kNestedCheckRuns = 64;

// One open step of a check change.
struct TCheckStep {
  TCheckStepKind kind;
  PVirtualNode node;
  TCheckState value;
  int phase = 0;
  // Change going down: the child handed the value; Parent: the parent asked.
  PVirtualNode other = nullptr;
  uint32_t otherIndex = 0;  // the child's place, where the walk goes on when it went away
  TCheckState otherValue = csUncheckedNormal;  // as the handler may have replaced it
  bool allowed = false;
};

PVirtualNode ChildAt(PVirtualNode node, uint32_t index) {
  PVirtualNode child = node->FirstChild;
  for (; child != nullptr && index > 0; --index) child = child->NextSibling;
  return child;
}
}  // namespace

struct TVirtualTreeCore::TCheckRun {
  std::vector<TCheckStep> steps;
};

bool TVirtualTreeCore::ChangeCheckState(PVirtualNode node, TCheckState value) {
  return RunCheckSteps(static_cast<int>(TCheckStepKind::Change), node, value);
}

void TVirtualTreeCore::DoCheckClick(PVirtualNode node, TCheckState newCheckState) {
  RunCheckSteps(static_cast<int>(TCheckStepKind::Click), node, newCheckState);
}

bool TVirtualTreeCore::CheckParentCheckState(PVirtualNode node, TCheckState newCheckState) {
  return RunCheckSteps(static_cast<int>(TCheckStepKind::Parent), node, newCheckState);
}

void TVirtualTreeCore::CallCheckSlot(int kind, PVirtualNode node, TCheckState value) {
  slotCallKind = kind;
  slotCallNode = node;
  slotCallValue = value;
  try {
    if (static_cast<TCheckStepKind>(kind) == TCheckStepKind::Click)
      DoCheckClick(node, value);
    else
      CheckParentCheckState(node, value);
  } catch (...) {
    slotCallKind = -1;
    throw;
  }
  slotCallKind = -1;
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

void TVirtualTreeCore::LeaveCheckPropagation() {
  if (--checkPropagationCount == 0) DoStateChange({}, {tsCheckPropagation});
}

bool TVirtualTreeCore::RunCheckSteps(int kind, PVirtualNode node, TCheckState value) {
  TCheckStepKind stepKind = static_cast<TCheckStepKind>(kind);
  bool handed = slotCallKind == kind && slotCallNode == node && slotCallValue == value;
  if (handed) slotCallKind = -1;
  if (handed && activeCheckRun != nullptr && checkRunDepth >= kNestedCheckRuns) {
    // The running run called this slot itself: it takes the step on.
    activeCheckRun->steps.push_back({stepKind, node, value});
    return true;
  }
  // Opened first, closed last: a tree freed by a handler lives until the
  // run's own scope below has let go of it.
  TCallOutScope callOut(*this);
  TCheckRun run;
  struct TRunScope {
    TVirtualTreeCore& tree;
    TCheckRun* outer;
    ~TRunScope() {
      tree.activeCheckRun = outer;
      if (--tree.checkRunDepth == 0) tree.EndInvalidationBatch();
    }
  } scope{*this, activeCheckRun};
  activeCheckRun = &run;
  // A change that reaches many nodes (and whatever its handlers change) asks
  // for its repaint once, when the outermost run ends.
  if (checkRunDepth++ == 0) BeginInvalidationBatch();
  std::vector<TCheckStep>& steps = run.steps;
  steps.push_back({stepKind, node, value});
  bool last = false;  // the answer of the step that ended last
  try {
    while (!steps.empty()) {
      size_t top = steps.size() - 1;
      TCheckStep& step = steps[top];
      if (Gone(step.node)) {
        // A handler freed the node: its step ends without touching it.
        bool counted = step.kind == TCheckStepKind::Change && step.phase > 0;
        steps.pop_back();
        last = false;
        if (counted) LeaveCheckPropagation();
        continue;
      }
      switch (step.kind) {
        case TCheckStepKind::Click: {
          // DoCheckClick: the change, then its report.
          if (step.phase == 0) {
            step.phase = 1;
            TCheckStep change{TCheckStepKind::Change, step.node, step.value};
            steps.push_back(change);
            continue;
          }
          PVirtualNode reported = step.node;
          bool report = last;
          steps.pop_back();
          last = true;
          if (report) DoChecked(reported);
          continue;
        }

        case TCheckStepKind::Parent: {
          // CheckParentCheckState: the parent's state from the siblings, asked
          // and applied; the parent's own change walks on upwards (once).
          if (step.phase == 0) {
            step.phase = 1;
            step.other = step.node->Parent;
            step.otherValue = ParentStateFromSiblings(step.node, step.value);
            TCheckState state = step.otherValue;
            bool allowed = DoChecking(step.other, state);
            steps[top].allowed = allowed;
            steps[top].otherValue = state;
            continue;
          }
          if (step.phase == 1) {
            if (!step.allowed || Gone(step.other)) {
              steps.pop_back();
              last = false;
              continue;
            }
            step.phase = 2;
            CallCheckSlot(static_cast<int>(TCheckStepKind::Click), step.other, step.otherValue);
            continue;
          }
          steps.pop_back();
          last = true;
          continue;
        }

        case TCheckStepKind::Change:
          break;
      }

      // ChangeCheckState.
      PVirtualNode changed = step.node;
      switch (step.phase) {
        case 0:
          if (changed->States & vsChecking) {
            steps.pop_back();
            last = false;
            continue;
          }
          changed->States |= vsChecking;
          step.phase = 1;
          if (checkPropagationCount++ == 0) {
            ++checkPropagationSerial;
            DoStateChange({tsCheckPropagation});
          }
          continue;

        case 1:
          step.phase = 2;
          if (!(changed->States & vsInitialized)) InitNode(changed);
          continue;

        case 2: {
          bool goDown = changed->CheckType == ctTriStateCheckBox &&
                        options.autoOptions.Contains(toAutoTristateTracking) &&
                        (step.value == csUncheckedNormal || step.value == csCheckedNormal) &&
                        changed->FirstChild != nullptr;
          step.phase = goDown ? 3 : 5;
          continue;
        }

        case 3: {
          // Down: each box child takes the value through SetCheckState, which
          // asks and reports for itself and walks on into its own children.
          PVirtualNode child;
          if (step.other == nullptr)
            child = changed->FirstChild;
          else if (!Gone(step.other) && step.other->Parent == changed)
            child = step.other->NextSibling;
          else
            child = ChildAt(changed, step.otherIndex);  // the one that took its place
          for (; child != nullptr; child = child->NextSibling) {
            if (!IsBoxCheckType(child->CheckType)) continue;
            if (child->CheckState != step.value && !(child->States & vsDisabled)) break;
          }
          if (child == nullptr) {
            step.value = StateFromChildren(changed, step.value);
            step.phase = 5;
            continue;
          }
          step.other = child;
          step.otherIndex = child->Index;
          step.phase = 4;
          TCheckState childValue = step.value;
          bool allowed = DoChecking(child, childValue);
          steps[top].allowed = allowed;
          steps[top].otherValue = childValue;
          continue;
        }

        case 4:
          // SetCheckState hands on the value the handler may have replaced.
          step.phase = 3;
          if (step.allowed && !Gone(step.other))
            CallCheckSlot(static_cast<int>(TCheckStepKind::Click), step.other, step.otherValue);
          continue;

        case 5: {
          if (changed->CheckType == ctRadioButton && step.value == csCheckedNormal) {
            for (PVirtualNode sibling = changed->Parent->FirstChild; sibling != nullptr; sibling = sibling->NextSibling)
              if (sibling->CheckType == ctRadioButton) sibling->CheckState = csUncheckedNormal;
            InvalidateWhole();
          }
          changed->CheckState = step.value;
          step.phase = 6;
          PVirtualNode parent = changed->Parent;
          if (parent != root && !(parent->States & vsInitialized)) InitNode(parent);
          continue;
        }

        case 6: {
          step.phase = 7;
          PVirtualNode parent = changed->Parent;
          // A refusal further up stops the walk there; this node's change
          // stands and is reported.
          if (options.autoOptions.Contains(toAutoTristateTracking) && parent != root &&
              !(parent->States & (vsChecking | vsDisabled)) && IsBoxCheckType(changed->CheckType) &&
              parent->CheckType == ctTriStateCheckBox)
            CallCheckSlot(static_cast<int>(TCheckStepKind::Parent), changed, step.value);
          continue;
        }

        default:
          changed->States &= ~vsChecking;
          steps.pop_back();
          last = true;
          InvalidateNodeArea(changed);
          LeaveCheckPropagation();
          continue;
      }
    }
  } catch (...) {
    for (const TCheckStep& open : steps) {
      if (open.kind != TCheckStepKind::Change || open.phase == 0) continue;
      if (!Gone(open.node)) open.node->States &= ~vsChecking;
      LeaveCheckPropagation();
    }
    throw;
  }
  return last;
}
