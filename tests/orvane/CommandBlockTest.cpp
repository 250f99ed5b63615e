// The command blocks each operation sends, checked against MMC byte by byte
// through a transport double that records them and plays back answers; how
// sense comes back; the device list and its failures.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <deque>
#include <fstream>
#include <vector>

#include "disc/ByteOrder.h"
#include "disc/DevCmdROM.h"
#include "platform/orvane/SgTransport.h"
#include "tests/support/CdImages.h"

namespace {

using Cdb = std::vector<std::uint8_t>;

struct Recorder : Transport {
  struct Reply {
    ScsiResult result;
    std::vector<std::uint8_t> data;
  };
  std::vector<Cdb>* sent;
  std::vector<std::size_t>* lengths;
  std::deque<Reply> replies;
  Recorder(std::vector<Cdb>* s, std::vector<std::size_t>* l) : sent(s), lengths(l) {}
  ScsiResult Execute(ScsiCommand& c) override {
    sent->emplace_back(c.cdb, c.cdb + c.cdbLength);
    lengths->push_back(c.dataLength);
    if (replies.empty()) return {};
    Reply r = replies.front();
    replies.pop_front();
    const std::size_t n = std::min(r.data.size(), c.dataLength);
    if (n) std::memcpy(c.data, r.data.data(), n);
    r.result.transferred = n;
    return r.result;
  }
  std::string Describe() const override { return "recorder"; }
};

struct Fixture : ::testing::Test {
  std::vector<Cdb> sent;
  std::vector<std::size_t> lengths;
  Recorder* rec = nullptr;
  std::unique_ptr<CDevCmdROM> dev;
  void SetUp() override {
    auto r = std::make_unique<Recorder>(&sent, &lengths);
    rec = r.get();
    dev = std::make_unique<CDevCmdROM>(1, std::move(r), "/dev/sr0");
  }
  const Cdb& Last() const { return sent.back(); }
};

using CommandBlocks = Fixture;

TEST_F(CommandBlocks, EachOperationsCdb) {
  INQUIRYDATA inq;
  DISC_INFO di;
  TRACK_INFO ti;
  unsigned char buf[16 * 2352];
  dev->TestUnitReady();
  EXPECT_EQ(Last(), (Cdb{0x00, 0, 0, 0, 0, 0}));
  dev->Inquiry(inq);
  EXPECT_EQ(Last(), (Cdb{0x12, 0, 0, 0, 96, 0}));
  dev->ReadToc(buf, 804, 0, 1);
  EXPECT_EQ(Last(), (Cdb{0x43, 0, 0, 0, 0, 0, 1, 0x03, 0x24, 0}));
  dev->ReadToc(buf, 2000, 2, 0);  // full TOC: MSF bit set; the format also in byte 9 for pre-MMC drives
  EXPECT_EQ(Last(), (Cdb{0x43, 0x02, 2, 0, 0, 0, 0, 0x07, 0xD0, 0x80}));
  dev->ReadToc(buf, 100, 1, 0);
  EXPECT_EQ(Last(), (Cdb{0x43, 0, 1, 0, 0, 0, 0, 0, 100, 0x40}));
  dev->ReadToc(buf, 1000, 5, 0);
  EXPECT_EQ(Last()[2], 5);
  dev->ReadDiscInfo(di);
  EXPECT_EQ(Last(), (Cdb{0x51, 0, 0, 0, 0, 0, 0, 0x02, 0x22, 0}));
  dev->ReadTrackInfo(ti, READ_TRACK_INFO_TRACK, 2);
  EXPECT_EQ(Last(), (Cdb{0x52, 1, 0, 0, 0, 2, 0, 0, 36, 0}));
  dev->ReadTrackInfo(ti, READ_TRACK_INFO_LBA, 0x12345);
  EXPECT_EQ(Last(), (Cdb{0x52, 0, 0, 0x01, 0x23, 0x45, 0, 0, 36, 0}));
  dev->ReadCD_10(buf, 16 * 2048, 16, 0x010203);
  EXPECT_EQ(Last(), (Cdb{0x28, 0, 0, 0x01, 0x02, 0x03, 0, 0, 16, 0}));
  EXPECT_EQ(lengths.back(), 16u * 2048);
  dev->ReadCD_Data(buf, 2 * 2048, 2, 7);
  EXPECT_EQ(Last(), (Cdb{0xBE, 0, 0, 0, 0, 7, 0, 0, 2, 0x10, 0, 0}));
  dev->ReadCD_All(buf, 3 * 2352, 3, 7);
  EXPECT_EQ(Last(), (Cdb{0xBE, 0, 0, 0, 0, 7, 0, 0, 3, 0xF8, 0, 0}));
  EXPECT_EQ(lengths.back(), 3u * 2352);
  unsigned char cfg[300];
  dev->GetConfig(cfg, sizeof cfg);
  EXPECT_EQ(Last(), (Cdb{0x46, 0, 0, 0, 0, 0, 0, 0x01, 0x2C, 0}));
  dev->GetMediumType();
  EXPECT_EQ(Last(), (Cdb{0x46, 0x02, 0, 0, 0, 0, 0, 0, 8, 0}));
  PARAM_PAGE_READ page{};
  page.data[0] = 0x2A;
  SenseData_tag sense;
  dev->GetParamPage(page, 1, sense);
  EXPECT_EQ(Last(), (Cdb{0x5A, 0x08, 0x2A, 0, 0, 0, 0, 0x01, 0x08, 0}));
  dev->Lock(true);
  EXPECT_EQ(Last(), (Cdb{0x1E, 0, 0, 0, 1, 0}));
  dev->Lock(false);
  EXPECT_EQ(Last(), (Cdb{0x1E, 0, 0, 0, 0, 0}));
  dev->Eject(true);
  EXPECT_EQ(Last(), (Cdb{0x1B, 0, 0, 0, 0x02, 0}));
  dev->Eject(false);
  EXPECT_EQ(Last(), (Cdb{0x1B, 0, 0, 0, 0x03, 0}));
}

TEST_F(CommandBlocks, SenseFixedDescriptorAndTransportFailure) {
  Recorder::Reply fixed;
  fixed.result.status = 2;
  fixed.result.sense[0] = 0x70;
  fixed.result.sense[2] = 0x03;
  fixed.result.sense[12] = 0x11;
  fixed.result.sense[13] = 0x05;
  fixed.result.senseLength = 18;
  Recorder::Reply desc;
  desc.result.status = 2;
  desc.result.sense[0] = 0x72;
  desc.result.sense[1] = 0x05;
  desc.result.sense[2] = 0x24;
  desc.result.sense[3] = 0x00;
  desc.result.senseLength = 8;
  Recorder::Reply broken;
  broken.result.status = -1;
  broken.result.error = "/dev/sr0: SG_IO failed: Input/output error";
  rec->replies = {fixed, desc, broken, {}};
  unsigned char b[2048];
  EXPECT_EQ(dev->ReadCD_10(b, sizeof b, 1, 0), 2);
  auto s = dev->GetSenseData();
  EXPECT_EQ(s.value, 2u);
  EXPECT_EQ(s.key, 3);
  EXPECT_EQ(s.asc, 0x11);
  EXPECT_EQ(s.ascq, 0x05);
  EXPECT_NE(dev->TestUnitReady(), 0);
  s = dev->GetSenseData();
  EXPECT_EQ(s.key, 5);
  EXPECT_EQ(s.asc, 0x24);
  EXPECT_NE(dev->TestUnitReady(), 0);
  EXPECT_EQ(dev->GetLastError(), broken.result.error);
  EXPECT_EQ(dev->TestUnitReady(), 0);
  EXPECT_EQ(dev->GetSenseData().key, 0);
}

TEST_F(CommandBlocks, CallersBuffersBound) {
  // A device answering more than asked never writes past the caller's bytes.
  Recorder::Reply big;
  big.data.assign(70000, 0xAB);
  rec->replies = {big, big};
  std::vector<unsigned char> toc(10 + 4, 0);
  ASSERT_EQ(dev->ReadToc(toc.data(), 10, 0, 0), 0);
  EXPECT_EQ(lengths.back(), 10u);
  EXPECT_EQ(toc[10], 0);
  std::vector<unsigned char> raw(2 * 2352 + 4, 0);
  // Room for two raw sectors less one byte: user data of two sectors instead.
  ASSERT_EQ(dev->ReadCD_All(raw.data(), 2 * 2352 - 1, 2, 0), 0);
  EXPECT_EQ(Last()[0], 0x28);
  EXPECT_EQ(lengths.back(), 2u * 2048);
  EXPECT_NE(dev->ReadCD_All(raw.data(), 2047, 1, 0), 0);
  EXPECT_NE(dev->ReadToc(nullptr, 100, 0, 0), 0);
}

// The catalogue from READ SUB-CHANNEL: the block a drive gets, the digits
// taken only when MCVal says they are there and all thirteen are digits, and
// the image item's drive, which has no Q channel to read, refusing it.
TEST_F(CommandBlocks, MediaCatalogFromTheQSubChannel) {
  auto answer = [](std::uint8_t valid, const char* digits) {
    Recorder::Reply r;
    r.data.assign(24, 0);
    r.data[3] = 20;  // sub-channel data length
    r.data[4] = 0x02;
    r.data[8] = valid;
    std::memcpy(r.data.data() + 9, digits, std::strlen(digits));
    return r;
  };
  rec->replies = {answer(0x80, "4006381333931"), answer(0x00, "4006381333931"), answer(0x80, "40063813339x1"),
                  answer(0x80, "400638")};
  std::string mcn = "stale";
  ASSERT_EQ(dev->GetMediaCatalog(mcn), 0);
  EXPECT_EQ(Last(), (Cdb{0x42, 0, 0x40, 0x02, 0, 0, 0, 0, 24, 0}));
  EXPECT_EQ(lengths.back(), 24u);
  EXPECT_EQ(mcn, "4006381333931");
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(dev->GetMediaCatalog(mcn), 0);
    EXPECT_EQ(mcn, "") << i;
  }

