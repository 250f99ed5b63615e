// The audio track player: track lookup, the reader thread and the feed.
#include "views/CDlgAudioPlayReader.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <limits>
#include <string>

#include "disc/ByteOrder.h"
#include "disc/DevCmdROM.h"
#include "disc/MmcRecords.h"

namespace {
constexpr const char* kAudioTrackText = "AUDIO TRACK";
constexpr std::size_t kTrackNumberAt = 11;  // the number follows "AUDIO TRACK"
}  // namespace

int AudioTrackOfItem(const ui::TreeCtrl& tree, ui::HTREEITEM item) {
  if (!item || !tree.IsValid(item) || tree.GetItemData(item) != 0) return 0;
  const std::string text = tree.GetItemText(item);
  if (text.find(kAudioTrackText) == std::string::npos || text.size() <= kTrackNumberAt) return 0;
  // A leading decimal number after optional blanks; a track number has at
  // most two digits, so a longer run cannot be one.
  std::size_t i = kTrackNumberAt;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  int number = 0;
  for (int digits = 0; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    if (++digits > 4) return 0;
    number = number * 10 + (text[i] - '0');
  }
  return number;
}

AudioTrackPlayer::AudioTrackPlayer(audio::WaveDevice& output) : m_Output(output) {}

AudioTrackPlayer::~AudioTrackPlayer() { Stop(); }

void AudioTrackPlayer::SetDevice(CDevCmdROM* device, ui::TreeCtrl* tree) {
  // A track of the previous disc must not go on playing under the new tree.
  if (device != m_pDevice || tree != m_pTree) Stop();
  m_pDevice = device;
  m_pTree = tree;
}

void AudioTrackPlayer::SetPositionListener(std::function<void(int)> listener) {
  // Only set while no reader runs, so the reader never sees it change.
  Stop();
  m_OnPosition = std::move(listener);
}

PlayStart AudioTrackPlayer::Play() {
  if (m_bPaused.load()) {
    {
      std::lock_guard lock(m_Mutex);
      m_bPaused = false;
      m_Changed.notify_all();
    }
    if (m_pWave) m_pWave->Restart();
    return PlayStart::Started;
  }
  return StartTrack(Pick::Selected);
}

PlayStart AudioTrackPlayer::PlayPrev() {
  m_bPaused = false;
  return StartTrack(Pick::Prev);
}

PlayStart AudioTrackPlayer::PlayNext() {
  m_bPaused = false;
  return StartTrack(Pick::Next);
}

void AudioTrackPlayer::Pause() {
  {
    std::lock_guard lock(m_Mutex);
    m_bPaused = true;
    m_Changed.notify_all();
  }
  if (m_pWave) m_pWave->Pause();
}

void AudioTrackPlayer::Stop() {
  {
    std::lock_guard lock(m_Mutex);
    m_bStopRequest = true;
    m_bStagingFree = true;
    m_nStart = m_nEnd = m_nCursor = 0;
    m_Changed.notify_all();
  }
  // Reset drops the queued second; its callback sees the stop request and
  // queues nothing. Then the reader, woken by the request, ends.
  if (m_pWave) m_pWave->Reset();
  if (m_Reader.joinable()) m_Reader.join();
  if (m_pWave) {
    m_pWave->Close();
    m_pWave.reset();
  }
  std::lock_guard lock(m_Mutex);
  m_pFeedOutput = nullptr;
  m_bQueued = false;
  m_Staging.clear();
  m_bReaderDone = true;
  m_Changed.notify_all();
}

void AudioTrackPlayer::Seek(int percent) {
  percent = std::clamp(percent, 0, 100);
  std::lock_guard lock(m_Mutex);
  if (m_bReaderDone) return;
  // In 64 bits: a track size from a lying drive cannot wrap the product.
  m_nCursor = m_nStart + static_cast<std::uint32_t>(std::uint64_t{m_nEnd - m_nStart} * percent / 100);
  m_Changed.notify_all();
}

bool AudioTrackPlayer::IsPlaying() const {
  std::lock_guard lock(m_Mutex);
  return !m_bReaderDone;
}

std::uint32_t AudioTrackPlayer::Start() const {
  std::lock_guard lock(m_Mutex);
  return m_nStart;
}

std::uint32_t AudioTrackPlayer::End() const {
  std::lock_guard lock(m_Mutex);
  return m_nEnd;
}

std::uint32_t AudioTrackPlayer::Cursor() const {
  std::lock_guard lock(m_Mutex);
  return m_nCursor;
}

bool AudioTrackPlayer::WaitForEnd(int ms) const {
  std::unique_lock lock(m_Mutex);
  return m_Changed.wait_for(lock, std::chrono::milliseconds(ms), [&] { return m_bReaderDone; });
}

