#pragma once
// The file browser view: the disc's sessions, tracks and folders in a tree on
// the left, the selected folder's entries (or an audio track's CD-TEXT) in a
// list on the right, a splitter bar between them.
#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "copy/CDlgProgress.h"
#include "copy/GetCDData.h"
#include "disc/DevCmdROM.h"
#include "disc/DiscModel.h"
#include "platform/ui/Controls.h"
#include "platform/ui/Dialog.h"
#include "platform/ui/ListCtrl.h"
#include "platform/ui/TreeCtrl.h"
#include "skin/BtnSplit.h"
#include "udf/Analy_UDF.h"
#include "views/BootNodes.h"

class CDlgAudioPlay;

class CDlgMain : public ui::Dialog {
 public:
  static constexpr int kTemplateId = 157;
  static constexpr int kTreeId = 1008;
  static constexpr int kSplitterId = 1009;
  static constexpr int kListId = 1010;
  static constexpr unsigned kSplitMessage = 0x4C8;  // WM_USER + 200: the splitter's dragged screen x
  static constexpr int kSplitMargin = 100;          // neither pane gets this narrow
  static constexpr std::size_t kTocBufferSize = 2048;

  explicit CDlgMain(ui::Window* parent = nullptr);
  ~CDlgMain() override;

  // ---- called by the main window ----
  void SetVdBuffer(unsigned char* buffer) { m_pVdBuffer = buffer; }
  // The UDF volume the descriptor buffer was last filled from, if it was one.
  const std::optional<UdfVolumeSummary>& UdfSummary() const { return m_UdfSummary; }
  void LoadDisc(CDevCmdROM* device);
  // Track nodes only, no ISO 9660 folder nodes below them (a reader that
  // walks the volume itself needs no tree of it).
  void SetTracksOnly(bool tracksOnly) { m_bTracksOnly = tracksOnly; }
  // Hands the current device and this view's tree to the player, which plays
  // the audio track selected in the tree.
  void AttachPlayer(CDlgAudioPlay* player);
  CDlgAudioPlay* GetPlayer() const { return m_pPlayer; }
  int GetFsType() const { return m_nFsType; }
  // The file-system code of the volume whose descriptor the buffer holds:
  // that of the session the selected node belongs to.
  int GetVolumeFsType() const { return m_nVolumeFsType; }
  int GetDataMode() const { return m_nDataMode; }

  // ---- the parts of building and showing, each usable alone ----
  // Rebuilds the tree from the device: false when the device is not ready.
  bool BuildDiscTree();
  // A full-TOC response made from disc and track information (recordable DVD
  // and BD media); 0 on success, else the failing command's status, or
  // kEmptyDisc when the disc information says the disc is empty.
  static constexpr int kEmptyDisc = -2;
  int SynthesizeToc(unsigned char* buffer, std::size_t size);
  void AddSessionTracks(int sessionIndex, ui::HTREEITEM sessionNode);
  // The file-system code of the data track that holds node (0 when none).
  int GetTrackFsType(ui::HTREEITEM node);
  // The start sector of a descriptor of the view's sessions. A synthesised
  // TOC keeps whole 405000-sector units in the byte before PMIN, so DVD and
  // BD addresses past 90 minutes come back whole.
  std::int64_t TrackStart(const TocData::_Data& d) const;
  // Whether the sessions came from a synthesised TOC rather than the device's.
  bool IsTocSynthesized() const { return m_bTocSynthesized; }
  void ShowCdText(int track);
  // Shows the current tree selection in the list, as a selection change does.
  void OnSelectionChanged();
  void OnListDoubleClick();
  // Selects a tree node and shows it, whether or not the tree is a live
  // child of this view yet.
  void SelectNode(ui::HTREEITEM node);

  // The ISO 9660 reading of a track: the volume descriptor, the folder tree
  // below the track node, the entries of a folder.
  void ReadIsoRoot(ui::HTREEITEM trackNode, std::uint32_t start);
  // names: the volume's name set (copy/IsoNames.h; null: plain ISO 9660).
  void AddIsoFolders(ui::HTREEITEM parent, std::uint32_t lba, std::uint32_t size, const IsoNames* names);
  void FillIsoList(std::uint32_t lba, const IsoNames* names, bool root = false);

  // ---- saving and extracting (the "Save Data" command) ----
  static constexpr unsigned kCopyTimer = 1;  // polls a running copy every 100 ms
  void OnSaveData();
  void SaveAudioTrack(ui::HTREEITEM node);
  void ExtractListItem();
  void ExtractTreeFolder();
  // The same for a "[BOOT]" node's rows and for the node itself
  // (views/CDlgMainBoot.cpp).
  void ExtractBootRow(const BootImages& boot);
  void ExtractBootFolder(ui::HTREEITEM node, std::shared_ptr<const BootImages> boot);
  // A Link row of the selected folder's list, read again from the volume
  // (the list keeps texts only): its target byte for byte and its time.
  // False when the folder lists no link of that name any more.
  bool ListRowLink(int row, std::string& target, std::optional<std::int64_t>& mtime);
  // A Link row saved as a link, holding its recorded target.
  void SaveLinkRow(int row);
  // Runs the progress dialog over the started job until it stops or the
  // user cancels; the worker has ended when this returns.
  void RunCopy();
  void OnTimer(unsigned id) override;
  // First sector of the track that holds node (the volume a copy reads).
  bool GetTrackStart(ui::HTREEITEM node, std::uint32_t& start) const;
  CGetCDData& Copier() { return m_Copy; }
  CDlgProgress& ProgressDialog() { return m_Progress; }

