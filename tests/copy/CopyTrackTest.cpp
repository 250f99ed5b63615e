// Track copies: WAV, user data and raw sectors, their read runs and
// percentages, unreadable sectors, refusals, destinations and cancelling.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <mutex>
#include <thread>

#include "copy/GetCDData.h"
#include "disc/ByteOrder.h"
#include "disc/DevCmdROM.h"
#include "platform/orvane/VirtualDrive.h"
#include "tests/support/CdImages.h"
#include "tests/support/CheckCondition.h"
#include "tests/support/CopyTestDrive.h"
#include "tests/support/MemoryImage.h"

using namespace testsupport;

namespace {

orvane::TrackLayout Track(int number, orvane::TrackMode mode, std::int32_t start, const Bytes& bytes, std::uint32_t stride,
                          orvane::StoredFormat format) {
  auto file = std::make_shared<MemoryImageFile>(bytes);
  return MemoryTrack(number, mode, start, static_cast<std::uint32_t>(bytes.size() / stride), file, format, stride);
}

orvane::DiscLayout DataDisc(std::uint32_t sectors, int profile = 0x08) {
  return MemoryDisc({Track(1, orvane::TrackMode::Mode1, 0, PatternSectors(0, sectors), 2048,
                           orvane::StoredFormat::UserData2048)},
                    profile);
}

std::string Slice(const Bytes& b, std::size_t at, std::size_t n) {
  return std::string(reinterpret_cast<const char*>(b.data()) + at, n);
}

std::vector<std::uint32_t> Counts(const std::vector<RecordingTransport::Read>& reads, std::uint8_t opcode) {
  std::vector<std::uint32_t> out;
  for (const auto& r : reads)
    if (r.opcode == opcode) out.push_back(r.count);
  return out;
}

}  // namespace

TEST(CopyTrack, WavFileGetsItsHeaderAndEveryAudioSectorOtherNamesNoHeader) {
  ScratchDir dir;
  const Bytes pcm = AudioSectors(3000, 7);
  RecordingTransport* rec;
  auto dev = RecordedDevice(
      MemoryDisc({Track(1, orvane::TrackMode::Audio, 0, pcm, 2352, orvane::StoredFormat::Audio2352)}), &rec);
  CGetCDData e;
  e.SetDevice(dev.get());

  ASSERT_TRUE(e.StartTrackCopy(0, 0, 3000, dir.File("x.WAV")));
  e.Wait();
  EXPECT_TRUE(e.IsStopped());
  EXPECT_EQ(e.GetPercent(), 100);
  const std::string wav = ReadWholeFile(dir.File("x.WAV"));
  ASSERT_EQ(wav.size(), 44u + 7056000u);
  const auto* h = reinterpret_cast<const unsigned char*>(wav.data());
  EXPECT_EQ(wav.substr(0, 4), "RIFF");
  EXPECT_EQ(GetLE32(h + 4), 7056036u);
  EXPECT_EQ(wav.substr(8, 8), "WAVEfmt ");
  EXPECT_EQ(GetLE32(h + 16), 16u);
  EXPECT_EQ(GetLE16(h + 20), 1);
  EXPECT_EQ(GetLE16(h + 22), 2);
  EXPECT_EQ(GetLE32(h + 24), 44100u);
  EXPECT_EQ(GetLE32(h + 28), 176400u);
  EXPECT_EQ(GetLE16(h + 32), 4);
  EXPECT_EQ(GetLE16(h + 34), 16);
  EXPECT_EQ(wav.substr(36, 4), "data");
  EXPECT_EQ(GetLE32(h + 40), 7056000u);
  EXPECT_TRUE(wav.compare(44, std::string::npos, Slice(pcm, 0, pcm.size())) == 0);
  CopyResult r = e.GetResult();
  EXPECT_TRUE(r.finished);
  EXPECT_EQ(r.files, 1u);
  EXPECT_EQ(r.bytes, 44u + 7056000u);
  EXPECT_EQ(r.unreadable, 0u);

  // The same run to another name: the sectors alone. The end is one past the
  // last sector, so the track's last sector is in the file.
  ASSERT_TRUE(e.StartTrackCopy(0, 0, 3000, dir.File("x.dat")));
  e.Wait();
  EXPECT_EQ(ReadWholeFile(dir.File("x.dat")), Slice(pcm, 0, pcm.size()));
  // A folder named like a WAV file does not make a WAV of what is inside it.
  std::filesystem::create_directory(dir.File("take.wav"));
  ASSERT_TRUE(e.StartTrackCopy(0, 2990, 3000, dir.File("take.wav/t.bin")));
  e.Wait();
  EXPECT_EQ(ReadWholeFile(dir.File("take.wav/t.bin")), Slice(pcm, 2990 * 2352, 10 * 2352));
}

