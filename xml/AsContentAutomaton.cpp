#include "xml/AsContentAutomaton.h"

#include <algorithm>

#include "xml/AsObjects.h"

TdomASContentAutomaton::TdomASContentAutomaton(const TdomASContentModel* model) {
  follow.emplace_back();  // the start state
  final.push_back(false);
  Info root = Visit(model);
  follow[kStart].push_back(root.firstSet);
  final[kStart] = root.nullable;
  for (int p : root.last) final[static_cast<size_t>(p)] = true;
}

void TdomASContentAutomaton::MergeInto(int target, int source) {
  if (target == source) return;
  for (const auto& [name, positions] : sets[static_cast<size_t>(source)]) {
    std::vector<int>& into = sets[static_cast<size_t>(target)][name];
    into.insert(into.end(), positions.begin(), positions.end());
  }
}

void TdomASContentAutomaton::AddFollow(int position, int set) {
  // A position is in one model's last list at a time, and each set is added
  // once to each of them; only the newest entry can repeat. Checking it alone
  // keeps long runs of optional particles from costing a search per pair.
  std::vector<int>& list = follow[static_cast<size_t>(position)];
  if (list.empty() || list.back() != set) list.push_back(set);
}

TdomASContentAutomaton::Info TdomASContentAutomaton::Visit(const TdomASContentModel* model) {
  Info info;
  TdomASObjectList* subs = model->SubModels();
  switch (model->ContentModelType()) {
    case AS_ELEMENT_NAME: {
      int position = static_cast<int>(follow.size());
      follow.emplace_back();
      final.push_back(false);
      info.firstSet = NewSet();
      sets[static_cast<size_t>(info.firstSet)][model->Name()].push_back(position);
      info.last.push_back(position);
      break;
    }
    case AS_CHOICE: {
      info.firstSet = NewSet();
      for (int i = 0; i < subs->GetLength(); ++i) {
        Info sub = Visit(static_cast<const TdomASContentModel*>(subs->item(i)));
        info.nullable = info.nullable || sub.nullable;
        MergeInto(info.firstSet, sub.firstSet);
        info.last.insert(info.last.end(), sub.last.begin(), sub.last.end());
      }
      break;
    }
    case AS_SEQUENCE: {
      info.firstSet = NewSet();
      // A sequence without particles matches nothing, not even the empty list.
      info.nullable = subs->GetLength() > 0;
      bool prefixNullable = true;
      for (int i = 0; i < subs->GetLength(); ++i) {
        Info sub = Visit(static_cast<const TdomASContentModel*>(subs->item(i)));
        for (int p : info.last) AddFollow(p, sub.firstSet);
        if (prefixNullable) MergeInto(info.firstSet, sub.firstSet);
        prefixNullable = prefixNullable && sub.nullable;
        if (sub.nullable) {
          info.last.insert(info.last.end(), sub.last.begin(), sub.last.end());
        } else {
          info.last = std::move(sub.last);
        }
        info.nullable = info.nullable && sub.nullable;
      }
      break;
    }
  }
  TdomASFrequency frequency = model->Frequency();
  if (frequency == AS_ONE_OR_MORE || frequency == AS_ZERO_OR_MORE) {
    for (int p : info.last) AddFollow(p, info.firstSet);
  }
  if (frequency == AS_OPTIONAL || frequency == AS_ZERO_OR_MORE) info.nullable = true;
  return info;
}

int TdomASContentAutomaton::Step(int state, const std::u16string& name, bool& ambiguous) const {
  int next = kNoState;
  for (int set : follow[static_cast<size_t>(state)]) {
    const NameTable& table = sets[static_cast<size_t>(set)];
    auto it = table.find(name);
    if (it == table.end()) continue;
    for (int p : it->second) {
      if (next == kNoState || next == p) {
        next = p;
        continue;
      }
      ambiguous = true;
      return kNoState;
    }
  }
  return next;
}

bool TdomASContentAutomaton::Match(const std::vector<std::u16string>& names, size_t& index, bool& ambiguous) const {
  int state = kStart;
  size_t accepted = IsFinal(state) ? index : names.size() + 1;
  for (size_t i = index; i < names.size(); ++i) {
    state = Step(state, names[i], ambiguous);
    if (ambiguous) return false;
    if (state == kNoState) break;
    if (IsFinal(state)) accepted = i + 1;
  }
  if (accepted > names.size()) return false;
  index = accepted;
  return true;
}
