#include "xml/AsContentAutomaton.h"

#include <algorithm>

#include "xml/AsObjects.h"

TdomASContentAutomaton::TdomASContentAutomaton(const TdomASContentModel* model) {
  stateExit.push_back(NewExit());  // the start state
  final.push_back(false);
  Info root = Visit(model);
  exits[static_cast<size_t>(stateExit[kStart])].repeatSet = root.firstSet;
  final[kStart] = root.nullable;
  for (size_t state = 1; state < stateExit.size(); ++state) final[state] = ReachesEnd(stateExit[state]);
}

void TdomASContentAutomaton::MergeInto(int target, int source) {
  if (target == source) return;
  for (const auto& [name, positions] : sets[static_cast<size_t>(source)]) {
    std::vector<int>& into = sets[static_cast<size_t>(target)][name];
    into.insert(into.end(), positions.begin(), positions.end());
  }
}

TdomASContentAutomaton::Info TdomASContentAutomaton::Visit(const TdomASContentModel* model) {
  Info info;
  info.firstSet = NewSet();
  info.exit = NewExit();
  TdomASObjectList* subs = model->SubModels();
  switch (model->ContentModelType()) {
    case AS_ELEMENT_NAME: {
      int position = static_cast<int>(stateExit.size());
      stateExit.push_back(info.exit);
      final.push_back(false);
      sets[static_cast<size_t>(info.firstSet)][model->Name()].push_back(position);
      break;
    }
    case AS_CHOICE: {
      for (int i = 0; i < subs->GetLength(); ++i) {
        Info sub = Visit(static_cast<const TdomASContentModel*>(subs->item(i)));
        info.nullable = info.nullable || sub.nullable;
        MergeInto(info.firstSet, sub.firstSet);
        exits[static_cast<size_t>(sub.exit)].up = info.exit;
      }
      break;
    }
    case AS_SEQUENCE: {
      int count = subs->GetLength();
      int sequence = static_cast<int>(sequences.size());
      sequences.emplace_back();
      // A sequence without particles matches nothing, not even the empty list.
      info.nullable = count > 0;
      bool prefixNullable = true;
      std::vector<bool> optional;
      for (int i = 0; i < count; ++i) {
        Info sub = Visit(static_cast<const TdomASContentModel*>(subs->item(i)));
        Exit& exit = exits[static_cast<size_t>(sub.exit)];
        exit.sequence = sequence;
        exit.member = i + 1;
        MemberTable& firsts = sequences[static_cast<size_t>(sequence)].firsts;
        for (const auto& [name, positions] : sets[static_cast<size_t>(sub.firstSet)]) {
          std::vector<std::pair<int, int>>& into = firsts[name];
          for (int p : positions) into.emplace_back(i, p);
        }
        if (prefixNullable) MergeInto(info.firstSet, sub.firstSet);
        prefixNullable = prefixNullable && sub.nullable;
        optional.push_back(sub.nullable);
        info.nullable = info.nullable && sub.nullable;
      }
      Sequence& record = sequences[static_cast<size_t>(sequence)];
      record.exit = info.exit;
      record.nextRequired.assign(static_cast<size_t>(count) + 1, count);
      for (int i = count - 1; i >= 0; --i) {
        record.nextRequired[static_cast<size_t>(i)] = optional[static_cast<size_t>(i)] ? record.nextRequired[static_cast<size_t>(i) + 1] : i;
      }
      break;
    }
  }
  TdomASFrequency frequency = model->Frequency();
  if (frequency == AS_ONE_OR_MORE || frequency == AS_ZERO_OR_MORE) {
    exits[static_cast<size_t>(info.exit)].repeatSet = info.firstSet;
  }
  if (frequency == AS_OPTIONAL || frequency == AS_ZERO_OR_MORE) info.nullable = true;
  return info;
}

void TdomASContentAutomaton::Taker::Take(int particle) {
  if (next == kNoState || next == particle) {
    next = particle;
    return;
  }
  ambiguous = true;
}

void TdomASContentAutomaton::TakeFollowers(int exit, const std::u16string& name, Taker& taker) const {
  while (!taker.ambiguous) {
    const Exit& at = exits[static_cast<size_t>(exit)];
    if (at.repeatSet >= 0) {
      const NameTable& table = sets[static_cast<size_t>(at.repeatSet)];
      auto it = table.find(name);
      if (it != table.end()) {
        for (int p : it->second) {
          taker.Take(p);
          if (taker.ambiguous) return;
        }
      }
    }
    if (at.sequence < 0) {
      if (at.up < 0) return;
      exit = at.up;
      continue;
    }
    const Sequence& sequence = sequences[static_cast<size_t>(at.sequence)];
    int count = static_cast<int>(sequence.nextRequired.size()) - 1;
    int last = sequence.nextRequired[static_cast<size_t>(at.member)];  // the members after at.member..last may follow
    auto it = sequence.firsts.find(name);
    if (it != sequence.firsts.end()) {
      const std::vector<std::pair<int, int>>& entries = it->second;
      auto from = std::lower_bound(entries.begin(), entries.end(), std::make_pair(at.member, -1));
      for (; from != entries.end() && from->first <= last && !taker.ambiguous; ++from) taker.Take(from->second);
    }
    if (last < count) return;
    exit = sequence.exit;
  }
}

bool TdomASContentAutomaton::ReachesEnd(int exit) const {
  for (;;) {
    const Exit& at = exits[static_cast<size_t>(exit)];
    if (at.sequence >= 0) {
      const Sequence& sequence = sequences[static_cast<size_t>(at.sequence)];
      if (sequence.nextRequired[static_cast<size_t>(at.member)] + 1 < static_cast<int>(sequence.nextRequired.size())) return false;
      exit = sequence.exit;
    } else if (at.up >= 0) {
      exit = at.up;
    } else {
      return true;
    }
  }
}

int TdomASContentAutomaton::Step(int state, const std::u16string& name, bool& ambiguous) const {
  Taker taker;
  TakeFollowers(stateExit[static_cast<size_t>(state)], name, taker);
  if (!taker.ambiguous) return taker.next;
  ambiguous = true;
  return kNoState;
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
