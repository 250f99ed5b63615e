#pragma once
// The rows of the track list, built from what the device answers: the full
// TOC of a CD, or disc and track information where there is no CD TOC (DVD,
// BD). The panel, the command-line tool and the tests all use these rows.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class CDevCmdROM;

struct TocRow {
  std::string session;  // "Session %d" (full TOC) or "%d" of the session number (fallback)
  std::string track;    // "%d"
  std::string type;     // "AUDIO", "DATA", "DATA(Mode1)", "DATA(Mode2)"
  std::string start;    // "%d" of the first sector
  std::string end;      // full TOC: the last sector; fallback: the first sector after the track
  bool fromFullToc = false;
  bool data = false;
  int trackNo = 0;
  std::int64_t startLba = 0;
  // The sectors a save of this row copies, first included and end not: the
  // whole track in both lists. False when the list could not tell where the
  // track ends.
  bool hasRange = false;
  std::int64_t copyStart = 0, copyEnd = 0;
};

enum class TocListResult {
  NoDevice,   // nothing to read
  NotReady,   // TEST UNIT READY failed: the list stays empty
  FullToc,    // rows from the full TOC
  Fallback,   // rows from disc and track information (no full TOC)
  NoDiscInfo, // neither a full TOC nor disc information: no rows
};

// Column headings and widths of the list, in order.
struct TocColumn {
  const char* heading;
  int width;
};
extern const TocColumn kTocColumns[5];

TocListResult BuildTocRows(CDevCmdROM* device, std::vector<TocRow>& rows);

// The full-TOC list alone, over a READ TOC format 2 response held in
// `length` bytes; dataMode(t) answers the Data Mode of track t from its track
// information, or -1 when that cannot be read.
void BuildFullTocRows(const unsigned char* toc, int length, const std::function<int(int)>& dataMode,
                      std::vector<TocRow>& rows);
