// The file browser view.
#include "views/CDlgMain.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "copy/IsoNames.h"
#include "disc/ByteOrder.h"
#include "disc/MmcRecords.h"
#include "platform/ui/Ui.h"
#include "res/Resources.h"
#include "views/CDlgAudioPlay.h"
#include "views/CDlgTOC.h"
#include "views/IsoReader.h"

namespace {

constexpr int kStrBlankDisc = 13;
constexpr int kStrNotReady = 14;
constexpr const char* kBlankDisc = "Blank Disc";
constexpr const char* kNotReady = "Device not Ready,Please try again!";

// Images of the image list, in the order they are added.
constexpr int kImgFolder = 0;
constexpr int kImgFolderOpen = 1;
constexpr int kImgAudioTrack = 3;
constexpr int kImgDataTrack = 4;
constexpr int kIcons[] = {199, 198, 200, 202, 201};

constexpr int kCdTextTracks = 99;

// The synthesised TOC holds four descriptors (44 bytes) for each track the
// disc information may name; a TOC names tracks 1 to 99 only.
constexpr std::size_t kTrackBlock = 4 * mmc::kFullTocDescriptorSize;
constexpr std::size_t kSynthBufferSize = mmc::kTocHeaderSize + kTrackBlock * 256;
constexpr std::uint8_t kDataTrackAdrControl = 0x14;  // ADR 1, CONTROL 4: a data track

std::string Format(const char* fmt, long v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, fmt, v);
  return buf;
}

// The number that starts text (after leading blanks), or def when none does.
long LeadingNumber(const std::string& text, long def) {
  const char* s = text.c_str();
  char* end = nullptr;
  const long v = std::strtol(s, &end, 10);
  return end == s ? def : v;
}

// The text after the nth blank, or empty.
std::string AfterBlank(const std::string& text, int nth) {
  std::size_t pos = 0;
  for (int i = 0; i < nth; ++i) {
    pos = text.find(' ', pos);
    if (pos == std::string::npos) return {};
    ++pos;
  }
  return text.substr(pos);
}

void PutDescriptor(unsigned char* d, int session, int point, const Hmsf& a) {
  mmc::PutFullTocDescriptor(d, {session, kDataTrackAdrControl, point, a.h, disc::Msf{a.m, a.s, a.f}});
}

// A session of several tracks (DVD-R, BD-R) is read by its first A0, A1 and
// A2: each of its blocks names the session's last track and lead-out, or the
// tracks after the first and the end of the session would be lost.
void JoinSynthesizedSessions(unsigned char* buffer, std::size_t written) {
  constexpr std::size_t k = mmc::kFullTocDescriptorSize;
  for (std::size_t at = mmc::kTocHeaderSize; at < written; at += kTrackBlock) {
    const int session = mmc::FullTocDescriptor(buffer + at).Session();
    for (std::size_t later = at + kTrackBlock; later < written; later += kTrackBlock) {
      if (mmc::FullTocDescriptor(buffer + later).Session() != session) continue;
      const mmc::TocEntry last = mmc::FullTocDescriptor(buffer + later + k).Entry();
      const mmc::TocEntry lead = mmc::FullTocDescriptor(buffer + later + 2 * k).Entry();
      PutDescriptor(buffer + at + k, session, mmc::kPointLastTrack, Hmsf{0, last.TrackNumber(), 0, 0});
      PutDescriptor(buffer + at + 2 * k, session, mmc::kPointLeadOut,
                    Hmsf{lead.Zero(), lead.Pmin(), lead.Psec(), lead.Pframe()});
    }
  }
}

}  // namespace

const char* FsSuffix(int fs) {
  switch (fs) {
    case 1: return "(ISO)";
    case 2: return "(UDF)";
    case 3: return "(UDF&ISO)";
    default: return "";
  }
}

Hmsf AddressToHmsf(std::int64_t x) {
  // The program area from LBA -150 counts whole 90-minute units in H; the
  // lead-in (minutes 90 to 99) has negative addresses from -45150 to -151.
  constexpr std::int64_t kHighest = 2147438497LL;  // the last LBA whose H still fits
  constexpr std::int64_t kLeadInFirst = disc::kLeadInMinute * std::int64_t{disc::kFramesPerMinute} - disc::kLeadInOffset;
  Hmsf r;
  disc::Msf msf;
  if (x >= -disc::kLbaOffset && x <= kHighest) {
    const std::int64_t v = x + disc::kLbaOffset;
    r.h = static_cast<int>(v / disc::kFramesPer90Minutes);
    msf = disc::FramesToMsf(v - disc::kFramesPer90Minutes * r.h);
  } else if (x >= kLeadInFirst && x < -disc::kLbaOffset) {
    msf = disc::FramesToMsf(x + disc::kLeadInOffset);
  }
  r.m = msf.m;
  r.s = msf.s;
  r.f = msf.f;
  return r;
}

