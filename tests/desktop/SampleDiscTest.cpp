// The sample discs the build writes, read back through the device library the
// way the program reads them, and cross-checked with independent readers:
// libcdio's cd-info for the CUE sheet, isoinfo for the ISO 9660 / Joliet
// volumes, udfinfo for the UDF volume.
#include <algorithm>
#include <cmath>
#include <map>
#include <fstream>
#include <set>
#include <sstream>

#include "disc/ByteOrder.h"
#include "platform/orvane/Readers.h"
#include "tests/desktop/DesktopTestUtil.h"
#include "tests/support/CdInfo.h"

using namespace desktoptest;
using testsupport::HaveProgram;
using testsupport::RunProgram;
using testsupport::ScratchDir;
using testsupport::ShellQuote;

namespace {

struct TocTrack {
  int number;
  bool data;
  std::uint32_t start;
};

// READ TOC format 0 through the drive interface; the lead-out under number 0xAA.
std::vector<TocTrack> ReadToc(CDevCmdROM& dev) {
  std::vector<unsigned char> buf(2048, 0);
  EXPECT_EQ(dev.ReadToc(buf.data(), static_cast<int>(buf.size()), 0), 0);
  const std::size_t len = std::min<std::size_t>((buf[0] << 8 | buf[1]) + 2u, buf.size());
  std::vector<TocTrack> out;
  for (std::size_t at = 4; at + 8 <= len; at += 8)
    out.push_back({buf[at + 2], (buf[at + 1] & 0x04) != 0,
                   static_cast<std::uint32_t>(buf[at + 4] << 24 | buf[at + 5] << 16 | buf[at + 6] << 8 | buf[at + 7])});
  return out;
}

// The 2048-byte user data of sectors [first, first + count) as read through
// the drive, written to path: a cooked image an independent tool can read.
void DumpUserData(CDevCmdROM& dev, std::uint32_t first, std::uint32_t count, const std::string& path) {
  std::ofstream f(path, std::ios::binary);
  std::vector<unsigned char> s(2048);
  for (std::uint32_t lba = first; lba < first + count; ++lba) {
    std::fill(s.begin(), s.end(), 0);
    dev.ReadCD_10(s.data(), 2048, 1, lba);  // Form 2 sectors have no 2048-byte form: left as zeros
    f.write(reinterpret_cast<const char*>(s.data()), 2048);
  }
}

// Paths isoinfo finds in a volume (-f), Joliet names with -J.
std::set<std::string> IsoinfoPaths(const std::string& iso, bool joliet, const ScratchDir& dir) {
  auto run = RunProgram("isoinfo -i " + ShellQuote(iso) + (joliet ? " -J -j iso8859-1" : "") + " -f", dir);
  EXPECT_EQ(run.status, 0) << run.err;
  std::set<std::string> out;
  std::istringstream in(run.out);
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) out.insert(line);
  return out;
}

// isoinfo prints Joliet names in an 8-bit character set (it knows no UTF-8):
// UTF-8 to ISO 8859-1 with '_' for what that set lacks, as isoinfo writes them.
std::string Latin1(const std::string& utf8) {
  std::string out;
  for (std::size_t i = 0; i < utf8.size();) {
    const unsigned char c = utf8[i];
    const std::size_t n = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
    std::uint32_t cp = n == 1 ? c : c & (0x3F >> (n - 1));
    for (std::size_t k = 1; k < n && i + k < utf8.size(); ++k) cp = cp << 6 | (utf8[i + k] & 0x3F);
    out += cp < 0x100 ? static_cast<char>(cp) : '_';
    i += n;
  }
  return out;
}

std::string Field(const std::string& text, const std::string& key) {
  const std::size_t at = text.find(key);
  if (at == std::string::npos) return "";
  const std::size_t end = text.find('\n', at);
  std::string v = text.substr(at + key.size(), end - at - key.size());
  while (!v.empty() && (v.back() == ' ' || v.back() == '\r')) v.pop_back();
  while (!v.empty() && v.front() == ' ') v.erase(v.begin());
  return v;
}

// Strength of one frequency in 16-bit PCM (one channel of interleaved
// stereo), by the Goertzel recurrence.
double Strength(const std::vector<std::int16_t>& ch, std::size_t first, std::size_t count, double hz) {
  const double w = 2 * 3.14159265358979323846 * hz / 44100, c = 2 * std::cos(w);
  double s1 = 0, s2 = 0;
  for (std::size_t i = first; i < first + count && i < ch.size(); ++i) {
    const double s = ch[i] + c * s1 - s2;
    s2 = s1;
    s1 = s;
  }
  return std::sqrt(s1 * s1 + s2 * s2 - c * s1 * s2) / static_cast<double>(count);
}

