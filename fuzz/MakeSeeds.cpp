// Writes the fuzz targets' seed corpora from the tests' fixture builders:
// fuzz_seeds <folder> makes <folder>/<target>/<name> for every target. The
// seeds are small well-formed inputs of each kind, so the fuzzer starts from
// what real media hold and spends its time on the ways they break.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "disc/DevCmdROM.h"
#include "fuzz/FuzzSupport.h"
#include "fuzz/SparseImage.h"
#include "platform/orvane/CdText.h"
#include "platform/orvane/ChdContainer.h"
#include "platform/orvane/VirtualDrive.h"
#include "tests/support/CdImages.h"
#include "tests/support/CueSheet.h"
#include "tests/support/FormatImages.h"
#include "tests/support/IsoBuilder.h"
#include "tests/support/MemoryImage.h"
#include "tests/support/UdfBuilder.h"

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

fs::path g_root;
int g_count = 0;

void Seed(const std::string& target, const std::string& name, const Bytes& bytes) {
  const fs::path dir = g_root / target;
  fs::create_directories(dir);
  std::ofstream out(dir / name, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) {
    std::fprintf(stderr, "cannot write %s\n", (dir / name).c_str());
    std::exit(1);
  }
  ++g_count;
}
// The extraction target reads the browser's inputs.
void BrowserSeed(const std::string& name, const Bytes& bytes) {
  Seed("fuzz_browser", name, bytes);
  Seed("fuzz_extract", name, bytes);
}
void Seed(const std::string& target, const std::string& name, const std::string& text) {
  Seed(target, name, Bytes(text.begin(), text.end()));
}
Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}
Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }
Bytes Part() { return Text(std::string(fuzzsupport::kPartSeparator)); }

IsoBuilder SampleIso(bool joliet) {
  IsoBuilder b;
  b.joliet = joliet;
  IsoNode& docs = b.Folder(b.Root(), "DOCS");
  docs.jolietName = "Documents été";
  b.File(docs, "README.TXT;1", Bytes(3000, 'r')).jolietName = "Read me.txt;1";
  b.Folder(docs, "A");
  b.File(b.Root(), "NOVERS", Bytes(10, 'n'));
  IsoNode& big = b.Folder(b.Root(), "MANY");
  for (int i = 0; i < 70; ++i) b.File(big, "FILE" + std::to_string(i) + ".DAT;1", Bytes(1, 'x'));
  return b;
}

UdfNode SampleUdf(bool loop) {
  UdfNode sub = UdfNode::Dir("sub", {UdfNode::File("deep.txt", "deep")});
  if (loop) sub.linkToRoot = true;
  UdfNode wide = UdfNode::File("wïde name.txt", "w");
  wide.wideName = true;
  UdfNode emb = UdfNode::File("embedded", "tiny");
  emb.embedded = true;
  UdfNode split = UdfNode::File("split.bin", Bytes(5000, 's'));
  split.extents = 3;
  split.aed = true;
  UdfNode sparse = UdfNode::File("sparse.bin", Bytes(100, 'p'));
  sparse.size = 100000;
  UdfNode embDir = UdfNode::Dir("embdir", {UdfNode::File("in.txt", "in")});
  embDir.embedded = true;
  return UdfNode::Dir("", {sub, wide, emb, split, sparse, embDir, UdfNode::File("a.txt", "hello")});
}

struct UdfCase {
  const char* name;
  UdfBuildOptions options;
  bool loop = false;
};

std::vector<UdfCase> UdfCases() {
  std::vector<UdfCase> cases;
  cases.push_back({"plain-201", {}});
  UdfBuildOptions o;
  o.revision = 0x0150;
  o.ad = UdfAdKind::Long;
  cases.push_back({"plain-150-long", o});
  o = {};
  o.extendedEntries = true;
  o.revision = 0x0200;
  cases.push_back({"efe-200", o});
  o = {};
  o.partition = UdfPartitionKind::Virtual;
  cases.push_back({"vat-201", o});
  o.revision = 0x0150;
  cases.push_back({"vat-150", o});
  o.vatEmbedded = true;
  cases.push_back({"vat-150-embedded", o});
  o = {};
  o.partition = UdfPartitionKind::Virtual;
  o.vatExtents = 2;
  o.vatImplUse = 8;
  cases.push_back({"vat-201-two-extents", o});
  o = {};
  o.partition = UdfPartitionKind::Sparable;
  o.sparedPackets = {32};
  cases.push_back({"sparable", o});
  o = {};
  o.volumeStart = 16;
  cases.push_back({"later-session", o});
  cases.push_back({"loop", {}, true});
  return cases;
}

