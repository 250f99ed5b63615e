#include "tests/support/CdImages.h"

#include "disc/UdfTag.h"
#include "platform/orvane/CdSector.h"

#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace testsupport {

ScratchDir::ScratchDir() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "tessal-test-XXXXXX").string();
  if (!mkdtemp(tmpl.data())) throw std::runtime_error("cannot create a scratch folder");
  m_path = tmpl;
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  std::filesystem::remove_all(m_path, ec);
}

std::string ScratchDir::Write(const std::string& name, const Bytes& bytes) const {
  std::string p = File(name);
  std::filesystem::create_directories(std::filesystem::path(p).parent_path());
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + p);
  return p;
}

std::string ScratchDir::Write(const std::string& name, const std::string& text) const {
  return Write(name, Bytes(text.begin(), text.end()));
}

Bytes PatternSectors(std::uint32_t firstLba, std::uint32_t count, std::size_t sectorSize, std::uint8_t salt) {
  Bytes out(std::size_t(count) * sectorSize);
  for (std::uint32_t s = 0; s < count; ++s) {
    std::uint32_t lba = firstLba + s;
    std::uint8_t* p = out.data() + std::size_t(s) * sectorSize;
    for (std::size_t i = 0; i < sectorSize; ++i) p[i] = static_cast<std::uint8_t>(lba * 7 + i * 13 + salt);
    std::memcpy(p, &lba, 4);  // the sector's own address first, little-endian
  }
  return out;
}

Bytes IsoVolume(std::uint32_t count, bool xa, std::uint32_t declared) {
  if (count < 18) throw std::invalid_argument("an ISO volume needs at least 18 sectors");
  Bytes out = PatternSectors(0, count);
  std::memset(out.data() + 16 * 2048, 0, 2 * 2048);
  std::uint8_t* pvd = out.data() + 16 * 2048;
  pvd[0] = 1;
  std::memcpy(pvd + 1, "CD001", 5);
  pvd[6] = 1;
  std::memset(pvd + 8, ' ', 32);
  std::memcpy(pvd + 40, "TESSAL_TEST", 11);
  std::memset(pvd + 51, ' ', 21);
  std::uint32_t n = declared ? declared : count;
  for (int i = 0; i < 4; ++i) {
    pvd[80 + i] = static_cast<std::uint8_t>(n >> (8 * i));
    pvd[87 - i] = static_cast<std::uint8_t>(n >> (8 * i));
  }
  pvd[120] = pvd[123] = 1;      // volume set size
  pvd[124] = pvd[127] = 1;      // sequence number
  pvd[128] = 0x00, pvd[129] = 0x08, pvd[130] = 0x08, pvd[131] = 0x00;  // block size 2048
  pvd[881] = 1;
  if (xa) std::memcpy(pvd + 1024, "CD-XA001", 8);
  std::uint8_t* term = out.data() + 17 * 2048;
  term[0] = 255;
  std::memcpy(term + 1, "CD001", 5);
  term[6] = 1;
  return out;
}

Bytes RawSector(std::int32_t lba, RawMode mode, const std::uint8_t* data, std::size_t length) {
  // Whole sectors as a drive returns them, EDC and ECC included.
  Bytes s(orvane::kRawSectorSize, 0);
  Bytes user(2336, 0);
  std::memcpy(user.data(), data, std::min(length, user.size()));
  switch (mode) {
    case RawMode::Mode1:
      orvane::BuildMode1Sector(s.data(), lba, user.data());
      break;
    case RawMode::Mode2Form1: {
      const std::uint8_t sub[4] = {0, 0, 0x08, 0};
      orvane::BuildMode2Form1Sector(s.data(), lba, sub, user.data());
      break;
    }
    case RawMode::Mode2Form2: {
      const std::uint8_t sub[4] = {0, 0, 0x20, 0};
      orvane::BuildMode2Form2Sector(s.data(), lba, sub, user.data());
      break;
    }
    case RawMode::Mode2Formless:  // no sub-header and no error correction
      orvane::WriteSyncAndHeader(s.data(), lba, 2);
      std::memcpy(s.data() + 16, user.data(), 2336);
      break;
  }
  return s;
}

