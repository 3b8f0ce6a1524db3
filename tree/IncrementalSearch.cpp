// Incremental search: typed characters move the focus to the next node whose
// text matches what was typed so far; a pause of IncrementalSearchTimeout ms
// (timer 7) starts a new search. Characters arrive as UTF-16 units from the
// Unicode window, so any script can be searched.
#include "tree/VirtualTrees.h"

namespace {
constexpr UINT_PTR kSearchTimer = 7;
}  // namespace

// One step of the search walk in the tree's mode; wrapping targets with a null node.
PVirtualNode TBaseVirtualTree::SearchStep(PVirtualNode node, bool forward) {
  switch (incrementalSearch) {
    case isAll:
      if (node == nullptr) return forward ? GetFirst() : GetLast();
      return forward ? GetNext(node) : GetPrevious(node);
    case isInitializedOnly:
      if (node == nullptr) return forward ? GetFirstNoInit() : GetLastNoInit();
      return forward ? GetNextNoInit(node) : GetPreviousNoInit(node);
    default:
      if (node == nullptr) return forward ? GetFirstVisible() : GetLastVisible();
      return forward ? GetNextVisible(node) : GetPreviousVisible(node);
  }
}

void TBaseVirtualTree::HandleIncrementalSearch(char16_t ch) {
  StopTreeTimer(kSearchTimer);
  if (incrementalSearch == isNone) return;
  if (ch != 0) {
    DoStateChange({tsIncrementalSearching});
    bool backspace = ch == 8;
    // The search handler may free the tree.
    THold hold(this);
    if (!backspace || searchBuffer.size() > 1) SearchFor(ch, backspace);
    if (Going()) return;
  }
  if (HandleAllocated()) SetTimer(handle, kSearchTimer, incrementalSearchTimeout, nullptr);
}

void TBaseVirtualTree::SearchFor(char16_t ch, bool backspace) {
  PVirtualNode start = nullptr;
  if (incrementalSearchStart == ssLastHit) start = lastSearchNode;
  if (incrementalSearchStart == ssFocusedNode) start = focusedNode;
  if (start != nullptr && incrementalSearch == isInitializedOnly && !(start->States & vsInitialized)) start = nullptr;
  if (start != nullptr && incrementalSearch == isVisibleOnly && !IsFullyVisible(start)) start = nullptr;
  bool forward = (incrementalSearchDirection == sdForward) != backspace;

  bool singleLetter = searchBuffer.size() == 1 && !backspace && searchBuffer[0] == ch;
  // Every handler on the way may free nodes: a search whose candidate went ends there.
  TCallOutScope scope(*this);
  // A letter typed twice may still be the start of a name ("bb...").
  if (singleLetter && start != nullptr && DoIncrementalSearch(start, searchBuffer + ch) == 0) singleLetter = false;
  if (scope.TreeGone()) return;
  if (start != nullptr && Gone(start)) start = nullptr;

  PVirtualNode candidate = start;
  if (searchBuffer.empty() || start == nullptr || singleLetter || backspace) {
    candidate = start != nullptr ? SearchStep(start, forward) : SearchStep(nullptr, forward);
    if (candidate == nullptr && start != nullptr) candidate = SearchStep(nullptr, forward);
  }
  if (candidate == nullptr) return;

  std::u16string text;
  if (singleLetter)
    text.assign(1, ch);
  else if (backspace)
    text = searchBuffer.substr(0, searchBuffer.size() - 1);
  else
    text = searchBuffer + ch;

  // The walk ends at the start node; it wraps once at most, so nodes that all
  // refuse (or a start node the walk cannot reach) never keep it going.
  bool found = false;
  int wraps = 0;
  for (;;) {
    bool matches = DoIncrementalSearch(candidate, text) == 0;
    if (Gone(candidate)) return;
    if (matches) {
      found = true;
      break;
    }
    PVirtualNode next = SearchStep(candidate, forward);
    if (Gone(candidate)) return;
    if (next == nullptr) {
      if (start == nullptr || ++wraps > 1) break;
      next = SearchStep(nullptr, forward);
    }
    if (next == nullptr) break;
    candidate = next;
    if (candidate == start) break;
  }

  if (found) {
    ClearSelection();
    if (Gone(candidate)) return;
    searchBuffer = text;
    lastSearchNode = candidate;
    SetFocusedNode(candidate);
    if (!Gone(candidate) && focusedNode == candidate) AddToSelection(candidate);
    return;
  }
  if (!Gone(candidate) && DoIncrementalSearch(candidate, text) != 0) MessageBeep(0);
}

void TBaseVirtualTree::StopIncrementalSearch() {
  DoStateChange({}, {tsIncrementalSearching});
  StopTreeTimer(kSearchTimer);
  searchBuffer.clear();
  lastSearchNode = nullptr;
}