TEST(CopyTrack, UserDataIsReadInRunsOfSixteenWithTheLastRunShort) {
  ScratchDir dir;
  RecordingTransport* rec;
  auto dev = RecordedDevice(DataDisc(60), &rec);
  CGetCDData e;
  e.SetDevice(dev.get());
  std::mutex m;
  std::vector<int> seen;  // the percentage as each read is asked
  rec->OnRead([&](const RecordingTransport::Read&) {
    std::lock_guard<std::mutex> lock(m);
    seen.push_back(e.GetPercent());
  });

  ASSERT_TRUE(e.StartTrackCopy(1, 10, 50, dir.File("Track1.ISO")));
  e.Wait();
  const Bytes user = PatternSectors(0, 60);
  EXPECT_EQ(ReadWholeFile(dir.File("Track1.ISO")), Slice(user, 10 * 2048, 40 * 2048));
  EXPECT_EQ(Counts(rec->Reads(), 0x28), (std::vector<std::uint32_t>{16, 16, 8}));
  EXPECT_EQ(Counts(rec->Reads(), 0xBE), std::vector<std::uint32_t>{});
  EXPECT_EQ(seen, (std::vector<int>{0, 40, 80}));
  EXPECT_EQ(e.GetPercent(), 100);

  rec->ClearReads();
  ASSERT_TRUE(e.StartTrackCopy(1, 0, 16, dir.File("t.iso")));
  e.Wait();
  EXPECT_EQ(ReadWholeFile(dir.File("t.iso")), Slice(user, 0, 16 * 2048));
  EXPECT_EQ(Counts(rec->Reads(), 0x28), std::vector<std::uint32_t>{16});
}

TEST(CopyTrack, RawCopyHoldsWholeSectorsAsTheDriveReturnsThem) {
  ScratchDir dir;
  RecordingTransport* rec;
  auto dev = RecordedDevice(DataDisc(40), &rec);
  CGetCDData e;
  e.SetDevice(dev.get());
  ASSERT_TRUE(e.StartTrackCopy(1, 0, 40, dir.File("track.dat")));
  e.Wait();
  const auto raw = Counts(rec->Reads(), 0xBE);
  const std::string got = ReadWholeFile(dir.File("track.dat"));
  ASSERT_EQ(got.size(), 40u * 2352);
  std::vector<unsigned char> want(40 * 2352);
  for (int i = 0; i < 40; ++i) ASSERT_EQ(dev->ReadCD_All(want.data() + 2352 * i, 2352, 1, i), 0);
  EXPECT_TRUE(got == std::string(want.begin(), want.end()));
  // Sync pattern and Mode 1 header of the first sector: not user data.
  EXPECT_EQ(static_cast<unsigned char>(got[1]), 0xFF);
  EXPECT_EQ(got[15], 1);
  ASSERT_GE(raw.size(), 3u);
  EXPECT_EQ(std::vector<std::uint32_t>(raw.end() - 3, raw.end()), (std::vector<std::uint32_t>{16, 16, 8}));
  EXPECT_FALSE(e.GetResult().userData);
}

TEST(CopyTrack, MediaWithoutRawSectorsAreSavedAsUserDataThroughout) {
  ScratchDir dir;
  auto dev = RecordedDevice(DataDisc(40, 0x10), nullptr);  // DVD-ROM
  unsigned char probe[2352];
  if (dev->ReadCD_All(probe, sizeof probe, 1, 0) == 0) GTEST_SKIP() << "the drive gives raw DVD sectors";
  CGetCDData e;
  e.SetDevice(dev.get());
  ASSERT_TRUE(e.StartTrackCopy(1, 0, 40, dir.File("dvd.dat")));
  e.Wait();
  EXPECT_EQ(ReadWholeFile(dir.File("dvd.dat")), Slice(PatternSectors(0, 40), 0, 40 * 2048));
  EXPECT_TRUE(e.GetResult().userData);
  EXPECT_EQ(e.GetResult().unreadable, 0u);
}

