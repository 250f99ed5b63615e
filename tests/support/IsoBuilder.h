#pragma once
// An ISO 9660 volume made in memory for the browser's tests: a primary
// descriptor and, when asked, a Joliet supplementary descriptor with its own
// directory tree; directories packed record by record into as many sectors as
// they need; file data after them. Every node remembers where its record and
// its extent went, so a test can damage exactly the byte it means to.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/CdImages.h"

namespace testsupport {

struct IsoNode {
  std::string name;        // identifier in the primary tree, as recorded (files carry ";1" if given)
  std::string jolietName;  // UTF-8 name in the Joliet tree; empty: name
  Bytes jolietRaw;         // exact identifier bytes in the Joliet tree (overrides jolietName)
  bool directory = false;
  Bytes data;              // a file's contents
  bool form2 = false;      // a file recorded in Mode 2 Form 2 sectors (CD-ROM XA)
  std::vector<std::unique_ptr<IsoNode>> children;

  // Where Build put it.
  std::uint32_t extent = 0, size = 0;    // primary tree (a file's data is shared by both trees)
  std::uint32_t jExtent = 0, jSize = 0;  // its Joliet directory
  std::size_t record = 0, jRecord = 0;   // image offset of its record in its parent directory
};

class IsoBuilder {
 public:
  IsoBuilder();
  bool joliet = false;
  std::array<std::uint8_t, 6> time{109, 3, 7, 14, 5, 9};  // 2009-3-7 14:5:9
  std::uint32_t firstLba = 0;  // sector of the image's first byte on the disc (a later session)

  IsoNode& Root() { return *m_root; }
  IsoNode& Folder(IsoNode& parent, const std::string& name);
  IsoNode& File(IsoNode& parent, const std::string& name, Bytes data);
  // The node at "/A/B" (primary names), or null.
  IsoNode* Find(const std::string& path);

  // The volume as 2048-byte sectors.
  Bytes Build();
  // Sectors (relative to the image) of Form 2 files, after Build.
  const std::vector<std::uint32_t>& Form2Sectors() const { return m_form2; }

 private:
  std::unique_ptr<IsoNode> m_root;
  std::vector<std::uint32_t> m_form2;
};

// UTF-8 to big-endian UTF-16 bytes.
Bytes Utf16Be(const std::string& utf8);
// Raw 2352-byte Mode 2 sectors of a volume: Form 1 for every sector but
// those listed, which become Form 2 with the first 2324 bytes of their data.
Bytes RawXaSectors(const Bytes& user, const std::vector<std::uint32_t>& form2, std::int32_t firstLba = 0);
// A tree of depth levels, one folder "Dnn" in each; returns the deepest.
IsoNode& DeepChain(IsoBuilder& b, int depth);

}  // namespace testsupport