CDlgMain::CDlgMain(ui::Window* parent) : ui::Dialog(kTemplateId, parent) {
  BindControl(kListId, m_List);
  BindControl(kTreeId, m_Tree);
  BindControl(kSplitterId, m_Split);
  // The list keeps its rows sorted by name even before it has a window (the
  // command-line tool fills it without one).
  m_List.ModifyStyle(0, res::Style::SortAscending | res::Style::ShowSelAlways | res::Style::NoSortHeader);
  iso::ResetFolderColumns(m_List);
}

CDlgMain::~CDlgMain() {
  m_Tree.SetImageList(nullptr);
  m_List.SetImageList(nullptr);
}

bool CDlgMain::OnInitDialog() {
  if (ui::Window* parent = GetParent()) {
    const ui::Rect r = parent->GetClientRect();
    const int W = r.Width(), H = r.Height();
    MoveWindow(0, 0, W, H);
    m_Tree.MoveWindow(0, 0, W / 2 - 3, H);
    m_Split.MoveWindow(W / 2 - 3, 0, 6, H + 2);
    m_List.MoveWindow(W / 2 + 3, 0, W / 2 - 3, H);
  }
  m_Tree.ModifyStyle(0, res::Style::HasButtons | res::Style::HasLines | res::Style::LinesAtRoot |
                            res::Style::ShowSelAlways);
  m_List.ModifyStyle(0, res::Style::SortAscending | res::Style::ShowSelAlways | res::Style::NoSortHeader);
  m_Images.Create(16, 16);
  for (int icon : kIcons) m_Images.AddIcon(icon);
  m_Tree.SetImageList(&m_Images);
  m_List.SetImageList(&m_Images);
  iso::ResetFolderColumns(m_List);
  return true;
}

void CDlgMain::DestroyWindow() {
  m_Tree.SetImageList(nullptr);
  m_List.SetImageList(nullptr);
  m_Images.DeleteImageList();
  ui::Dialog::DestroyWindow();
}

bool CDlgMain::PreTranslateMessage(ui::MSG* msg) {
  // Enter and Escape would end a dialog; the view is no dialog of its own.
  return msg && msg->message == ui::WM_KEYDOWN && (msg->wParam == ui::VK_RETURN || msg->wParam == ui::VK_ESCAPE);
}

ui::LRESULT CDlgMain::OnNotify(int id, int code) {
  if (id == kTreeId) {
    if (code == ui::TVN_SELCHANGED) OnSelectionChanged();
    if (code == ui::NM_SETFOCUS) m_nLastFocus = 1;
  } else if (id == kListId) {
    if (code == ui::NM_SETFOCUS) m_nLastFocus = 2;
    if (code == ui::NM_DBLCLK) OnListDoubleClick();
  }
  return 0;
}

ui::LRESULT CDlgMain::OnMessage(unsigned msg, ui::WPARAM, ui::LPARAM lParam) {
  if (msg == kSplitMessage) MoveSplit(static_cast<long>(lParam));
  return 0;
}

void CDlgMain::MoveSplit(long screenX) {
  if (screenX == 0) return;
  ui::Window* parent = GetParent();
  if (!parent) return;
  const long x = screenX - parent->GetWindowRect().left;
  const ui::Rect client = parent->GetClientRect();
  const long W = client.Width(), H = client.Height();
  if (x <= kSplitMargin || W - x <= kSplitMargin) return;
  const ui::Rect tree = m_Tree.GetRect();
  m_Tree.MoveWindow(tree.left, tree.top, static_cast<int>(x - 3), static_cast<int>(H));
  m_Split.MoveWindow(static_cast<int>(x - 3), 0, 6, static_cast<int>(H));
  m_List.MoveWindow(static_cast<int>(x + 3), 0, static_cast<int>(W - x - 3), static_cast<int>(H));
}

void CDlgMain::AttachPlayer(CDlgAudioPlay* player) {
  m_pPlayer = player;
  if (player) player->SetDevice(m_pDevice, &m_Tree);
}

// ------------------------------------------------------------ the disc