PlayStart AudioTrackPlayer::StartTrack(Pick pick) {
  // One reader at a time: the previous one is ended and joined, and its
  // output closed, before anything of the new track is set up.
  Stop();
  {
    std::lock_guard lock(m_Mutex);
    m_bStopRequest = false;
  }
  m_nPosition = -1;
  if (!m_pTree || !m_pDevice || m_pTree->GetCount() == 0) return PlayStart::NoTrack;

  const ui::HTREEITEM selected = m_pTree->GetSelectedItem();
  ui::HTREEITEM item = selected;
  if (pick == Pick::Prev) item = selected ? m_pTree->GetPrevSiblingItem(selected) : nullptr;
  if (pick == Pick::Next) item = selected ? m_pTree->GetNextSiblingItem(selected) : nullptr;
  const int track = AudioTrackOfItem(*m_pTree, item);
  if (track == 0) return PlayStart::NoTrack;
  // The neighbour has no children (it is a track), so selecting it is what
  // the arrow key would do.
  if (pick != Pick::Selected) m_pTree->SelectItem(item);

  TRACK_INFO info{};
  if (m_pDevice->ReadTrackInfoEx(info, READ_TRACK_INFO_TRACK, track) != 0) return PlayStart::NoTrackInfo;
  const std::uint32_t start = mmc::TrackInfoFields(info).Start();
  const std::uint32_t size = mmc::TrackInfoFields(info).Size();
  const std::uint32_t end = start + std::min(size, std::numeric_limits<std::uint32_t>::max() - start);

  // The player stays idle (cursor 0, no reader) unless an output opens.
  const PlayStart opened = OpenOutput(m_pWave);
  if (opened != PlayStart::Started) return opened;

  {
    std::lock_guard lock(m_Mutex);
    m_nStart = start;
    m_nEnd = end;
    m_nCursor = start;
    m_bStagingFree = true;
    m_bQueued = false;
    m_bOutputFailed = false;
    m_bReaderDone = false;
    m_pFeedOutput = m_pWave.get();
  }
  m_Reader = std::thread(&AudioTrackPlayer::ReaderMain, this, m_pWave.get(), m_pDevice);
  return PlayStart::Started;
}

PlayStart AudioTrackPlayer::OpenOutput(std::unique_ptr<audio::WaveOut>& out) {
  const unsigned count = m_Output.GetNumDevs();
  if (count == 0) return PlayStart::NoWaveDevice;
  // The first device that plays CD audio as it is: stereo, 44.1 kHz, 16 bits.
  const std::uint32_t wanted = audio::FormatBit(audio::kCdAudioFormat);
  unsigned chosen = count;
  for (unsigned id = 0; id < count && chosen == count; ++id) {
    audio::WaveOutCaps caps;
    if (m_Output.GetDevCaps(id, caps).ok() && caps.channels >= 2 && (caps.formats & wanted)) chosen = id;
  }
  if (chosen == count) return PlayStart::NoSuitableDevice;
  const audio::WaveStatus st =
      m_Output.Open(chosen, audio::kCdAudioFormat, [this](const audio::BufferDone& d) { OnBufferDone(d); }, out);
  if (!st.ok() || !out) {
    out.reset();
    return PlayStart::OpenFailed;
  }
  return PlayStart::Started;
}

void AudioTrackPlayer::FeedLocked(audio::WaveOut* output) {
  if (m_bStopRequest || m_bStagingFree || m_bQueued || !output) return;
  if (output->Write(m_Staging, 0).ok()) {
    m_bQueued = true;
  } else {
    // The output has failed (the sound server went away): end the track
    // rather than wait for a second that will never be done.
    m_bOutputFailed = true;
  }
  m_bStagingFree = true;
  m_Changed.notify_all();
}

void AudioTrackPlayer::OnBufferDone(const audio::BufferDone&) {
  std::lock_guard lock(m_Mutex);
  m_bQueued = false;
  FeedLocked(m_pFeedOutput);
  m_Changed.notify_all();
}

void AudioTrackPlayer::ReaderMain(audio::WaveOut* output, CDevCmdROM* device) {
  std::vector<std::uint8_t> second;
  second.reserve(kSecondBytes);
  unsigned char sector[kSectorBytes];
  bool reachedEnd = false;
  std::unique_lock lock(m_Mutex);
  for (;;) {
    m_Changed.wait(lock, [&] {
      return m_bStopRequest || m_bOutputFailed || (m_bStagingFree && (m_nCursor >= m_nEnd || !m_bPaused));
    });
    if (m_bStopRequest || m_bOutputFailed) break;
    if (m_nCursor >= m_nEnd) {
      reachedEnd = true;
      break;
    }
    second.clear();
    for (int n = 0; n < kSectorsPerSecond && m_nCursor < m_nEnd && !m_bStopRequest; ++n) {
      const std::uint32_t lba = m_nCursor++;
      lock.unlock();
      std::memset(sector, 0, sizeof sector);
      // A sector that cannot be read is heard as silence: what a failed
      // command left in the buffer is not audio of this place.
      if (device->ReadCD_All(sector, kSectorBytes, 1, lba) != 0) std::memset(sector, 0, sizeof sector);
      lock.lock();
      second.insert(second.end(), sector, sector + kSectorBytes);
    }
    if (m_bStopRequest) break;
    m_Staging.swap(second);
    m_bStagingFree = false;
    const int percent =
        static_cast<int>(static_cast<double>(m_nCursor - m_nStart) / static_cast<double>(m_nEnd - m_nStart) * 100.0);
    m_nPosition = percent;
    FeedLocked(output);
    if (m_OnPosition) {
      lock.unlock();
      m_OnPosition(percent);
      lock.lock();
    }
  }
  lock.unlock();
  // The last second was queued when the staging buffer went free at the end;
  // let it play out before the output goes. A Stop meanwhile resets the
  // output, which ends the wait.
  if (reachedEnd) output->Drain();
  output->Close();
  lock.lock();
  m_bReaderDone = true;
  m_Changed.notify_all();
}
