// The raw full TOC as a drive or an image returns it: parsed into sessions
// the way the browser does (descriptors from byte 4, for the big-endian TOC
// data length less 2, in a 2048-byte buffer) and straight from the bytes,
// then every question the views ask of the model, deep copies included, and
// the TOC view's rows.
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "disc/DiscModel.h"
#include "views/CDlgTOCRows.h"

namespace {

void Ask(const SessionInfo& sessions) {
  SessionInfo copy;
  copy = sessions;
  const SessionInfo again(copy);
  for (int s = 0; s < again.GetSessionNum(); ++s) {
    const TocData& t = again[s];
    TocData mine(t);
    (void)mine.GetFirstTrackNo();
    (void)mine.GetLeadOutStartPos();
    (void)mine.GetDiscType();
    // The views walk first to last; a lying TOC may name 0 to 255.
    for (int n = t.GetFirstTrackNo(); n <= t.GetLastTrackNo() && n < 256; ++n) {
      TocData::_Data d;
      if (t.GetTrackData(n, d)) (void)d.GetStartPos();
      if (const TocData::_Data* p = t.GetTrackData(n)) (void)p->is_data_track();
    }
    for (int i = 0; i < t.size(); ++i) (void)t.at(i).GetStartPos();
    try {
      (void)t.at(t.size());
      std::abort();  // out of range must throw
    } catch (const std::out_of_range&) {
    }
    mine.init();
    if (mine.size() != 0) std::abort();
  }
  if (again.GetSessionNum() > 0) {
    (void)again.front().GetSessNo();
    (void)again.back().GetSessNo();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // As the callers hold it: a 2048-byte buffer, the length from its header.
  std::vector<unsigned char> buffer(2048, 0);
  std::memcpy(buffer.data(), data, std::min<std::size_t>(size, buffer.size()));
  const int declared = static_cast<std::uint16_t>(((buffer[0] << 8) | buffer[1]) - 2);
  const int length = std::min(declared, 2048 - 4);
  Ask(SessionInfo(buffer.data() + 4, length));

  // The bytes alone, exactly as long as the input.
  std::vector<unsigned char> exact(data, data + size);
  Ask(SessionInfo(exact.data(), static_cast<int>(exact.size())));

  std::vector<TocRow> rows;
  BuildFullTocRows(exact.data(), static_cast<int>(exact.size()), [&](int track) {
    return size ? static_cast<int>(data[track % size] % 4) - 1 : -1;
  }, rows);
  return 0;
}
