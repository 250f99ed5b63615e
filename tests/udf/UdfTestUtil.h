#pragma once
// A CDevCmdROM over a built UDF image, with its in-memory drive kept at hand
// so tests can change what it answers and see what was read.
#include <memory>

#include "disc/DevCmdROM.h"
#include "tests/support/UdfBuilder.h"
#include "tests/support/UdfTestTransport.h"

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

}  // namespace udftest
