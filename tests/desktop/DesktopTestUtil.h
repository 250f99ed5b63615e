#pragma once
// Where the build put what ships beside the programs, and the sample discs
// opened the way the device dialog opens them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "disc/DevCmdROM.h"

namespace desktoptest {

namespace fs = std::filesystem;

inline fs::path BinDir() {
  const char* d = std::getenv("TESSAL_BIN_DIR");
  return d ? fs::path(d) : fs::path();
}
inline fs::path BuildRoot() { return BinDir().parent_path(); }
inline fs::path BuildDataDir() { return BuildRoot() / "share" / "tessal"; }
inline std::string Sample(const std::string& name) { return (BuildDataDir() / "samples" / name).string(); }

// The image item of the device list with an image attached, as "[Image File]"
// leaves it after the user picked the file.
inline std::unique_ptr<CDevCmdROM> OpenSample(const std::string& name) {
  auto dev = std::make_unique<CDevCmdROM>(0, nullptr);
  if (!dev->SetImageFile(Sample(name))) {
    ADD_FAILURE() << name << ": " << dev->GetLastError();
    return nullptr;
  }
  EXPECT_EQ(dev->TestUnitReady(), 0) << name;
  return dev;
}

}  // namespace desktoptest
