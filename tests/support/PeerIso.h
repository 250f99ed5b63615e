#pragma once
// What independent tools make of a Rock Ridge volume, for tests that check
// our reading and extraction against them: images made at test time by
// genisoimage and xorriso from a tree holding what Linux writers record
// (links absolute and relative, hard links, a device node, folders nested
// past eight levels, long and mixed-case names, permission bits and times),
// the listings of `xorriso -find -exec lsdl` and `isoinfo -R -l` read into
// rows, xorriso's own extraction, and two extracted trees compared.
#include <string>
#include <vector>

#include "fs/Node.h"
#include "tests/support/CdInfo.h"

namespace testsupport {

struct PeerRow {
  std::string path;  // "/"-rooted; "/" is the root
  fs::NodeInfo info;  // name, type, size (files), mode where shown, link target, lba (isoinfo)
};

// The source tree every peer image is made from (root must not exist).
// Its modification times are fixed: 2005-03-05T15:25:51Z for files,
// 2001-09-09T01:46:40Z for folders, 2000-01-01T00:00:00Z for links.
void MakePeerSourceTree(const std::string& root);
constexpr std::int64_t kPeerFileTime = 1110036351;
constexpr std::int64_t kPeerFolderTime = 1000000000;
constexpr std::int64_t kPeerLinkTime = 946684800;
// How deep the tree's deepest folder lies (genisoimage relocates past 8).
constexpr int kPeerDepth = 11;

// genisoimage -R -J -joliet-long of src.
ProgramRun MakeGenisoImage(const std::string& src, const std::string& iso, const ScratchDir& dir);
// xorriso -rockridge on -hardlinks on of src, with the host's /dev/null
// mapped in as the character device "/null".
ProgramRun MakeXorrisoImage(const std::string& src, const std::string& iso, const ScratchDir& dir);

// xorriso -rockridge on of src with every file zisofs-compressed:
// `-zisofs OPTIONS` (for example "block_size=64k", "version_2=on") then
// `-set_filter_r --zisofs /`.
ProgramRun MakeZisofsImage(const std::string& src, const std::string& iso, const std::string& options,
                           const ScratchDir& dir);

// `xorriso -indev ISO -find / -exec lsdl`: path, type, permission bits
// (setuid, setgid and sticky included), size, link target.
std::vector<PeerRow> XorrisoFind(const std::string& iso, const ScratchDir& dir);
std::vector<PeerRow> ParseLsdl(const std::string& text);
// `isoinfo -R -l -i ISO`: path, type, rwx bits, size, link target, lba.
// isoinfo does not follow Rock Ridge relocation: folders nested past eight
// levels show under /rr_moved, with an empty folder in their true place.
std::vector<PeerRow> IsoinfoList(const std::string& iso, const ScratchDir& dir);
std::vector<PeerRow> ParseIsoinfo(const std::string& text);
// Rows of isoinfo with each folder under /rr_moved put back in place of the
// empty folder of its name (genisoimage's relocation; names of relocated
// folders taken as unique), and /rr_moved itself gone.
std::vector<PeerRow> RelocatedInPlace(std::vector<PeerRow> rows);

// `xorriso -osirrox on -indev ISO -extract / DEST`.
ProgramRun XorrisoExtract(const std::string& iso, const std::string& dest, const ScratchDir& dir);

// The tree below root as rows (the root itself as "/"): type, size, mode
// (all of st_mode's permission bits), mtime, link target. Sorted by path.
std::vector<PeerRow> ReadTreeRows(const std::string& root);
// How got differs from want, one line per difference; empty when they hold
// the same names, types, link targets and bytes, the same permission bits
// (rwx: extraction never applies setuid, setgid or sticky) and the same
// modification times of files and folders (a link's own time is left out:
// xorriso does not set it; so are the bits and time of the root, the folder
// the user named).
std::string CompareTrees(const std::string& want, const std::string& got);

}  // namespace testsupport
