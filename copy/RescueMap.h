#pragma once
// What an image being rescued holds: a state per sector of the image file,
// kept as GNU ddrescue keeps it so that ddrescuelog, ddrescue itself and our
// own mapfile reader all understand it. Positions in the text are bytes of the
// image file; inside, we count whole sectors of `sectorBytes` bytes, because a
// drive gives or refuses whole sectors and nothing else.
#include <cstdint>
#include <string>
#include <vector>

namespace imaging {

// ddrescue's block states, by the character its mapfile uses.
enum class SectorState : char {
  NonTried = '?',
  NonTrimmed = '*',
  NonScraped = '/',
  Bad = '-',
  Finished = '+',
};

// ddrescue's current-status character: which pass the map was written in.
enum class PassState : char {
  Copying = '?',
  Trimming = '*',
  Scraping = '/',
  Retrying = '-',
  Finished = '+',
};

enum class MapParse { Ok, NoStatusLine, BadLine, Gap, Overflow };

class RescueMap {
 public:
  RescueMap() = default;
  RescueMap(std::uint64_t sectors, std::uint32_t sectorBytes);

  std::uint64_t Sectors() const { return m_state.size(); }
  std::uint32_t SectorBytes() const { return m_sectorBytes; }
  SectorState At(std::uint64_t sector) const { return static_cast<SectorState>(m_state[sector]); }
  void Set(std::uint64_t first, std::uint64_t count, SectorState s);
  // First sector at or after `from` in state s; Sectors() when none.
  std::uint64_t Next(std::uint64_t from, SectorState s) const;
  // Sectors in state s.
  std::uint64_t Count(SectorState s) const;
  bool Complete() const { return Count(SectorState::Finished) == Sectors(); }

  // Comment lines ("# ..." without the "# ") written after ddrescue's own.
  std::vector<std::string> notes;
  std::uint64_t currentPos = 0;  // bytes
  PassState pass = PassState::Copying;
  int passNumber = 1;

  // The mapfile text: header comments, the status line, one line per run.
  std::string Text() const;
  // Reads a mapfile written for sectors of sectorBytes bytes: a sector is
  // Finished only when every byte of it is, else it takes the state of its
  // worst area; whatever the map does not reach is NonTried. Notes that begin
  // with "tessal " are kept. Parse fails on anything ddrescue would not write.
  MapParse Parse(const std::string& text, std::uint64_t sectors, std::uint32_t sectorBytes);

 private:
  std::uint32_t m_sectorBytes = 2048;
  std::vector<char> m_state;
};

// Replaces path with text so that a crash at any moment leaves either the
// old file or the new one whole: a temporary file beside it, written, synced,
// renamed over it, and the folder synced. False with the reason.
bool ReplaceFileAtomically(const std::string& path, const std::string& text, std::string& reason);

}  // namespace imaging
