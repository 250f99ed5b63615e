// Rock Ridge for the directory reader: what the SUSP/Rock Ridge parser reads
// from a record's System Use field lands in the entry, and relocated folders
// are shown in their true place.
#include <ctime>

#include "fs/iso9660/RockRidge.h"
#include "fs/iso9660/Susp.h"
#include "fs/iso9660/Walk.h"

namespace fs::iso9660 {
namespace {

// The browser shows a time as the writer's clock read it: a TF time (UTC)
// in the zone the record gives.
ShownTime ShownFrom(std::int64_t utc, std::int8_t zoneQuarters) {
  const std::time_t t = static_cast<std::time_t>(utc + std::int64_t{zoneQuarters} * 15 * 60);
  std::tm tm{};
  if (!::gmtime_r(&t, &tm)) return {};
  return ShownTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

class RockRidgeDecoder : public SystemUseDecoder {
 public:
  explicit RockRidgeDecoder(std::uint32_t skip) : m_nSkip(skip) {}

  void Decode(const DirectoryRecord& record, Entry& e, std::vector<FaultAt>& faults, SectorSource& source) override {
    RockRidgeInfo info;
    const std::optional<std::int64_t> recorded = e.info.mtime;
    ReadRockRidge(record.systemUse, m_nSkip, &source, e.info, info);
    if (e.info.mtime && e.info.mtime != recorded)
      e.shown = ShownFrom(*e.info.mtime, static_cast<std::int8_t>(record.time[6]));
    if (info.childLink) {
      // A stand-in file for a folder moved away to keep the nesting within
      // eight levels: the folder is shown here, read from where it went.
      e.info.type = NodeType::Folder;
      e.info.size = 0;
      e.info.lba.reset();
      e.extent = *info.childLink;
      e.length = 0;
      e.extents = {Extent{*info.childLink, 0}};
      e.relocated = true;
    }
    // The moved folder itself, in the relocation folder, is shown only at
    // its stand-in; the relocation folder then holds nothing to show.
    if (info.relocated) e.hidden = true;
    if (e.info.type == NodeType::File && info.zisofsUnread) e.compression = Compression::NotRead;
    else if (e.info.type == NodeType::File && info.zisofs) e.compression = Compression::Zisofs;
    for (RockRidgeFault f : info.faults)
      faults.push_back({Fault::SystemUse, record.extent, e.info.name, RockRidgeFaultText(f), {}});
  }

 private:
  std::uint32_t m_nSkip;
};

}  // namespace

std::shared_ptr<SystemUseDecoder> DetectRockRidge(SectorSource& source, const std::vector<std::uint8_t>& selfSystemUse,
                                                  std::vector<FaultAt>& faults) {
  const SuspVolume v = DetectSusp(selfSystemUse, &source);
  for (const SuspFaultAt& f : v.walk.faults) faults.push_back({Fault::SystemUse, 0, ".", SuspFaultText(f.fault), {}});
  if (v.rockRidge == RockRidgeVersion::None) return nullptr;
  return std::make_shared<RockRidgeDecoder>(v.skip);
}

}  // namespace fs::iso9660
