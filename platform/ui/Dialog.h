#pragma once
// A dialog made from a dialog template of res/: its controls are created from
// the template, members bound to a control id take that control's place, and
// dialog units are turned into pixels with the template font's metrics.
#include <map>
#include <memory>
#include <vector>

#include "platform/ui/Window.h"

namespace res {
struct DialogTemplate;
struct ControlTemplate;
}

namespace ui {

class Control;

// Finds a template by id: one registered here first (tests, tools), then the
// program's resources.
const res::DialogTemplate* FindDialogTemplate(int id);
// Makes `tpl` the template of its id until UnregisterDialogTemplate.
void RegisterDialogTemplate(const res::DialogTemplate* tpl);
void UnregisterDialogTemplate(int id);

// Pixels of one dialog unit's base: x = units * cx / 4, y = units * cy / 8.
struct DialogBaseUnits {
  int cx = 6, cy = 13;
};

class Dialog : public Window {
 public:
  explicit Dialog(int templateId = 0, Window* parent = nullptr);
  ~Dialog() override;
  WindowKind Kind() const override { return WindowKind::Dialog; }

  // A modeless dialog, or a child panel inside `parent` when the template has
  // the Child style. False when the template is unknown.
  bool Create(int templateId, Window* parent);
  bool Create() { return Create(templateId_, parentHint_); }
  // Runs the dialog modally (the owner is disabled meanwhile) and returns the
  // EndDialog value, or -1 when the dialog could not be made.
  int DoModal();
  // Ends a modal run with `result` (or destroys a modeless dialog's window).
  void EndDialog(int result);
  bool IsModal() const { return modal_; }
  bool IsEnding() const { return ending_; }
  int GetResult() const { return result_; }
  int GetTemplateId() const { return templateId_; }
  const res::DialogTemplate* Template() const { return tpl_; }

  // Binds `member` to control `id`: at creation it takes the template
  // control's place, rectangle, text and style. Call before Create or from
  // DoDataExchange.
  void BindControl(int id, Control& member);
  void MapDialogRect(Rect* r) const;    // dialog units to pixels
  DialogBaseUnits GetBaseUnits() const { return base_; }

  virtual void DoDataExchange() {}
  virtual bool OnInitDialog() { return true; }
  virtual void OnOK() { EndDialog(IDOK); }
  virtual void OnCancel() { EndDialog(IDCANCEL); }

  void DestroyWindow() override;

 protected:
  // A control of the template nobody bound: a model of its kind, owned here.
  virtual std::unique_ptr<Control> MakeControl(const res::ControlTemplate& ct);

 private:
  bool Build(const res::DialogTemplate* tpl, Window* parent);
  void Place(Control& c, const res::ControlTemplate& ct);

  int templateId_ = 0;
  Window* parentHint_ = nullptr;
  const res::DialogTemplate* tpl_ = nullptr;
  DialogBaseUnits base_;
  std::map<int, Control*> bound_;
  std::vector<std::unique_ptr<Control>> owned_;
  bool modal_ = false;
  bool ending_ = false;
  int result_ = 0;
};

}  // namespace ui