void CDlgMain::LoadDisc(CDevCmdROM* device) {
  m_Tree.DeleteAllItems();
  m_TrackNames.clear();
  m_SessionVolumes.clear();
  m_Boot.Clear();
  if (!device) return;
  m_pDevice = device;
  m_bUdfValid = false;
  std::memset(m_CdText.data, 0, sizeof m_CdText.data);
  device->GetCDText(m_CdText);
  m_Tree.DeleteAllItems();
  BuildDiscTree();
  if (ui::HTREEITEM root = m_Tree.GetRootItem()) {
    if (ui::HTREEITEM first = m_Tree.GetChildItem(root)) SelectNode(first);
  }
  m_Tree.ShowWindow(ui::SW_SHOW);
}

bool CDlgMain::BuildDiscTree() {
  // The sessions always describe the tree: a disc that cannot be read leaves
  // none behind from the one before.
  m_Sessions.init();
  m_bTocSynthesized = false;
  if (!m_pDevice) return false;
  if (m_pDevice->TestUnitReady() != 0) {
    ui::AfxMessageBox(PanelString(kStrNotReady, kNotReady), ui::MB_OK | ui::MB_ICONINFORMATION);
    return false;
  }
  const MEDIUM_TYPE medium = m_pDevice->GetMediumType();
  DISC_INFO di{};
  const bool haveDiscInfo = m_pDevice->ReadDiscInfo(di) == 0;

  std::vector<unsigned char> toc(kSynthBufferSize, 0);
  std::size_t held = kTocBufferSize;  // bytes of toc that hold the response
  auto synthesize = [&] {
    const int rc = SynthesizeToc(toc.data(), toc.size());
    held = m_nSynthesizedBytes;
    m_bTocSynthesized = rc == 0;
    return rc;
  };
  int rc;
  if (haveDiscInfo && !mmc::DiscInfoFields(di).IsEmpty() && !IsCdMedium(medium)) {
    rc = synthesize();
  } else {
    rc = m_pDevice->ReadToc(toc.data(), static_cast<int>(kTocBufferSize), 2, 0);
    if (rc != 0) rc = synthesize();
  }
  if (rc != 0) {
    ui::HTREEITEM blank = m_Tree.InsertItem(PanelString(kStrBlankDisc, kBlankDisc), kImgFolder, kImgFolderOpen);
    m_Tree.SetItemData(blank, 0);
    return true;
  }

  // The descriptors the header counts, but never more than the buffer holds.
  const std::size_t length = mmc::TocDescriptorBytes(toc.data(), held);
  m_Sessions = SessionInfo(toc.data() + mmc::kTocHeaderSize, static_cast<int>(length));
  const int sessions = m_Sessions.GetSessionNum();
  if (sessions == 0) return true;

  // The last data track decides how raw sectors are cut.
  for (int i = 0; i < sessions; ++i) {
    const TocData& s = m_Sessions[i];
    for (int t = s.GetFirstTrackNo(); t <= s.GetLastTrackNo(); ++t) {
      const TocData::_Data* d = s.GetTrackData(t);
      if (d && d->is_data_track()) m_nDataMode = s.GetDiscType() == mmc::kDiscTypeXa ? 2 : 1;
    }
  }

  for (int n = 1; n <= sessions; ++n) {
    ui::HTREEITEM node = m_Tree.InsertItem(Format("Session %d", n), kImgFolder, kImgFolderOpen);
    m_Tree.SetItemData(node, 0);
    AddSessionTracks(n - 1, node);
    m_Tree.Expand(node, ui::TVE_EXPAND);
  }
  const TocData& lastSession = m_Sessions.back();
  const TocData::_Data* a2 = lastSession.GetLeadOutData();
  const std::int64_t leadOutStart = a2 ? TrackStart(*a2) : 0;
  ui::HTREEITEM leadOut = m_Tree.InsertItem(Format("(Lead Out) %d", static_cast<long>(static_cast<int>(leadOutStart))),
                                            kImgFolder, kImgFolderOpen);
  m_Tree.SetItemData(leadOut, 0);
  return true;
}

std::int64_t CDlgMain::TrackStart(const TocData::_Data& d) const {
  const std::int64_t msf = d.GetStartPos();
  // Only the synthesised TOC uses the byte before PMIN; a drive's TOC keeps
  // it zero for track descriptors (and other meanings for other ADRs).
  const mmc::TocEntry e(d);
  if (!m_bTocSynthesized || msf == static_cast<std::int64_t>(kNoPosition) || e.Pmin() >= disc::kLeadInMinute) return msf;
  return msf + disc::kFramesPer90Minutes * e.Zero();
}

