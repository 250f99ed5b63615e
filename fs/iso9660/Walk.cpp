// The limits of a walk, the volume's name set, and the depth-first walk.
#include "fs/iso9660/Walk.h"

#include <algorithm>

namespace fs::iso9660 {

std::optional<Fault> WalkGuard::Enter(std::uint32_t extent, int depth) {
  if (extent == 0) return Fault::Loop;  // sector 0 is never a directory of a volume
  const bool seen = m_Rule == LoopRule::Once
                        ? m_Visited.count(extent) > 0
                        : std::find(m_Ancestors.begin(), m_Ancestors.end(), extent) != m_Ancestors.end();
  if (seen) {
    const bool ancestor = std::find(m_Ancestors.begin(), m_Ancestors.end(), extent) != m_Ancestors.end();
    return ancestor ? Fault::Loop : Fault::Repeated;
  }
  if (depth >= kMostDepth) return Fault::TooDeep;
  m_Ancestors.push_back(extent);
  m_Visited.insert(extent);
  return std::nullopt;
}

void WalkGuard::Leave(std::uint32_t extent) {
  if (!m_Ancestors.empty() && m_Ancestors.back() == extent) m_Ancestors.pop_back();
}

Volume OpenVolume(SectorSource& source, std::uint32_t start, const Policy& policy) {
  Volume v;
  v.descriptors = ReadDescriptors(source, start);
  const DescriptorSet& d = v.descriptors;
  if (d.primary && d.primary->rootExtent != 0) {
    // Rock Ridge lives in the primary hierarchy: its root's "." record says so.
    DirectoryReader reader(source, policy, Names{});
    reader.SetSectorBudget(1);
    const Listing root = reader.Read(d.primary->rootExtent, kSectorBytes);
    if (auto decoder = DetectRockRidge(source, root.selfSystemUse, v.faults)) {
      v.found = true;
      v.names = Names{NameSet::RockRidge, std::move(decoder)};
      v.rootExtent = d.primary->rootExtent;
      v.rootLength = d.primary->rootLength;
      return v;
    }
  }
  const VolumeDescriptor* shown = d.Shown();
  if (!shown) return v;
  v.found = true;
  v.names = PlainOrJoliet(d.joliet);
  v.rootExtent = shown->rootExtent;
  v.rootLength = shown->rootLength;
  return v;
}

void HideRelocationFolder(DirectoryReader& reader, Listing& root) {
  if (reader.GetNames().set != NameSet::RockRidge) return;
  for (Entry& e : root.entries) {
    if (!e.Directory() || e.info.name != ".rr_moved") continue;
    const Listing moved = reader.Read(e.extent, e.length);
    e.hidden = std::all_of(moved.entries.begin(), moved.entries.end(), [](const Entry& m) { return m.hidden; });
  }
}

namespace {

struct TreeWalk {
  DirectoryReader& reader;
  const WalkVisitor& visit;
  WalkGuard guard{reader.GetPolicy().loops};
  WalkResult result;
  bool stopped = false;

  void Folder(std::uint32_t lba, std::uint32_t size, const std::string& path, int depth) {
    Listing listing = reader.Read(lba, size);
    if (depth == 0) HideRelocationFolder(reader, listing);
    for (FaultAt& f : listing.faults) {
      f.path = path.empty() ? "/" : path;
      result.faults.push_back(std::move(f));
    }
    // The entries stay where they are; only their order is sorted.
    std::vector<const Entry*> order;
    order.reserve(listing.entries.size());
    for (const Entry& e : listing.entries) order.push_back(&e);
    std::stable_sort(order.begin(), order.end(), [](const Entry* a, const Entry* b) { return a->info.name < b->info.name; });
    for (const Entry* next : order) {
      const Entry& e = *next;
      if (stopped) return;
      if (e.hidden) continue;
      if (!guard.Count()) {
        result.faults.push_back({Fault::TooManyEntries, lba, {}, {}, path.empty() ? "/" : path});
        stopped = true;
        return;
      }
      const std::string child = path + "/" + e.info.name;
      visit(child, e);
      if (!e.Directory()) continue;
      if (const auto refused = guard.Enter(e.extent, depth + 1)) {
        result.faults.push_back({*refused, e.extent, {}, {}, child});
        continue;
      }
      Folder(e.extent, e.relocated ? 0 : e.length, child, depth + 1);
      guard.Leave(e.extent);
    }
  }
};

}  // namespace

WalkResult WalkTree(DirectoryReader& reader, std::uint32_t lba, std::uint32_t size, const WalkVisitor& visit) {
  TreeWalk walk{reader, visit, WalkGuard(reader.GetPolicy().loops), WalkResult{}, false};
  walk.guard.Enter(lba, 0);
  walk.Folder(lba, size, "", 0);
  walk.result.entries = walk.guard.Entries();
  return std::move(walk.result);
}

}  // namespace fs::iso9660