// The sparse image with the UDF target's header.
Bytes UdfInput(const UdfImage& img) {
  Bytes in(10, 0);
  if (img.nextWritable) {
    in[0] = 1;
    for (int i = 0; i < 4; ++i) in[1 + i] = static_cast<std::uint8_t>(*img.nextWritable >> (8 * i));
  }
  for (int i = 0; i < 4; ++i) in[5 + i] = static_cast<std::uint8_t>(img.volumeStart >> (8 * i));
  in[9] = static_cast<std::uint8_t>(std::min<std::size_t>(img.unreadable.size(), 255));
  int n = 0;
  for (std::uint32_t s : img.unreadable) {
    if (n++ == 255) break;
    in.push_back(static_cast<std::uint8_t>(s));
    in.push_back(static_cast<std::uint8_t>(s >> 8));
  }
  const Bytes sparse = fuzzsupport::MakeSparse(img.bytes, 2048);
  in.insert(in.end(), sparse.begin(), sparse.end());
  return in;
}

std::unique_ptr<CDevCmdROM> Device(orvane::DiscLayout l) {
  return std::make_unique<CDevCmdROM>(1, orvane::CreateVirtualDrive(std::move(l), "seed"));
}
std::shared_ptr<MemoryImageFile> File(Bytes b) { return std::make_shared<MemoryImageFile>(std::move(b)); }

Bytes ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Discs in the formats of burning and dumping tools, small enough to mutate.
std::vector<std::pair<std::string, FixtureDisc>> FixtureDiscs() {
  FixtureDisc mixed;
  mixed.title = "A Disc";
  mixed.performer = "Someone";
  mixed.catalog = "1234567890123";
  mixed.tracks.push_back({orvane::TrackMode::Mode1, 2352, 12});
  FixtureTrack audio{orvane::TrackMode::Audio, 2352, 10, 4};
  audio.isrc = "USABC0100001";
  audio.title = "Song";
  mixed.tracks.push_back(audio);
  FixtureDisc sessions;
  sessions.tracks.push_back({orvane::TrackMode::Audio, 2352, 8});
  sessions.tracks.push_back({orvane::TrackMode::Mode2Xa, 2352, 8, 0, 2});
  FixtureDisc sub;
  sub.tracks.push_back({orvane::TrackMode::Mode1, 2448, 8});
  sub.tracks.push_back({orvane::TrackMode::Audio, 2448, 6});
  FixtureDisc cooked;
  cooked.tracks.push_back({orvane::TrackMode::Mode1, 2048, 12});
  cooked.tracks.push_back({orvane::TrackMode::Mode2Xa, 2336, 6});
  return {{"mixed", mixed}, {"sessions", sessions}, {"subchannel", sub}, {"cooked", cooked}};
}

void FormatSeeds() {
  for (const auto& [name, disc] : FixtureDiscs()) {
    Seed("fuzz_image_nrg", name + "-v2", NrgImage(disc));
    NrgOptions v1;
    v1.version = 1;
    v1.trackAtOnce = true;
    Seed("fuzz_image_nrg", name + "-v1-tao", NrgImage(disc, v1));
    // The writers below need a folder; what they wrote becomes one input.
    const bool rawData = std::all_of(disc.tracks.begin(), disc.tracks.end(), [](const FixtureTrack& t) {
      return t.mode == orvane::TrackMode::Audio || t.sectorSize >= 2352;
    });
    if (rawData && disc.tracks.front().pregap == 0) {
      ScratchDir dir;
      WriteCloneCd(disc, dir, "image");
      Bytes in = Cat({ReadAll(dir.File("image.ccd")), Part(), ReadAll(dir.File("image.img"))});
      if (fs::exists(dir.File("image.sub"))) in = Cat({in, Part(), ReadAll(dir.File("image.sub"))});
      Seed("fuzz_image_ccd", name, in);
    }
    if (disc.tracks.front().pregap == 0 &&
        std::all_of(disc.tracks.begin(), disc.tracks.end(), [](const FixtureTrack& t) { return t.session == 1 && t.sectorSize <= 2352; })) {
      ScratchDir dir;
      WriteCdrdaoToc(disc, dir, "image");
      Seed("fuzz_image_toc", name, Cat({ReadAll(dir.File("image.toc")), Part(), ReadAll(dir.File("image.bin"))}));
    }
    {
      ScratchDir dir;
      WriteMds(disc, dir, "image");
      Seed("fuzz_image_mds", name, Cat({ReadAll(dir.File("image.mds")), Part(), ReadAll(dir.File("image.mdf"))}));
    }
  }
}