struct Channels {
  std::vector<std::int16_t> left, right;
};

// A track's audio read as a drive gives it (READ CD, 2352 bytes a sector).
Channels ReadAudio(CDevCmdROM& dev, std::uint32_t first, std::uint32_t count) {
  Channels c;
  std::vector<unsigned char> s(2352);
  for (std::uint32_t lba = first; lba < first + count; ++lba) {
    EXPECT_EQ(dev.ReadCD_All(s.data(), 2352, 1, lba), 0) << lba;
    for (std::size_t i = 0; i + 3 < s.size(); i += 4) {
      c.left.push_back(static_cast<std::int16_t>(s[i] | s[i + 1] << 8));
      c.right.push_back(static_cast<std::int16_t>(s[i + 2] | s[i + 3] << 8));
    }
  }
  return c;
}

double Rms(const std::vector<std::int16_t>& v, std::size_t first, std::size_t count) {
  double sum = 0;
  for (std::size_t i = first; i < first + count && i < v.size(); ++i) sum += double(v[i]) * v[i];
  return std::sqrt(sum / static_cast<double>(count));
}

}  // namespace

TEST(SampleMixedMode, TracksAsADriveAndCdInfoSeeThem) {
  auto dev = OpenSample("mixed-mode.cue");
  ASSERT_TRUE(dev);
  EXPECT_EQ(dev->GetMediumType(), 0x08);
  const auto toc = ReadToc(*dev);
  ASSERT_EQ(toc.size(), 5u);  // four tracks and the lead-out
  EXPECT_EQ(toc[0].number, 1);
  EXPECT_TRUE(toc[0].data);
  EXPECT_EQ(toc[0].start, 0u);
  for (int i = 1; i < 4; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(toc[i].number, i + 1);
    EXPECT_FALSE(toc[i].data);
    // Every track lasts at least the four seconds a CD track must.
    EXPECT_GE(toc[i + 1].start - toc[i].start, 300u);
  }
  EXPECT_EQ(toc[4].number, 0xAA);
  // The data track is followed by the two-second pause before the audio.
  std::string error;
  orvane::DiscLayout layout;
  ASSERT_TRUE(orvane::OpenImage(Sample("mixed-mode.cue"), layout, error)) << error;
  ASSERT_EQ(layout.tracks.size(), 4u);
  EXPECT_EQ(layout.tracks[1].start - layout.tracks[1].pregapStart, 150);
  EXPECT_GE(layout.tracks[0].length, 300u);

  if (!HaveProgram("cd-info")) GTEST_SKIP() << "cd-info (libcdio-utils) is not installed";
  ScratchDir dir;
  auto ref = testsupport::CdInfoTracks("--cue-file=" + ShellQuote(Sample("mixed-mode.cue")), dir);
  ASSERT_EQ(ref.size(), 5u) << "cd-info read no tracks";
  for (const TocTrack& t : toc) {
    SCOPED_TRACE(t.number);
    const int key = t.number == 0xAA ? 170 : t.number;
    ASSERT_TRUE(ref.count(key));
    EXPECT_EQ(ref[key].start, static_cast<long long>(t.start));
    if (key != 170) {
      EXPECT_EQ(ref[key].audio, !t.data);
    }
  }
}

