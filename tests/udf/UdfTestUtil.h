#pragma once
// A CDevCmdROM over a built UDF image, with its in-memory drive kept at hand
// so tests can change what it answers and see what was read.
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "disc/DevCmdROM.h"
#include "tests/support/UdfBuilder.h"
#include "tests/support/UdfTestTransport.h"
#include "udf/Analy_UDF.h"
#include <gtest/gtest.h>

namespace udftest {

struct TestDrive {
  testsupport::UdfTestTransport* drive = nullptr;  // owned by device
  std::unique_ptr<CDevCmdROM> device;
};

inline TestDrive MakeDrive(const testsupport::UdfImage& image) {
  auto t = std::make_unique<testsupport::UdfTestTransport>(image);
  TestDrive d;
  d.drive = t.get();
  d.device = std::make_unique<CDevCmdROM>(1, std::move(t), "udf-test");
  return d;
}

// A small tree used by many tests: a file at the root, a folder with a file.
inline testsupport::UdfNode SampleTree() {
  using testsupport::UdfNode;
  UdfNode root = UdfNode::Dir("");
  root.children.push_back(UdfNode::File("readme.txt", "Read me first."));
  root.children.push_back(UdfNode::Dir("docs", {UdfNode::File("a.bin", std::vector<std::uint8_t>(5000, 0x5A))}));
  return root;
}

// A file's bytes read back through the extents the analyser gives.
inline std::vector<std::uint8_t> ReadThroughExtents(CDevCmdROM& dev, const UdfFileData& f) {
  if (f.embedded) return f.inlineData;
  std::vector<std::uint8_t> out(static_cast<std::size_t>(f.size), 0);
  unsigned char buf[2048];
  for (const UdfExtent& x : f.extents) {
    if (!x.recorded) continue;
    for (std::uint64_t off = 0; off < x.length && x.fileOffset + off < out.size(); off += 2048) {
      EXPECT_EQ(dev.ReadCD_10(buf, 2048, 1, x.sector + static_cast<std::uint32_t>(off / 2048)), 0);
      std::size_t n = std::min<std::uint64_t>({2048, x.length - off, out.size() - x.fileOffset - off});
      std::memcpy(out.data() + x.fileOffset + off, buf, n);
    }
  }
  return out;
}

}  // namespace udftest