int CDlgMain::SynthesizeToc(unsigned char* buffer, std::size_t size) {
  if (!m_pDevice || !buffer || size < mmc::kTocHeaderSize) return -1;
  std::memset(buffer, 0, size);
  DISC_INFO di{};
  const int rc = m_pDevice->ReadDiscInfo(di);
  if (rc != 0) return rc;
  const mmc::DiscInfoFields info(di);
  // An empty disc has no track yet, only the blank one a recorder would
  // write; it is a blank disc, not a data track.
  if (info.IsEmpty()) return kEmptyDisc;
  // The track numbers are read whole (a BD-R may hold thousands of tracks),
  // but a TOC names tracks 1 to 99 only: a track past 99 would read as one of
  // its control points, so the synthesised TOC stops at 99.
  const int first = info.FirstTrack();
  int last = std::min(info.LastTrackInLastSession(), mmc::kLastTrackPoint);
  const int named = last;
  PutBE16(buffer, static_cast<std::uint32_t>(46 + 44 * (last - first)));
  buffer[2] = static_cast<unsigned char>(first);
  buffer[3] = static_cast<unsigned char>(last);
  // The last track the disc information names is the open one of a writable
  // disc; its block stays zero. A complete (closed) disc has no open track.
  const bool open = info.Status() != mmc::DiscStatus::Complete;
  if (open && info.LastTrackInLastSession() == named && last > first) --last;
  std::size_t written = mmc::kTocHeaderSize;
  for (int t = first; t <= last; ++t) {
    const std::size_t at = mmc::kTocHeaderSize + kTrackBlock * static_cast<std::size_t>(t - first);
    if (at + kTrackBlock > size) break;
    TRACK_INFO ti{};
    const int r = m_pDevice->ReadTrackInfo(ti, READ_TRACK_INFO_TRACK, t);
    if (r != 0) return r;
    const mmc::TrackInfoFields track(ti);
    const std::int64_t start = static_cast<std::int32_t>(track.Start());
    const std::int64_t end = start + track.Size();
    const int session = track.SessionNumber();
    unsigned char* d = buffer + at;
    constexpr std::size_t k = mmc::kFullTocDescriptorSize;
    PutDescriptor(d, session, mmc::kPointFirstTrack, Hmsf{0, t, 0, 0});
    PutDescriptor(d + k, session, mmc::kPointLastTrack, Hmsf{0, t, 0, 0});
    PutDescriptor(d + 2 * k, session, mmc::kPointLeadOut, AddressToHmsf(end));
    PutDescriptor(d + 3 * k, session, t, AddressToHmsf(start));
    written = at + kTrackBlock;
  }
  JoinSynthesizedSessions(buffer, written);
  // The header still counts the open track's block; what is parsed stops at
  // the blocks written, so a zero block never stands for a session 0.
  m_nSynthesizedBytes = written;
  return 0;
}

void CDlgMain::AddSessionTracks(int index, ui::HTREEITEM sessionNode) {
  if (index < 0 || index >= m_Sessions.GetSessionNum()) return;
  const TocData& s = m_Sessions[index];
  const int first = s.GetFirstTrackNo();
  const int last = std::min(s.GetLastTrackNo(), 99);
  for (int t = std::max(first, 1); t <= last; ++t) {
    const TocData::_Data* d = s.GetTrackData(t);
    if (!d) continue;
    if (d->is_audio_track()) {
      ui::HTREEITEM n = m_Tree.InsertItem(Format("AUDIO TRACK %d", t), kImgAudioTrack, kImgAudioTrack, sessionNode);
      m_Tree.SetItemData(n, 0);
      continue;
    }
    if (t != first) {
      ui::HTREEITEM n = m_Tree.InsertItem(Format("DATA TRACK %d", t), kImgDataTrack, kImgDataTrack, sessionNode);
      m_Tree.SetItemData(n, 0);
      continue;
    }
    const std::uint32_t start = static_cast<std::uint32_t>(TrackStart(*d));
    const int fs = m_pDevice->JudgeFileSystem(start);
    ui::HTREEITEM node =
        m_Tree.InsertItem(Format("DATA TRACK %d", t) + FsSuffix(fs), kImgDataTrack, kImgDataTrack, sessionNode);
    m_Tree.SetItemData(node, 0);
    m_Boot.AddTrack(m_Tree, m_pDevice, node, start);
    if (fs >= 2) {
      m_bUdfValid = false;
      // A volume the analyser cannot take ends this session's tracks here.
      if (!m_Udf.Analyse(m_pDevice, m_pVdBuffer, start)) return;
      m_bUdfValid = true;
      m_nUdfStart = start;
      m_UdfSummary = m_Udf.Summary();
      m_Udf.FillFolderTree(&m_Tree, node);
    } else {
      m_UdfSummary.reset();
      ReadIsoRoot(node, start);
    }
    m_Tree.Expand(node, ui::TVE_EXPAND);
    m_nFsType = fs;
    KeepSessionVolume(node, fs);
  }
}

