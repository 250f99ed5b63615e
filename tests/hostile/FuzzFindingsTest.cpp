// Inputs the fuzz targets found that once misbehaved, each reduced to what
// made it fail. They run in every build; under the sanitizer build they
// catch the undefined behaviour itself.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "disc/ByteOrder.h"
#include "disc/DevCmdROM.h"
#include "disc/DiscModel.h"
#include "platform/orvane/VirtualDrive.h"
#include "tests/support/CdImages.h"
#include "tests/support/MemoryImage.h"

namespace {

using namespace testsupport;

// The full TOC's descriptors as the model reads them.
SessionInfo FullToc(CDevCmdROM& dev, std::vector<unsigned char>& toc) {
  toc.assign(2048, 0);
  EXPECT_EQ(dev.ReadToc(toc.data(), 2048, 2, 0), 0);
  const int length = std::min<int>(static_cast<std::uint16_t>(GetBE16(toc.data()) - 2), 2044);
  return SessionInfo(toc.data() + 4, length);
}

}  // namespace

// A track whose length runs to the end of the address space leaves its
// session's lead-out at the largest address; the next session's start (the
// B0 entry of an open disc, or of every session but the last) is computed
// from it without overflowing and still lands in the TOC.
TEST(FuzzFindings, LeadOutAtTheLastAddressStillGivesTheNextSessionStart) {
  auto file = std::make_shared<MemoryImageFile>(IsoVolume(20));
  for (int discStatus : {1, 2}) {
    auto layout = MemoryDisc({MemoryTrack(1, orvane::TrackMode::Mode1, 0, 0xFFFFFFFFu, file,
                                          orvane::StoredFormat::UserData2048, 2048)});
    layout.discStatus = discStatus;
    if (discStatus == 2) {
      // Two sessions: B0 of the first one is always given.
      layout.tracks.push_back(MemoryTrack(2, orvane::TrackMode::Mode1, 100, 20, file,
                                          orvane::StoredFormat::UserData2048, 2048, 0, 2));
      orvane::SessionLayout s2;
      s2.number = 2;
      s2.leadOut = 120;
      layout.sessions.push_back(s2);
    }
    CDevCmdROM dev(1, orvane::CreateVirtualDrive(std::move(layout), "memory"));
    std::vector<unsigned char> toc;
    const SessionInfo sessions = FullToc(dev, toc);
    ASSERT_GE(sessions.GetSessionNum(), 1);
    bool b0 = false;
    for (int i = 0; i < sessions[0].size(); ++i) b0 = b0 || sessions[0][i].GetTrackIndex() == 0xB0;
    EXPECT_TRUE(b0) << "disc status " << discStatus;
  }
}

// READ CD of a count of 2^24 - 1 over a long unstored Mode 1 track, selecting
// no field at all or only one its sectors lack (the sub-header), yields no
// byte; it must answer at once instead of synthesising every sector.
TEST(FuzzFindings, ReadCdThatYieldsNoByteOverAHugeRangeAnswersAtOnce) {
  orvane::TrackLayout t = MemoryTrack(1, orvane::TrackMode::Mode1, 0, 0x7FFFFF00u, nullptr,
                                      orvane::StoredFormat::UserData2048, 2048);
  auto drive = orvane::CreateVirtualDrive(MemoryDisc({t}), "memory");
  for (const std::uint8_t fields : {0x00, 0x40}) {
    SCOPED_TRACE(static_cast<int>(fields));
    std::vector<std::uint8_t> buf(196608, 0xEE);
    ScsiCommand c;
    const std::uint8_t cdb[12] = {0xBE, 0, 0, 0, 0, 5, 0xFF, 0xFF, 0xFF, fields, 0, 0};
    std::memcpy(c.cdb, cdb, sizeof cdb);
    c.cdbLength = 12;
    c.direction = DataDirection::FromDevice;
    c.data = buf.data();
    c.dataLength = buf.size();
    const ScsiResult r = drive->Execute(c);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.transferred, 0u);
    EXPECT_EQ(buf[0], 0xEE);
  }
}
