// qemu_make_udf OUT: writes a plain UDF 2.01 volume (no ISO 9660 bridge) for the
// emulated-drive run: nested folders, a file in several extents, one larger
// than a 16-sector read, an embedded file, an empty one and a 16-bit name, so
// the browser, the listing and the extraction all have something to walk.
// qemu_make_udf --bytes N SEED OUT: N pattern bytes for the ISO volume's files,
// the same on every run so results of an earlier run stay comparable.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/UdfBuilder.h"

using testsupport::UdfNode;

namespace {

// Bytes that differ from sector to sector, so a sector read from the wrong
// place cannot pass for the right one.
std::vector<std::uint8_t> Pattern(std::size_t n, std::uint32_t seed) {
  std::vector<std::uint8_t> v(n);
  std::uint32_t x = seed * 2654435761u + 1;
  for (std::size_t i = 0; i < n; ++i) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    v[i] = static_cast<std::uint8_t>(x >> 24);
  }
  return v;
}

bool WriteBytes(const char* path, const std::vector<std::uint8_t>& bytes) {
  std::FILE* f = std::fopen(path, "wb");
  if (!f) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::string(argv[1]) == "--bytes") {
    const auto n = std::strtoul(argv[2], nullptr, 10);
    const auto seed = static_cast<std::uint32_t>(std::strtoul(argv[3], nullptr, 10));
    if (!WriteBytes(argv[4], Pattern(n, seed))) {
      std::fprintf(stderr, "qemu_make_udf: cannot write %s\n", argv[4]);
      return 1;
    }
    return 0;
  }
  if (argc != 2) {
    std::fprintf(stderr, "usage: qemu_make_udf OUT | --bytes N SEED OUT\n");
    return 2;
  }
  UdfNode big = UdfNode::File("big.bin", Pattern(300 * 1024 + 77, 1));
  UdfNode split = UdfNode::File("split.bin", Pattern(40 * 2048 + 5, 2));
  split.extents = 3;
  UdfNode small = UdfNode::File("inline.txt", std::string("kept inside its file entry\n"));
  small.embedded = true;
  UdfNode wide = UdfNode::File("Grüße €.txt", std::string("sixteen-bit name\n"));
  wide.wideName = true;
  UdfNode root = UdfNode::Dir(
      "", {UdfNode::Dir("DOCS", {UdfNode::File("readme.txt", std::string("UDF volume for the drive run\n")),
                                 UdfNode::Dir("deep", {UdfNode::Dir("deeper", {UdfNode::File("leaf.dat", Pattern(5000, 3))})}),
                                 wide}),
           UdfNode::Dir("DATA", {big, split, UdfNode::File("empty.bin", std::vector<std::uint8_t>{})}), small});
  testsupport::UdfBuildOptions options;
  options.volumeId = "QEMUUDF";
  const testsupport::UdfImage image = testsupport::BuildUdfImage(root, options);
  if (!image.WriteTo(argv[1])) {
    std::fprintf(stderr, "qemu_make_udf: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
