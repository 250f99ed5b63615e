#pragma once
// Builders for CD image files in tests: plain 2048-byte volumes, raw 2352-byte
// sectors of every mode, PCM audio, WAVE files, and scratch folders to write
// CUE sheets, data files and mapfiles into.
#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

using Bytes = std::vector<std::uint8_t>;

// A folder under the system's temporary path, created exclusively and
// removed with everything in it.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& Path() const { return m_path; }
  std::string File(const std::string& name) const { return m_path + "/" + name; }
  // Writes bytes (or text) to name inside the folder; returns the full path.
  std::string Write(const std::string& name, const Bytes& bytes) const;
  std::string Write(const std::string& name, const std::string& text) const;

 private:
  std::string m_path;
};

// Sectors of user data in which every byte tells its sector and position, so
// a read of the wrong sector or offset is seen.
Bytes PatternSectors(std::uint32_t firstLba, std::uint32_t count, std::size_t sectorSize = 2048, std::uint8_t salt = 0);

// A minimal ISO 9660 volume of count sectors (count >= 18): a primary volume
// descriptor at 16 declaring declaredSectors (count when 0), optionally
// marked CD-ROM XA, and a terminator at 17. The rest is a pattern.
Bytes IsoVolume(std::uint32_t count, bool xa = false, std::uint32_t declaredSectors = 0);

enum class RawMode { Mode1, Mode2Form1, Mode2Form2, Mode2Formless };

// One raw 2352-byte sector: sync, header with the BCD address of lba, the
// sub-header for Mode 2 XA, the user data (2048, 2324 or 2336 bytes from
// data, zero-padded), and the EDC/ECC of the mode.
Bytes RawSector(std::int32_t lba, RawMode mode, const std::uint8_t* data, std::size_t length);
// count raw sectors from firstLba whose user data is PatternSectors'.
Bytes RawTrack(std::int32_t firstLba, std::uint32_t count, RawMode mode);
// The same sectors without sync and header (MODE2/2336 storage).
Bytes Mode2Track2336(std::int32_t firstLba, std::uint32_t count);

// count sectors of 16-bit stereo PCM, little-endian, a different tone per salt.
Bytes AudioSectors(std::uint32_t count, std::uint8_t salt = 0);
// The same samples big-endian.
Bytes SwapBytePairs(Bytes pcm);
// A RIFF WAVE file around pcm with the given format; extra chunks before the data.
Bytes WaveFile(const Bytes& pcm, int channels = 2, int rate = 44100, int bits = 16, bool listChunk = true);

// A sector holding a UDF descriptor tag with the given id and a valid checksum.
Bytes UdfTagSector(std::uint16_t tagId, std::uint32_t location);

}  // namespace testsupport