// ------------------------------------------------------------ ISO 9660

void CDlgMain::ReadIsoRoot(ui::HTREEITEM trackNode, std::uint32_t start) {
  m_bJoliet = false;
  iso::TrackVolume v = iso::FindVolume(m_pDevice, start, m_nDataMode, m_pVdBuffer);
  m_bJoliet = v.names.set == fs::iso9660::NameSet::Joliet;
  auto names = std::make_shared<IsoNames>(IsoNames{std::move(v.names)});
  m_TrackNames[trackNode] = names;
  if (!v.found || v.rootExtent == 0) return;
  m_Tree.SetItemData(trackNode, v.rootExtent);
  if (!m_bTracksOnly) AddIsoFolders(trackNode, v.rootExtent, v.rootLength, names.get());
}

namespace {
fs::iso9660::Names NamesOf(const IsoNames* names) { return names ? names->names : fs::iso9660::Names{}; }
}  // namespace

void CDlgMain::AddIsoFolders(ui::HTREEITEM parent, std::uint32_t lba, std::uint32_t size, const IsoNames* names) {
  iso::AddFolders(m_Tree, m_pDevice, m_nDataMode, NamesOf(names), parent, lba, size);
}

void CDlgMain::FillIsoList(std::uint32_t lba, const IsoNames* names, bool root) {
  iso::FillList(m_List, m_pDevice, m_nDataMode, NamesOf(names), lba, root);
}

std::shared_ptr<const IsoNames> CDlgMain::TrackNames(ui::HTREEITEM node) const {
  auto it = m_TrackNames.find(FindTrackNode(node));
  return it != m_TrackNames.end() ? it->second : nullptr;
}

bool CDlgMain::IsJolietTrack(ui::HTREEITEM node) const {
  const auto names = TrackNames(node);
  return names && names->names.set == fs::iso9660::NameSet::Joliet;
}

// ------------------------------------------------------------ selection

ui::HTREEITEM CDlgMain::FindTrackNode(ui::HTREEITEM node) const {
  // Sessions are the root nodes, tracks their children: the track is the
  // node on the path whose parent is a root node. Folder names play no part,
  // so a folder called "Session 2" cannot pass for a session.
  if (!node || !m_Tree.IsValid(node)) return nullptr;
  ui::HTREEITEM parent = m_Tree.GetParentItem(node);
  if (!parent) return nullptr;
  while (ui::HTREEITEM up = m_Tree.GetParentItem(parent)) {
    node = parent;
    parent = up;
  }
  return node;
}

CDlgMain::TrackNumbers CDlgMain::GetTrackNumbers(ui::HTREEITEM node) const {
  TrackNumbers n;
  ui::HTREEITEM track = FindTrackNode(node);
  if (!track) return n;
  // Deliberately parsed from the texts, as the audio player and the save
  // commands also find their track: the nodes' item data is 0 for both.
  // A negative or missing number is 0, which names no session or track.
  n.session = std::max(0L, LeadingNumber(AfterBlank(m_Tree.GetItemText(m_Tree.GetParentItem(track)), 1), 0));
  n.track = std::max(0L, LeadingNumber(AfterBlank(m_Tree.GetItemText(track), 2), 0));
  return n;
}

const TocData::_Data* CDlgMain::GetTrackDescriptor(ui::HTREEITEM node) const {
  const TrackNumbers n = GetTrackNumbers(node);
  if (n.session < 1 || n.session > m_Sessions.GetSessionNum() || n.track < 1) return nullptr;
  return m_Sessions[static_cast<int>(n.session - 1)].GetTrackData(static_cast<int>(std::min(n.track, 100L)));
}

int CDlgMain::GetTrackFsType(ui::HTREEITEM node) {
  if (!m_pDevice) return 0;
  ui::HTREEITEM track = FindTrackNode(node);
  if (!track || m_Tree.GetItemText(m_Tree.GetParentItem(track)).find("Session") == std::string::npos) return 0;
  const TocData::_Data* d = GetTrackDescriptor(track);
  if (!d) return 0;
  return m_pDevice->JudgeFileSystem(static_cast<std::uint32_t>(TrackStart(*d)));
}