Bytes RawTrack(std::int32_t firstLba, std::uint32_t count, RawMode mode) {
  Bytes user = PatternSectors(static_cast<std::uint32_t>(firstLba), count, 2048);
  Bytes out;
  out.reserve(std::size_t(count) * 2352);
  for (std::uint32_t i = 0; i < count; ++i) {
    Bytes s = RawSector(firstLba + static_cast<std::int32_t>(i), mode, user.data() + std::size_t(i) * 2048, 2048);
    out.insert(out.end(), s.begin(), s.end());
  }
  return out;
}

Bytes Mode2Track2336(std::int32_t firstLba, std::uint32_t count) {
  Bytes raw = RawTrack(firstLba, count, RawMode::Mode2Form1);
  Bytes out;
  for (std::uint32_t i = 0; i < count; ++i)
    out.insert(out.end(), raw.begin() + std::size_t(i) * 2352 + 16, raw.begin() + std::size_t(i + 1) * 2352);
  return out;
}

Bytes AudioSectors(std::uint32_t count, std::uint8_t salt) {
  Bytes out(std::size_t(count) * 2352);
  for (std::size_t i = 0; i + 1 < out.size(); i += 2) {
    auto v = static_cast<std::uint16_t>((i / 4) * (salt + 3) + salt * 1000);
    out[i] = static_cast<std::uint8_t>(v);
    out[i + 1] = static_cast<std::uint8_t>(v >> 8);
  }
  return out;
}

Bytes SwapBytePairs(Bytes pcm) {
  for (std::size_t i = 0; i + 1 < pcm.size(); i += 2) std::swap(pcm[i], pcm[i + 1]);
  return pcm;
}

namespace {
void Put32(Bytes& b, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void Put16(Bytes& b, std::uint16_t v) {
  b.push_back(static_cast<std::uint8_t>(v));
  b.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Tag(Bytes& b, const char* id) { b.insert(b.end(), id, id + 4); }
}  // namespace

Bytes WaveFile(const Bytes& pcm, int channels, int rate, int bits, bool listChunk) {
  Bytes b;
  Tag(b, "RIFF");
  Put32(b, 0);  // patched below
  Tag(b, "WAVE");
  Tag(b, "fmt ");
  Put32(b, 16);
  Put16(b, 1);
  Put16(b, static_cast<std::uint16_t>(channels));
  Put32(b, static_cast<std::uint32_t>(rate));
  Put32(b, static_cast<std::uint32_t>(rate * channels * bits / 8));
  Put16(b, static_cast<std::uint16_t>(channels * bits / 8));
  Put16(b, static_cast<std::uint16_t>(bits));
  if (listChunk) {  // an odd-sized chunk before the data, padded as RIFF requires
    Tag(b, "LIST");
    Put32(b, 5);
    b.insert(b.end(), {'I', 'N', 'F', 'O', 'x', 0});
  }
  Tag(b, "data");
  Put32(b, static_cast<std::uint32_t>(pcm.size()));
  b.insert(b.end(), pcm.begin(), pcm.end());
  std::uint32_t riff = static_cast<std::uint32_t>(b.size() - 8);
  for (int i = 0; i < 4; ++i) b[4 + i] = static_cast<std::uint8_t>(riff >> (8 * i));
  return b;
}

Bytes UdfTagSector(std::uint16_t tagId, std::uint32_t location) {
  Bytes s(2048, 0);
  s[0] = static_cast<std::uint8_t>(tagId);
  s[1] = static_cast<std::uint8_t>(tagId >> 8);
  s[2] = 2;  // descriptor version
  for (int i = 0; i < 4; ++i) s[12 + i] = static_cast<std::uint8_t>(location >> (8 * i));
  s[kUdfTagChecksumAt] = UdfTagChecksum(s.data());
  return s;
}

}  // namespace testsupport
