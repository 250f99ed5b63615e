#pragma once
// Shared helpers of the browser tests: a device over an in-memory disc, the
// tree printed as text, the list's rows.
#include <memory>
#include <string>
#include <vector>

#include "disc/DevCmdROM.h"
#include "platform/orvane/VirtualDrive.h"
#include "platform/ui/HeadlessUi.h"
#include "tests/support/IsoBuilder.h"
#include "tests/support/MemoryImage.h"
#include "views/CDlgMain.h"

namespace browsertest {

struct UiScope {
  ui::HeadlessUi hui;
  ui::Ui* prev;
  UiScope() : prev(ui::Ui::Install(&hui)) {}
  ~UiScope() { ui::Ui::Install(prev); }
};

inline std::unique_ptr<CDevCmdROM> Device(orvane::DiscLayout layout) {
  return std::make_unique<CDevCmdROM>(1, orvane::CreateVirtualDrive(std::move(layout), "memory"));
}

// A data track of cooked 2048-byte sectors at start.
inline orvane::TrackLayout DataTrack(int number, const testsupport::Bytes& user, std::int32_t start = 0,
                                     int session = 1) {
  auto file = std::make_shared<testsupport::MemoryImageFile>(user);
  return testsupport::MemoryTrack(number, orvane::TrackMode::Mode1, start,
                                  static_cast<std::uint32_t>(user.size() / 2048), file,
                                  orvane::StoredFormat::UserData2048, 2048, 0, session);
}

inline std::unique_ptr<CDevCmdROM> IsoDevice(const testsupport::Bytes& user, int profile = 0x08) {
  return Device(testsupport::MemoryDisc({DataTrack(1, user)}, profile));
}

// "  text\tdata" lines, two spaces a level.
inline std::string TreeText(ui::TreeCtrl& t) {
  std::string out;
  struct Walk {
    ui::TreeCtrl& t;
    std::string& out;
    void Go(ui::HTREEITEM parent, int depth) {
      for (ui::HTREEITEM c = t.GetChildItem(parent); c; c = t.GetNextSiblingItem(c)) {
        out += std::string(2 * depth, ' ') + t.GetItemText(c) + "\t" + std::to_string(t.GetItemData(c)) + "\n";
        Go(c, depth + 1);
      }
    }
  } w{t, out};
  w.Go(ui::TVI_ROOT, 0);
  return out;
}

// The child of parent (TVI_ROOT for the top) whose text is text.
inline ui::HTREEITEM Child(ui::TreeCtrl& t, ui::HTREEITEM parent, const std::string& text) {
  for (ui::HTREEITEM c = t.GetChildItem(parent); c; c = t.GetNextSiblingItem(c))
    if (t.GetItemText(c) == text) return c;
  return nullptr;
}
// The node at "Session 1/DATA TRACK 1(ISO)/DOCS".
inline ui::HTREEITEM Path(ui::TreeCtrl& t, const std::string& path) {
  ui::HTREEITEM n = ui::TVI_ROOT;
  std::size_t pos = 0;
  while (n && pos <= path.size()) {
    const std::size_t slash = path.find('/', pos);
    n = Child(t, n, path.substr(pos, slash == std::string::npos ? std::string::npos : slash - pos));
    if (slash == std::string::npos) break;
    pos = slash + 1;
  }
  return n;
}

inline std::vector<std::vector<std::string>> Rows(ui::ListCtrl& l) {
  std::vector<std::vector<std::string>> out;
  for (int r = 0; r < l.GetItemCount(); ++r) {
    std::vector<std::string> row;
    for (int c = 0; c < l.GetColumnCount(); ++c) row.push_back(l.GetItemText(r, c));
    out.push_back(row);
  }
  return out;
}
inline std::vector<std::string> Names(ui::ListCtrl& l) {
  std::vector<std::string> out;
  for (int r = 0; r < l.GetItemCount(); ++r) out.push_back(l.GetItemText(r, 0));
  return out;
}

}  // namespace browsertest