TEST(SampleMixedMode, CdTextAndIsrcOfEveryTrack) {
  auto dev = OpenSample("mixed-mode.cue");
  ASSERT_TRUE(dev);
  auto info = std::make_unique<FS_CDTEXT_INFO>();
  std::memset(info.get(), 0, sizeof *info);
  ASSERT_EQ(dev->GetCDText(*info), 0);
  auto text = [&](int track, int offset) {
    return std::string(reinterpret_cast<const char*>(info->data + kCdTextEntryOffset + kCdTextEntrySize * track + offset));
  };
  EXPECT_EQ(text(0, 0), "Tessal Sample Disc");
  EXPECT_EQ(text(0, 160), "Tessal Test Tones");
  EXPECT_EQ(text(1, 0), "Data track");
  const char* titles[] = {"Scale in C major", "Arpeggios, left to right", "Two bells"};
  const char* performers[] = {"Sine Ensemble", "Sine Ensemble", "The Harmonics"};
  for (int t = 2; t <= 4; ++t) {
    SCOPED_TRACE(t);
    EXPECT_EQ(text(t, 0), titles[t - 2]);
    EXPECT_EQ(text(t, 160), performers[t - 2]);
    EXPECT_EQ(text(t, 640), "Tessal developers");
    EXPECT_EQ(text(t, 800), "ZZTSL260000" + std::to_string(t));
  }
  // libcdio reads the same texts from the sheet.
  if (!HaveProgram("cd-info")) GTEST_SKIP() << "cd-info (libcdio-utils) is not installed";
  ScratchDir dir;
  auto run = RunProgram("cd-info --no-device-info --no-cddb -q --cue-file=" + ShellQuote(Sample("mixed-mode.cue")), dir);
  ASSERT_EQ(run.status, 0) << run.err;
  std::map<std::string, std::string> theirs;  // "Track 2 TITLE" -> text
  std::string block;
  std::istringstream in(run.out);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("CD-TEXT for ", 0) == 0) {
      block = line.substr(12, line.find(':') - 12);
      block.erase(std::remove(block.begin(), block.end(), ' '), block.end());
    } else if (!block.empty() && line.size() > 1 && line[0] == '\t') {
      const std::size_t colon = line.find(": ");
      if (colon != std::string::npos) theirs[block + " " + line.substr(1, colon - 1)] = line.substr(colon + 2);
    }
  }
  ASSERT_FALSE(theirs.empty()) << run.out;
  EXPECT_EQ(theirs["Disc TITLE"], text(0, 0));
  EXPECT_EQ(theirs["Disc PERFORMER"], text(0, 160));
  for (int t = 1; t <= 4; ++t) {
    SCOPED_TRACE(t);
    EXPECT_EQ(theirs["Track" + std::to_string(t) + " TITLE"], text(t, 0));
    EXPECT_EQ(theirs["Track" + std::to_string(t) + " PERFORMER"], text(t, 160));
  }
}

TEST(SampleMixedMode, AudioTracksCarryTheirTunes) {
  auto dev = OpenSample("mixed-mode.cue");
  ASSERT_TRUE(dev);
  const auto toc = ReadToc(*dev);
  ASSERT_EQ(toc.size(), 5u);
  // Track 2 climbs the C major scale: C4 first, C5 last.
  {
    Channels a = ReadAudio(*dev, toc[1].start, toc[2].start - toc[1].start);
    const std::size_t win = 8820;  // 0.2 s inside the first note
    const double c4 = Strength(a.left, 2205, win, 261.63), d4 = Strength(a.left, 2205, win, 293.66);
    EXPECT_GT(c4, 10 * d4);
    EXPECT_GT(c4, 500);
    const std::size_t lastNote = static_cast<std::size_t>(7 * 0.45 * 44100) + 4410;
    EXPECT_GT(Strength(a.left, lastNote, win, 523.25), 10 * Strength(a.left, lastNote, win, 261.63));
    // Centre panned: both channels alike.
    EXPECT_NEAR(Rms(a.left, 0, a.left.size()), Rms(a.right, 0, a.right.size()), 1.0);
  }
  // Track 4: the first bell rings on the left, the second answers on the right.
  {
    Channels a = ReadAudio(*dev, toc[3].start, toc[4].start - toc[3].start);
    EXPECT_GT(Rms(a.left, 0, 30000), 2 * Rms(a.right, 0, 30000));
    const std::size_t second = static_cast<std::size_t>(0.85 * 44100);
    EXPECT_GT(Strength(a.right, second, 8820, 987.77), Strength(a.left, second, 8820, 987.77));
  }
  // No track is silence, and none clips.
  for (int i = 1; i < 4; ++i) {
    Channels a = ReadAudio(*dev, toc[i].start, toc[i + 1].start - toc[i].start);
    EXPECT_GT(Rms(a.left, 0, a.left.size()), 1000) << "track " << i + 1;
    int peak = 0;
    for (auto v : a.left) peak = std::max(peak, std::abs(int(v)));
    EXPECT_LT(peak, 32767) << "track " << i + 1;
  }
}

