// `cmake --install` into a scratch DESTDIR: the programs, the help, the
// samples, the desktop entry, the icons, the MIME types, the manual pages and
// the completion land where a desktop and a shell look for them, and the
// installed tools work from there.
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "platform/ui/Paths.h"
#include "res/Resources.h"
#include "tests/desktop/DesktopTestUtil.h"
#include "tests/support/CdInfo.h"

using namespace desktoptest;
using testsupport::HaveProgram;
using testsupport::RunProgram;
using testsupport::ScratchDir;
using testsupport::ShellQuote;

namespace {

constexpr const char* kPrefix = "/opt/tessal-test";

struct PngSize {
  int width = 0, height = 0;
  bool rgba = false;
};

// The size from a PNG's IHDR, after checking the signature and the chunk's CRC.
PngSize ReadPngHeader(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  unsigned char h[33] = {};
  f.read(reinterpret_cast<char*>(h), sizeof h);
  PngSize s;
  if (!f || std::memcmp(h, "\x89PNG\r\n\x1a\n", 8) != 0 || std::memcmp(h + 12, "IHDR", 4) != 0) return s;
  auto be = [&](int at) { return static_cast<int>(h[at] << 24 | h[at + 1] << 16 | h[at + 2] << 8 | h[at + 3]); };
  std::uint32_t crc = 0xFFFFFFFF;
  for (int i = 12; i < 29; ++i) {
    crc ^= h[i];
    for (int k = 0; k < 8; ++k) crc = (crc & 1) ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
  }
  if (~crc != static_cast<std::uint32_t>(be(29))) return s;
  s.width = be(16);
  s.height = be(20);
  s.rgba = h[24] == 8 && h[25] == 6;
  return s;
}

std::string ReadText(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

// The types a shared-mime-info package declares.
std::set<std::string> DeclaredTypes(const fs::path& package) {
  const std::string xml = ReadText(package);
  static const std::regex type("<mime-type type=\"([^\"]+)\"");
  std::set<std::string> types;
  for (auto m = std::sregex_iterator(xml.begin(), xml.end(), type); m != std::sregex_iterator(); ++m)
    types.insert((*m)[1]);
  return types;
}

class Installed : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_dir = new ScratchDir;
    ScratchDir work;  // the run's own files stay out of DESTDIR
    s_run = RunProgram("DESTDIR=" + ShellQuote(s_dir->Path()) + " cmake --install " + ShellQuote(BuildRoot().string()) +
                           " --prefix " + kPrefix,
                       work);
  }
  static void TearDownTestSuite() {
    delete s_dir;
    s_dir = nullptr;
  }
  void SetUp() override { ASSERT_EQ(s_run.status, 0) << s_run.out << s_run.err; }
  static fs::path Root() { return fs::path(s_dir->Path()) / fs::path(kPrefix).relative_path(); }

  static ScratchDir* s_dir;
  static testsupport::ProgramRun s_run;
};
ScratchDir* Installed::s_dir = nullptr;
testsupport::ProgramRun Installed::s_run;

TEST_F(Installed, ProgramsHelpAndSamplesInTheirPlaces) {
  EXPECT_TRUE(fs::exists(Root() / "bin" / "tessal-cli"));
  if (fs::exists(BinDir() / "tessal")) {
    EXPECT_TRUE(fs::exists(Root() / "bin" / "tessal"));
  }
  for (const char* page : {"index.html", "commands.html", "panels.html", "saving.html", "formats.html", "drives.html",
                           "cli.html", "style.css"})
    EXPECT_TRUE(fs::is_regular_file(Root() / "share" / "tessal" / "help" / page)) << page;
  for (const char* sample : {"mixed-mode.cue", "mixed-mode.bin", "cdrom-xa.cue", "cdrom-xa.bin", "cdrom-xa.bin.map",
                             "udf-dvd.nrg", "README.txt"}) {
    SCOPED_TRACE(sample);
    const fs::path p = Root() / "share" / "tessal" / "samples" / sample;
    ASSERT_TRUE(fs::is_regular_file(p));
    EXPECT_EQ(fs::file_size(p), fs::file_size(Sample(sample)));
  }
  EXPECT_TRUE(fs::is_regular_file(Root() / "share" / "doc" / "tessal" / "README.md"));
  // Nothing escapes the prefix.
  for (const auto& e : fs::directory_iterator(s_dir->Path())) EXPECT_EQ(e.path().filename(), "opt");
}

