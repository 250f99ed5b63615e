#include "copy/SectorOwners.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <set>

#include "disc/DevCmdROM.h"
#include "fs/Recognise.h"
#include "fs/iso9660/Walk.h"
#include "platform/orvane/DeviceSource.h"
#include "udf/Analy_UDF.h"

namespace imaging {

namespace iso9660 = fs::iso9660;

namespace {

// Items of one UDF volume given an owner; past it the rest stays unknown.
constexpr std::size_t kMostUdfItems = 2000000;
// Sectors from a volume's start that no file system uses for itself.
constexpr std::uint32_t kSystemAreaSectors = 16;
// Identifiers of the volume recognition sequence: ISO 9660, El Torito, UDF.
constexpr const char* kAnchorName = "anchor volume descriptor pointer";
constexpr const char* kSequenceIds[] = {"CD001", "BEA01", "NSR02", "NSR03", "TEA01", "BOOT2", "CDW02"};

constexpr std::uint64_t SectorsOf(std::uint64_t bytes) { return (bytes + fs::kSectorBytes - 1) / fs::kSectorBytes; }

// One volume being walked: the claims it makes and the structures it could
// not read, below which nothing is known.
struct VolumeWalk {
  SectorOwnerMap& map;
  std::string prefix;  // the track's node path for a volume other than the first; empty for it
  std::vector<std::string> hidden;

  // A "/"-rooted path below the volume as `ls` and `extract` name it.
  std::string Path(const std::string& below) const {
    if (prefix.empty()) return below.empty() ? "/" : below;
    return below.empty() || below == "/" ? prefix : prefix + below;
  }
  // Where nobody claimed a sector of the track: free space, unless the walk
  // could not see everything.
  std::string Unclaimed() const {
    if (hidden.empty()) return "free space";
    std::string s = "unknown (below unreadable " + hidden.front();
    if (hidden.size() > 1) s += " and " + std::to_string(hidden.size() - 1) + " more";
    return s + ")";
  }
};

// The recognition sequence from start + 16: every sector that reads as one
// of its descriptors, and those that cannot be read but lie before one.
void ClaimRecognitionSequence(fs::SectorSource& source, std::uint32_t start, SectorOwnerMap& map) {
  std::uint8_t sector[fs::kSectorBytes];
  const std::uint32_t first = start + kSystemAreaSectors;
  std::uint32_t end = first;
  for (int i = 0; i < fs::kMostRecognitionDescriptors; ++i) {
    const std::uint32_t lba = first + static_cast<std::uint32_t>(i);
    if (source.Read(lba, 1, sector) != fs::SectorRead::Ok) continue;
    const bool known = std::any_of(std::begin(kSequenceIds), std::end(kSequenceIds),
                                   [&](const char* id) { return std::memcmp(sector + 1, id, 5) == 0; });
    if (!known) break;
    end = lba + 1;
  }
  map.Claim(first, end - first, "volume descriptor");
}

// Every directory and file of one hierarchy (below the root at rootExtent,
// in the names given); the faults that hid part of it, as owners.
std::vector<std::string> ClaimHierarchy(fs::SectorSource& source, const iso9660::Policy& policy,
                                        const iso9660::Names& names, std::uint32_t rootExtent,
                                        std::uint32_t rootLength, VolumeWalk& w) {
  w.map.Claim(rootExtent, std::max<std::uint64_t>(1, SectorsOf(rootLength)), "directory " + w.Path("/"));
  iso9660::DirectoryReader reader(source, policy, names);
  const iso9660::WalkResult r =
      iso9660::WalkTree(reader, rootExtent, rootLength, [&](const std::string& path, const iso9660::Entry& e) {
        if (e.Directory()) {
          w.map.Claim(e.extent, std::max<std::uint64_t>(1, SectorsOf(e.length)), "directory " + w.Path(path));
          return;
        }
        for (const iso9660::Extent& x : e.extents) w.map.Claim(x.lba, SectorsOf(x.bytes), w.Path(path));
      });
  std::vector<std::string> hidden;
  for (const iso9660::FaultAt& f : r.faults)
    if (f.fault == iso9660::Fault::UnreadableSector || f.fault == iso9660::Fault::TooManyEntries ||
        f.fault == iso9660::Fault::TooManySectors)
      hidden.push_back("directory " + w.Path(f.path));
  return hidden;
}

// An ISO 9660 volume: its path tables, then every directory and file in
// the names the browser reads it with; then the directories of its other
// hierarchies (Joliet's beside Rock Ridge's, ...), whose files are the same.
// False when it holds no volume descriptor that could be read.
bool ClaimIso(fs::SectorSource& source, std::uint32_t start, int dataMode, VolumeWalk& w) {
  const iso9660::Policy policy = iso9660::CopyPolicy(dataMode);
  iso9660::Volume v = iso9660::OpenVolume(source, start, policy);
  const iso9660::DescriptorSet& d = v.descriptors;
  for (const auto* vd : {&d.primary, &d.supplementary, &d.enhanced})
    if (*vd)
      for (const iso9660::PathTable& t : iso9660::PathTables(**vd)) w.map.Claim(t.lba, SectorsOf(t.bytes), "path table");
  if (!v.found || v.rootExtent == 0) {
    w.hidden.push_back("volume descriptor");
    return false;
  }
  w.hidden = ClaimHierarchy(source, policy, v.names, v.rootExtent, v.rootLength, w);
  for (const auto* vd : {&d.primary, &d.supplementary, &d.enhanced}) {
    if (!*vd || (*vd)->rootExtent == 0 || (*vd)->rootExtent == v.rootExtent) continue;
    const bool joliet = vd == &d.supplementary && d.joliet;
    ClaimHierarchy(source, policy, iso9660::PlainOrJoliet(joliet), (*vd)->rootExtent, (*vd)->rootLength, w);
  }
  return true;
}

// A UDF volume through the analyser the browser uses: each entry's file
// entry, then its data (a folder's as "directory /X"), depth first.
struct UdfWalk {
  CAnaly_UDF& udf;
  VolumeWalk& w;
  std::set<std::uint32_t> folders;
  std::size_t items = 0;

