#pragma once
// The matcher of a content model: the position automaton of its particles,
// run one name at a time. A state is the particle that took the last name
// (0 before the first); a name that two particles could take at one point
// makes the run ambiguous. Matching is linear in the number of names.
#include <string>
#include <unordered_map>
#include <vector>

class TdomASContentModel;

class TdomASContentAutomaton {
public:
  explicit TdomASContentAutomaton(const TdomASContentModel* model);

  static constexpr int kStart = 0;
  static constexpr int kNoState = -1;

  // The state after name from state; kNoState when no particle takes it.
  // ambiguous is set (and kNoState returned) when more than one would.
  int Step(int state, const std::u16string& name, bool& ambiguous) const;
  // Whether the names read so far form a complete match.
  bool IsFinal(int state) const { return final[static_cast<size_t>(state)]; }
  // From index on: true when a prefix is accepted, index then just after the
  // longest one; false (index unchanged) otherwise, and always when ambiguous.
  bool Match(const std::vector<std::u16string>& names, size_t& index, bool& ambiguous) const;

private:
  struct Info {
    bool nullable = false;
    int firstSet = -1;
    std::vector<int> last;
  };
  using NameTable = std::unordered_map<std::u16string, std::vector<int>>;

  Info Visit(const TdomASContentModel* model);
  int NewSet() {
    sets.emplace_back();
    return static_cast<int>(sets.size()) - 1;
  }
  void MergeInto(int target, int source);
  void AddFollow(int position, int set);

  std::vector<NameTable> sets;           // first sets by id: name -> particles
  std::vector<std::vector<int>> follow;  // per state: the sets of what may come next
  std::vector<bool> final;
};