TEST(SampleMixedMode, DataTrackIsoAndJolietAsIsoinfoReadsThem) {
  auto dev = OpenSample("mixed-mode.cue");
  ASSERT_TRUE(dev);
  EXPECT_EQ(dev->JudgeFileSystem(0), 1);
  if (!HaveProgram("isoinfo")) GTEST_SKIP() << "isoinfo (genisoimage) is not installed";
  ScratchDir dir;
  const auto toc = ReadToc(*dev);
  ASSERT_GE(toc.size(), 2u);
  const std::string iso = dir.File("track1.iso");
  DumpUserData(*dev, 0, toc[1].start - 150, iso);
  auto d = RunProgram("isoinfo -d -i " + ShellQuote(iso), dir);
  ASSERT_EQ(d.status, 0) << d.err;
  EXPECT_EQ(Field(d.out, "Volume id:"), "TESSAL_MIXED_MODE");
  EXPECT_NE(d.out.find("Joliet with UCS level 3"), std::string::npos) << d.out;
  EXPECT_EQ(Field(d.out, "Volume size is:"), std::to_string(toc[1].start - 150));
  const std::set<std::string> joliet = {
      "/Empty folder",
      "/Documents",
      "/Documents/Joliet keeps long names – and Ünïcödé.txt",
      "/Documents/Numbered lines (several sectors).txt",
      "/Documents/Track list.csv",
      "/Nested folders",
      "/Nested folders/Level 1",
      "/Nested folders/Level 1/Level 2",
      "/Nested folders/Level 1/Level 2/Level 3",
      "/Nested folders/Level 1/Level 2/Level 3/Found it.txt",
      "/Pictures",
      "/Pictures/Tessal logo.bmp",
      "/Read me first.txt",
  };
  std::set<std::string> joliet8;
  for (const std::string& p : joliet) joliet8.insert(Latin1(p));
  EXPECT_EQ(IsoinfoPaths(iso, true, dir), joliet8);
  const auto primary = IsoinfoPaths(iso, false, dir);
  EXPECT_TRUE(primary.count("/DOCS/NUMBERS.TXT;1"));
  EXPECT_TRUE(primary.count("/NESTED/LEVEL1/LEVEL2/LEVEL3/DEEP.TXT;1"));
  EXPECT_EQ(primary.size(), joliet.size());
  // The multi-sector file comes out whole.
  auto x = RunProgram("isoinfo -i " + ShellQuote(iso) + " -x '/DOCS/NUMBERS.TXT;1'", dir);
  ASSERT_EQ(x.status, 0);
  EXPECT_GT(x.out.size(), 8 * 2048u);
  EXPECT_NE(x.out.find("Line 01200 of 01200: the quick brown fox jumps over the lazy dog.\n"), std::string::npos);
  EXPECT_EQ(x.out.back(), '\n');
}

