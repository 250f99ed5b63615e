// MAME's CHD (Compressed Hunks of Data), version 5, holding a CD or a DVD.
// The container and its hunks are read by the Chd* files; here the reader
// decides what kind of disc the metadata describes and refuses what it
// cannot serve (a parent it would need, GD-ROM, hard disks, laserdiscs, a
// codec it does not decode), saying which.
#include <cstdio>
#include <cstring>

#include "platform/orvane/ChdCdLayout.h"
#include "platform/orvane/ChdHunks.h"
#include "platform/orvane/ReaderCommon.h"
#include "platform/orvane/Readers.h"

namespace orvane {
namespace {

using namespace chd;

constexpr std::uint32_t kDvdUnitBytes = 2048;
constexpr std::uint32_t kVolumeDescriptorSector = 16;

enum class Content { Cd, Dvd, GdRom, HardDisk, Laserdisc, Unknown };

Content Classify(const std::vector<MetadataEntry>& meta) {
  for (const MetadataEntry& m : meta) {
    if (m.tag == Tag("CHT2") || m.tag == Tag("CHTR")) return Content::Cd;
    if (m.tag == Tag("DVD ")) return Content::Dvd;
    if (m.tag == Tag("CHGD") || m.tag == Tag("CHGT")) return Content::GdRom;
    if (m.tag == Tag("GDDD") || m.tag == Tag("IDNT")) return Content::HardDisk;
    if (m.tag == Tag("AVAV") || m.tag == Tag("AVLD")) return Content::Laserdisc;
  }
  return Content::Unknown;
}

std::string Hex(const std::array<std::uint8_t, 20>& sha1) {
  std::string s;
  char b[3];
  for (std::uint8_t v : sha1) {
    std::snprintf(b, sizeof b, "%02x", v);
    s += b;
  }
  return s;
}

// A DVD kept as plain 2048-byte units: sector 16 starts an ISO 9660 or UDF descriptor.
bool HoldsVolumeDescriptor(ImageFile& data) {
  std::uint8_t d[6];
  if (data.ReadAt(std::uint64_t(kVolumeDescriptorSector) * kDvdUnitBytes, d, sizeof d) != sizeof d) return false;
  for (const char* id : {"CD001", "BEA01", "NSR02", "NSR03", "TEA01", "BOOT2"})
    if (std::memcmp(d + 1, id, 5) == 0) return true;
  return false;
}

// The header's own refusals: a parent, a codec we do not decode.
bool Acceptable(const Header& h, std::string& why) {
  if (h.HasParent()) {
    why = "is a CHD that needs its parent CHD (SHA-1 " + Hex(h.parentSha1) + "), which this program does not read";
    return false;
  }
  for (std::uint32_t c : h.compressors) {
    if (c != 0 && !KnownCodec(c)) {
      why = "is compressed with the CHD codec '" + TagText(c) + "', which this program does not read";
      return false;
    }
  }
  return true;
}

bool Refuse(Content kind, std::string& why) {
  switch (kind) {
    case Content::GdRom: why = "is a GD-ROM CHD, which this program does not read"; return true;
    case Content::HardDisk: why = "is a hard-disk CHD, not a CD or DVD"; return true;
    case Content::Laserdisc: why = "is a laserdisc CHD, not a CD or DVD"; return true;
    default: return false;
  }
}

class ChdReaderImpl final : public ImageReader {
 public:
  const char* Name() const override { return "CHD"; }
  int Probe(const std::string& path, const std::vector<std::uint8_t>& head) const override {
    if (head.size() >= 8 && std::memcmp(head.data(), "MComprHD", 8) == 0) return 100;
    return LowerExtension(path) == ".chd" ? 1 : 0;
  }
  bool Open(const std::string& path, DiscLayout& layout, std::string& error) const override {
    std::string why;
    if (!OpenChd(path, layout, why)) {
      error = path + " " + why;
      layout = DiscLayout{};
      return false;
    }
    layout.format = "CHD";
    return true;
  }

 private:
  static bool OpenChd(const std::string& path, DiscLayout& layout, std::string& why) {
    auto file = OpenImageFile(path, why);
    if (!file) return false;
    Header h;
    if (ParseHeader(*file, h, why) != HeaderStatus::Ok) {
      why = "cannot be read as a CHD: " + why;
      return false;
    }
    if (!Acceptable(h, why)) return false;
    std::vector<MetadataEntry> meta;
    if (!ReadMetadata(*file, h, meta)) {
      why = "is a damaged CHD: its metadata runs outside the file";
      return false;
    }
    const Content kind = Classify(meta);
    if (Refuse(kind, why)) return false;
    std::vector<HunkEntry> map;
    const MapStatus ms = ReadMap(*file, h, map);
    if (ms != MapStatus::Ok) {
      why = std::string("is a damaged CHD: its hunk map ") + MapStatusText(ms);
      return false;
    }
    auto data = std::make_shared<HunkFile>(file, h, std::move(map));
    if (kind == Content::Cd) {
      std::vector<CdTrackRecord> tracks;
      if (!ParseCdTracks(meta, tracks, why) || !LayOutCd(tracks, data, layout, why)) {
        why = "is a CHD whose CD cannot be laid out: " + why;
        return false;
      }
      return true;
    }
    const bool dvd = kind == Content::Dvd || (h.unitBytes == kDvdUnitBytes && HoldsVolumeDescriptor(*data));
    if (!dvd || h.logicalBytes % kDvdUnitBytes != 0) {
      why = "is a CHD that holds neither a CD nor a DVD";
      return false;
    }
    LayOutSingleTrack(layout, data, static_cast<std::uint32_t>(h.logicalBytes / kDvdUnitBytes), TrackMode::Mode1,
                      StoredFormat::UserData2048, kDvdUnitBytes, 0x00);
    layout.profile = 0x10;  // DVD-ROM, whatever its size: chdman keeps DVDs this way
    return true;
  }
};

}  // namespace

const ImageReader& ChdReader() {
  static const ChdReaderImpl reader;
  return reader;
}

}  // namespace orvane