void CDlgMain::SelectNode(ui::HTREEITEM node) {
  const bool live = m_Tree.GetParent() == this;
  m_Tree.SelectItem(node);
  // Without its window the tree tells nobody; show the selection here.
  if (!live) OnSelectionChanged();
}

void CDlgMain::OnSelectionChanged() {
  ui::HTREEITEM sel = m_Tree.GetSelectedItem();
  if (!sel) return;
  ShowSessionVolume(sel);
  // The catalog's sector is no directory: its node lists the boot images.
  if (const auto boot = m_Boot.OfNode(sel)) return BootNodes::FillList(m_List, *boot);
  const std::uint32_t address = static_cast<std::uint32_t>(m_Tree.GetItemData(sel));
  if (address == 0) {
    const std::string text = m_Tree.GetItemText(sel);
    if (text.find("AUDIO TRACK") != std::string::npos) {
      ShowCdText(static_cast<int>(LeadingNumber(text.size() > 11 ? text.substr(11) : std::string(), 0)));
      return;
    }
    m_List.DeleteAllItems();
  }
  const int fs = GetTrackFsType(sel);
  if (fs == 0) return;
  // A data track without a volume has no folder to list: sector 0 is never a
  // directory of it.
  if (address == 0) {
    iso::ResetFolderColumns(m_List);
    return;
  }
  if (fs < 2) {
    FillIsoList(address, TrackNames(sel).get(), FindTrackNode(sel) == sel);
  } else {
    // The analyser holds one volume at a time: the one of the selected track.
    if (const TocData::_Data* d = GetTrackDescriptor(sel)) {
      const std::uint32_t start = static_cast<std::uint32_t>(TrackStart(*d));
      if (!m_bUdfValid || m_nUdfStart != start) {
        m_bUdfValid = m_Udf.Analyse(m_pDevice, nullptr, start);
        m_nUdfStart = start;
      }
    }
    if (!m_bUdfValid) {
      iso::ResetFolderColumns(m_List);
      return;
    }
    m_Udf.FillFileList(&m_List, address);
  }
  // Folders before files, each group in the list's alphabetical order.
  m_List.SortItems(
      [](const ui::ListRow& a, const ui::ListRow& b) { return ui::ListCtrl::CompareNoCase(b.Text(2), a.Text(2)); });
}

void CDlgMain::ResetCdTextColumns() {
  m_List.DeleteAllItems();
  if (m_List.GetColumnCount() == 2) return;
  for (int n = m_List.GetColumnCount() + 1; n > 0; --n) m_List.DeleteColumn(0);
  m_List.InsertColumn(0, "CDTEXT Item", ui::LVCFMT_LEFT, 100);
  m_List.InsertColumn(1, "CDTEXT Info", ui::LVCFMT_LEFT, 100);
}

void CDlgMain::ShowCdText(int track) {
  ResetCdTextColumns();
  if (track < 1 || track > kCdTextTracks) return;
  // "szSpecialTitle", "szComposer" and "szSongster" are the row names users
  // have always seen, field names and all; they stay as they are.
  using mmc::CdTextItem;
  const struct {
    const char* name;
    CdTextItem item;
  } rows[] = {{"TITLE", CdTextItem::Title},         {"ARTIST", CdTextItem::Performer},
              {"szSpecialTitle", CdTextItem::SpecialTitle}, {"szComposer", CdTextItem::Composer},
              {"szSongster", CdTextItem::Songster},  {"ISRC", CdTextItem::Isrc}};
  for (const auto& r : rows) {
    const int row = m_List.InsertItem(m_List.GetItemCount(), r.name);
    if (row >= 0) m_List.SetItemText(row, 1, mmc::CdTextField(m_CdText, track, r.item));
  }
}

void CDlgMain::OnListDoubleClick() {
  const int row = m_List.GetFirstSelected();
  if (row < 0) return;
  if (m_List.GetItemText(row, 2) == "File") return;
  ui::HTREEITEM current = m_Tree.GetSelectedItem();
  if (!current) return;
  const std::string name = m_List.GetItemText(row, 0);
  for (ui::HTREEITEM c = m_Tree.GetChildItem(current); c; c = m_Tree.GetNextSiblingItem(c)) {
    if (m_Tree.GetItemText(c) == name) {
      SelectNode(c);
      return;
    }
  }
}
