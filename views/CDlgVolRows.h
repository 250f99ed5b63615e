#pragma once
// The rows of the volume information view: the fields of an ISO 9660 primary
// (or Joliet supplementary) volume descriptor, or of a UDF primary volume
// descriptor, as label and text.
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

struct UdfVolumeSummary;

using VolRow = std::pair<std::string, std::string>;  // label, information

constexpr int kVolDescriptorSize = 2048;

// Nothing for a null buffer, a size of 0 or one above 2048.
std::vector<VolRow> BuildIsoVolRows(const unsigned char* vd, int size);
std::vector<VolRow> BuildUdfVolRows(const unsigned char* vd, int size);
// By file-system code: 1 ISO 9660, 2 or 3 UDF, anything else no rows.
std::vector<VolRow> BuildVolRows(const unsigned char* vd, int size, int fsType);

// The rows a UDF volume adds after its descriptor's: "UDF Revision", "Block
// Size", "Partition Maps" (kinds in the order physical, sparable, virtual,
// metadata), "Anchors" (blocks), and "Metadata File" where the volume has a
// metadata partition (which copy is read, and why not the main one).
std::vector<VolRow> BuildUdfSummaryRows(const UdfVolumeSummary& summary);
// The descriptor's rows, then for a UDF volume (2 or 3) the summary's, when
// there is one and the descriptor gave rows.
std::vector<VolRow> BuildVolRows(const unsigned char* vd, int size, int fsType, const UdfVolumeSummary* udf);

// A descriptor text field: its bytes up to the first NUL after the leading
// NULs and the leading bytes below '0' (control characters, space and
// punctuation, and every byte from 0x80) are skipped. Trailing spaces stay.
std::string TrimDescriptorText(const unsigned char* field, std::size_t length);
// 17-byte ISO 9660 digit date and 12-byte ECMA-167 timestamp as
// "%d-%d-%d %d:%d:%d".
std::string FormatIsoDate(const unsigned char* d17);
std::string FormatUdfDate(const unsigned char* ts12);
// A Joliet supplementary descriptor: type 2 with one of the UCS-2 escape
// sequences %/@, %/C or %/E.
bool IsJolietDescriptor(const unsigned char* vd);