  testsupport::ScratchDir dir;
  CDevCmdROM image(0, nullptr);
  ASSERT_TRUE(image.SetImageFile(dir.Write("disc.iso", testsupport::IsoVolume(64))));
  mcn = "stale";
  EXPECT_EQ(image.GetMediaCatalog(mcn), 0);  // the virtual drive answers; an ISO carries no catalogue
  EXPECT_EQ(mcn, "");
}

TEST(DeviceList, ImageItemAndEnumeration) {
  std::vector<std::unique_ptr<CDevCmdROM>> none;
  DevDeque q(std::move(none));
  ASSERT_EQ(q.GetDevCount(), 1);
  CDevCmdROM* image = q.GetDequeItem(0);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->GetDeviceID(), 0);
  EXPECT_EQ(q.GetDequeItem(1), nullptr);
  EXPECT_EQ(q.GetDequeItem(-1), nullptr);
  // Before an image is set every command fails with a reason, never crashes.
  INQUIRYDATA inq;
  EXPECT_NE(image->Inquiry(inq), 0);
  EXPECT_FALSE(image->GetLastError().empty());
  EXPECT_EQ(image->GetSenseData().key, 0x02);
  unsigned char b[2048];
  EXPECT_NE(image->ReadCD_10(b, sizeof b, 1, 0), 0);

  testsupport::ScratchDir dir;
  EXPECT_FALSE(image->SetImageFile(dir.File("missing.iso")));
  EXPECT_FALSE(image->GetLastError().empty());
  EXPECT_NE(image->TestUnitReady(), 0);
  const std::string iso = dir.Write("disc.iso", testsupport::IsoVolume(64));
  ASSERT_TRUE(image->SetImageFile(iso)) << image->GetLastError();
  EXPECT_EQ(image->GetNodePath(), iso);
  EXPECT_EQ(image->TestUnitReady(), 0);
  ASSERT_EQ(image->ReadCD_10(b, sizeof b, 1, 16), 0);
  EXPECT_EQ(std::memcmp(b + 1, "CD001", 5), 0);
  EXPECT_EQ(image->JudgeFileSystem(0), 1);
}

