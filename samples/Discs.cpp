// The three sample discs, laid out as a pressing or burning tool would:
// a mixed-mode CD (an ISO 9660 + Joliet data track, then audio with CD-TEXT),
// a CD-ROM XA disc (Mode 2 Form 1 directories, a Form 2 stream, a few sectors
// a ddrescue map marks unreadable), and a UDF 2.01 volume as a DVD-ROM's
// Nero image.
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "disc/Msf.h"
#include "disc/SectorLayout.h"
#include "platform/orvane/CdSector.h"
#include "res/Resources.h"
#include "samples/Samples.h"
#include "tests/support/CdImages.h"
#include "tests/support/IsoBuilder.h"
#include "tests/support/UdfBuilder.h"

namespace samples {
namespace {

using testsupport::Bytes;
using testsupport::IsoBuilder;
using testsupport::IsoNode;

constexpr std::size_t kSector = disc::kUserDataSize;
constexpr std::size_t kRaw = disc::kRawSectorSize;
constexpr std::uint32_t kPauseSectors = 150;
constexpr std::uint32_t kNeroDvdRom = 0x200;  // MTYP medium flag

// Every time stamp on the samples: builds are reproducible.
constexpr std::array<std::uint8_t, 6> kRecordTime{126, 12, 7, 12, 0, 0};  // 2026-12-7 12:00:00
constexpr const char* kDescriptorTime = "2026120712000000";

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// A descriptor's a- or d-character field, space padded; the Joliet
// descriptor stores the same fields in UCS-2, big-endian.
void PutField(Bytes& img, std::size_t sector, std::size_t offset, std::size_t length, const std::string& text,
              bool ucs2) {
  std::uint8_t* f = img.data() + sector * kSector + offset;
  if (!ucs2) {
    std::memset(f, ' ', length);
    std::memcpy(f, text.data(), std::min(length, text.size()));
    return;
  }
  for (std::size_t i = 0; i + 1 < length; i += 2) f[i] = 0, f[i + 1] = ' ';
  const Bytes u = testsupport::Utf16Be(text);
  std::memcpy(f, u.data(), std::min(length & ~std::size_t(1), u.size()));
}

struct VolumeTexts {
  std::string volume, volumeSet, publisher, preparer, application;
};

// Names the volume in the primary (and Joliet) descriptor and dates it: the
// volume view shows these fields.
void DescribeVolume(Bytes& img, const VolumeTexts& t, bool joliet) {
  for (std::size_t sector = 16; sector <= (joliet ? 17u : 16u); ++sector) {
    const bool j = sector == 17;
    PutField(img, sector, 8, 32, "LINUX", j);
    PutField(img, sector, 40, 32, t.volume, j);
    PutField(img, sector, 190, 128, t.volumeSet, j);
    PutField(img, sector, 318, 128, t.publisher, j);
    PutField(img, sector, 446, 128, t.preparer, j);
    PutField(img, sector, 574, 128, t.application, j);
    std::uint8_t* v = img.data() + sector * kSector;
    for (std::size_t at : {813u, 830u}) {
      std::memcpy(v + at, kDescriptorTime, 16);
      v[at + 16] = 0;  // GMT
    }
    for (std::size_t at : {847u, 864u}) {
      std::memset(v + at, '0', 16);
      v[at + 16] = 0;
    }
  }
}

// A CD track lasts at least four seconds (300 sectors); a small volume is
// padded with empty sectors, which its descriptors then count.
constexpr std::uint32_t kMinTrackSectors = 300;
void PadVolume(Bytes& img, bool joliet) {
  const std::uint32_t sectors = std::max<std::uint32_t>(kMinTrackSectors, static_cast<std::uint32_t>(img.size() / kSector));
  img.resize(std::size_t(sectors) * kSector, 0);
  for (std::size_t sector = 16; sector <= (joliet ? 17u : 16u); ++sector) {
    std::uint8_t* v = img.data() + sector * kSector + 80;
    for (int i = 0; i < 4; ++i) {
      v[i] = static_cast<std::uint8_t>(sectors >> (8 * i));
      v[7 - i] = static_cast<std::uint8_t>(sectors >> (8 * i));
    }
  }
}

// ISO 9660 wants a directory's records in name order; the builder keeps the
// order they were added in, so the samples add them sorted.
void SortTree(IsoNode& n) {
  std::sort(n.children.begin(), n.children.end(), [](const auto& a, const auto& b) { return a->name < b->name; });
  for (auto& c : n.children)
    if (c->directory) SortTree(*c);
}

IsoNode& AddFile(IsoBuilder& b, IsoNode& parent, const std::string& name, const std::string& joliet, Bytes data) {
  IsoNode& n = b.File(parent, name, std::move(data));
  n.jolietName = joliet;
  return n;
}

IsoNode& AddFolder(IsoBuilder& b, IsoNode& parent, const std::string& name, const std::string& joliet) {
  IsoNode& n = b.Folder(parent, name);
  n.jolietName = joliet;
  return n;
}

std::string Msf(std::uint32_t frames) {
  char buf[16];
  const disc::Msf msf = disc::FramesToMsf(frames);
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", msf.m, msf.s, msf.f);
  return buf;
}

// Several sectors of numbered lines: a file whose extraction can be checked
// by eye at any offset.
std::string NumberedLines(int count) {
  std::ostringstream s;
  for (int i = 1; i <= count; ++i) {
    char line[80];
    std::snprintf(line, sizeof line, "Line %05d of %05d: the quick brown fox jumps over the lazy dog.\n", i, count);
    s << line;
  }
  return s.str();
}

struct AudioTrack {
  const char* title;
  const char* performer;
  const char* songwriter;
  const char* isrc;
  Pcm pcm;
};

}  // namespace

bool WriteFile(const std::string& folder, const std::string& name, const std::vector<std::uint8_t>& bytes,
               std::string& error) {
  const std::string path = folder + "/" + name;
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  f.close();
  if (!f) {
    error = "cannot write " + path;
    return false;
  }
  return true;
}

bool WriteText(const std::string& folder, const std::string& name, const std::string& text, std::string& error) {
  return WriteFile(folder, name, Bytes(text.begin(), text.end()), error);
}

bool WriteMixedModeDisc(const std::string& folder, std::string& error) {
  std::vector<AudioTrack> audio;
  audio.push_back({"Scale in C major", "Sine Ensemble", "Tessal developers", "ZZTSL2600002", ScaleTune()});
  audio.push_back({"Arpeggios, left to right", "Sine Ensemble", "Tessal developers", "ZZTSL2600003", ArpeggioTune()});
  audio.push_back({"Two bells", "The Harmonics", "Tessal developers", "ZZTSL2600004", ChimeTune()});

  IsoBuilder b;
  b.joliet = true;
  b.time = kRecordTime;
  IsoNode& root = b.Root();
  AddFile(b, root, "README.TXT;1", "Read me first.txt",
          Text("This is the data track of Tessal's mixed-mode sample disc.\n\n"
               "Track 1 holds this ISO 9660 volume with Joliet names; tracks 2 to 4 are audio\n"
               "with CD-TEXT (title, performer, songwriter) and ISRC codes.\n\n"
               "Browse the folders, extract a file or a folder with Save Data, play a track\n"
               "with the player below the panel, or save it as a WAV file.\n"));
  IsoNode& docs = AddFolder(b, root, "DOCS", "Documents");
  AddFile(b, docs, "NUMBERS.TXT;1", "Numbered lines (several sectors).txt", Text(NumberedLines(1200)));
  AddFile(b, docs, "TRACKS.CSV;1", "Track list.csv",
          [&] {
            std::string s = "track,title,performer,seconds\n1,Data track,,\n";
            for (std::size_t i = 0; i < audio.size(); ++i) {
              char line[160];
              std::snprintf(line, sizeof line, "%zu,\"%s\",\"%s\",%.2f\n", i + 2, audio[i].title, audio[i].performer,
                            audio[i].pcm.size() / 4.0 / kRate);
              s += line;
            }
            return Text(s);
          }());
  AddFile(b, docs, "NAMES.TXT;1", "Joliet keeps long names – and Ünïcödé.txt",
          Text("The primary volume names this file NAMES.TXT; the Joliet volume gives it its\n"
               "long Unicode name. Tessal shows the Joliet names when a disc has them.\n"));
  IsoNode& pics = AddFolder(b, root, "PICTURES", "Pictures");
  {
    auto logo = res::BitmapFile(216);
    AddFile(b, pics, "LOGO.BMP;1", "Tessal logo.bmp", Bytes(logo.begin(), logo.end()));
  }
  IsoNode& deep = AddFolder(b, root, "NESTED", "Nested folders");
  IsoNode& l1 = AddFolder(b, deep, "LEVEL1", "Level 1");
  IsoNode& l2 = AddFolder(b, l1, "LEVEL2", "Level 2");
  IsoNode& l3 = AddFolder(b, l2, "LEVEL3", "Level 3");
  AddFile(b, l3, "DEEP.TXT;1", "Found it.txt", Text("Four folders down.\n"));
  AddFolder(b, root, "EMPTY", "Empty folder");
  SortTree(root);

  Bytes iso = b.Build();
  DescribeVolume(iso, {"TESSAL_MIXED_MODE", "TESSAL_SAMPLES", "TESSAL DEVELOPERS", "TESSAL SAMPLE MAKER",
                       "TESSAL SAMPLE MAKER"},
                 true);
  // The Joliet volume name is limited to 16 characters.
  PutField(iso, 17, 40, 32, "Tessal mixed", true);
  PadVolume(iso, true);

  const std::uint32_t dataSectors = static_cast<std::uint32_t>(iso.size() / kSector);
  Bytes bin;
  bin.reserve(dataSectors * kRaw);
  for (std::uint32_t i = 0; i < dataSectors; ++i) {
    std::uint8_t s[kRaw];
    orvane::BuildMode1Sector(s, static_cast<std::int32_t>(i), iso.data() + std::size_t(i) * kSector);
    bin.insert(bin.end(), s, s + kRaw);
  }

  std::ostringstream cue;
  cue << "REM Tessal sample disc: mixed mode, one data track and three audio tracks\n"
      << "PERFORMER \"Tessal Test Tones\"\n"
      << "TITLE \"Tessal Sample Disc\"\n"
      << "SONGWRITER \"Tessal developers\"\n"
      << "FILE \"mixed-mode.bin\" BINARY\n"
      << "  TRACK 01 MODE1/2352\n"
      << "    TITLE \"Data track\"\n"
      << "    PERFORMER \"Tessal Test Tones\"\n"
      << "    INDEX 01 00:00:00\n";
  for (std::size_t i = 0; i < audio.size(); ++i) {
    const std::uint32_t frames = static_cast<std::uint32_t>(bin.size() / kRaw);
    char num[24];
    std::snprintf(num, sizeof num, "%02zu", i + 2);
    cue << "  TRACK " << num << " AUDIO\n"
        << "    TITLE \"" << audio[i].title << "\"\n"
        << "    PERFORMER \"" << audio[i].performer << "\"\n"
        << "    SONGWRITER \"" << audio[i].songwriter << "\"\n"
        << "    ISRC " << audio[i].isrc << "\n";
    // The first audio track after the data track starts with the two-second
    // pause a mixed-mode disc has there, stored as silence the way rippers
    // keep it; the others follow at once.
    if (i == 0) {
      cue << "    INDEX 00 " << Msf(frames) << "\n"
          << "    INDEX 01 " << Msf(frames + kPauseSectors) << "\n";
      bin.resize(bin.size() + std::size_t(kPauseSectors) * kRaw, 0);
    } else {
      cue << "    INDEX 01 " << Msf(frames) << "\n";
    }
    bin.insert(bin.end(), audio[i].pcm.begin(), audio[i].pcm.end());
  }
  return WriteFile(folder, "mixed-mode.bin", bin, error) && WriteText(folder, "mixed-mode.cue", cue.str(), error);
}

bool WriteXaDisc(const std::string& folder, std::string& error) {
  constexpr std::uint32_t kStreamSectors = 48;
  IsoBuilder b;
  b.time = kRecordTime;
  IsoNode& root = b.Root();
  b.File(root, "README.TXT;1",
         Text("A CD-ROM XA sample: every sector is Mode 2. Directories and this file are\n"
              "Form 1 (2048 bytes with error correction); MPEGAV/STREAM.DAT is Form 2\n"
              "(2324 bytes per sector, no error correction), the way a Video CD stores its\n"
              "MPEG streams. A ddrescue map beside the image marks four sectors of the\n"
              "stream unreadable, so a Disc Scan has errors to list.\n"));
  IsoNode& mpeg = b.Folder(root, "MPEGAV");
  // Room for the stream; its sectors are written below as Form 2.
  IsoNode& stream = b.File(mpeg, "STREAM.DAT;1", Bytes(kStreamSectors * kSector, 0));
  stream.form2 = true;
  IsoNode& ext = b.Folder(root, "EXT");
  b.File(ext, "INFO.TXT;1", Text("Form 1 data in a second folder.\n"));
  SortTree(root);

  Bytes iso = b.Build();
  DescribeVolume(iso, {"TESSAL_XA", "TESSAL_SAMPLES", "TESSAL DEVELOPERS", "TESSAL SAMPLE MAKER",
                       "TESSAL SAMPLE MAKER"},
                 false);
  std::memcpy(iso.data() + 16 * kSector + 1024, "CD-XA001", 8);
  PadVolume(iso, false);

  const std::vector<std::uint32_t>& form2 = b.Form2Sectors();
  const std::uint32_t sectors = static_cast<std::uint32_t>(iso.size() / kSector);
  Bytes bin(std::size_t(sectors) * kRaw);
  for (std::uint32_t i = 0; i < sectors; ++i) {
    std::uint8_t* s = bin.data() + std::size_t(i) * kRaw;
    const auto at = std::find(form2.begin(), form2.end(), i);
    if (at == form2.end()) {
      const std::uint8_t sub[4] = {0, 0, 0x08, 0};  // data
      orvane::BuildMode2Form1Sector(s, static_cast<std::int32_t>(i), sub, iso.data() + std::size_t(i) * kSector);
      continue;
    }
    const std::uint32_t k = static_cast<std::uint32_t>(at - form2.begin());
    std::uint8_t payload[disc::kForm2PayloadSize];
    std::memset(payload, ' ', sizeof payload);
    char line[96];
    for (std::size_t pos = 0; pos + 1 < sizeof payload;) {
      const int n = std::snprintf(line, sizeof line, "Form 2 sector %02u of %u in STREAM.DAT, byte %04zu\n", k + 1,
                                  kStreamSectors, pos);
      const std::size_t take = std::min(sizeof payload - pos, static_cast<std::size_t>(n));
      std::memcpy(payload + pos, line, take);
      pos += take;
    }
    // File 1, channel 1, Form 2 video; the last sector ends the file and the record.
    const std::uint8_t last = k + 1 == kStreamSectors ? 0x81 : 0;
    const std::uint8_t sub[4] = {1, 1, static_cast<std::uint8_t>(0x20 | 0x02 | last), 0x0F};
    orvane::BuildMode2Form2Sector(s, static_cast<std::int32_t>(i), sub, payload);
  }

  // Four sectors in the middle of the stream were never read.
  const std::uint64_t badFirst = form2.at(20), badCount = 4;
  const std::uint64_t size = bin.size();
  char map[512];
  std::snprintf(map, sizeof map,
                "# Mapfile. Written by the Tessal sample maker in GNU ddrescue's format.\n"
                "# current_pos  current_status  current_pass\n"
                "0x%08llX     +               1\n"
                "#      pos        size  status\n"
                "0x%08llX  0x%08llX  +\n"
                "0x%08llX  0x%08llX  -\n"
                "0x%08llX  0x%08llX  +\n",
                0ull, 0ull, static_cast<unsigned long long>(badFirst * kRaw),
                static_cast<unsigned long long>(badFirst * kRaw), static_cast<unsigned long long>(badCount * kRaw),
                static_cast<unsigned long long>((badFirst + badCount) * kRaw),
                static_cast<unsigned long long>(size - (badFirst + badCount) * kRaw));
  const std::string cue =
      "REM Tessal sample disc: CD-ROM XA, Mode 2 Form 1 and Form 2 sectors\n"
      "TITLE \"Tessal XA Sample\"\n"
      "FILE \"cdrom-xa.bin\" BINARY\n"
      "  TRACK 01 MODE2/2352\n"
      "    INDEX 01 00:00:00\n";
  return WriteFile(folder, "cdrom-xa.bin", bin, error) && WriteText(folder, "cdrom-xa.bin.map", map, error) &&
         WriteText(folder, "cdrom-xa.cue", cue, error);
}

bool WriteUdfDisc(const std::string& folder, std::string& error) {
  using testsupport::UdfNode;
  UdfNode root = UdfNode::Dir("", {
      UdfNode::File("Read me.txt",
                    "A UDF 2.01 volume as a DVD carries it: long Unicode names, nested folders,\n"
                    "a file stored inside its own file entry and one in several extents.\n"),
      UdfNode::Dir("Documents", {
          UdfNode::File("Numbered lines.txt", NumberedLines(900)),
          UdfNode::File("Straße, café & naïve names.txt", "UDF stores this name in 16-bit characters.\n"),
      }),
      UdfNode::Dir("Photos", {UdfNode::Dir("2026", {UdfNode::Dir("December")})}),
  });
  root.children[0].embedded = true;
  root.children[1].children[0].extents = 3;
  root.children[1].children[1].wideName = true;
  {
    auto logo = res::BitmapFile(216);
    root.children[2].children[0].children[0].children.push_back(
        UdfNode::File("Tessal logo.bmp", std::vector<std::uint8_t>(logo.begin(), logo.end())));
  }
  testsupport::UdfBuildOptions o;
  o.revision = 0x0201;
  o.extendedEntries = true;
  o.volumeId = "TESSAL_UDF";
  const testsupport::UdfImage img = testsupport::BuildUdfImage(root, o);
  // A plain image this small would be taken for a CD. Nero's format records
  // the medium, so the volume is written as the Nero image of a DVD-ROM: the
  // sectors, then one track-at-once entry, the session, the medium type and
  // the footer that points at them.
  Bytes nrg = img.bytes;
  const std::uint64_t chain = nrg.size();
  auto be = [&](std::uint64_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) nrg.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  };
  auto chunk = [&](const char* id, std::uint32_t length) {
    nrg.insert(nrg.end(), id, id + 4);
    be(length, 4);
  };
  chunk("ETN2", 32);
  be(0, 8);                 // first byte of the track
  be(img.bytes.size(), 8);  // its length
  be(0, 4);                 // mode 0: 2048-byte user data
  be(0, 4);                 // first sector
  be(0, 8);
  chunk("SINF", 4);
  be(1, 4);  // one track in the session
  chunk("MTYP", 4);
  be(kNeroDvdRom, 4);
  chunk("END!", 0);
  nrg.insert(nrg.end(), {'N', 'E', 'R', '5'});
  be(chain, 8);
  return WriteFile(folder, "udf-dvd.nrg", nrg, error);
}

}  // namespace samples
