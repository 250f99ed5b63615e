#pragma once
// The seam between the window models and a toolkit. A renderer makes one peer
// per live window; the model tells its peer what changed, and the peer hands
// the user's input back to the model through the models' own operations
// (Button::Click, TreeCtrl::SelectItem, Window::OnMouseMove, ...).
#include "platform/ui/Window.h"

namespace ui {

class WindowPeer {
 public:
  virtual ~WindowPeer() = default;
  virtual void Changed(const ChangeEvent& e) = 0;
};

class Renderer {
 public:
  virtual ~Renderer() = default;
  // Builds the peer of `w` alone and hands it over with w.SetPeer; its
  // parent (if it is a child) is already realised. The models realise the
  // children afterwards, in order.
  virtual void Realize(Window& w) = 0;
};

}  // namespace ui