  // ---- dialog ----
  bool OnInitDialog() override;
  void DestroyWindow() override;
  bool PreTranslateMessage(ui::MSG* msg) override;
  bool OnEraseBkgnd(ui::Canvas&) override { return true; }
  ui::LRESULT OnNotify(int id, int code) override;
  ui::LRESULT OnMessage(unsigned msg, ui::WPARAM wParam, ui::LPARAM lParam) override;
  // The split follows the dragged screen x (the splitter's message).
  void MoveSplit(long screenX);

  // ---- state, for the other views, the save commands and tests ----
  ui::TreeCtrl& Tree() { return m_Tree; }
  ui::ListCtrl& List() { return m_List; }
  const SessionInfo& Sessions() const { return m_Sessions; }
  CDevCmdROM* Device() const { return m_pDevice; }
  int GetLastFocus() const { return m_nLastFocus; }
  bool IsJoliet() const { return m_bJoliet; }
  // Whether the volume of the track node holding node has Joliet names.
  bool IsJolietTrack(ui::HTREEITEM node) const;
  // The names the volume of the track node holding node is read with.
  std::shared_ptr<const IsoNames> TrackNames(ui::HTREEITEM node) const;
  const FS_CDTEXT_INFO& CdText() const { return m_CdText; }
  // The "[BOOT]" nodes and the boot images of each track.
  const BootNodes& Boot() const { return m_Boot; }
  // The track node (below its session node) on the path from the root to
  // node, or null when node is no track or below none.
  ui::HTREEITEM FindTrackNode(ui::HTREEITEM node) const;
  // The session and track numbers of the track node holding node, read back
  // from its texts "Session %d" and "DATA TRACK %d" / "AUDIO TRACK %d": the
  // tree keeps no other record of them. 0 where a text gives none.
  struct TrackNumbers {
    long session = 0;
    long track = 0;
  };
  TrackNumbers GetTrackNumbers(ui::HTREEITEM node) const;
  // That track's descriptor in the view's sessions, or null.
  const TocData::_Data* GetTrackDescriptor(ui::HTREEITEM node) const;

 private:
  void ResetCdTextColumns();
  // Each session's volume descriptor, kept as the tree is built and put back
  // into the descriptor buffer when a node of that session is selected, so
  // that the volume view shows the session being browsed.
  struct SessionVolume {
    std::array<unsigned char, 2048> descriptor{};
    int fs = 0;
    std::optional<UdfVolumeSummary> udf;
  };
  void KeepSessionVolume(ui::HTREEITEM trackNode, int fs);
  void ShowSessionVolume(ui::HTREEITEM node);

  ui::ListCtrl m_List;
  ui::TreeCtrl m_Tree;
  CBtnSplit m_Split;  // drags report the screen x as WM_SPLITMOVE
  SessionInfo m_Sessions;
  CDevCmdROM* m_pDevice = nullptr;
  CAnaly_UDF m_Udf;
  std::optional<UdfVolumeSummary> m_UdfSummary;  // of the volume whose descriptor the browser kept
  int m_nFsType = 0;
  FS_CDTEXT_INFO m_CdText{};
  int m_nDataMode = 1;
  unsigned char* m_pVdBuffer = nullptr;
  int m_nLastFocus = 0;
  bool m_bJoliet = false;
  bool m_bTracksOnly = false;
  ui::ImageList m_Images;
  CDlgAudioPlay* m_pPlayer = nullptr;

  // Each volume keeps its own name set and the UDF analyser its own
  // partition: a disc with a Joliet and a plain session, or two UDF
  // sessions, lists each folder with the rules of the volume holding it.
  std::map<ui::HTREEITEM, std::shared_ptr<const IsoNames>> m_TrackNames;
  BootNodes m_Boot;
  std::uint32_t m_nUdfStart = 0;
  bool m_bUdfValid = false;
  std::size_t m_nSynthesizedBytes = 0;  // bytes of the last synthesised TOC that hold descriptors
  bool m_bTocSynthesized = false;
  std::map<ui::HTREEITEM, SessionVolume> m_SessionVolumes;  // by session node
  int m_nVolumeFsType = 0;

  // The save commands' progress dialog and copy engine; the engine goes
  // first, joining any worker before the rest of the view.
  CDlgProgress m_Progress{this};
  CGetCDData m_Copy;
};

// "DATA TRACK 1" + "(ISO)", "(UDF)", "(UDF&ISO)" or nothing for the code.
const char* FsSuffix(int fs);
// H, M, S and F of an address as the synthesised TOC stores them.
struct Hmsf {
  int h = 0, m = 0, s = 0, f = 0;
};
Hmsf AddressToHmsf(std::int64_t lba);
