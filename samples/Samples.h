#pragma once
// The sample discs a newcomer can open without a drive. Each writer puts its
// files into a folder and returns false (with a reason) when it cannot.
#include <cstdint>
#include <string>
#include <vector>

namespace samples {

// 16-bit stereo PCM, little-endian, as an audio CD stores it.
using Pcm = std::vector<std::uint8_t>;

constexpr int kRate = 44100;
constexpr int kFramesPerSector = 588;  // stereo frames in one 2352-byte sector

// A note: frequency in hertz (0 = rest), start and length in seconds, level
// 0..1, stereo position -1 (left) .. 1 (right).
struct Note {
  double hz = 0, start = 0, length = 0, level = 0.25, pan = 0;
};

// Renders notes into whole sectors of PCM at least seconds long. Each note is
// a few harmonics under an attack/decay envelope, so tracks sound like tones,
// not clicks; the mix is limited so it never clips.
Pcm Render(const std::vector<Note>& notes, double seconds);

// The three tunes of the mixed-mode disc.
Pcm ScaleTune();
Pcm ArpeggioTune();
Pcm ChimeTune();

// mixed-mode.cue/.bin, cdrom-xa.cue/.bin/.bin.map, udf-dvd.nrg.
bool WriteMixedModeDisc(const std::string& folder, std::string& error);
bool WriteXaDisc(const std::string& folder, std::string& error);
bool WriteUdfDisc(const std::string& folder, std::string& error);

// Writes bytes to folder/name, replacing any file of that name.
bool WriteFile(const std::string& folder, const std::string& name, const std::vector<std::uint8_t>& bytes,
               std::string& error);
bool WriteText(const std::string& folder, const std::string& name, const std::string& text, std::string& error);

}  // namespace samples