TEST_F(Installed, TheInstalledProgramFindsItsOwnHelpAndSamples) {
  const fs::path exe = Root() / "bin" / "tessal";
  EXPECT_EQ(ui::HelpFile(exe), (Root() / "share" / "tessal" / "help" / "index.html").lexically_normal());
  EXPECT_EQ(ui::SamplesFolder(exe), (Root() / "share" / "tessal" / "samples").lexically_normal());
  // And the installed tool reads the installed samples.
  ScratchDir dir;
  auto r = RunProgram(ShellQuote((Root() / "bin" / "tessal-cli").string()) + " toc " +
                          ShellQuote((Root() / "share" / "tessal" / "samples" / "mixed-mode.cue").string()),
                      dir);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("AUDIO"), std::string::npos) << r.out;
}

TEST_F(Installed, DesktopEntryAndIconsInEveryThemeSize) {
  const fs::path entry = Root() / "share" / "applications" / "tessal.desktop";
  ASSERT_TRUE(fs::is_regular_file(entry));
  std::ifstream f(entry);
  std::string text((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  // A file manager hands the program the file it opens.
  EXPECT_NE(text.find("\nExec=tessal %f\n"), std::string::npos);
  EXPECT_NE(text.find("\nIcon=tessal\n"), std::string::npos);
  for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
    SCOPED_TRACE(size);
    const fs::path icon =
        Root() / "share" / "icons" / "hicolor" / (std::to_string(size) + "x" + std::to_string(size)) / "apps" / "tessal.png";
    ASSERT_TRUE(fs::is_regular_file(icon));
    const PngSize s = ReadPngHeader(icon);
    EXPECT_EQ(s.width, size);
    EXPECT_EQ(s.height, size);
    EXPECT_TRUE(s.rgba);
  }
  // ImageMagick decodes the 32-pixel icon to the very pixels of the window
  // icon, which the skin draws at the same size.
  if (HaveProgram("convert")) {
    ScratchDir dir;
    const fs::path icon = Root() / "share" / "icons" / "hicolor" / "32x32" / "apps" / "tessal.png";
    auto c = RunProgram("convert " + ShellQuote(icon.string()) + " -depth 8 rgba:-", dir);
    ASSERT_EQ(c.status, 0) << c.err;
    const res::Image win = res::LoadIcon(128);
    ASSERT_EQ(win.width, 32);
    ASSERT_EQ(c.out.size(), 32u * 32 * 4);
    int differ = 0;
    for (std::size_t i = 0; i < 32 * 32; ++i) {
      const auto* px = reinterpret_cast<const unsigned char*>(c.out.data()) + i * 4;
      const unsigned a = win.alpha.empty() ? 255 : win.alpha[i];
      if (px[3] != a) ++differ;
      else if (a != 0 && static_cast<std::uint32_t>((px[0] << 16) | (px[1] << 8) | px[2]) != win.rgb[i]) ++differ;
    }
    EXPECT_EQ(differ, 0);
    // The larger icons span several stored deflate blocks: each decodes whole.
    for (int size : {64, 128, 256}) {
      const fs::path big = Root() / "share" / "icons" / "hicolor" / (std::to_string(size) + "x" + std::to_string(size)) /
                           "apps" / "tessal.png";
      auto d = RunProgram("convert " + ShellQuote(big.string()) + " -depth 8 rgba:-", dir);
      EXPECT_EQ(d.status, 0) << d.err;
      EXPECT_EQ(d.err, "") << size;
      EXPECT_EQ(d.out.size(), std::size_t(size) * size * 4) << size;
    }
  }
  if (!HaveProgram("desktop-file-validate")) GTEST_SKIP() << "desktop-file-validate (desktop-file-utils) is not installed";
  ScratchDir dir;
  auto v = RunProgram("desktop-file-validate " + ShellQuote(entry.string()), dir);
  EXPECT_EQ(v.status, 0) << v.out << v.err;
  EXPECT_EQ(v.out + v.err, "");  // not even a hint
}

TEST_F(Installed, ManualPagesAndCompletionWhereManAndBashLook) {
  for (const char* page : {"tessal.1", "tessal-cli.1"}) {
    if (std::string(page) == "tessal.1" && !fs::exists(BinDir() / "tessal")) continue;
    const fs::path p = Root() / "share" / "man" / "man1" / page;
    ASSERT_TRUE(fs::is_regular_file(p)) << page;
    EXPECT_EQ(ReadText(p), ReadText(BuildRoot() / "share" / "man" / "man1" / page)) << page;
  }
  const fs::path completion = Root() / "share" / "bash-completion" / "completions" / "tessal-cli";
  ASSERT_TRUE(fs::is_regular_file(completion));
  EXPECT_NE(ReadText(completion).find("complete -F _tessal_cli tessal-cli"), std::string::npos);
}

// The installed package, compiled the way a desktop compiles it, maps each
// format's name to its type.
TEST_F(Installed, MimePackageGivesTheFormatsSharedMimeInfoLacksATypeEach) {
  const fs::path mime = Root() / "share" / "mime";
  ASSERT_TRUE(fs::is_regular_file(mime / "packages" / "tessal.xml"));
  if (!HaveProgram("update-mime-database")) GTEST_SKIP() << "update-mime-database (shared-mime-info) is not installed";
  ScratchDir dir;
  // As a desktop whose data folders include the prefix runs it (else it adds
  // a note that nothing would find the result).
  auto r = RunProgram("XDG_DATA_DIRS=" + ShellQuote((Root() / "share").string()) + " update-mime-database " +
                          ShellQuote(mime.string()),
                      dir);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out + r.err, "");  // a package it cannot read draws a warning
  // globs2: "weight:type:pattern" per line.
  std::map<std::string, std::string> typeOfGlob;
  std::istringstream globs(ReadText(mime / "globs2"));
  for (std::string line; std::getline(globs, line);) {
    if (line.empty() || line[0] == '#') continue;
    const std::size_t a = line.find(':'), b = line.find(':', a + 1);
    if (a == std::string::npos || b == std::string::npos) continue;
    typeOfGlob[line.substr(b + 1, line.find(':', b + 1) - b - 1)] = line.substr(a + 1, b - a - 1);
  }
  EXPECT_EQ(typeOfGlob["*.nrg"], "application/x-nrg");
  EXPECT_EQ(typeOfGlob["*.mds"], "application/x-mds");
  EXPECT_EQ(typeOfGlob["*.ccd"], "application/x-ccd");
  EXPECT_EQ(typeOfGlob["*.cdt"], "application/x-cdtext");
  // Content wins over a wrong name where the format has a signature.
  const std::string magic = ReadText(mime / "magic");
  EXPECT_NE(magic.find("[50:application/x-mds]"), std::string::npos);
  EXPECT_NE(magic.find("MEDIA DESCRIPTOR"), std::string::npos);
  EXPECT_NE(magic.find("[CloneCD]"), std::string::npos);
}

