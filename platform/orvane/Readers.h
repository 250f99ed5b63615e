#pragma once
// Turning an image file into a disc layout: the registry of image formats and
// the checks every format shares (a ddrescue mapfile beside the data, an open
// UDF track at the end of a recordable disc).
#include <memory>
#include <string>
#include <vector>

#include "platform/orvane/DiscImage.h"

namespace orvane {

// Opens path with the reader that recognises its content best (its name's
// extension breaks ties and decides when no content matches). On refusal the
// layout is left empty and error holds a one-line reason.
bool OpenImage(const std::string& path, DiscLayout& layout, std::string& error);

// Every image format this library reads, most specific first.
const std::vector<const ImageReader*>& ImageReaders();

// The formats, one per file.
const ImageReader& IsoReader();
const ImageReader& BinReader();
const ImageReader& CueReader();
const ImageReader& NrgReader();
const ImageReader& CcdReader();
const ImageReader& TocReader();
const ImageReader& MdsReader();
const ImageReader& VcdReader();
const ImageReader& ChdReader();

// The CD-TEXT packs of a .cdt file (bare packs or a READ TOC format 5
// answer); false with a one-line reason when it holds none or is damaged.
bool ReadCdTextFile(const std::string& path, std::vector<std::uint8_t>& packs, std::string& error);

// How many bytes of a file's head the registry hands to Probe.
constexpr std::size_t kProbeHeadSize = 64 * 1024;

// Largest image a CD can hold (80 minutes) and a dual-layer DVD; a plain
// image's size decides its profile by these.
constexpr std::uint32_t kCdCapacitySectors = 360000;
constexpr std::uint32_t kDvdCapacitySectors = 4173824;

// The medium profile a disc of that many 2048-byte sectors is served as.
int ProfileForSectors(std::uint64_t sectors);

// Applies a GNU ddrescue mapfile found beside any of the layout's files
// (FILE.map or FILE.ext.map): every area not marked finished becomes a bad
// range, rounded outward to whole sectors. False on a mapfile it cannot parse.
bool ApplyRescueMaps(DiscLayout& layout, std::string& error);

// A CD image whose last recorded sector is a UDF (extended) file entry was
// written incrementally and left open: serve its last track as the open track
// of a CD-R, with the next writable address after the run-out and link blocks.
void DetectOpenUdfTrack(DiscLayout& layout);

// Reads one sector's 2048 user-data bytes from where the layout stores it;
// false when the sector is not stored in a form that holds them.
bool ReadUserData(const DiscLayout& layout, std::int32_t lba, std::uint8_t* out2048);

}  // namespace orvane
