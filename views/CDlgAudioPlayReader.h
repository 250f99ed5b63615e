#pragma once
// The audio track player behind the player bar: finds the track of a browser
// tree item, reads its raw sectors one second (75 sectors) at a time on a
// reader thread into a staging buffer, and queues each staged second on the
// wave output once the previous one is done.
//
// Threads: Play, PlayPrev, PlayNext, Pause, Resume, Stop and Seek are called
// on the user-interface thread, which alone touches the tree and owns the
// output. The reader thread reads the device and stages seconds; the output's
// completion callback hands a staged second to the output. The staging buffer
// changes hands under `m_Mutex` (free: the reader may fill it; full: the feed
// may queue it), so no second is torn or queued twice.
//
// One reader at a time: every start and Stop first ends and joins the previous
// reader, and a reader only ever closes the output it was started with.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "disc/Msf.h"
#include "disc/SectorLayout.h"
#include "platform/audio/WaveOut.h"
#include "platform/ui/TreeCtrl.h"

class CDevCmdROM;

// How a start ended. The three device outcomes carry the string-table ids the
// bar shows for them.
enum class PlayStart {
  Started,
  NoTrack,           // no tree, no device, no items, or the item is not an audio track
  NoTrackInfo,       // the track's information could not be read
  NoWaveDevice = 20,        // "No Wave Device!"
  NoSuitableDevice = 21,    // "Not find appropriate Device!"
  OpenFailed = 22,          // "Open wave device error!"
};

// The track number of a browser tree item: the item exists, carries item data
// 0 and its text contains "AUDIO TRACK"; the number is read from the text past
// its first 11 characters. 0 for any other item.
int AudioTrackOfItem(const ui::TreeCtrl& tree, ui::HTREEITEM item);

class AudioTrackPlayer {
 public:
  static constexpr int kSectorsPerSecond = disc::kFramesPerSecond;
  static constexpr int kSectorBytes = static_cast<int>(disc::kRawSectorSize);
  static constexpr std::size_t kSecondBytes = std::size_t{kSectorsPerSecond} * kSectorBytes;  // 176400

  explicit AudioTrackPlayer(audio::WaveDevice& output);
  ~AudioTrackPlayer();  // Stop
  AudioTrackPlayer(const AudioTrackPlayer&) = delete;
  AudioTrackPlayer& operator=(const AudioTrackPlayer&) = delete;

  void SetDevice(CDevCmdROM* device, ui::TreeCtrl* tree);
  // Called on the reader thread after each staged second with the slider
  // position (0-100); the bar posts it to the user-interface thread.
  void SetPositionListener(std::function<void(int)> listener);

  // Play: resumes when paused, else starts the selected item's track.
  PlayStart Play();
  // Start the previous or next sibling's track, moving the tree's selection
  // onto it; both leave the paused state first.
  PlayStart PlayPrev();
  PlayStart PlayNext();
  void Pause();
  void Stop();
  // The slider was released at `percent` (0-100): the reader goes on from
  // that share of the track. The second already staged still plays first.
  void Seek(int percent);

  // ---- state, for the bar and for tests ----
  bool IsPaused() const { return m_bPaused.load(); }
  // A reader exists (playing or paused, or finishing the track's last second).
  bool IsPlaying() const;
  std::uint32_t Start() const;
  std::uint32_t End() const;
  std::uint32_t Cursor() const;
  int Position() const { return m_nPosition.load(); }  // the last slider value given, -1 none yet
  // Blocks until the current track has played to its end (the reader has
  // closed the output) or `ms` passed; true when it ended.
  bool WaitForEnd(int ms) const;

 private:
  enum class Pick { Selected, Prev, Next };
  PlayStart StartTrack(Pick pick);
  PlayStart OpenOutput(std::unique_ptr<audio::WaveOut>& out);
  void ReaderMain(audio::WaveOut* output, CDevCmdROM* device);
  // Queues the staged second when the output has nothing queued; under m_Mutex.
  void FeedLocked(audio::WaveOut* output);
  void OnBufferDone(const audio::BufferDone& done);

  audio::WaveDevice& m_Output;
  CDevCmdROM* m_pDevice = nullptr;
  ui::TreeCtrl* m_pTree = nullptr;
  std::function<void(int)> m_OnPosition;

  mutable std::mutex m_Mutex;
  mutable std::condition_variable m_Changed;
  std::uint32_t m_nStart = 0;
  std::uint32_t m_nEnd = 0;
  std::uint32_t m_nCursor = 0;       // next sector to read; 0 when nothing plays
  bool m_bStagingFree = true;
  bool m_bQueued = false;            // the output holds a second not yet done
  bool m_bStopRequest = false;
  bool m_bOutputFailed = false;      // a write was refused: the track ends
  bool m_bReaderDone = true;         // the reader has closed its output and ended
  std::vector<std::uint8_t> m_Staging;  // the sectors of the next second (up to 75)
  audio::WaveOut* m_pFeedOutput = nullptr;  // the output the feed writes to
  std::atomic<bool> m_bPaused{false};
  std::atomic<int> m_nPosition{-1};

  std::unique_ptr<audio::WaveOut> m_pWave;  // owned by the user-interface thread
  std::thread m_Reader;
};
