// A CD in a CHD. Each track entry is a line of KEY:VALUE words:
//   TRACK:1 TYPE:MODE1_RAW SUBTYPE:NONE FRAMES:1350 PREGAP:150 PGTYPE:VMODE1_RAW PGSUB:NONE POSTGAP:0
// (the older CHTR entries stop after FRAMES). Sector bytes are kept as the
// track type stores them at the start of each frame's 2352; audio samples are
// big-endian. A pregap whose PGTYPE starts with V is stored with its track;
// any other pregap, and every postgap, is silence no frame holds.
#include "disc/SectorLayout.h"
#include "platform/orvane/ChdCdLayout.h"

#include <cstdlib>
#include <sstream>

#include "platform/orvane/ReaderCommon.h"

namespace orvane::chd {
namespace {

constexpr std::size_t kFrameBytes = 2448;
constexpr std::uint32_t kTrackPadding = 4;     // every track's frames are padded to a multiple of this
constexpr std::int64_t kMaxDiscSectors = 449850;  // 99:59:74, the last address a CD can give
constexpr int kMaxTracks = 99;

struct TypeInfo {
  const char* name;
  const char* oldName;
  TrackMode mode;
  StoredFormat format;
};
constexpr TypeInfo kTypes[] = {
    {"MODE1", "MODE1/2048", TrackMode::Mode1, StoredFormat::UserData2048},
    {"MODE1_RAW", "MODE1/2352", TrackMode::Mode1, StoredFormat::Raw2352},
    {"MODE2", "MODE2/2336", TrackMode::Mode2Xa, StoredFormat::Mode2_2336},
    {"MODE2_FORM1", "MODE2/2048", TrackMode::Mode2Xa, StoredFormat::UserData2048},
    {"MODE2_FORM_MIX", "MODE2/2336", TrackMode::Mode2Xa, StoredFormat::Mode2_2336},
    {"MODE2_RAW", "MODE2/2352", TrackMode::Mode2Xa, StoredFormat::Raw2352},
    {"CDI/2352", "CDI/2352", TrackMode::Mode2Xa, StoredFormat::Raw2352},
    {"AUDIO", "AUDIO", TrackMode::Audio, StoredFormat::Audio2352BE},
};

const TypeInfo* FindType(const std::string& name) {
  for (const TypeInfo& t : kTypes)
    if (name == t.name || name == t.oldName) return &t;
  return nullptr;
}

bool ParseCount(const std::string& v, std::uint32_t& out) {
  if (v.empty() || v.size() > 9 || v.find_first_not_of("0123456789") != std::string::npos) return false;
  out = static_cast<std::uint32_t>(std::strtoul(v.c_str(), nullptr, 10));
  return true;
}

bool ParseEntry(const std::vector<std::uint8_t>& data, CdTrackRecord& r) {
  std::string text(data.begin(), data.end());
  text = text.substr(0, text.find('\0'));
  std::istringstream in(text);
  bool haveNumber = false, haveType = false, haveFrames = false;
  for (std::string word; in >> word;) {
    const auto colon = word.find(':');
    if (colon == std::string::npos) return false;
    const std::string key = word.substr(0, colon), value = word.substr(colon + 1);
    std::uint32_t n = 0;
    if (key == "TRACK") {
      if (!ParseCount(value, n) || n < 1 || n > kMaxTracks) return false;
      r.number = static_cast<int>(n);
      haveNumber = true;
    } else if (key == "TYPE") {
      r.type = value;
      haveType = true;
    } else if (key == "SUBTYPE") {
      r.subType = value;
    } else if (key == "FRAMES") {
      if (!ParseCount(value, r.frames)) return false;
      haveFrames = true;
    } else if (key == "PREGAP") {
      if (!ParseCount(value, r.pregap)) return false;
    } else if (key == "PGTYPE") {
      r.pregapStored = !value.empty() && value[0] == 'V';
    } else if (key == "POSTGAP") {
      if (!ParseCount(value, r.postgap)) return false;
    }  // PGSUB and anything newer: nothing the layout needs
  }
  return haveNumber && haveType && haveFrames;
}

}  // namespace

bool ParseCdTracks(const std::vector<MetadataEntry>& meta, std::vector<CdTrackRecord>& tracks, std::string& why) {
  for (const MetadataEntry& m : meta) {
    if (m.tag != Tag("CHT2") && m.tag != Tag("CHTR")) continue;
    CdTrackRecord r;
    if (!ParseEntry(m.data, r)) {
      why = "a track entry of its CD metadata cannot be read";
      return false;
    }
    if (r.number != static_cast<int>(tracks.size()) + 1) {
      why = "its CD metadata does not number the tracks 1, 2, 3 ...";
      return false;
    }
    if (!FindType(r.type)) {
      why = "track " + std::to_string(r.number) + " has the type " + r.type + ", which this program does not read";
      return false;
    }
    if (r.pregapStored && r.pregap > r.frames) {
      why = "track " + std::to_string(r.number) + " stores a pregap longer than the track";
      return false;
    }
    tracks.push_back(r);
  }
  if (tracks.empty()) why = "its CD metadata holds no tracks";
  return !tracks.empty();
}

bool LayOutCd(const std::vector<CdTrackRecord>& tracks, const std::shared_ptr<ImageFile>& frames, DiscLayout& layout,
              std::string& why) {
  std::int64_t lba = 0;
  std::uint64_t frame = 0;  // the track's first frame in the data
  SessionLayout session;
  for (const CdTrackRecord& r : tracks) {
    const TypeInfo& type = *FindType(r.type);
    TrackLayout t;
    t.number = r.number;
    t.mode = type.mode;
    t.control = type.mode == TrackMode::Audio ? 0x00 : 0x04;
    t.pregapStart = static_cast<std::int32_t>(lba);
    auto addUnstored = [&](std::uint32_t count) {
      if (!count) return;
      t.extents.push_back(UnstoredExtent(lba, count, type.mode));
      lba += count;
    };
    if (!r.pregapStored) addUnstored(r.pregap);
    t.start = static_cast<std::int32_t>(lba + (r.pregapStored ? r.pregap : 0));
    if (r.frames) {
      Extent e;
      e.firstLba = static_cast<std::int32_t>(lba);
      e.count = r.frames;
      e.file = frames;
      e.offset = frame * kFrameBytes;
      e.format = type.format;
      e.stride = kFrameBytes;
      e.hasSubchannel = r.subType == "RW" || r.subType == "RW_RAW";
      e.subchannelOffset = disc::kRawSectorSize;
      t.extents.push_back(e);
      lba += r.frames;
    }
    addUnstored(r.postgap);
    if (lba > kMaxDiscSectors || (frame + r.frames) * kFrameBytes > frames->Size()) {
      why = "its tracks run past the data it holds";
      return false;
    }
    frame += (std::uint64_t(r.frames) + kTrackPadding - 1) / kTrackPadding * kTrackPadding;
    if (lba <= t.start) {
      why = "track " + std::to_string(r.number) + " holds no sectors";
      return false;
    }
    t.length = static_cast<std::uint32_t>(lba - t.start);
    if (type.mode != TrackMode::Audio && type.mode != TrackMode::Mode1) session.discType = 0x20;
    layout.tracks.push_back(std::move(t));
  }
  session.leadOut = static_cast<std::int32_t>(lba);
  layout.sessions.push_back(session);
  layout.profile = 0x08;
  layout.discStatus = 2;
  return true;
}

}  // namespace orvane::chd
