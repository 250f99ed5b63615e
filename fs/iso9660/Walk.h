#pragma once
// Walking a volume's folder tree: the limits every walk keeps (nesting,
// loops, entries) as named outcomes, and the depth-first walk `find` uses.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "fs/iso9660/Descriptors.h"
#include "fs/iso9660/Directory.h"

namespace fs::iso9660 {

// Whether a folder may be entered, as the policy's loop rule and the
// nesting and entry limits say.
class WalkGuard {
 public:
  explicit WalkGuard(LoopRule rule) : m_Rule(rule) {}
  // A folder at extent, depth levels below the root (the root is 0): nullopt
  // when it may be entered, else why not. Enter and Leave come in pairs.
  std::optional<Fault> Enter(std::uint32_t extent, int depth);
  void Leave(std::uint32_t extent);
  // Counts one entry; false once more than kMostEntries were met.
  bool Count() { return ++m_nEntries <= kMostEntries; }
  std::uint64_t Entries() const { return m_nEntries; }

 private:
  LoopRule m_Rule;
  std::vector<std::uint32_t> m_Ancestors;
  std::set<std::uint32_t> m_Visited;
  std::uint64_t m_nEntries = 0;
};

// A volume as its descriptors and root say, and the names it is read with.
struct Volume {
  DescriptorSet descriptors;
  bool found = false;           // a primary or Joliet descriptor with a root
  Names names;
  std::uint32_t rootExtent = 0;
  std::uint32_t rootLength = 0;
  std::vector<FaultAt> faults;  // met while finding out the names
};

// The volume at start. A primary hierarchy carrying Rock Ridge is read with
// its Rock Ridge names even where a Joliet descriptor exists (they keep case,
// length and links that Joliet loses); else Joliet's; else plain ISO 9660.
Volume OpenVolume(SectorSource& source, std::uint32_t start, const Policy& policy);

// The Rock Ridge decoder for a primary hierarchy whose root's "." record
// carries selfSystemUse, or null when the volume has no Rock Ridge.
std::shared_ptr<SystemUseDecoder> DetectRockRidge(SectorSource& source,
                                                  const std::vector<std::uint8_t>& selfSystemUse,
                                                  std::vector<FaultAt>& faults);

// On a Rock Ridge volume the root's ".rr_moved", where xorriso keeps the
// folders it relocated, is hidden as xorriso hides it when everything in it
// is a relocated folder shown elsewhere. genisoimage's "rr_moved" stays, an
// empty folder, as xorriso shows it.
void HideRelocationFolder(DirectoryReader& reader, Listing& root);

// Every entry below the folder at lba (size bytes; 0: from its own record),
// depth first, siblings in bytewise name order; path is "/"-rooted below it.
// Hidden entries (the relocation folder) are left out.
using WalkVisitor = std::function<void(const std::string& path, const Entry& entry)>;
struct WalkResult {
  std::vector<FaultAt> faults;
  std::uint64_t entries = 0;
};
WalkResult WalkTree(DirectoryReader& reader, std::uint32_t lba, std::uint32_t size, const WalkVisitor& visit);

}  // namespace fs::iso9660
