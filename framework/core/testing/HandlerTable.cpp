#include "core/testing/HandlerTable.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <random>
#include <sstream>
#include <utility>

namespace qvtable {

namespace {

bool LongRun() {  // QV_LONG=1 asks for every row
  const char* value = std::getenv("QV_LONG");
  return value != nullptr && std::string(value) == "1";
}

}  // namespace

TRows::TRows(std::vector<std::string> events_, std::vector<std::string> actions_, const std::vector<int>& ks)
    : actions(std::move(actions_)) {
  for (const std::string& name : events_) AddEvent(name, ks);
}

int TRows::AddEvent(const std::string& name, const std::vector<int>& ks) {
  int event = static_cast<int>(events.size());
  events.push_back(name);
  for (int action = 0; action < static_cast<int>(actions.size()); ++action)
    for (int k : ks) all.push_back(TRow{event, action, k});
  return event;
}

std::string TRows::Describe(int row) const {
  const TRow& r = all[row];
  return events[r.event] + " frees the " + actions[r.action] + " at call " + std::to_string(r.k);
}

std::vector<int> TRows::Chosen(int sample, unsigned seed, const std::function<bool(const TRow&)>& keep) const {
  int count = static_cast<int>(all.size());
  std::vector<int> rows;
  if (const char* chosen = std::getenv("QV_TABLE_CHOSEN")) {  // rows to look at again
    std::string list = chosen;
    if (!list.empty() && std::isdigit(static_cast<unsigned char>(list[0]))) {
      std::istringstream items(list);
      for (std::string item; std::getline(items, item, ',');)
        if (int row = std::atoi(item.c_str()); row >= 0 && row < count) rows.push_back(row);
      return rows;
    }
    for (int row = 0; row < count; ++row)
      if (Describe(row).find(list) != std::string::npos) rows.push_back(row);
    return rows;
  }
  std::vector<int> rest;
  for (int row = 0; row < count; ++row) (LongRun() || (keep && keep(all[row])) ? rows : rest).push_back(row);
  std::mt19937 random(seed);
  std::shuffle(rest.begin(), rest.end(), random);
  rows.insert(rows.end(), rest.begin(), rest.begin() + std::min<size_t>(rest.size(), std::max(sample, 0)));
  std::sort(rows.begin(), rows.end());
  return rows;
}

}  // namespace qvtable
