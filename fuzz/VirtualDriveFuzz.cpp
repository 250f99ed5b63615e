// The virtual drive's command handler on arbitrary command blocks: the input
// picks one of a few disc layouts (optionally bent: track lengths, extent
// offsets and strides a damaged image might give), then is read as a stream
// of commands, each a command block of 6 to 16 bytes, a direction and an
// allocation length. The data buffer is exactly the allocation length, so
// any write past it is seen; the drive must never report more bytes than
// the buffer holds.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "disc/DevCmdROM.h"
#include "fuzz/FuzzSupport.h"
#include "platform/orvane/CdText.h"
#include "platform/orvane/VirtualDrive.h"
#include "tests/support/CdImages.h"
#include "tests/support/MemoryImage.h"

using namespace testsupport;
using orvane::StoredFormat;
using orvane::TrackMode;

namespace {

class Input {
 public:
  Input(const std::uint8_t* d, std::size_t n) : m_d(d), m_n(n) {}
  bool Empty() const { return m_at >= m_n; }
  std::uint8_t Byte() { return m_at < m_n ? m_d[m_at++] : 0; }
  std::uint32_t Bits(int bytes) {
    std::uint32_t v = 0;
    for (int i = 0; i < bytes; ++i) v = (v << 8) | Byte();
    return v;
  }

 private:
  const std::uint8_t* m_d;
  std::size_t m_n;
  std::size_t m_at = 0;
};

std::shared_ptr<MemoryImageFile> File(Bytes b) { return std::make_shared<MemoryImageFile>(std::move(b)); }

// The shapes a drive meets: a plain data CD, a DVD, a mixed-mode disc with a
// pregap, a raw CD-ROM XA track with sub-channel, two sessions with CD-TEXT
// and bad sectors, a Mode 2 track stored without sync.
orvane::DiscLayout Base(int which) {
  switch (which % 6) {
    case 0:
      return MemoryDisc({MemoryTrack(1, TrackMode::Mode1, 0, 40, File(IsoVolume(40)), StoredFormat::UserData2048, 2048)});
    case 1:
      return MemoryDisc({MemoryTrack(1, TrackMode::Mode1, 0, 40, File(IsoVolume(40)), StoredFormat::UserData2048, 2048)},
                        0x10);
    case 2: {
      auto l = MemoryDisc({MemoryTrack(1, TrackMode::Mode1, 0, 30, File(RawTrack(0, 30, RawMode::Mode1)),
                                       StoredFormat::Raw2352, 2352),
                           MemoryTrack(2, TrackMode::Audio, 180, 20, File(AudioSectors(20)), StoredFormat::Audio2352,
                                       2352, 150)});
      l.tracks[1].control = 0x00;
      l.catalog = "1234567890123";
      l.tracks[1].isrc = "USABC0100001";
      return l;
    }
    case 3: {
      Bytes raw = RawTrack(0, 24, RawMode::Mode2Form1);
      Bytes withSub;
      for (std::size_t i = 0; i < 24; ++i) {
        withSub.insert(withSub.end(), raw.begin() + i * 2352, raw.begin() + (i + 1) * 2352);
        withSub.insert(withSub.end(), 96, static_cast<std::uint8_t>(i));
      }
      auto t = MemoryTrack(1, TrackMode::Mode2Xa, 0, 24, File(withSub), StoredFormat::Raw2352, 2448);
      t.extents[0].hasSubchannel = true;
      t.extents[0].subchannelOffset = 2352;
      return MemoryDisc({t});
    }
    case 4: {
      auto l = MemoryDisc({MemoryTrack(1, TrackMode::Audio, 0, 20, File(AudioSectors(20)), StoredFormat::Audio2352BE, 2352),
                           MemoryTrack(2, TrackMode::Mode1, 11420, 30, File(IsoVolume(30)), StoredFormat::UserData2048,
                                       2048, 150, 2)});
      l.tracks[0].control = 0x00;
      l.sessions[0].leadOut = 20;
      orvane::SessionLayout s2;
      s2.number = 2;
      s2.leadOut = 11450;
      l.sessions.push_back(s2);
      l.cdText = {{"Disc", "Artist"}, {"One", "Two"}, {"Data"}};
      l.cdTextPacks = orvane::BuildCdTextPacks(l.cdText);
      l.badSectors = {{5, 3}, {11425, 1}, {11449, 10}};
      return l;
    }
    default:
      return MemoryDisc({MemoryTrack(1, TrackMode::Mode2Formless, 0, 20, File(Mode2Track2336(0, 20)),
                                     StoredFormat::Mode2_2336, 2336)});
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input in(data, size);
  const std::uint8_t shape = in.Byte();
  orvane::DiscLayout layout = Base(shape & 0x7F);
  if (shape & 0x80) {
    // Bend the first track the way a lying image would.
    orvane::TrackLayout& t = layout.tracks.front();
    t.length = in.Bits(4);
    t.start = static_cast<std::int32_t>(in.Bits(4) % 1000);
    t.pregapStart = t.start - static_cast<std::int32_t>(in.Byte());
    orvane::Extent& e = t.extents.front();
    e.firstLba = static_cast<std::int32_t>(in.Bits(4) % 2000) - 150;
    e.count = in.Bits(4);
    e.offset = std::uint64_t(in.Bits(4)) << in.Byte() % 40;
    e.stride = in.Bits(2);
    e.subchannelOffset = in.Bits(2);
    e.hasSubchannel = in.Byte() & 1;
    layout.sessions.front().leadOut = static_cast<std::int32_t>(in.Bits(4));
  }
  auto drive = orvane::CreateVirtualDrive(std::move(layout), "fuzz");

  for (int commands = 0; commands < 64 && !in.Empty(); ++commands) {
    static const int kLengths[] = {6, 10, 12, 16};
    ScsiCommand c;
    const std::uint8_t head = in.Byte();
    c.cdbLength = kLengths[head & 3];
    for (int i = 0; i < c.cdbLength; ++i) c.cdb[i] = in.Byte();
    // Allocation lengths up to 256 KiB; the buffer is exactly that long.
    const std::size_t alloc = in.Bits(3) & 0x3FFFF;
    std::vector<std::uint8_t> buffer(alloc);
    c.direction = (head & 4) ? DataDirection::ToDevice : DataDirection::FromDevice;
    c.data = alloc ? buffer.data() : nullptr;
    c.dataLength = alloc;
    const ScsiResult r = drive->Execute(c);
    if (r.transferred > alloc) std::abort();
    if (r.senseLength > sizeof r.sense) std::abort();
  }
  return 0;
}
