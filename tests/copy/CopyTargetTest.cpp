// The copy's destination folder: links made as links and never written
// through, permission bits and times applied, nothing made outside it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "copy/CopyOutput.h"
#include "tests/support/CdImages.h"

using namespace testsupport;
namespace stdfs = std::filesystem;

namespace {

// Every path below dir, with a link's target after "->", a file's bytes after "=".
std::string Listing(const stdfs::path& dir) {
  std::set<std::string> rows;
  for (auto it = stdfs::recursive_directory_iterator(dir); it != stdfs::recursive_directory_iterator(); ++it) {
    std::string row = it->path().lexically_relative(dir).string();
    if (it->is_symlink()) {
      row += " -> " + stdfs::read_symlink(it->path()).string();
    } else if (it->is_regular_file()) {
      std::ifstream in(it->path(), std::ios::binary);
      row += " = " + std::string(std::istreambuf_iterator<char>(in), {});
    }
    rows.insert(row);
  }
  std::string s;
  for (const auto& r : rows) s += r + "\n";
  return s;
}

bool WriteFile(CopyTarget& t, const stdfs::path& p, const std::string& bytes, std::string& reason) {
  CGetCDData::Output out(t, p);
  return out.Open(reason) && out.Write(bytes.data(), bytes.size(), reason) && out.Close(reason);
}

struct Scene {
  ScratchDir dir;
  stdfs::path outside, root;
  CopyTarget t;
  explicit Scene(CopyTarget::Resolve r) {
    outside = dir.File("outside");
    stdfs::create_directory(outside);
    std::ofstream(outside / "passwd") << "keep";
    root = dir.File("out");
    t.SetResolve(r);
    std::string reason;
    EXPECT_TRUE(t.Create(root, reason)) << reason;
  }
};

}  // namespace

// A volume's link "a -> /etc" followed by "a/passwd", and ".." chains:
// every write that would pass through a link is refused, whichever way the
// folders are resolved, and nothing outside the copy's folder changes.
TEST(CopyTarget, NothingIsWrittenThroughALinkTheCopyMade) {
  for (auto mode : {CopyTarget::Resolve::Auto, CopyTarget::Resolve::ComponentWalk}) {
    SCOPED_TRACE(mode == CopyTarget::Resolve::Auto ? "openat2" : "walk");
    Scene s(mode);
    std::string reason;
    ASSERT_TRUE(s.t.MakeLink(s.root / "a", s.outside.string(), std::nullopt, reason)) << reason;
    ASSERT_TRUE(s.t.MakeLink(s.root / "up", "..", std::nullopt, reason)) << reason;
    ASSERT_TRUE(s.t.MakeFolder(s.root / "d", reason)) << reason;
    ASSERT_TRUE(s.t.MakeLink(s.root / "d" / "up", "../..", std::nullopt, reason)) << reason;
    ASSERT_TRUE(s.t.MakeLink(s.root / "f", (s.outside / "passwd").string(), std::nullopt, reason)) << reason;

    reason.clear();
    EXPECT_FALSE(WriteFile(s.t, s.root / "a" / "passwd", "owned", reason));
    EXPECT_NE(reason.find("link"), std::string::npos) << reason;
    EXPECT_FALSE(s.t.MakeFolder(s.root / "a", reason));
    EXPECT_EQ(reason, "a link has this name; nothing is written through a link");
    EXPECT_FALSE(s.t.MakeFolder(s.root / "a" / "sub", reason));
    EXPECT_FALSE(WriteFile(s.t, s.root / "up" / "outside" / "passwd", "owned", reason));
    EXPECT_FALSE(WriteFile(s.t, s.root / "d" / "up" / "outside" / "passwd", "owned", reason));
    EXPECT_FALSE(s.t.MakeLink(s.root / "up" / "evil", "/", std::nullopt, reason));
    // A link at the file's own name is not followed either.
    EXPECT_FALSE(WriteFile(s.t, s.root / "f", "owned", reason));
    EXPECT_FALSE(s.t.MakeLink(s.root / "a", "/tmp", std::nullopt, reason));
    // Paths that leave the folder by name are refused before anything is made.
    EXPECT_FALSE(WriteFile(s.t, s.root / ".." / "outside" / "x", "owned", reason));
    EXPECT_FALSE(s.t.MakeFolder(s.dir.File("elsewhere"), reason));
    EXPECT_FALSE(s.t.MakeFolder(s.root, reason));

    // Beside the links, ordinary items still go where they belong.
    ASSERT_TRUE(WriteFile(s.t, s.root / "d" / "ok", "fine", reason)) << reason;
    EXPECT_EQ(Listing(s.outside), "passwd = keep\n");
    EXPECT_EQ(Listing(s.root), "a -> " + s.outside.string() + "\nd\nd/ok = fine\nd/up -> ../..\nf -> " +
                                   (s.outside / "passwd").string() + "\nup -> ..\n");
    EXPECT_FALSE(stdfs::exists(s.dir.File("elsewhere")));
    EXPECT_FALSE(stdfs::exists(s.dir.File("outside/x")));
  }
}

