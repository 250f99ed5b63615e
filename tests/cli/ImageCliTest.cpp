// tessal-cli image: a source whose mapfile makes chosen sectors unreadable,
// runs killed and stopped in the middle, a medium that heals, a map of another
// medium, and raw images read back by cd-info, cdrdao and our own reader.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <set>
#include <sstream>
#include <thread>

#include "tests/cli/BrowserCliUtil.h"
#include "tests/support/CopyTestDrive.h"

using browsercli::Q;
using browsercli::Tessal;
using testsupport::Bytes;
using testsupport::ScratchDir;

namespace {

// A ddrescue map of an image of `sectors` 2048-byte sectors with [bad, bad + n) unread.
std::string SourceMap(std::uint32_t sectors, std::uint32_t bad, std::uint32_t n) {
  std::ostringstream m;
  m << "0 +\n0 " << bad * 2048 << " +\n" << bad * 2048 << " " << n * 2048 << " -\n"
    << (bad + n) * 2048 << " " << (sectors - bad - n) * 2048 << " +\n";
  return m.str();
}

std::set<long> Blocks(const std::string& args, const ScratchDir& dir) {
  auto run = testsupport::RunProgram("ddrescuelog " + args, dir);
  EXPECT_EQ(run.status, 0) << run.err;
  std::set<long> out;
  std::istringstream in(run.out);
  for (long n; in >> n;) out.insert(n);
  return out;
}

std::string CliPath() {
  const char* bin = std::getenv("TESSAL_BIN_DIR");
  return std::string(bin ? bin : "build/bin") + "/tessal-cli";
}

// tessal-cli image SOURCE OUT started in the background, each read slowed down.
pid_t StartSlowImage(const std::string& source, const std::string& out, int delayMs) {
  const pid_t pid = fork();
  if (pid == 0) {
    setenv("TESSAL_IMAGE_READ_DELAY_MS", std::to_string(delayMs).c_str(), 1);
    if (!freopen("/dev/null", "w", stdout) || !freopen("/dev/null", "w", stderr)) _exit(126);
    execl(CliPath().c_str(), "tessal-cli", "image", source.c_str(), out.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  return pid;
}

// Waits (at most 30 s) until the map at path claims some finished sectors,
// or with `any` only until it is there.
bool WaitForMap(const std::string& mapPath, bool any, const ScratchDir& dir) {
  for (int i = 0; i < 600; ++i) {
    if (any && access(mapPath.c_str(), F_OK) == 0) return true;
    if (!testsupport::RunProgram("ddrescuelog -b2048 -l+ " + Q(mapPath), dir).out.empty()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

int WaitExit(pid_t pid) {
  int st = 0;
  waitpid(pid, &st, 0);
  return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

}  // namespace

// Ten unreadable sectors: exit 1 with the bad bytes in the summary and in the
// map; resumed on the healed medium the image is the source; a map is never
// taken over by a fresh run nor resumed on another medium.
TEST(ImageCli, HolesAreMappedThenFilledWhenTheMediumHeals) {
  if (!testsupport::HaveProgram("ddrescuelog")) GTEST_SKIP() << "ddrescuelog (gddrescue) not installed";
  ScratchDir dir;
  const Bytes iso = testsupport::IsoVolume(3000);
  const std::string src = dir.Write("src.iso", iso), out = dir.File("out.iso"), map = out + ".map";
  dir.Write("src.iso.map", SourceMap(3000, 2000, 10));

  auto run = Tessal("image " + Q(src) + " " + Q(out) + " --retries 1", dir);
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_NE(run.out.find("bad bytes\t20480\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("untried bytes\t0\n"), std::string::npos) << run.out;
  std::set<long> bad;
  for (long s = 2000; s < 2010; ++s) bad.insert(s);
  EXPECT_EQ(Blocks("-b2048 -l- " + Q(map), dir), bad);
  EXPECT_EQ(Blocks("-b2048 -l+ " + Q(map), dir).size(), 2990u);
  EXPECT_EQ(testsupport::RunProgram("ddrescuelog -t " + Q(map), dir).status, 0);
  const std::string text = testsupport::ReadWholeFile(out);
  const Bytes got(text.begin(), text.end());
  ASSERT_EQ(got.size(), iso.size());
  EXPECT_TRUE(std::equal(iso.begin(), iso.begin() + 2000 * 2048, got.begin()));
  EXPECT_TRUE(std::equal(iso.begin() + 2010 * 2048, iso.end(), got.begin() + 2010 * 2048));

  // The image opened with its map reports the holes as the drive did.
  run = Tessal("scan " + Q(out), dir);
  EXPECT_NE(run.out.find("2000\t0x03\t0x11\t0x05"), std::string::npos) << run.out;

  run = Tessal("image " + Q(src) + " " + Q(out), dir);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("--resume"), std::string::npos) << run.err;

  const Bytes other = testsupport::IsoVolume(3001);
  run = Tessal("image " + Q(dir.Write("other.iso", other)) + " " + Q(out) + " --resume", dir);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("another medium"), std::string::npos) << run.err;
  EXPECT_EQ(Blocks("-b2048 -l- " + Q(map), dir), bad);

  dir.Write("src.iso.map", SourceMap(3000, 3000, 0));  // the medium heals
  run = Tessal("image " + Q(src) + " " + Q(out) + " --resume", dir);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(testsupport::ReadWholeFile(out), std::string(iso.begin(), iso.end()));
  EXPECT_EQ(Blocks("-b2048 -l+ " + Q(map), dir).size(), 3000u);

  EXPECT_EQ(Tessal("image " + Q(src) + " " + Q(dir.File("x.img")), dir).status, 2);
  EXPECT_EQ(Tessal("image " + Q(src) + " " + Q(out) + " --retries many", dir).status, 2);
}

// Killed outright once the map claims some sectors, or stopped by SIGTERM: the
// map is whole, what it claims is in the image, and a resume completes it.
TEST(ImageCli, AKilledOrStoppedRunResumesWhereItWas) {
  if (!testsupport::HaveProgram("ddrescuelog")) GTEST_SKIP() << "ddrescuelog (gddrescue) not installed";
  ScratchDir dir;
  const Bytes iso = testsupport::IsoVolume(9000);
  const std::string src = dir.Write("src.iso", iso);
  dir.Write("src.iso.map", SourceMap(9000, 8000, 4));
  for (int sig : {SIGKILL, SIGTERM}) {
    SCOPED_TRACE(sig);
    const std::string out = dir.File("out" + std::to_string(sig) + ".iso"), map = out + ".map";
    const pid_t pid = StartSlowImage(src, out, 400);
    ASSERT_TRUE(WaitForMap(map, sig == SIGTERM, dir));
    if (sig == SIGTERM) std::this_thread::sleep_for(std::chrono::milliseconds(500));
    kill(pid, sig);
    const int status = WaitExit(pid);
    EXPECT_EQ(status, sig == SIGKILL ? -1 : 1);
    const std::set<long> done = Blocks("-b2048 -l+ " + Q(map), dir);
    EXPECT_GT(done.size(), 0u);
    EXPECT_LT(done.size(), 8996u);
    const std::string text = testsupport::ReadWholeFile(out);
    const Bytes got(text.begin(), text.end());
    for (long s : done) ASSERT_TRUE(std::equal(iso.begin() + s * 2048, iso.begin() + (s + 1) * 2048, got.begin() + s * 2048));

    auto run = Tessal("image " + Q(src) + " " + Q(out) + " --resume", dir);
    EXPECT_EQ(run.status, 1) << run.err;  // the four bad sectors stay bad
    EXPECT_EQ(Blocks("-b2048 -l- " + Q(map), dir), (std::set<long>{8000, 8001, 8002, 8003}));
    EXPECT_EQ(Blocks("-b2048 '-l?' " + Q(map), dir).size(), 0u);
  }
}

// A single-session CD of a data track and audio with a pregap, flags and an
// ISRC: the .bin holds the source's sectors byte for byte, and our reader,
// cd-info and cdrdao read the sheet's tracks where the source has them.
TEST(ImageCli, ACueImageReadsAsTheSourceInOtherTools) {
  ScratchDir dir;
  Bytes bin = browsercli::RawMode1Sectors(testsupport::IsoVolume(300));
  const Bytes a1 = testsupport::AudioSectors(350, 1), a2 = testsupport::AudioSectors(100, 2);
  bin.insert(bin.end(), a1.begin(), a1.end());
  bin.insert(bin.end(), a2.begin(), a2.end());
  dir.Write("src.bin", bin);
  const std::string src = dir.Write("src.cue",
                                    "FILE \"src.bin\" BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n"
                                    "  TRACK 02 AUDIO\n    FLAGS DCP\n    ISRC USABC9900001\n"
                                    "    INDEX 00 00:04:00\n    INDEX 01 00:06:00\n"
                                    "  TRACK 03 AUDIO\n    INDEX 01 00:08:50\n");
  const std::string out = dir.File("out.cue");
  auto run = Tessal("image " + Q(src) + " " + Q(out), dir);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(testsupport::ReadWholeFile(dir.File("out.bin")), std::string(bin.begin(), bin.end()));
  const std::string sheet = testsupport::ReadWholeFile(out);
  EXPECT_NE(sheet.find("FLAGS DCP\n    ISRC USABC9900001\n    INDEX 00 00:04:00\n    INDEX 01 00:06:00"),
            std::string::npos)
      << sheet;
  EXPECT_EQ(Tessal("toc " + Q(out), dir).out, Tessal("toc " + Q(src), dir).out);
  EXPECT_EQ(Blocks("-b2352 -l+ " + Q(dir.File("out.bin.map")), dir).size(), 750u);

  if (testsupport::HaveProgram("cd-info")) {
    auto want = testsupport::CdInfoTracks("--cue-file=" + Q(src), dir);
    auto got = testsupport::CdInfoTracks("--cue-file=" + Q(out), dir);
    ASSERT_EQ(got.size(), 4u);
    for (const auto& [n, t] : want) {
      EXPECT_EQ(got[n].start, t.start) << n;
      EXPECT_EQ(got[n].audio, t.audio) << n;
    }
  }
  if (testsupport::HaveProgram("cdrdao")) {
    run = testsupport::RunProgram("cd " + Q(dir.Path()) + " && cdrdao show-toc out.cue", dir);
    const std::string text = run.out + run.err;
    EXPECT_EQ(text.find("ERROR"), std::string::npos) << text;
    for (const char* want : {"TRACK  1  Mode MODE1_RAW", "END    00:04:00(   300)", "TRACK  2  Mode AUDIO:\n"
                             "          ISRC US ABC 99 00001\n          COPY PERMITTED", "PREGAP 00:02:00(   150)",
                             "START  00:06:00(   450)", "TRACK  3  Mode AUDIO:\n          COPY NOT PERMITTED",
                             "START  00:08:50(   650)", "END    00:10:00(   750)"})
      EXPECT_NE(text.find(want), std::string::npos) << want << "\n" << text;
  }
}
