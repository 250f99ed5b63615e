#pragma once
// The player bar below the view area: Pre, Play, Pause, Stop and Next, and a
// position slider. It plays the audio track selected in the file browser's
// tree through the wave output (ALSA's default device unless told otherwise).
#include <array>
#include <memory>

#include "platform/audio/WaveOut.h"
#include "platform/ui/Controls.h"
#include "platform/ui/Dialog.h"
#include "res/Resources.h"
#include "views/CDlgAudioPlayReader.h"

class CDevCmdROM;

class CDlgAudioPlay : public ui::Dialog {
 public:
  static constexpr int kTemplateId = 220;
  static constexpr int kPreId = 1038;
  static constexpr int kPlayId = 1039;
  static constexpr int kPauseId = 1040;
  static constexpr int kStopId = 1042;
  static constexpr int kNextId = 1043;
  static constexpr int kSliderId = 1044;

  // `output` is borrowed; null plays through ALSA's default device.
  explicit CDlgAudioPlay(ui::Window* parent = nullptr, audio::WaveDevice* output = nullptr);
  ~CDlgAudioPlay() override;

  // The browser hands over its device and tree once a device is selected.
  void SetDevice(CDevCmdROM* device, ui::TreeCtrl* tree) { m_Player.SetDevice(device, tree); }

  bool OnInitDialog() override;
  void OnCommand(int id) override;
  ui::LRESULT OnNotify(int id, int code) override;
  bool OnEraseBkgnd(ui::Canvas& canvas) override;
  void OnDrawItem(int id, ui::Canvas& canvas, const ui::DrawItemInfo& info) override;
  // Closing the main window stops the track and ends the reader first.
  void DestroyWindow() override;

  AudioTrackPlayer& Player() { return m_Player; }
  ui::SliderCtrl& Slider() { return m_Slider; }
  ui::Button& ButtonOf(int id);

 private:
  struct Btn {
    int id, normal, pressed;
  };
  static constexpr std::array<Btn, 5> kButtons{{{kPreId, 221, 222},
                                                 {kPlayId, 223, 224},
                                                 {kPauseId, 227, 228},
                                                 {kStopId, 229, 230},
                                                 {kNextId, 225, 226}}};
  void Report(PlayStart result);

  std::unique_ptr<audio::WaveDevice> m_pOwnOutput;  // when none was given
  AudioTrackPlayer m_Player;
  std::array<ui::Button, 5> m_Buttons;
  std::array<res::Image, 5> m_Normal, m_Pressed;
  ui::SliderCtrl m_Slider;
};
