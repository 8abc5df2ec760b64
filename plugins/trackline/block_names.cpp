// Trackline's block names: made from a node's name and level, grouped, and shortened.
#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "trackline/texts.h"
#include "trackline/trackline_export.h"
#include "vlm/text.h"

namespace vlm::trackline {

int32_t TracklineExport::groupChildren(selGroup& record) {
  int32_t added = 0;
  for (auto& child : record.children)
    added += groupChildren(*child);
  if (record.children.size() <= static_cast<size_t>(igs::MaxChildren)) return added;
  const size_t count = record.children.size();
  std::vector<std::unique_ptr<selGroup>> runs = std::move(record.children);
  // Runs of children under grouping records, and runs of those while there are too many.
  while (runs.size() > static_cast<size_t>(igs::MaxChildren)) {
    std::vector<std::unique_ptr<selGroup>> groups;
    for (size_t first = 0; first < runs.size(); first += igs::MaxChildren) {
      auto group = std::make_unique<selGroup>();
      group->parent = &record;
      const size_t end = std::min(runs.size(), first + igs::MaxChildren);
      for (size_t k = first; k < end; ++k) {
        runs[k]->parent = group.get();
        group->children.push_back(std::move(runs[k]));
      }
      groups.push_back(std::move(group));
      ++added;
    }
    runs = std::move(groups);
  }
  record.children = std::move(runs);
  // Numbered depth first, as the blocks are: Rack#1, Rack#2, ...
  int32_t number = 0;
  std::function<void(selGroup&)> name = [&](selGroup& group) {
    for (auto& child : group.children) {
      if (child->cGroup) continue;
      child->parent = &group;
      child->SetGrpName(record.GrpName() + GroupingMark + std::to_string(++number));
      const size_t size = igs::ToAnsi(child->GrpName()).size();
      if (size > static_cast<size_t>(igs::BlockNameSize) && !shortNames_)
        throw ExportStopped(
            err::SubscriptOutOfRange,
            "The node \"" + record.cGroup->Name() + "\" has " + std::to_string(count) +
                " children to export; a block lists at most " + std::to_string(igs::MaxChildren) +
                ", so they go under blocks named like \"" + child->GrpName() + "\", which is " +
                std::to_string(size) + " characters long; the limit is " +
                std::to_string(igs::BlockNameSize) +
                ". Tick \"Shorten long block names\" (chkShortNames) to have it shortened.");
      Log(child->GrpName() + " groups " + std::to_string(child->children.size()) + " of the " +
          std::to_string(count) + " children of " + record.GrpName() + ": a block lists at most " +
          std::to_string(igs::MaxChildren) + ".");
      name(*child);
    }
  };
  name(record);
  return added;
}

void TracklineExport::shortenNames(selGroup& root) {
  std::vector<selGroup*> records;
  std::function<void(selGroup&)> walk = [&](selGroup& record) {
    for (auto& child : record.children) {
      records.push_back(child.get());
      walk(*child);
    }
  };
  walk(root);
  constexpr auto Limit = static_cast<size_t>(igs::BlockNameSize);
  auto fits = [](const std::string& name) { return igs::ToAnsi(name).size() <= Limit; };
  std::set<std::string> taken;
  for (const selGroup* record : records)
    if (fits(record->GrpName())) taken.insert(record->GrpName());
  // A name keeps its level and distance ("2_0400_"); the rest is cut and numbered, the same
  // rest at every level with the same number, so the levels of one node still match.
  std::map<std::string, std::string> shortened;
  int32_t number = 0;
  for (selGroup* record : records) {
    const std::string full = record->GrpName();
    if (fits(full)) continue;
    const std::vector<std::string> parts = SplitAt(full, '_');
    std::string prefix;
    if (parts.size() >= 3 && igs::NumberIn(parts[0]) && parts[1].size() == 4 &&
        igs::NumberIn(parts[1]))
      prefix = parts[0] + "_" + parts[1] + "_";
    // A level with no room after it for a name and its number is cut like the rest.
    if (igs::ToAnsi(prefix).size() + 8 > Limit) prefix.clear();
    const std::string rest = full.substr(prefix.size());
    const auto known = shortened.find(rest);
    std::string tail = known != shortened.end() ? known->second : std::string();
    while (tail.empty() || taken.count(prefix + tail)) {
      const std::string mark = ShortMark + std::to_string(++number);
      std::string cut = rest;
      // Whole characters off the end until the name and its mark fit.
      while (!cut.empty() && igs::ToAnsi(prefix + cut + mark).size() > Limit) {
        size_t last = cut.size() - 1;
        while (last > 0 && (static_cast<unsigned char>(cut[last]) & 0xC0) == 0x80)
          --last;
        cut.erase(last);
      }
      tail = cut + mark;
    }
    if (known == shortened.end()) shortened.emplace(rest, tail);
    record->SetGrpName(prefix + tail);
    taken.insert(prefix + tail);
    Log("The block name \"" + full + "\" is " + std::to_string(igs::ToAnsi(full).size()) +
        " characters long; it is written as \"" + record->GrpName() + "\".");
  }
}

std::string TracklineExport::baseName(Node& node) {
  std::string base(Trim(node.GetCustomField(nodeSlot_)));
  if (base.empty()) {
    base = node.Name();
    if (lodMode_ == lodType::Custom) base = base.substr(0, base.find('.'));
  }
  return base;
}

std::string TracklineExport::blockName(const std::string& base, int32_t level,
                                       int32_t distance) const {
  // The last four digits of the distance + 10000: 100 gives 0100, 12000 gives 2000.
  const std::string digits = std::to_string(static_cast<int64_t>(distance) + 10000);
  const std::string prefix = std::to_string(level) + "_" +
                             digits.substr(digits.size() - std::min<size_t>(4, digits.size())) +
                             "_";
  const std::vector<std::string> parts = SplitAt(base, '_');
  if (parts.size() < 3 || !igs::NumberIn(parts[0]) || !igs::NumberIn(parts[1]))
    return prefix + base;
  // A name that already carries a level and a distance: automatic levels put their own.
  if (lodMode_ != lodType::Auto) return base;
  std::string name = prefix + parts[2];
  for (size_t k = 3; k < parts.size() && k <= 4; ++k)
    name += "_" + parts[k];
  return name;
}

}  // namespace vlm::trackline