  // Blocks of the volume's size as the 2048-byte sectors they lie in.
  void ClaimBlocks(std::uint64_t block, std::uint64_t bytes, const std::string& owner) {
    const std::uint64_t bs = udf.BlockSize();
    const std::uint64_t first = block * bs / fs::kSectorBytes;
    const std::uint64_t end = SectorsOf(block * bs + std::max<std::uint64_t>(bytes, 1));
    w.map.Claim(first, end - first, owner);
  }

  void Item(std::uint32_t feSector, const std::string& path, bool folder, int depth) {
    const std::string entry = "UDF file entry of " + w.Path(path);
    ClaimBlocks(udf.StoredAt(feSector), udf.BlockSize(), entry);
    UdfFileData data;
    if (udf.ReadFileExtents(feSector, data) != udf::ExtentStatus::Ok) {
      w.hidden.push_back(entry);
      return;
    }
    const std::string owner = folder ? "directory " + w.Path(path) : w.Path(path);
    for (const UdfExtent& x : data.extents)
      if (x.recorded) ClaimBlocks(x.sector, x.length, owner);
    if (folder) Folder(feSector, path, depth);
  }

  void Folder(std::uint32_t feSector, const std::string& path, int depth) {
    if (depth >= udf::kMaxFolderDepth || folders.size() >= udf::kMaxFolders || !folders.insert(feSector).second) return;
    std::vector<UdfDirEntry> entries;
    if (!udf.ListDirectory(feSector, entries).Ok()) w.hidden.push_back("directory " + w.Path(path));
    std::stable_sort(entries.begin(), entries.end(),
                     [](const UdfDirEntry& a, const UdfDirEntry& b) { return a.name < b.name; });
    for (const UdfDirEntry& e : entries) {
      if (++items > kMostUdfItems) {
        w.hidden.push_back("directory " + w.Path(path));
        return;
      }
      Item(e.feSector, (path == "/" ? "" : path) + "/" + e.name, e.isDirectory, depth + 1);
    }
  }
};

// The places an anchor belongs (256 into the volume, 256 before the track's
// end, its last sector): one that cannot be read most likely held one. Those
// that read are named from the anchors the analyser found.
void ClaimAnchorPlaces(fs::SectorSource& source, std::uint32_t start, SectorOwnerMap& map) {
  std::vector<std::uint32_t> places{start + fs::kAnchorOffset};
  if (const auto last = source.LastSector(start); last && *last > start + 2 * fs::kAnchorOffset) {
    places.push_back(*last - fs::kAnchorOffset);
    places.push_back(*last);
  }
  std::uint8_t sector[fs::kSectorBytes];
  for (std::uint32_t at : places)
    if (source.Read(at, 1, sector) != fs::SectorRead::Ok) map.Claim(at, 1, kAnchorName);
}

// False when the analyser cannot take the volume. Where the recognition
// sequence named UDF all the same, its structures are still named as far as
// they can be found, and everything else stays unknown.
bool ClaimUdf(CDevCmdROM& dev, fs::SectorSource& source, std::uint32_t start, bool recognised, VolumeWalk& w) {
  CAnaly_UDF udf;
  const bool analysed = udf.Analyse(&dev, nullptr, start);
  if (!analysed && !recognised) return false;
  ClaimAnchorPlaces(source, start, w.map);
  UdfWalk walk{udf, w, {}, 0};
  // The VAT and the metadata files hold entries and folders of their own:
  // those are named first, the files keep what is left.
  const std::vector<UdfStructureExtent> structures = udf.StructureExtents();
  auto holdsEntries = [](const UdfStructureExtent& s) { return s.what == "VAT" || s.what.rfind("metadata", 0) == 0; };
  for (const UdfStructureExtent& s : structures)
    if (!holdsEntries(s)) walk.ClaimBlocks(s.block, s.bytes, s.what);
  if (analysed) walk.Item(udf.RootSector(), "/", true, 0);
  else w.hidden.push_back("UDF volume");
  for (const UdfStructureExtent& s : structures)
    if (holdsEntries(s)) walk.ClaimBlocks(s.block, s.bytes, s.what);
  return analysed;
}

const char* FsSuffix(int fs) {
  static constexpr const char* kSuffix[] = {"", "(ISO)", "(UDF)", "(UDF&ISO)"};
  return fs >= 0 && fs <= 3 ? kSuffix[fs] : "";
}

// The volume at the start of a session's first data track, as the browser
// reads it: UDF where the track has it, its ISO 9660 side too (whose
// directories a bridge volume keeps apart), else ISO 9660 alone. A damaged
// recognition sequence hides which one is there: both are looked for.
// Returns what its unclaimed sectors are.
std::string ClaimVolume(CDevCmdROM& dev, const MediumTrack& t, int dataMode, bool first, SectorOwnerMap& map) {
  orvane::DeviceSectorSource source(dev);
  const std::uint32_t start = static_cast<std::uint32_t>(t.start);
  const fs::Recognition rec = fs::Recognise(source, start);
  VolumeWalk w{map, {}, {}};
  if (!first)
    w.prefix = "Session " + std::to_string(t.session) + "/DATA TRACK " + std::to_string(t.number) + FsSuffix(rec.Code());
  ClaimRecognitionSequence(source, start, map);
  const bool udf = (rec.udf || rec.Code() == 0) && ClaimUdf(dev, source, start, rec.udf, w);
  bool iso = false;
  if (rec.iso9660 || rec.Code() == 0) {
    VolumeWalk isoWalk{map, w.prefix, {}};
    iso = ClaimIso(source, start, dataMode, isoWalk);
    // A bridge volume whose UDF side is lost is as complete as its ISO side.
    if (!udf && iso) w.hidden = isoWalk.hidden;
    else if (!udf && rec.iso9660) w.hidden.insert(w.hidden.end(), isoWalk.hidden.begin(), isoWalk.hidden.end());
  }
  if (!udf && !iso && rec.Code() == 0) return "data track " + std::to_string(t.number);
  map.Claim(start, kSystemAreaSectors, "system area");
  return w.Unclaimed();
}

// One past the last sector of track i: the next track's pregap in the same
// session (or the sectors before it that may be either's), else its
// session's lead-out.
std::int64_t TrackEnd(const MediumLayout& m, std::size_t i) {
  const MediumTrack& t = m.tracks[i];
  if (i + 1 < m.tracks.size() && m.tracks[i + 1].session == t.session)
    return m.tracks[i + 1].pregapStart - m.tracks[i + 1].undecided;
  for (const MediumSession& s : m.sessions)
    if (s.number == t.session) return s.leadOut;
  return m.capacity;
}

}  // namespace

void SectorOwnerMap::Claim(std::uint64_t first, std::uint64_t count, const std::string& owner) {
  if (count == 0) return;
  const auto [named, added] = m_index.try_emplace(owner, static_cast<std::uint32_t>(m_names.size()));
  if (added) m_names.push_back(owner);
  const std::uint32_t id = named->second;
  const std::uint64_t end = first + count < first ? UINT64_MAX : first + count;
  std::uint64_t pos = first;
  auto it = m_runs.upper_bound(pos);
  if (it != m_runs.begin() && std::prev(it)->second.end > pos) pos = std::prev(it)->second.end;
  while (pos < end) {
    it = m_runs.lower_bound(pos);
    const std::uint64_t stop = it == m_runs.end() ? end : std::min(end, it->first);
    if (stop > pos) m_runs.emplace(pos, Run{stop, id});
    if (it == m_runs.end() || it->first >= end) break;
    pos = it->second.end;
  }
}

const std::string* SectorOwnerMap::OwnerOf(std::uint64_t lba) const {
  auto it = m_runs.upper_bound(lba);
  if (it == m_runs.begin()) return nullptr;
  --it;
  return lba < it->second.end ? &m_names[it->second.owner] : nullptr;
}

SectorOwnerMap MapSectorOwners(CDevCmdROM& dev, const MediumLayout& m) {
  SectorOwnerMap map;
  // Pregaps first: a volume never owns its neighbour's pregap.
  for (const MediumTrack& t : m.tracks)
    map.Claim(static_cast<std::uint64_t>(t.pregapStart), static_cast<std::uint64_t>(t.start - t.pregapStart),
              "pregap of track " + std::to_string(t.number));
  bool firstVolume = true;
  std::vector<std::string> unclaimed(m.tracks.size());
  for (std::size_t i = 0; i < m.tracks.size(); ++i) {
    const MediumTrack& t = m.tracks[i];
    const bool opensSession = i == 0 || m.tracks[i - 1].session != t.session;
    if (t.kind == TrackKind::Audio) {
      unclaimed[i] = "audio track " + std::to_string(t.number);
    } else if (!opensSession) {
      unclaimed[i] = "data track " + std::to_string(t.number);  // the browser reads no volume there either
    } else {
      unclaimed[i] = ClaimVolume(dev, t, t.kind == TrackKind::Mode2 ? 2 : 1, firstVolume, map);
      firstVolume = firstVolume && unclaimed[i].rfind("data track", 0) == 0;
    }
  }
  for (std::size_t i = 0; i < m.tracks.size(); ++i) {
    const MediumTrack& t = m.tracks[i];
    const std::int64_t end = TrackEnd(m, i);
    if (end > t.start)
      map.Claim(static_cast<std::uint64_t>(t.start), static_cast<std::uint64_t>(end - t.start), unclaimed[i]);
    // After the volumes: what the track before's volume holds there is its own.
    if (i > 0 && t.undecided > 0)
      map.Claim(static_cast<std::uint64_t>(t.pregapStart - t.undecided), static_cast<std::uint64_t>(t.undecided),
                "unknown (between track " + std::to_string(m.tracks[i - 1].number) + " and track " +
                    std::to_string(t.number) + ")");
  }
  return map;
}

std::vector<OwnerRow> GroupByOwner(const SectorOwnerMap& map, std::vector<std::uint32_t> bad) {
  std::sort(bad.begin(), bad.end());
  bad.erase(std::unique(bad.begin(), bad.end()), bad.end());
  std::vector<OwnerRow> rows;
  std::unordered_map<std::string, std::size_t> rowOf;
  for (std::uint32_t lba : bad) {
    const std::string* owner = map.OwnerOf(lba);
    const std::string name = owner ? *owner : kOutsideTracks;
    const auto [it, added] = rowOf.try_emplace(name, rows.size());
    if (added) rows.push_back({name, lba, 0});
    ++rows[it->second].count;
  }
  return rows;
}

std::vector<OwnerRow> FindSectorOwners(CDevCmdROM& dev, const std::vector<std::uint32_t>& bad) {
  if (bad.empty()) return {};
  MediumLayout medium;
  if (ReadMediumLayout(dev, medium) != MediumRead::Ok)
    return {{"unknown (the medium's layout cannot be read)", *std::min_element(bad.begin(), bad.end()),
             static_cast<std::uint64_t>(bad.size())}};
  return GroupByOwner(MapSectorOwners(dev, medium), bad);
}

std::vector<std::uint32_t> UnreadLbas(const RescueMap& map, const std::vector<ImageSpan>& spans) {
  std::vector<std::uint32_t> lbas;
  std::uint64_t sector = 0;
  for (const ImageSpan& span : spans) {
    for (std::uint64_t i = 0; i < span.count && sector < map.Sectors(); ++i, ++sector) {
      const SectorState s = map.At(sector);
      if (s != SectorState::Finished && s != SectorState::NonTried)
        lbas.push_back(static_cast<std::uint32_t>(span.firstLba + static_cast<std::int64_t>(i)));
    }
  }
  return lbas;
}

}  // namespace imaging