// A folder that a volume names where a link stood, replaced behind the
// copy's back after the folder was opened, is still not written through.
TEST(CopyTarget, AFolderSwappedForALinkIsNotFollowed) {
  Scene s(CopyTarget::Resolve::Auto);
  std::string reason;
  ASSERT_TRUE(s.t.MakeFolder(s.root / "d", reason));
  stdfs::remove(s.root / "d");
  stdfs::create_directory_symlink(s.outside, s.root / "d");
  EXPECT_FALSE(WriteFile(s.t, s.root / "d" / "passwd", "owned", reason));
  EXPECT_EQ(Listing(s.outside), "passwd = keep\n");
}

TEST(CopyTarget, LinkTargetsAreKeptByteForByte) {
  Scene s(CopyTarget::Resolve::Auto);
  std::string reason;
  int n = 0;
  for (const std::string target : {"../../x//y/", "/etc/passwd", "no such file", "\xC3\xA9t\xC3\xA9", ".", "a\\b"}) {
    const stdfs::path p = s.root / ("l" + std::to_string(n++));
    ASSERT_TRUE(s.t.MakeLink(p, target, std::nullopt, reason)) << target << ": " << reason;
    char buf[256];
    const ssize_t n = ::readlink(p.c_str(), buf, sizeof buf);
    EXPECT_EQ(std::string(buf, static_cast<std::size_t>(std::max<ssize_t>(n, 0))), target);
  }
  EXPECT_FALSE(s.t.MakeLink(s.root / "empty", "", std::nullopt, reason));
  EXPECT_FALSE(s.t.MakeLink(s.root / "nul", std::string("a\0b", 3), std::nullopt, reason));
}

// Recorded permission bits are applied without setuid, setgid or sticky,
// and recorded times to files, links and folders (a folder's once its
// children are in, so they do not move it again).
TEST(CopyTarget, PermissionBitsAndTimesAreApplied) {
  Scene s(CopyTarget::Resolve::Auto);
  std::string reason;
  const std::int64_t t1 = 1110036351, t2 = 946684800, t3 = -86400;  // 2005, 2000, 1969
  ASSERT_TRUE(s.t.MakeFolder(s.root / "d", reason));
  {
    CGetCDData::Output out(s.t, s.root / "d" / "tool");
    ASSERT_TRUE(out.Open(reason));
    out.SetAttributes(07755, t1);
    ASSERT_TRUE(out.Write("x", 1, reason) && out.Skip(100000, reason) && out.Close(reason)) << reason;
  }
  {
    CGetCDData::Output out(s.t, s.root / "d" / "plain");
    out.SetAttributes(std::nullopt, std::nullopt);
    ASSERT_TRUE(out.Open(reason) && out.Close(reason));
  }
  ASSERT_TRUE(s.t.MakeLink(s.root / "d" / "l", "tool", t3, reason)) << reason;
  ASSERT_TRUE(s.t.ApplyFolderTimes(s.root / "d", 01500, t2, reason)) << reason;
  ASSERT_TRUE(s.t.ApplyFolderTimes(s.root, 0750, t3, reason)) << reason;

  struct stat st;
  ASSERT_EQ(::stat((s.root / "d" / "tool").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0755u);
  EXPECT_EQ(st.st_mtime, t1);
  EXPECT_EQ(st.st_size, 100001);
  ASSERT_EQ(::lstat((s.root / "d" / "l").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, t3);
  ASSERT_EQ(::stat((s.root / "d").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0500u);
  EXPECT_EQ(st.st_mtime, t2);
  ASSERT_EQ(::stat(s.root.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0750u);
  EXPECT_EQ(st.st_mtime, t3);
  ::chmod((s.root / "d").c_str(), 0700);  // so the scratch folder can go
}

// A cancelled file goes, from the folder it was made in.
TEST(CopyTarget, ADiscardedFileIsRemoved) {
  Scene s(CopyTarget::Resolve::ComponentWalk);
  std::string reason;
  ASSERT_TRUE(s.t.MakeFolder(s.root / "d", reason));
  {
    CGetCDData::Output out(s.t, s.root / "d" / "part");
    ASSERT_TRUE(out.Open(reason) && out.Write("abc", 3, reason));
    EXPECT_TRUE(stdfs::exists(s.root / "d" / "part"));
  }
  EXPECT_EQ(Listing(s.root), "d\n");
}

TEST(CopyTarget, TheSummaryListsSkippedItemsAfterDamage) {
  CopyResult r;
  r.unreadable = 2;
  r.damaged.push_back({"/x/f", 2});
  r.skipped.push_back({"/x/dev/null", "device"});
  r.skipped.push_back({"/x/fifo", "FIFO"});
  EXPECT_EQ(CopyReportText(r),
            "2 sectors could not be read and were written as zeros:\n/x/f: 2\n"
            "2 items were not made:\nskipped: /x/dev/null (device)\nskipped: /x/fifo (FIFO)");
  r.unreadable = 0;
  r.damaged.clear();
  r.skipped.resize(1);
  EXPECT_EQ(CopyReportText(r), "1 item was not made:\nskipped: /x/dev/null (device)");
  r.cancelled = true;
  EXPECT_EQ(CopyReportText(r), "");
}
