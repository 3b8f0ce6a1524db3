#pragma once
// The matcher of a content model: the position automaton of its particles,
// run one name at a time. A state is the particle that took the last name
// (0 before the first); a name that two particles could take at one point
// makes the run ambiguous.
//
// What may follow a particle is never listed per particle (a run of n
// optional particles would need n^2/2 entries). Each particle has an exit:
// the first names of itself when it repeats, then the rest of the model
// around it, one link per enclosing model. Inside a sequence the rest is a
// range of its members (up to the next one that cannot be left out), found
// in one table per sequence by binary search. The automaton thus takes
// memory linear in the size of the model (times its nesting), and a step
// costs a lookup per enclosing model.
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
    int exit = -1;
  };
  using NameTable = std::unordered_map<std::u16string, std::vector<int>>;
  // name -> (member index, particle), by member index
  using MemberTable = std::unordered_map<std::u16string, std::vector<std::pair<int, int>>>;

  struct Exit {
    int repeatSet = -1;  // the first set of the model when it repeats
    int sequence = -1;   // the enclosing sequence, or -1
    int member = 0;      // in sequence: the member after this model
    int up = -1;         // otherwise the exit of the enclosing choice, or -1 at the top
  };
  struct Sequence {
    MemberTable firsts;
    std::vector<int> nextRequired;  // per member: the first at or after it that is not optional
    int exit = -1;
  };
  // Gathers the particles taking a name: kNoState, one particle, or ambiguous.
  struct Taker {
    int next = kNoState;
    bool ambiguous = false;
    void Take(int particle);
  };

  Info Visit(const TdomASContentModel* model);
  int NewSet() {
    sets.emplace_back();
    return static_cast<int>(sets.size()) - 1;
  }
  int NewExit() {
    exits.emplace_back();
    return static_cast<int>(exits.size()) - 1;
  }
  void MergeInto(int target, int source);
  void TakeFollowers(int exit, const std::u16string& name, Taker& taker) const;
  bool ReachesEnd(int exit) const;

  std::vector<NameTable> sets;  // first sets by id: name -> particles
  std::vector<Exit> exits;
  std::vector<Sequence> sequences;
  std::vector<int> stateExit;  // per state: its exit (the start state's holds the model's first set)
  std::vector<bool> final;
};