TEST(SampleXa, Mode2Form1DirectoriesAFormTwoStreamAndMappedHoles) {
  auto dev = OpenSample("cdrom-xa.cue");
  ASSERT_TRUE(dev);
  std::string error;
  orvane::DiscLayout layout;
  ASSERT_TRUE(orvane::OpenImage(Sample("cdrom-xa.cue"), layout, error)) << error;
  ASSERT_EQ(layout.sessions.size(), 1u);
  EXPECT_EQ(layout.sessions[0].discType, 0x20);
  ASSERT_EQ(layout.tracks.size(), 1u);
  EXPECT_EQ(layout.tracks[0].mode, orvane::TrackMode::Mode2Xa);
  EXPECT_EQ(dev->JudgeFileSystem(0), 1);

  // Where the stream lies, by isoinfo's reading of the Form 1 directories.
  if (!HaveProgram("isoinfo")) GTEST_SKIP() << "isoinfo (genisoimage) is not installed";
  ScratchDir dir;
  const std::string iso = dir.File("xa.iso");
  DumpUserData(*dev, 0, layout.tracks[0].length, iso);
  auto d = RunProgram("isoinfo -d -i " + ShellQuote(iso), dir);
  EXPECT_EQ(Field(d.out, "Volume id:"), "TESSAL_XA");
  auto l = RunProgram("isoinfo -l -i " + ShellQuote(iso), dir);
  ASSERT_EQ(l.status, 0) << l.err;
  // "... 98304 Dec  7 2026 [     23 00]  STREAM.DAT;1"
  const std::size_t at = l.out.find("STREAM.DAT;1");
  ASSERT_NE(at, std::string::npos) << l.out;
  const std::string line = l.out.substr(l.out.rfind('\n', at) + 1, at - l.out.rfind('\n', at) - 1);
  const std::size_t bracket = line.find('[');
  ASSERT_NE(bracket, std::string::npos) << line;
  const std::uint32_t extent = static_cast<std::uint32_t>(std::stoul(line.substr(bracket + 1)));
  // The recorded size counts 2048 bytes a sector, as for any file.
  std::istringstream fields(line);
  std::string column;
  for (int i = 0; i < 5; ++i) fields >> column;  // the size is the fifth column
  const std::uint32_t streamSectors = static_cast<std::uint32_t>(std::stoul(column) / 2048);
  ASSERT_GT(streamSectors, 8u);

  // Form 1 for the descriptors, Form 2 for every sector of the stream.
  std::vector<unsigned char> s(2352);
  ASSERT_EQ(dev->ReadCD_All(s.data(), 2352, 1, 16), 0);
  EXPECT_EQ(s[15], 2);
  EXPECT_EQ(s[18] & 0x20, 0);
  int form2 = 0, unreadable = 0;
  for (std::uint32_t lba = extent; lba < extent + streamSectors; ++lba) {
    if (dev->ReadCD_All(s.data(), 2352, 1, lba) != 0) {
      const SenseData_tag sense = dev->GetSenseData();
      EXPECT_EQ(sense.key, 0x03);
      EXPECT_EQ(sense.asc, 0x11);
      EXPECT_EQ(sense.ascq, 0x05);
      ++unreadable;
      continue;
    }
    if (s[18] & 0x20) ++form2;
  }
  // The ddrescue map leaves four sectors of the stream unread.
  EXPECT_EQ(unreadable, 4);
  EXPECT_EQ(form2, static_cast<int>(streamSectors) - 4);
  ASSERT_EQ(layout.badSectors.size(), 1u);
  EXPECT_GE(layout.badSectors[0].first, static_cast<std::int32_t>(extent));
  EXPECT_EQ(layout.badSectors[0].count, 4u);
}

TEST(SampleUdf, ADvdWithAUdfVolumeAsUdfinfoReadsIt) {
  auto dev = OpenSample("udf-dvd.nrg");
  ASSERT_TRUE(dev);
  EXPECT_EQ(dev->GetMediumType(), 0x10);  // DVD-ROM
  EXPECT_EQ(dev->JudgeFileSystem(0), 2);
  // No CD table of contents on a DVD: the track comes from READ DISC/TRACK INFORMATION.
  unsigned char toc[2048] = {};
  EXPECT_NE(dev->ReadToc(toc, sizeof toc, 2), 0);
  TRACK_INFO ti{};
  ASSERT_EQ(dev->ReadTrackInfo(ti, READ_TRACK_INFO_TRACK, 1), 0);
  const std::uint32_t size = GetBE32(ti.data + 24);
  ASSERT_GT(size, 256u);
  if (!HaveProgram("udfinfo")) GTEST_SKIP() << "udfinfo (udftools) is not installed";
  ScratchDir dir;
  const std::string image = dir.File("dvd.udf");
  DumpUserData(*dev, 0, size, image);
  auto r = RunProgram("udfinfo " + ShellQuote(image), dir);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("label=TESSAL_UDF"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("udfrev=2.01"), std::string::npos) << r.out;
}

TEST(Samples, WritingThemAgainGivesTheSameBytes) {
  // No clock, no random numbers: an install from another build ships the
  // same discs, and a changed sample shows up as a changed file.
  ScratchDir dir;
  const fs::path maker = BuildRoot() / "samples" / "tessal_samples";
  ASSERT_TRUE(fs::exists(maker));
  auto run = RunProgram(ShellQuote(maker.string()) + " " + ShellQuote(dir.File("again")), dir);
  ASSERT_EQ(run.status, 0) << run.err;
  int files = 0;
  for (const auto& e : fs::directory_iterator(dir.File("again"))) {
    ++files;
    SCOPED_TRACE(e.path().filename().string());
    std::ifstream a(e.path(), std::ios::binary), b(Sample(e.path().filename().string()), std::ios::binary);
    ASSERT_TRUE(b.good());
    EXPECT_TRUE(std::equal(std::istreambuf_iterator<char>(a), std::istreambuf_iterator<char>(),
                           std::istreambuf_iterator<char>(b), std::istreambuf_iterator<char>()));
  }
  EXPECT_EQ(files, 7);
}
