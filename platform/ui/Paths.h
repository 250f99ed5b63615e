#pragma once
// Where the program finds the files it ships beside itself: the HTML help and
// the sample disc images.
//
// Both live under a data folder "share/tessal" laid out the same way in an
// installed tree and in the build tree:
//
//   <data>/help/index.html   the help (opened with the desktop's handler)
//   <data>/samples/          sample images (the image file dialog starts here)
//
// The data folder is looked for, first match wins:
//   1. <folder of the running program>/../share/tessal — an installed program
//      (wherever its prefix was moved, DESTDIR included) and a program run
//      from the build tree (build/bin and build/tests both sit beside
//      build/share) each find their own files;
//   2. the install prefix the build was configured with, <prefix>/share/tessal;
//   3. the build tree the program was built in, <build>/share/tessal.
// A candidate counts only when it holds the file or folder asked for, so an
// installed program without samples still finds the build tree's.
#include <filesystem>
#include <vector>

namespace ui {

// The candidate data folders in the order above, for the program at exe
// (an empty exe: the running program). Folders that do not exist are kept;
// the finders below skip them.
std::vector<std::filesystem::path> DataFolderCandidates(const std::filesystem::path& exe = {});

// The help's start page, or an empty path when no candidate has one.
std::filesystem::path HelpFile(const std::filesystem::path& exe = {});
// The folder of the sample images, or an empty path when none was built or
// installed. The image file dialog falls back to the user's home then.
std::filesystem::path SamplesFolder(const std::filesystem::path& exe = {});

// The running program's own file (/proc/self/exe), empty when unknown.
std::filesystem::path RunningProgram();

}  // namespace ui