// CHDs as chdman writes them (when it is installed), for the CHD reader,
// and their first hunks, for the codec target: tag, hunk size, stream.
void ChdHunkSeeds(const std::string& name, const std::string& path) {
  std::string err;
  auto f = orvane::OpenImageFile(path, err);
  orvane::chd::Header h;
  std::vector<orvane::chd::HunkEntry> map;
  if (!f || orvane::chd::ParseHeader(*f, h, err) != orvane::chd::HeaderStatus::Ok ||
      orvane::chd::ReadMap(*f, h, map) != orvane::chd::MapStatus::Ok)
    return;
  const std::uint16_t units = h.hunkBytes % 2448 == 0 ? static_cast<std::uint16_t>(0x8000 | h.hunkBytes / 2448)
                                                      : static_cast<std::uint16_t>(h.hunkBytes / 256);
  int seeds = 0;
  for (std::size_t i = 0; i < map.size() && seeds < 3; ++i) {
    if (map[i].kind != orvane::chd::HunkKind::Codec) continue;
    Bytes in(6 + map[i].length);
    const std::uint32_t tag = h.compressors[map[i].codec];
    for (int b = 0; b < 4; ++b) in[b] = static_cast<std::uint8_t>(tag >> (24 - 8 * b));
    in[4] = static_cast<std::uint8_t>(units >> 8);
    in[5] = static_cast<std::uint8_t>(units);
    if (f->ReadAt(map[i].offset, in.data() + 6, map[i].length) != map[i].length) return;
    Seed("fuzz_chd_codecs", name + "-hunk" + std::to_string(i), in);
    ++seeds;
  }
}

void ChdSeeds() {
  if (std::system("command -v chdman >/dev/null 2>&1") != 0) {
    std::fprintf(stderr, "chdman is not installed: no CHD seeds\n");
    return;
  }
  ScratchDir dir;
  FixtureDisc cd;
  cd.tracks.push_back({orvane::TrackMode::Mode1, 2352, 10});
  cd.tracks.push_back({orvane::TrackMode::Audio, 2352, 9, 3});
  const std::string cue = WriteCueSheet(cd, dir, "cd");
  const std::string iso = dir.Write("dvd.iso", IsoVolume(24));
  const std::vector<std::pair<std::string, std::string>> made = {
      {"cdlz", "createcd -c cdlz -hs 4896 -i " + cue}, {"cdzl", "createcd -c cdzl -hs 4896 -i " + cue},
      {"cdfl", "createcd -c cdfl -hs 4896 -i " + cue}, {"cd-none", "createcd -c none -hs 4896 -i " + cue},
      {"raw-zlib", "createraw -c zlib -hs 4096 -us 2048 -i " + iso}, {"raw-lzma", "createraw -c lzma -hs 4096 -us 2048 -i " + iso},
      {"raw-huff", "createraw -c huff -hs 4096 -us 2048 -i " + iso}, {"raw-flac", "createraw -c flac -hs 4096 -us 2048 -i " + iso}};
  for (const auto& [name, args] : made) {
    const std::string out = dir.File(name + ".chd");
    if (std::system(("chdman " + args + " -o " + out + " >/dev/null 2>&1").c_str()) != 0) continue;
    Seed("fuzz_image_chd", name, ReadAll(out));
    ChdHunkSeeds(name, out);
  }
}