// Every type the desktop entry claims is one that shared-mime-info or our
// own package defines (a misspelt type matches no file at all), and every
// type of our package is claimed.
TEST_F(Installed, TheDesktopEntryClaimsExactlyTheImageTypesThatExist) {
  const std::string entry = ReadText(Root() / "share" / "applications" / "tessal.desktop");
  const std::size_t at = entry.find("\nMimeType=");
  ASSERT_NE(at, std::string::npos);
  std::set<std::string> claimed;
  std::istringstream list(entry.substr(at + 10, entry.find('\n', at + 1) - at - 10));
  for (std::string t; std::getline(list, t, ';');)
    if (!t.empty()) claimed.insert(t);
  const std::set<std::string> ours = DeclaredTypes(Root() / "share" / "mime" / "packages" / "tessal.xml");
  EXPECT_EQ(ours.size(), 4u);
  for (const std::string& t : ours) EXPECT_EQ(claimed.count(t), 1u) << t;
  for (const char* t : {"application/x-cd-image", "application/x-cue", "application/x-cdrdao-toc",
                        "application/x-raw-disk-image", "application/x-mame-chd"})
    EXPECT_EQ(claimed.count(t), 1u) << t;
  const fs::path system = "/usr/share/mime/packages/freedesktop.org.xml";
  if (!fs::exists(system)) GTEST_SKIP() << system << " (shared-mime-info) is not installed";
  const std::set<std::string> known = DeclaredTypes(system);
  for (const std::string& t : claimed) EXPECT_TRUE(known.count(t) || ours.count(t)) << t << " is defined nowhere";
  // Ours only adds: a type shared-mime-info has already is reused, not redefined.
  for (const std::string& t : ours) EXPECT_EQ(known.count(t), 0u) << t;
}

}  // namespace
