// The player bar.
#include "views/CDlgAudioPlay.h"

#include "platform/audio/AlsaWaveDevice.h"
#include "platform/ui/Ui.h"
#include "views/CDlgTOC.h"

namespace {

constexpr ui::COLORREF kBarColour = ui::RGB(100, 125, 142);

audio::WaveDevice& OutputOr(audio::WaveDevice* given, std::unique_ptr<audio::WaveDevice>& own) {
  if (given) return *given;
  own = std::make_unique<audio::AlsaWaveDevice>();
  return *own;
}

const char* MessageText(PlayStart result) {
  switch (result) {
    case PlayStart::NoWaveDevice: return "No Wave Device!";
    case PlayStart::NoSuitableDevice: return "Not find appropriate Device!";
    case PlayStart::OpenFailed: return "Open wave device error!";
    default: return nullptr;
  }
}

}  // namespace

CDlgAudioPlay::CDlgAudioPlay(ui::Window* parent, audio::WaveDevice* output)
    : ui::Dialog(kTemplateId, parent), m_Player(OutputOr(output, m_pOwnOutput)) {
  for (std::size_t i = 0; i < kButtons.size(); ++i) BindControl(kButtons[i].id, m_Buttons[i]);
  BindControl(kSliderId, m_Slider);
  // The reader reports each staged second; the slider moves on the
  // user-interface thread.
  m_Player.SetPositionListener([this](int percent) { Post([this, percent] { m_Slider.SetPos(percent); }); });
}

CDlgAudioPlay::~CDlgAudioPlay() { m_Player.Stop(); }

ui::Button& CDlgAudioPlay::ButtonOf(int id) {
  for (std::size_t i = 0; i < kButtons.size(); ++i)
    if (kButtons[i].id == id) return m_Buttons[i];
  return m_Buttons[0];
}

bool CDlgAudioPlay::OnInitDialog() {
  if (ui::Window* parent = GetParent()) {
    const ui::Rect r = parent->GetClientRect();
    MoveWindow(0, 0, r.Width(), r.Height());
  }
  m_Slider.SetRange(0, 100);
  m_Slider.SetBackgroundColor(kBarColour);
  for (std::size_t i = 0; i < kButtons.size(); ++i) {
    m_Normal[i] = res::LoadBitmap(kButtons[i].normal);
    m_Pressed[i] = res::LoadBitmap(kButtons[i].pressed);
  }
  return true;
}

void CDlgAudioPlay::Report(PlayStart result) {
  if (const char* fallback = MessageText(result))
    ui::AfxMessageBox(PanelString(static_cast<int>(result), fallback), ui::MB_OK | ui::MB_ICONINFORMATION);
}

void CDlgAudioPlay::OnCommand(int id) {
  switch (id) {
    case kPreId: Report(m_Player.PlayPrev()); break;
    case kPlayId: Report(m_Player.Play()); break;
    case kPauseId: m_Player.Pause(); break;
    case kStopId: m_Player.Stop(); break;
    case kNextId: Report(m_Player.PlayNext()); break;
    default: break;
  }
}

ui::LRESULT CDlgAudioPlay::OnNotify(int id, int code) {
  if (id == kSliderId && code == ui::NM_RELEASEDCAPTURE) m_Player.Seek(m_Slider.GetPos());
  return 0;
}

bool CDlgAudioPlay::OnEraseBkgnd(ui::Canvas& canvas) {
  canvas.FillRect(GetClientRect(), kBarColour);
  return true;
}

void CDlgAudioPlay::OnDrawItem(int id, ui::Canvas& canvas, const ui::DrawItemInfo& info) {
  for (std::size_t i = 0; i < kButtons.size(); ++i) {
    if (kButtons[i].id != id) continue;
    const res::Image& image = info.selected && !m_Pressed[i].Empty() ? m_Pressed[i] : m_Normal[i];
    if (image.Empty())
      canvas.FillRect(info.rect, kBarColour);
    else
      canvas.DrawImage(image, 0, 0);
  }
}

void CDlgAudioPlay::DestroyWindow() {
  m_Player.Stop();
  ui::Dialog::DestroyWindow();
}
