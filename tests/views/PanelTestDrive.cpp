#include "tests/views/PanelTestDrive.h"

#include <algorithm>
#include <cstring>

#include "disc/ByteOrder.h"
#include "tests/support/CheckCondition.h"

namespace paneltest {

namespace {

ScsiResult Good(ScsiCommand& cmd, const std::vector<std::uint8_t>& data) {
  ScsiResult r;
  const std::size_t n = std::min(cmd.dataLength, data.size());
  if (n) std::memcpy(cmd.data, data.data(), n);
  r.transferred = n;
  return r;
}

ScsiResult Check(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq) {
  return testsupport::CheckCondition(key, asc, ascq);
}

ScsiResult Invalid() { return Check(5, 0x24, 0); }

}  // namespace

std::vector<Read> PanelTestDrive::Reads() const {
  std::lock_guard<std::mutex> lock(m_Mutex);
  return m_Reads;
}

void PanelTestDrive::ClearReads() {
  std::lock_guard<std::mutex> lock(m_Mutex);
  m_Reads.clear();
}

ScsiResult PanelTestDrive::ReadSectors(ScsiCommand& cmd, std::uint8_t opcode, std::uint32_t lba,
                                       std::uint32_t count, std::uint32_t bytesPerSector) {
  const Read rd{opcode, lba, count};
  {
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_Reads.push_back(rd);
  }
  if (onRead) onRead(rd);
  for (std::uint32_t s = lba; s < lba + count; ++s) {
    if (s >= capacity) return Check(5, 0x21, 0);
    if (auto it = bad.find(s); it != bad.end()) return Check(it->second.key, it->second.asc, it->second.ascq);
    if (opcode == 0x28 && form2.count(s)) return Check(5, 0x64, 0);
    if (count > 1)
      if (auto it = failInRuns.find(s); it != failInRuns.end())
        return Check(it->second.key, it->second.asc, it->second.ascq);
  }
  const std::size_t want = static_cast<std::size_t>(count) * bytesPerSector;
  if (cmd.dataLength < want) return Invalid();
  for (std::size_t i = 0; i < want; ++i) {
    const std::uint32_t s = lba + static_cast<std::uint32_t>(i / bytesPerSector);
    cmd.data[i] = static_cast<std::uint8_t>(fill ^ (s & 0xFF) ^ (i % bytesPerSector));
  }
  ScsiResult r;
  r.transferred = want;
  return r;
}

ScsiResult PanelTestDrive::Execute(ScsiCommand& cmd) {
  const std::uint8_t* c = cmd.cdb;
  if (onCommand) onCommand(c[0]);
  switch (c[0]) {
    case 0x00:  // TEST UNIT READY
      return ready ? ScsiResult{} : Check(2, 0x3A, 0);
    case 0x43: {  // READ TOC/PMA/ATIP
      const int format = c[2] & 0x0F;
      if (format == 2 && fullToc) return Good(cmd, *fullToc);
      if (format == 0 && formattedToc) return Good(cmd, *formattedToc);
      return Invalid();
    }
    case 0x51:  // READ DISC INFORMATION
      return discInfo ? Good(cmd, *discInfo) : Invalid();
    case 0x52: {  // READ TRACK INFORMATION
      const int number = static_cast<int>(GetBE32(c + 2));
      auto it = trackInfo.find(number);
      return it == trackInfo.end() ? Invalid() : Good(cmd, it->second);
    }
    case 0x28:  // READ(10)
      return ReadSectors(cmd, 0x28, GetBE32(c + 2), GetBE16(c + 7), 2048);
    case 0xBE: {  // READ CD
      const std::uint32_t count = (std::uint32_t(c[6]) << 16) | (std::uint32_t(c[7]) << 8) | c[8];
      const bool raw = (c[9] & 0xF8) == 0xF8;
      return ReadSectors(cmd, 0xBE, GetBE32(c + 2), count, raw ? 2352 : 2048);
    }
    case 0x46: {  // GET CONFIGURATION
      std::vector<std::uint8_t> d(8, 0);
      PutBE16(d.data() + 6, profile);
      for (std::uint16_t f : features) {
        const std::uint8_t desc[8] = {static_cast<std::uint8_t>(f >> 8), static_cast<std::uint8_t>(f), 0x03, 4, 0, 0, 0, 0};
        d.insert(d.end(), desc, desc + 8);
      }
      PutBE32(d.data(), static_cast<std::uint32_t>(d.size() - 4));
      return Good(cmd, d);
    }
    case 0x5A: {  // MODE SENSE(10)
      if ((c[2] & 0x3F) != 0x2A || !capabilities) return Invalid();
      std::vector<std::uint8_t> d(8, 0);
      d.insert(d.end(), capabilities->begin(), capabilities->end());
      PutBE16(d.data(), static_cast<std::uint32_t>(d.size() - 2));
      return Good(cmd, d);
    }
    default:
      return Check(5, 0x20, 0);
  }
}

std::vector<std::uint8_t> PanelTestDrive::TrackInfo(int session, int track, int trackMode, int dataMode,
                                                    std::uint32_t start, std::uint32_t size) {
  std::vector<std::uint8_t> d(36, 0);
  PutBE16(d.data(), 34);
  d[2] = static_cast<std::uint8_t>(track);
  d[3] = static_cast<std::uint8_t>(session);
  d[5] = static_cast<std::uint8_t>(trackMode & 0x0F);
  d[6] = static_cast<std::uint8_t>(dataMode & 0x0F);
  PutBE32(d.data() + 8, start);
  PutBE32(d.data() + 24, size);
  return d;
}

std::vector<std::uint8_t> PanelTestDrive::DiscInfo(int status, int firstTrack, int lastTrack, int discType) {
  std::vector<std::uint8_t> d(34, 0);
  PutBE16(d.data(), 32);
  d[2] = static_cast<std::uint8_t>(status & 3);
  d[3] = static_cast<std::uint8_t>(firstTrack);
  d[6] = static_cast<std::uint8_t>(lastTrack);
  d[8] = static_cast<std::uint8_t>(discType);
  return d;
}

std::vector<std::uint8_t> PanelTestDrive::FullToc(const std::vector<Desc>& ds) {
  std::vector<std::uint8_t> d(4, 0);
  int lastSession = 1;
  for (const Desc& x : ds) {
    const std::uint8_t b[11] = {static_cast<std::uint8_t>(x.session), static_cast<std::uint8_t>(x.adrCtl), 0,
                                static_cast<std::uint8_t>(x.point), 0, 0, 0, 0,
                                static_cast<std::uint8_t>(x.pmin), static_cast<std::uint8_t>(x.psec),
                                static_cast<std::uint8_t>(x.pframe)};
    d.insert(d.end(), b, b + 11);
    lastSession = std::max(lastSession, x.session);
  }
  PutBE16(d.data(), static_cast<std::uint32_t>(d.size() - 2));
  d[2] = 1;
  d[3] = static_cast<std::uint8_t>(lastSession);
  return d;
}

TestDevice MakeTestDevice() {
  auto drive = std::make_unique<PanelTestDrive>();
  PanelTestDrive* raw = drive.get();
  return {raw, std::make_unique<CDevCmdROM>(1, std::move(drive), "/dev/test")};
}

}  // namespace paneltest