TEST(CopyTrack, UnreadableSectorsAreZerosCountedAndTheRestOfTheirRunKept) {
  ScratchDir dir;
  orvane::DiscLayout l = DataDisc(40);
  l.badSectors.push_back({20, 2});
  RecordingTransport* rec;
  auto dev = RecordedDevice(l, &rec);
  CGetCDData e;
  e.SetDevice(dev.get());
  ASSERT_TRUE(e.StartTrackCopy(1, 0, 40, dir.File("t.iso")));
  e.Wait();
  Bytes want = PatternSectors(0, 40);
  std::memset(want.data() + 20 * 2048, 0, 2 * 2048);
  EXPECT_EQ(ReadWholeFile(dir.File("t.iso")), Slice(want, 0, want.size()));
  CopyResult r = e.GetResult();
  EXPECT_TRUE(r.finished);
  EXPECT_EQ(r.unreadable, 2u);
  ASSERT_EQ(r.damaged.size(), 1u);
  EXPECT_EQ(r.damaged[0].path, dir.File("t.iso"));
  EXPECT_EQ(r.damaged[0].sectors, 2u);
  // Only the run holding the holes was read again, sector by sector.
  EXPECT_EQ(Counts(rec->Reads(), 0x28),
            (std::vector<std::uint32_t>{16, 16, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 8}));
}

// A drive that answers "logical block address out of range" for sectors it
// cannot read, although they lie inside the medium (QEMU's ATAPI drive does).
class OutOfRangeForBadSectors : public Transport {
 public:
  OutOfRangeForBadSectors(std::unique_ptr<Transport> inner, std::uint32_t from, std::uint32_t to)
      : m_inner(std::move(inner)), m_from(from), m_to(to) {}
  ScsiResult Execute(ScsiCommand& cmd) override {
    if (cmd.cdb[0] == 0x28 || cmd.cdb[0] == 0xBE) {
      const std::uint32_t lba = GetBE32(cmd.cdb + 2);
      const std::uint32_t n = cmd.cdb[0] == 0x28 ? GetBE16(cmd.cdb + 7) : (cmd.cdb[6] << 16 | cmd.cdb[7] << 8 | cmd.cdb[8]);
      if (lba < m_to && lba + n > m_from) {
        return CheckCondition(0x05, 0x21);
      }
    }
    return m_inner->Execute(cmd);
  }
  std::string Describe() const override { return m_inner->Describe(); }

 private:
  std::unique_ptr<Transport> m_inner;
  std::uint32_t m_from, m_to;
};

TEST(CopyTrack, OutOfRangeInsideTheMediumIsAHoleNotTheEnd) {
  ScratchDir dir;
  CDevCmdROM dev(1, std::make_unique<OutOfRangeForBadSectors>(orvane::CreateVirtualDrive(DataDisc(40), "memory"), 20, 22));
  CGetCDData e;
  e.SetDevice(&dev);
  ASSERT_TRUE(e.StartTrackCopy(1, 0, 40, dir.File("t.iso")));
  e.Wait();
  Bytes want = PatternSectors(0, 40);
  std::memset(want.data() + 20 * 2048, 0, 2 * 2048);
  EXPECT_EQ(ReadWholeFile(dir.File("t.iso")), Slice(want, 0, want.size()));
  EXPECT_EQ(e.GetResult().unreadable, 2u);
}

TEST(CopyTrack, StartsThatCannotWorkAreRefusedWithoutAWorker) {
  ScratchDir dir;
  auto dev = RecordedDevice(DataDisc(40), nullptr);
  CGetCDData e;
  e.SetDevice(dev.get());
  EXPECT_FALSE(e.StartTrackCopy(1, 5, 5, dir.File("a.iso")));
  EXPECT_FALSE(e.StartTrackCopy(1, 0, 0, dir.File("a.iso")));
  EXPECT_FALSE(e.StartTrackCopy(1, 9, 5, dir.File("a.iso")));
  EXPECT_FALSE(e.StartTrackCopy(1, 0, 5, ""));
  EXPECT_FALSE(e.StartFolderCopy(1, 0, dir.File("f"), 1, false));
  EXPECT_FALSE(e.StartFolderCopy(1, 20, dir.File("f"), 0, false));  // no file system: refused at once
  EXPECT_FALSE(e.StartFileCopy(1, 20, 100, dir.File("f"), 0, false));
  EXPECT_FALSE(e.IsRunning());
  EXPECT_FALSE(std::filesystem::exists(dir.File("a.iso")));
  EXPECT_FALSE(std::filesystem::exists(dir.File("f")));

  CDevCmdROM noImage(0, nullptr);  // the image item before an image is set: not ready
  CGetCDData e2;
  e2.SetDevice(&noImage);
  EXPECT_FALSE(e2.StartTrackCopy(1, 0, 10, dir.File("a.iso")));
  CGetCDData e3;  // no device at all
  EXPECT_FALSE(e3.StartTrackCopy(1, 0, 10, dir.File("a.iso")));
}

