// tessal_samples <folder>: writes the sample discs into folder (created when
// missing). Run by the build; the files land in share/tessal/samples.
#include <filesystem>
#include <iostream>

#include "samples/Samples.h"

namespace {

const char* const kReadme =
    "Tessal sample discs\n"
    "===================\n"
    "\n"
    "Images to open without a drive: choose \"[Image File]\" in the device dialog and\n"
    "pick one of these. The build writes them with Tessal's own image builders.\n"
    "\n"
    "mixed-mode.cue / mixed-mode.bin\n"
    "    A mixed-mode CD: track 1 is Mode 1 data with an ISO 9660 volume and Joliet\n"
    "    names (folders, a multi-sector file, a picture); tracks 2 to 4 are audio\n"
    "    (a scale, arpeggios, two bells) with CD-TEXT titles, performers and\n"
    "    songwriters and an ISRC each. Open the .cue file.\n"
    "\n"
    "cdrom-xa.cue / cdrom-xa.bin / cdrom-xa.bin.map\n"
    "    A CD-ROM XA disc: Mode 2 Form 1 directories and files, and a Form 2 stream\n"
    "    (MPEGAV/STREAM.DAT) as a Video CD stores its MPEG data. The ddrescue\n"
    "    mapfile beside the image marks four sectors of the stream unreadable, so\n"
    "    Disc Scan lists them with their sense codes. Open the .cue file.\n"
    "\n"
    "udf-dvd.nrg\n"
    "    A DVD-ROM in Nero's image format holding a UDF 2.01 volume (extended file\n"
    "    entries, Unicode names, an embedded file, a file in several extents,\n"
    "    nested folders). As on a DVD there is no CD table of contents: the\n"
    "    tracks come from the disc and track information.\n"
    "\n"
    "From a terminal:\n"
    "    tessal-cli tree mixed-mode.cue\n"
    "    tessal-cli toc mixed-mode.cue\n";

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: tessal_samples <folder>\n";
    return 2;
  }
  const std::string folder = argv[1];
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec) {
    std::cerr << "tessal_samples: cannot create " << folder << ": " << ec.message() << "\n";
    return 1;
  }
  std::string error;
  if (!samples::WriteMixedModeDisc(folder, error) || !samples::WriteXaDisc(folder, error) ||
      !samples::WriteUdfDisc(folder, error) || !samples::WriteText(folder, "README.txt", kReadme, error)) {
    std::cerr << "tessal_samples: " << error << "\n";
    return 1;
  }
  return 0;
}