TEST(DeviceList, FindsDrivesInNumberOrder) {
  testsupport::ScratchDir dir;
  const std::string sys = dir.File("sys");
  ::mkdir(sys.c_str(), 0700);
  for (const char* n : {"sr10", "sr2", "sda", "sr0", "srx", "loop0"}) ::mkdir((sys + "/" + n).c_str(), 0700);
  const auto nodes = orvane::FindOpticalDrives(sys, "/devroot");
  EXPECT_EQ(nodes, (std::vector<std::string>{"/devroot/sr0", "/devroot/sr2", "/devroot/sr10"}));
  EXPECT_TRUE(orvane::FindOpticalDrives(dir.File("nothing")).empty());
}

TEST(DeviceList, UnopenableNodeFailsWithReason) {
  testsupport::ScratchDir dir;
  orvane::SgTransport missing(dir.File("sr0"));
  ScsiCommand c;
  c.cdbLength = 6;
  ScsiResult r = missing.Execute(c);
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.error.find("sr0"), std::string::npos);
  EXPECT_NE(r.error.find(std::strerror(ENOENT)), std::string::npos);
  // A plain file is no SCSI device.
  const std::string file = dir.Write("sr1", std::string("x"));
  orvane::SgTransport plain(file);
  r = plain.Execute(c);
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.error.find("SCSI"), std::string::npos);
  // Permission: the message names the group that owns the node.
  const std::string denied = orvane::DescribeOpenFailure(file, EACCES);
  EXPECT_NE(denied.find(std::strerror(EACCES)), std::string::npos);
  EXPECT_NE(denied.find("group"), std::string::npos);
  CDevCmdROM dev(1, std::make_unique<orvane::SgTransport>(dir.File("sr0")), dir.File("sr0"));
  EXPECT_NE(dev.TestUnitReady(), 0);
  EXPECT_NE(dev.GetLastError().find("sr0"), std::string::npos);
}

}  // namespace