TEST(CopyTrack, ADestinationThatCannotBeCreatedEndsTheJobWithPathAndReason) {
  ScratchDir dir;
  auto dev = RecordedDevice(DataDisc(40), nullptr);
  CGetCDData e;
  e.SetDevice(dev.get());
  const std::string path = dir.File("missing/t.iso");
  ASSERT_TRUE(e.StartTrackCopy(1, 0, 40, path));
  e.Wait();
  EXPECT_TRUE(e.IsStopped());  // the caller's dialog closes
  CopyResult r = e.GetResult();
  EXPECT_TRUE(r.failed);
  EXPECT_FALSE(r.finished);
  EXPECT_NE(r.error.find(path), std::string::npos) << r.error;
  EXPECT_NE(r.error.find("No such file"), std::string::npos) << r.error;

  // A link planted at the name is not followed.
  const std::string outside = dir.File("outside");
  std::filesystem::create_symlink(outside, dir.File("link.iso"));
  ASSERT_TRUE(e.StartTrackCopy(1, 0, 4, dir.File("link.iso")));
  e.Wait();
  EXPECT_TRUE(e.GetResult().failed);
  EXPECT_FALSE(std::filesystem::exists(outside));
}

TEST(CopyTrack, CancelDeletesThePartFileAndTheWorkerHasEndedAfterWait) {
  ScratchDir dir;
  RecordingTransport* rec;
  auto dev = RecordedDevice(DataDisc(200), &rec);
  CGetCDData e;
  e.SetDevice(dev.get());
  rec->HoldAtRead(3);
  ASSERT_TRUE(e.StartTrackCopy(1, 0, 200, dir.File("t.iso")));
  rec->WaitHeld();
  EXPECT_FALSE(e.IsStopped());
  EXPECT_EQ(e.GetCurrentName(), "TRACK DATA");
  EXPECT_TRUE(std::filesystem::exists(dir.File("t.iso")));
  e.Cancel();
  rec->Release();
  e.Wait();
  EXPECT_FALSE(e.IsRunning());
  EXPECT_TRUE(e.IsStopped());
  EXPECT_FALSE(std::filesystem::exists(dir.File("t.iso")));
  EXPECT_TRUE(e.GetResult().cancelled);
  EXPECT_EQ(e.GetResult().files, 0u);
}

TEST(CopyTrack, ANewStartOrTheEngineGoingWaitsForARunningWorker) {
  ScratchDir dir;
  RecordingTransport* rec;
  auto dev = RecordedDevice(DataDisc(200), &rec);
  {
    CGetCDData e;
    e.SetDevice(dev.get());
    rec->HoldAtRead(2);
    ASSERT_TRUE(e.StartTrackCopy(1, 0, 200, dir.File("a.iso")));
    rec->WaitHeld();
    // The new start stops the running job and waits for it to end before
    // it takes over; its own file is whole, the stopped one's is gone.
    bool started = false;
    std::thread second([&] { started = e.StartTrackCopy(1, 0, 20, dir.File("b.iso")); });
    while (!e.IsStopped()) std::this_thread::yield();
    rec->Release();
    second.join();
    ASSERT_TRUE(started);
    e.Wait();
    EXPECT_EQ(ReadWholeFile(dir.File("b.iso")).size(), 20u * 2048);
    EXPECT_FALSE(std::filesystem::exists(dir.File("a.iso")));
    rec->HoldAtRead(1);
    ASSERT_TRUE(e.StartTrackCopy(1, 0, 200, dir.File("c.iso")));
    rec->WaitHeld();
    // Slow reads from here: a loaded machine may otherwise let the worker
    // finish the whole track before the engine goes.
    rec->OnRead([](const RecordingTransport::Read&) { std::this_thread::sleep_for(std::chrono::milliseconds(50)); });
    rec->Release();
  }  // the engine goes while its worker runs: stopped and joined, not left behind
  EXPECT_FALSE(std::filesystem::exists(dir.File("c.iso")));
}
