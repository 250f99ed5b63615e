// Plain images that hold appended sessions, made by genisoimage -C -M,
// mkudffs --startblock and xorriso, served as the multi-session disc they
// came from: the full TOC the browser parses, track and disc information,
// the sectors between sessions as the file holds them.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "disc/DevCmdROM.h"
#include "disc/DiscModel.h"
#include "disc/MmcRecords.h"
#include "platform/orvane/Readers.h"
#include "platform/orvane/VirtualDrive.h"
#include "tests/support/AppendedSessions.h"
#include "tests/support/CdInfo.h"

namespace {

using testsupport::ScratchDir;

std::unique_ptr<CDevCmdROM> Serve(const std::string& path, orvane::DiscLayout* layout = nullptr) {
  orvane::DiscLayout l;
  std::string error;
  EXPECT_TRUE(orvane::OpenImage(path, l, error)) << error;
  if (layout) *layout = l;
  return std::make_unique<CDevCmdROM>(1, orvane::CreateVirtualDrive(std::move(l), path));
}

void Fill(const std::string& folder, const std::string& name, const std::string& text) {
  std::filesystem::create_directories(folder);
  std::ofstream(folder + "/" + name, std::ios::binary) << text;
}

// The full TOC as the browser reads and parses it.
SessionInfo FullToc(CDevCmdROM& d) {
  unsigned char toc[2048] = {};
  EXPECT_EQ(d.ReadToc(toc, sizeof toc, 2), 0);
  return SessionInfo(toc + 4, static_cast<std::uint16_t>(GetBE16(toc) - 2));
}

TEST(ReaderSessions, GenisoimageSessionsAreServedAsTheDiscTheyWouldBe) {
  if (!testsupport::HaveProgram("genisoimage")) GTEST_SKIP() << "genisoimage is missing";
  for (bool gap : {false, true}) {
    SCOPED_TRACE(gap ? "with -msinfo gaps" : "back to back");
    ScratchDir dir;
    testsupport::AppendedIso iso(dir.File("multi.iso"), dir);
    std::string error;
    for (int s = 1; s <= 3; ++s) {
      Fill(dir.File("s" + std::to_string(s)), "f" + std::to_string(s) + ".txt", std::string(3000 * s, 'a' + s));
      ASSERT_TRUE(iso.Append(dir.File("s" + std::to_string(s)), gap, error)) << error;
    }
    const auto& starts = iso.Starts();
    const auto& ends = iso.Ends();
    if (gap) {  // a mark in the first session's lead-out, where no track lies
      std::fstream f(iso.Path(), std::ios::binary | std::ios::in | std::ios::out);
      f.seekp(std::streamoff(ends[0] + 5) * 2048);
      f << "between sessions";
    }
    orvane::DiscLayout layout;
    auto d = Serve(iso.Path(), &layout);
    EXPECT_EQ(layout.format, "ISO");

    const SessionInfo toc = FullToc(*d);
    ASSERT_EQ(toc.GetSessionNum(), 3);
    for (int s = 0; s < 3; ++s) {
      const TocData& session = toc[s];
      EXPECT_EQ(session.GetFirstTrackNo(), s + 1);
      EXPECT_EQ(session.GetLastTrackNo(), s + 1);
      const TocData::_Data* track = session.GetTrackData(s + 1);
      ASSERT_TRUE(track);
      EXPECT_EQ(track->GetStartPos(), static_cast<std::int32_t>(starts[s]));
      EXPECT_EQ(session.GetLeadOutStartPos(), ends[s]) << "session " << s + 1;
      EXPECT_EQ(d->JudgeFileSystem(starts[s]), 1);

      TRACK_INFO ti{};
      ASSERT_EQ(d->ReadTrackInfo(ti, READ_TRACK_INFO_TRACK, s + 1), 0);
      const mmc::TrackInfoFields t(ti);
      EXPECT_EQ(t.SessionNumber(), s + 1);
      EXPECT_EQ(t.Start(), starts[s]);
      EXPECT_EQ(t.End(), ends[s]);
    }
    // A later session's first track has the pregap a disc gives it only
    // after a recorder's gap.
    EXPECT_EQ(layout.tracks[1].pregapStart, static_cast<std::int32_t>(starts[1] - (gap ? 150 : 0)));
    DISC_INFO di{};
    ASSERT_EQ(d->ReadDiscInfo(di), 0);
    EXPECT_EQ(mmc::DiscInfoFields(di).Sessions(), 3);

    if (gap) {
      unsigned char sector[2048] = {};
      ASSERT_EQ(d->ReadCD_10(sector, sizeof sector, 1, ends[0] + 5), 0) << "gap sectors are served as stored";
      EXPECT_EQ(std::string(reinterpret_cast<char*>(sector), 16), "between sessions");
    }
    unsigned char sector[2048];
    EXPECT_NE(d->ReadCD_10(sector, sizeof sector, 1, ends[2]), 0) << "nothing past the file";
  }
}

TEST(ReaderSessions, MkudffsSessionsOfEveryMediumKind) {
  if (!testsupport::HaveProgram("mkudffs")) GTEST_SKIP() << "mkudffs is missing";
  // hd: a plain partition closed by an anchor in its last block; cdr: a
  // virtual partition closed by its allocation table, then a recorder's gap.
  for (const char* media : {"hd", "cdr"}) {
    SCOPED_TRACE(media);
    ScratchDir dir;
    const std::string img = dir.File("udf.img");
    const bool worm = std::string(media) == "cdr";
    auto run = testsupport::RunProgram(std::string("mkudffs --new-file --media-type=") + media +
                                           " -b 2048 --vid=ONE " + testsupport::ShellQuote(img) + " 1000",
                                       dir);
    ASSERT_EQ(run.status, 0) << run.err;
    const auto first = static_cast<std::uint32_t>(std::filesystem::file_size(img) / 2048);
    const std::uint32_t second = first + (worm ? 11400 : 0);
    run = testsupport::RunProgram(std::string("mkudffs --media-type=") + media + " -b 2048 --vid=TWO --startblock=" +
                                      std::to_string(second) + " " + testsupport::ShellQuote(img) + " " +
                                      std::to_string(second + 1000),
                                  dir);
    ASSERT_EQ(run.status, 0) << run.err;
    auto d = Serve(img);
    const SessionInfo toc = FullToc(*d);
    ASSERT_EQ(toc.GetSessionNum(), 2);
    EXPECT_EQ(toc[0].GetLeadOutStartPos(), first);
    ASSERT_TRUE(toc[1].GetTrackData(2));
    EXPECT_EQ(toc[1].GetTrackData(2)->GetStartPos(), static_cast<std::int32_t>(second));
    EXPECT_EQ(d->JudgeFileSystem(0), 2);
    EXPECT_EQ(d->JudgeFileSystem(second), 2);
  }
}

TEST(ReaderSessions, XorrisoOverwritableEmulationIsOneSession) {
  if (!testsupport::HaveProgram("xorriso")) GTEST_SKIP() << "xorriso is missing";
  ScratchDir dir;
  const std::string img = dir.File("grown.iso");
  for (const char* name : {"old", "new"}) {
    Fill(dir.File(name), std::string(name) + ".txt", std::string(9000, name[0]));
    const auto run = testsupport::RunProgram("xorriso -dev " + testsupport::ShellQuote(img) + " -map " +
                                                 testsupport::ShellQuote(dir.File(name)) + " /" + name,
                                             dir);
    ASSERT_EQ(run.status, 0) << run.err;
  }
  orvane::DiscLayout layout;
  auto d = Serve(img, &layout);
  EXPECT_EQ(FullToc(*d).GetSessionNum(), 1);
  ASSERT_EQ(layout.tracks.size(), 1u);
  EXPECT_EQ(layout.tracks[0].length, std::filesystem::file_size(img) / 2048);
}

}  // namespace
