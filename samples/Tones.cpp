// Additive tones for the sample disc's audio tracks.
#include <algorithm>
#include <cmath>

#include "samples/Samples.h"

namespace samples {
namespace {

constexpr double kPi = 3.14159265358979323846;

// Equal temperament from A4 = 440 Hz; n is semitones from A4.
double Semitone(int n) { return 440.0 * std::pow(2.0, n / 12.0); }

// Fast attack, exponential decay, short release so a note never ends in a click.
double Envelope(double t, double length) {
  const double attack = 0.01, release = std::min(0.05, length / 4);
  if (t < 0 || t >= length) return 0;
  double e = std::exp(-2.2 * t / std::max(length, 0.1));
  if (t < attack) e *= t / attack;
  if (t > length - release) e *= (length - t) / release;
  return e;
}

}  // namespace

Pcm Render(const std::vector<Note>& notes, double seconds) {
  const std::size_t frames0 = static_cast<std::size_t>(std::ceil(seconds * kRate));
  const std::size_t frames = (frames0 + kFramesPerSector - 1) / kFramesPerSector * kFramesPerSector;
  std::vector<double> left(frames, 0.0), right(frames, 0.0);
  for (const Note& n : notes) {
    if (n.hz <= 0 || n.length <= 0) continue;
    const std::size_t first = static_cast<std::size_t>(n.start * kRate);
    const std::size_t count = static_cast<std::size_t>(n.length * kRate);
    // Constant-power panning.
    const double angle = (std::clamp(n.pan, -1.0, 1.0) + 1) * kPi / 4;
    const double gl = std::cos(angle), gr = std::sin(angle);
    for (std::size_t i = 0; i < count && first + i < frames; ++i) {
      const double t = static_cast<double>(i) / kRate;
      const double w = 2 * kPi * n.hz * t;
      const double v = (std::sin(w) + 0.35 * std::sin(2 * w) + 0.12 * std::sin(3 * w)) / 1.47;
      const double s = v * n.level * Envelope(t, n.length);
      left[first + i] += s * gl;
      right[first + i] += s * gr;
    }
  }
  double peak = 0;
  for (std::size_t i = 0; i < frames; ++i) peak = std::max({peak, std::abs(left[i]), std::abs(right[i])});
  const double gain = peak > 0.9 ? 0.9 / peak : 1.0;
  Pcm out(frames * 4);
  auto put = [&](std::size_t at, double v) {
    const auto s = static_cast<std::int16_t>(std::lround(std::clamp(v * gain, -1.0, 1.0) * 32767));
    out[at] = static_cast<std::uint8_t>(s & 0xFF);
    out[at + 1] = static_cast<std::uint8_t>((static_cast<std::uint16_t>(s) >> 8) & 0xFF);
  };
  for (std::size_t i = 0; i < frames; ++i) {
    put(i * 4, left[i]);
    put(i * 4 + 2, right[i]);
  }
  return out;
}

Pcm ScaleTune() {
  // C major up and the top note held: C4 D E F G A B C5.
  const int steps[] = {-9, -7, -5, -4, -2, 0, 2, 3};
  std::vector<Note> notes;
  for (int i = 0; i < 8; ++i)
    notes.push_back({Semitone(steps[i]), i * 0.45, i == 7 ? 1.2 : 0.5, 0.3, 0});
  return Render(notes, 4.8);
}

Pcm ArpeggioTune() {
  // A minor, F major, C major, G major, each chord's notes walking from left to right.
  const int chords[4][3] = {{0, 3, 7}, {-4, 0, 3}, {-9, -5, -2}, {-2, 2, 5}};
  std::vector<Note> notes;
  double t = 0;
  for (const auto& c : chords) {
    for (int k = 0; k < 3; ++k) notes.push_back({Semitone(c[k]), t + k * 0.18, 1.0, 0.22, -0.8 + 0.8 * k});
    notes.push_back({Semitone(c[0] - 12), t, 1.0, 0.18, 0});
    t += 1.0;
  }
  return Render(notes, 4.5);
}

Pcm ChimeTune() {
  // Two bells answering each other across the channels, a fifth apart.
  std::vector<Note> notes = {
      {Semitone(7), 0.0, 1.6, 0.3, -0.6},  {Semitone(14), 0.8, 1.6, 0.25, 0.6},
      {Semitone(12), 1.6, 1.6, 0.3, -0.6}, {Semitone(19), 2.4, 1.8, 0.22, 0.6},
  };
  return Render(notes, 4.4);
}

}  // namespace samples