void ImageSeeds() {
  Seed("fuzz_image_iso", "minimal", IsoVolume(20));
  Seed("fuzz_image_iso", "xa", IsoVolume(20, true));
  Seed("fuzz_image_iso", "joliet", SampleIso(true).Build());
  // The ISO 9660 walk: a flag byte (policy, data mode), then the sectors.
  for (std::uint8_t flags : {0, 1, 3}) {
    Seed("fuzz_iso_walk", "plain-" + std::to_string(flags), Cat({Bytes{flags}, SampleIso(false).Build()}));
    Seed("fuzz_iso_walk", "joliet-" + std::to_string(flags), Cat({Bytes{flags}, SampleIso(true).Build()}));
  }
  {
    // Its recognition sequence and descriptors; the browser seeds hold whole volumes.
    UdfImage u = BuildUdfImage(SampleUdf(false));
    u.bytes.resize(std::min<std::size_t>(u.bytes.size(), 40 * 2048));
    Seed("fuzz_image_iso", "udf-head", u.bytes);
  }
  Seed("fuzz_image_bin", "mode1", RawTrack(0, 20, RawMode::Mode1));
  Seed("fuzz_image_bin", "xa", RawXaSectors(SampleIso(false).Build(), {}));
  Seed("fuzz_image_bin", "mode2-formless", RawTrack(0, 20, RawMode::Mode2Formless));
  Seed("fuzz_image_bin", "audio", AudioSectors(8));

  const Bytes data = Cat({RawTrack(0, 20, RawMode::Mode1), AudioSectors(30, 1)});
  Seed("fuzz_image_cue", "mixed", Cat({Text("REM GENRE Rock\nCATALOG 1234567890123\nPERFORMER \"Someone\"\n"
                                            "TITLE \"A Disc\"\nFILE \"image.bin\" BINARY\n"
                                            "  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n"
                                            "  TRACK 02 AUDIO\n    TITLE \"Song\"\n    FLAGS DCP PRE\n"
                                            "    ISRC USABC0100001\n    INDEX 00 00:00:20\n    INDEX 01 00:00:25\n"
                                            "    INDEX 02 00:00:28\n  TRACK 03 AUDIO\n    PREGAP 00:00:02\n"
                                            "    INDEX 01 00:00:40\n    POSTGAP 00:00:03\n"),
                                       Part(), data}));
  Seed("fuzz_image_cue", "sessions", Cat({Text("FILE \"image.bin\" BINARY\nREM SESSION 01\n"
                                               "  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                                               "REM SESSION 02\n  TRACK 02 MODE1/2352\n    INDEX 01 00:00:30\n"),
                                          Part(), Cat({AudioSectors(30), RawTrack(0, 20, RawMode::Mode1)})}));
  Seed("fuzz_image_cue", "two-files", Cat({Text("FILE \"image.bin\" BINARY\n  TRACK 01 MODE2/2352\n    INDEX 01 00:00:00\n"
                                                "FILE \"image.img\" MOTOROLA\n  TRACK 02 AUDIO\n    INDEX 01 00:00:00\n"),
                                           Part(), RawXaSectors(IsoVolume(20), {18})}));
  Seed("fuzz_image_cue", "wave", Cat({Text("FILE \"image.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                                           "  TRACK 02 AUDIO\n    INDEX 01 00:00:05\n"),
                                      Part(), WaveFile(AudioSectors(12))}));
  Seed("fuzz_image_cue", "modes", Cat({Text("FILE \"image.bin\" BINARY\n  TRACK 01 MODE2/2336\n    INDEX 01 00:00:00\n"
                                            "  TRACK 02 CDG\n    INDEX 01 00:00:02\n  TRACK 03 MODE1/2048\n"
                                            "    INDEX 01 00:00:04\n"),
                                       Part(), Mode2Track2336(0, 10)}));

  Seed("fuzz_mapfile", "rescued", Text("# Mapfile. Created by GNU ddrescue version 1.27\n# current_pos  current_status\n"
                                       "0x00010000     +\n#      pos        size  status\n"
                                       "0x00000000  0x00008000  +\n0x00008000  0x00000800  -\n"
                                       "0x00008800  0x00002000  *\n0x0000A800  0x00015800  +\n"));
  Seed("fuzz_mapfile", "passes", Text("0x00020000     ? 3\n0x00000000  0x00001000  +\n0x00001000  0x00000200  /\n"
                                      "0x00001200  0x0001EE00  ?\n"));
}

// Well-formed commands, one of each the drive knows, for every disc shape.
void CommandSeeds() {
  auto cmd = [](Bytes& out, std::initializer_list<std::uint8_t> cdb, std::uint32_t alloc) {
    const std::uint8_t len = cdb.size() <= 6 ? 0 : cdb.size() <= 10 ? 1 : cdb.size() <= 12 ? 2 : 3;
    static const int kLengths[] = {6, 10, 12, 16};
    out.push_back(len);
    Bytes c(cdb);
    c.resize(kLengths[len], 0);
    out.insert(out.end(), c.begin(), c.end());
    out.push_back(static_cast<std::uint8_t>(alloc >> 16));
    out.push_back(static_cast<std::uint8_t>(alloc >> 8));
    out.push_back(static_cast<std::uint8_t>(alloc));
  };
  for (int shape = 0; shape < 6; ++shape) {
    Bytes s{static_cast<std::uint8_t>(shape)};
    cmd(s, {0x00}, 0);
    cmd(s, {0x12, 0, 0, 0, 96, 0}, 96);
    cmd(s, {0x25}, 8);
    for (std::uint8_t format : {0, 1, 2, 5})
      cmd(s, {0x43, 0x02, format, 0, 0, 0, 1, 0x07, 0xFF, 0}, 2048);
    cmd(s, {0x43, 0x00, 0, 0, 0, 0, 0, 0x00, 0x0C, 0}, 12);
    cmd(s, {0x51, 0, 0, 0, 0, 0, 0, 0x00, 34, 0}, 34);
    cmd(s, {0x52, 1, 0, 0, 0, 1, 0, 0, 36, 0}, 36);
    cmd(s, {0x52, 1, 0, 0, 0, 2, 0, 0, 36, 0}, 36);
    cmd(s, {0x52, 0, 0, 0, 0, 0, 0, 0, 36, 0}, 36);
    cmd(s, {0x28, 0, 0, 0, 0, 16, 0, 0, 2, 0}, 4096);
    cmd(s, {0xBE, 0, 0, 0, 0, 0, 0, 0, 2, 0xF8, 0x00, 0}, 2 * 2352);
    cmd(s, {0xBE, 0, 0, 0, 0, 5, 0, 0, 1, 0x10, 0x00, 0}, 2048);
    cmd(s, {0xBE, 0, 0, 0, 0, 0, 0, 0, 1, 0xF8, 0x01, 0}, 2352 + 96);
    cmd(s, {0xBE, 0, 0, 0, 0, 0, 0, 0, 1, 0xF8, 0x02, 0}, 2352 + 16);
    cmd(s, {0xBE, 0, 0, 0, 0, 0, 0, 0, 1, 0xF8, 0x04, 0}, 2352 + 96);
    cmd(s, {0x46, 0x02, 0, 0, 0, 0, 0, 0x08, 0x00, 0}, 2048);
    cmd(s, {0x5A, 0, 0x2A, 0, 0, 0, 0, 0x01, 0x00, 0}, 256);
    cmd(s, {0x1E, 0, 0, 0, 1, 0}, 0);
    cmd(s, {0x1B, 0, 0, 0, 2, 0}, 0);
    cmd(s, {0x00}, 0);
    cmd(s, {0x1E, 0, 0, 0, 0, 0}, 0);
    cmd(s, {0x1B, 0, 0, 0, 3, 0}, 0);
    Seed("fuzz_vdrive", "shape" + std::to_string(shape), s);
  }
}

void ResponseSeeds() {
  auto grab = [](orvane::DiscLayout l, const char* name) {
    auto d = Device(std::move(l));
    Bytes toc(2048, 0);
    if (d->ReadToc(toc.data(), 2048, 2, 0) == 0) {
      toc.resize(std::min<std::size_t>(2048, ((toc[0] << 8) | toc[1]) + 2u));
      Seed("fuzz_toc", name, toc);
    }
    Bytes config(2048, 0);
    if (d->GetConfig(config.data(), 2048) == 0) {
      config.resize(std::min<std::size_t>(2048, ((std::size_t(config[0]) << 24) | (config[1] << 16) | (config[2] << 8) | config[3]) + 4u));
      Seed("fuzz_panel_rows", std::string("config-") + name, config);
    }
    PARAM_PAGE_READ page{};
    page.data[0] = 0x2A;
    SenseData_tag sense{0, 0, 0, 0, 0, 0};
    if (d->GetParamPage(page, 1, sense) == 0) Seed("fuzz_panel_rows", std::string("page-") + name, Bytes(page.data, page.data + sizeof page.data));
  };
  grab(MemoryDisc({MemoryTrack(1, orvane::TrackMode::Mode1, 0, 30, File(IsoVolume(30)), orvane::StoredFormat::UserData2048, 2048)}),
       "data");
  grab(TwoSessionDisc(AudioSectors(20), AudioSectors(20), IsoVolume(30)), "two-sessions");

  std::vector<orvane::CdTextEntry> texts = {{"A Disc", "Someone", "Writer", "Composer", "Arranger", "Note", ""},
                                            {"First song", "Someone", "", "", "", "", "USABC0100001"},
                                            {"Second song", "Someone else"},
                                            {"Ünïcödé tïtlé"}};
  Seed("fuzz_cdtext", "three-tracks", orvane::BuildCdTextPacks(texts));
  texts.resize(2);
  Seed("fuzz_cdtext", "one-track", orvane::BuildCdTextPacks(texts));
  // A .cdt file: the bare packs, the READ TOC answer with its 4-byte header,
  // and that answer with the closing NUL some programs write.
  const Bytes bare = orvane::BuildCdTextPacks(texts);
  Seed("fuzz_cdt_file", "bare", bare);
  Bytes answer = {std::uint8_t((bare.size() + 2) >> 8), std::uint8_t(bare.size() + 2), 0, 0};
  answer.insert(answer.end(), bare.begin(), bare.end());
  Seed("fuzz_cdt_file", "toc-answer", answer);
  answer.push_back(0);
  Seed("fuzz_cdt_file", "toc-answer-nul", answer);

  const Bytes iso = SampleIso(true).Build();
  Seed("fuzz_panel_rows", "pvd", Bytes(iso.begin() + 16 * 2048, iso.begin() + 17 * 2048));
  Seed("fuzz_panel_rows", "joliet-svd", Bytes(iso.begin() + 17 * 2048, iso.begin() + 18 * 2048));
  const UdfImage u = BuildUdfImage(SampleUdf(false));
  Seed("fuzz_panel_rows", "udf-pvd", Bytes(u.Sector(u.pvdSector), u.Sector(u.pvdSector) + 2048));
}

void VolumeSeeds() {
  for (const UdfCase& c : UdfCases()) {
    const UdfImage img = BuildUdfImage(SampleUdf(c.loop), c.options);
    Seed("fuzz_udf", c.name, UdfInput(img));
    Bytes browser{1};
    const Bytes sparse = fuzzsupport::MakeSparse(img.bytes, 2048);
    browser.insert(browser.end(), sparse.begin(), sparse.end());
    BrowserSeed(std::string("udf-") + c.name, browser);
  }
  for (bool joliet : {false, true}) {
    const Bytes iso = SampleIso(joliet).Build();
    Bytes browser{1};
    const Bytes sparse = fuzzsupport::MakeSparse(iso, 2048);
    browser.insert(browser.end(), sparse.begin(), sparse.end());
    BrowserSeed(joliet ? "iso-joliet" : "iso-plain", browser);
  }
  {
    IsoBuilder b;
    IsoNode& deep = DeepChain(b, 10);
    b.File(deep, "LEAF.TXT;1", Bytes(20, 'l'));
    Bytes browser{1};
    const Bytes sparse = fuzzsupport::MakeSparse(b.Build(), 2048);
    browser.insert(browser.end(), sparse.begin(), sparse.end());
    BrowserSeed("iso-deep", browser);
  }
  {
    IsoBuilder b;
    IsoNode& xa = b.Folder(b.Root(), "XA");
    b.File(xa, "MOVIE.DAT;1", Bytes(5000, 'm')).form2 = true;
    const Bytes user = b.Build();
    Bytes browser{3};
    const Bytes sparse = fuzzsupport::MakeSparse(RawXaSectors(user, b.Form2Sectors()), 2352);
    browser.insert(browser.end(), sparse.begin(), sparse.end());
    BrowserSeed("iso-xa-raw", browser);
  }
  {
    // Both file systems on one volume, as mkisofs -udf writes them.
    const UdfImage img = BuildUdfImage(SampleUdf(false));
    Bytes both = img.bytes;
    const Bytes iso = IsoVolume(20);
    std::memcpy(both.data() + 16 * 2048, iso.data() + 16 * 2048, 2048);
    Bytes browser{1};
    const Bytes sparse = fuzzsupport::MakeSparse(both, 2048);
    browser.insert(browser.end(), sparse.begin(), sparse.end());
    BrowserSeed("udf-and-iso", browser);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
    return 2;
  }
  g_root = argv[1];
  ImageSeeds();
  FormatSeeds();
  ChdSeeds();
  CommandSeeds();
  ResponseSeeds();
  VolumeSeeds();
  std::printf("%d seeds in %s\n", g_count, g_root.c_str());
  return 0;
}
