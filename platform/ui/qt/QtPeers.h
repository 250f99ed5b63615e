#pragma once
// Qt widgets for the window models. One peer per live window: it owns the
// widget, applies every model change to it and hands the user's input back to
// the model through the model's own operations.
#include <memory>

#include <QPointer>
#include <QWidget>

#include "platform/ui/Peer.h"

namespace ui::qt {

class QtPeer : public WindowPeer {
 public:
  QtPeer(Window& model, QWidget* widget);
  ~QtPeer() override;
  QWidget* Widget() const { return widget_.data(); }
  Window& Model() const { return model_; }
  void Changed(const ChangeEvent& e) override;
  // True while the peer writes the model's state into the widget; signals
  // the widget emits meanwhile are not the user's.
  bool Applying() const { return applying_ > 0; }

 protected:
  // Everything about the widget from the model (creation, rebuilds).
  virtual void ApplyAll();
  virtual void ApplyText();
  virtual void ApplyKind(const ChangeEvent& e) {}

  Window& model_;
  QPointer<QWidget> widget_;
  int applying_ = 0;

 private:
  void ApplyGeometry();
  void ApplyVisible();
  void ApplyColours();
  void ApplyRegion();
  void ApplyCursor();
  std::unique_ptr<QObject> filter_;
};

// Makes the peer of `w`, or null for a window the renderer cannot show.
std::unique_ptr<QtPeer> MakePeer(Window& w);

// The model a widget stands for (its own or its nearest ancestor's within the
// same top-level window), or null.
Window* ModelOf(QWidget* widget);

// Windows virtual-key code of a Qt key, 0 when there is none.
int VirtualKeyOf(int qtKey);

}  // namespace ui::qt
