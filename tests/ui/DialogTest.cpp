#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/ui/Controls.h"
#include "platform/ui/HeadlessUi.h"
#include "platform/ui/ListCtrl.h"
#include "platform/ui/TreeCtrl.h"
#include "res/Resources.h"

namespace {

namespace S = res::Style;
constexpr std::uint32_t kVis = S::Visible | S::Child;

const res::ControlTemplate kBrowserControls[] = {
    {1008, res::ControlKind::Tree, "", 0, 0, 100, 150, kVis | S::HasButtons | S::TabStop},
    {1009, res::ControlKind::Button, "", 100, 0, 4, 150, kVis | S::OwnerDraw},
    {1010, res::ControlKind::ReportList, "", 104, 0, 100, 150, kVis | S::SortAscending},
    {-1, res::ControlKind::Static, "label", 0, 150, 40, 8, kVis},
    {-1, res::ControlKind::Picture, "", 50, 150, 10, 10, kVis, 215},
};
const res::DialogTemplate kBrowser = {9157, "", "MS Sans Serif", 8, 204, 160, S::Child | S::Visible,
                                      kBrowserControls};

const res::ControlTemplate kModalControls[] = {
    {1010, res::ControlKind::ListBox, "", 4, 4, 133, 65, kVis | S::Notify | S::TabStop},
    {1012, res::ControlKind::Button, "OK", 90, 73, 16, 16, kVis | S::OwnerDraw | S::TabStop},
};
const res::DialogTemplate kModal = {9165, "Pick", "MS Sans Serif", 8, 148, 98, S::Popup | S::Visible,
                                    kModalControls};

struct Env : ::testing::Test {
  ui::HeadlessUi headless;
  ui::Ui* previous = nullptr;
  void SetUp() override {
    previous = ui::Ui::Install(&headless);
    ui::RegisterDialogTemplate(&kBrowser);
    ui::RegisterDialogTemplate(&kModal);
  }
  void TearDown() override {
    ui::UnregisterDialogTemplate(kBrowser.id);
    ui::UnregisterDialogTemplate(kModal.id);
    ui::Ui::Install(previous);
  }
};

struct Browser : ui::Dialog {
  ui::TreeCtrl tree;
  ui::ListCtrl list;
  std::vector<std::string> events;
  Browser() : Dialog(9157) {}
  void DoDataExchange() override {
    BindControl(1008, tree);
    BindControl(1010, list);
  }
  bool OnInitDialog() override {
    events.push_back("init:" + std::to_string(tree.IsWindow()) + std::to_string(list.GetRect().Width()));
    return true;
  }
  ui::LRESULT OnNotify(int id, int code) override {
    events.push_back("notify:" + std::to_string(id) + ":" + std::to_string(code));
    return 0;
  }
  void OnCommand(int id) override { events.push_back("command:" + std::to_string(id)); }
};

TEST_F(Env, ChildDialogBuildsItsControlsInPixelsAndBindsMembers) {
  ui::Window host;
  host.CreateWindowAt(nullptr, ui::Rect(100, 50, 700, 500), 0, false, S::Visible);
  ui::Window frame;
  frame.CreateWindowAt(&host, ui::Rect(64, 103, 600, 397), 1029, true, kVis);
  Browser b;
  ASSERT_TRUE(b.Create(9157, &frame));
  EXPECT_TRUE(b.IsChild());
  EXPECT_TRUE(b.IsWindowVisible());
  // MS Sans Serif 8: 6 x 13 base units, x * 6 / 4 and y * 13 / 8.
  EXPECT_EQ(b.GetClientRect(), ui::Rect(0, 0, 306, 260));
  EXPECT_EQ(b.tree.GetRect(), ui::Rect(0, 0, 150, 244));
  EXPECT_EQ(b.list.GetRect(), ui::Rect(156, 0, 306, 244));
  ASSERT_EQ(b.events.size(), 2u);
  EXPECT_EQ(b.events[0], "init:1150") << "members are bound before OnInitDialog";
  EXPECT_EQ(b.GetDlgItem(1008), &b.tree);
  EXPECT_NE(b.GetDlgItemAs<ui::ListCtrl>(1010), nullptr);
  EXPECT_TRUE(b.list.GetStyle() & S::SortAscending);
  // Unbound template controls still exist as models of their kind.
  ASSERT_NE(b.GetDlgItemAs<ui::Button>(1009), nullptr);
  EXPECT_TRUE(b.GetDlgItemAs<ui::Button>(1009)->IsOwnerDraw());
  int statics = 0;
  for (ui::Window* w : b.Children())
    if (auto* s = dynamic_cast<ui::StaticText*>(w)) {
      ++statics;
      if (s->GetWindowText() == "label") EXPECT_EQ(s->GetBitmap(), 0);
      else EXPECT_EQ(s->GetBitmap(), 215);
    }
  EXPECT_EQ(statics, 2);
  // The first tab stop got the focus, and the tree told its parent.
  EXPECT_EQ(ui::Window::GetFocus(), &b.tree);
  EXPECT_EQ(b.events.back(), "notify:1008:-7");

  // Screen coordinates run through every parent.
  EXPECT_EQ(b.list.GetWindowRect(), ui::Rect(100 + 64 + 156, 50 + 103, 100 + 64 + 306, 50 + 103 + 244));
  EXPECT_EQ(b.ScreenToClient(ui::Point{200, 200}), (ui::Point{200 - 164, 200 - 153}));

  // Notifications of the bound members reach the dialog.
  ui::HTREEITEM s = b.tree.InsertItem("Session 1");
  b.tree.SelectItem(s);
  EXPECT_EQ(b.events.back(), "notify:1008:-402");
  b.GetDlgItemAs<ui::Button>(1009)->Click();
  EXPECT_EQ(b.events.back(), "command:1009");

  // Hiding the host hides the panel without touching its own flag.
  frame.ShowWindow(ui::SW_HIDE);
  EXPECT_FALSE(b.IsWindowVisible());
  EXPECT_TRUE(b.GetVisibleFlag());
}

TEST_F(Env, BindingAfterCreationTakesOverTheTemplateControl) {
  struct Late : Browser {
    ui::Button split;
    bool OnInitDialog() override {
      BindControl(1009, split);  // after the template made its own button
      return false;
    }
  } b;
  ASSERT_TRUE(b.Create(9157, nullptr));
  EXPECT_EQ(b.GetDlgItem(1009), &b.split);
  EXPECT_TRUE(b.split.IsWindow());
  EXPECT_TRUE(b.split.IsOwnerDraw()) << "the template's style came along";
  EXPECT_EQ(b.split.GetRect(), ui::Rect(150, 0, 156, 244));
  ASSERT_GE(b.Children().size(), 3u);
  EXPECT_EQ(b.Children()[1], &b.split) << "it keeps the template's place";
  int buttons = 0;
  for (ui::Window* w : b.Children()) buttons += w->GetDlgCtrlID() == 1009;
  EXPECT_EQ(buttons, 1);
  b.split.Click();
  EXPECT_EQ(b.events.back(), "command:1009");
}

TEST_F(Env, UnknownTemplateFailsCleanly) {
  ui::Dialog d(4242);
  EXPECT_EQ(d.DoModal(), -1);
  EXPECT_FALSE(d.Create(4242, nullptr));
  EXPECT_FALSE(d.IsWindow());
}

struct Picker : ui::Dialog {
  ui::ListBox box;
  ui::Button ok;
  int inits = 0;
  bool endInInit = false;
  std::vector<unsigned> timerIds;
  Picker() : Dialog(9165) {
    BindControl(1010, box);  // bound before creation, the way members are declared
    BindControl(1012, ok);
  }
  bool OnInitDialog() override {
    ++inits;
    box.AddString("D: DRIVE");
    box.AddString("[Image File]");
    box.SetCurSel(0);
    if (endInInit) EndDialog(77);
    return true;
  }
  void OnCommand(int id) override {
    if (id == 1012) EndDialog(IDOK);
  }
  ui::LRESULT OnNotify(int id, int code) override {
    if (id == 1010 && code == ui::LBN_DBLCLK) EndDialog(100 + box.GetCurSel());
    return 0;
  }
  void OnTimer(unsigned id) override {
    timerIds.push_back(id);
    if (timerIds.size() == 3) EndDialog(300);
  }
};

TEST_F(Env, ModalRunEndsByAScriptedAction) {
  Picker p;
  headless.QueueModalAction([](ui::Dialog& d) {
    auto* box = d.GetDlgItemAs<ui::ListBox>(1010);
    ASSERT_NE(box, nullptr);
    box->UserDoubleClick(1);
  });
  EXPECT_EQ(p.DoModal(), 101);
  EXPECT_FALSE(p.IsWindow());
  EXPECT_EQ(headless.ModalRuns(), std::vector<int>{9165});
  // Centred on the screen.
  EXPECT_EQ(p.GetRect().left, 1920 / 2 - 222 / 2);
  // The same object runs again with a fresh window: the list starts empty and
  // holds only what this run's OnInitDialog put in.
  int countDuringRun = -1;
  headless.QueueModalAction([&](ui::Dialog& d) {
    countDuringRun = p.box.GetCount();
    d.GetDlgItemAs<ui::Button>(1012)->Click();
  });
  EXPECT_EQ(p.DoModal(), IDOK);
  EXPECT_EQ(p.inits, 2);
  EXPECT_EQ(countDuringRun, 2);
  EXPECT_EQ(p.box.GetCount(), 0) << "the window and its strings are gone";
}

TEST_F(Env, ModalRunEndsByATimerAndInInit) {
  Picker p;
  headless.QueueModalAction([](ui::Dialog& d) { d.SetTimer(5, 100); });
  const std::uint64_t before = headless.Now();
  EXPECT_EQ(p.DoModal(), 300);
  EXPECT_EQ(p.timerIds, (std::vector<unsigned>{5, 5, 5}));
  EXPECT_EQ(headless.Now() - before, 300u);
  EXPECT_FALSE(headless.HasTimer(p, 5)) << "a destroyed window keeps no timer";

  Picker q;
  q.endInInit = true;
  EXPECT_EQ(q.DoModal(), 77);
  EXPECT_FALSE(q.IsWindowVisible());
}

TEST_F(Env, ModalRunWithNothingToDoGivesUp) {
  headless.SetIdleWait(std::chrono::milliseconds(10));
  Picker p;
  EXPECT_EQ(p.DoModal(), -1);
  EXPECT_FALSE(p.IsWindow());
}

TEST_F(Env, EnterAndEscapeEndTheDialogUnlessAFilterSwallowsThem) {
  struct Guarded : Picker {
    bool swallow = false;
    bool PreTranslateMessage(ui::MSG* m) override {
      return swallow && m->message == ui::WM_KEYDOWN && (m->wParam == ui::VK_RETURN || m->wParam == ui::VK_ESCAPE);
    }
  };
  Guarded g;
  headless.QueueModalAction([&](ui::Dialog&) { headless.PressKey(&g.box, ui::VK_ESCAPE); });
  EXPECT_EQ(g.DoModal(), IDCANCEL);
  headless.QueueModalAction([&](ui::Dialog&) { headless.PressKey(&g.box, ui::VK_RETURN); });
  EXPECT_EQ(g.DoModal(), IDOK);

  g.swallow = true;
  headless.QueueModalAction([&](ui::Dialog& d) {
    headless.PressKey(&g.box, ui::VK_RETURN);
    headless.PressKey(nullptr, ui::VK_ESCAPE);
    EXPECT_FALSE(static_cast<ui::Dialog&>(d).IsEnding());
    d.GetDlgItemAs<ui::Button>(1012)->Click();
  });
  EXPECT_EQ(g.DoModal(), IDOK);

  // The application's filter sees keys before any window does.
  int f1 = 0;
  headless.SetAppKeyFilter([&](ui::MSG& m) {
    if (m.wParam == ui::VK_F1) return ++f1, true;
    return false;
  });
  headless.QueueModalAction([&](ui::Dialog& d) {
    headless.PressKey(&g.box, ui::VK_F1);
    d.EndDialog(5);
  });
  EXPECT_EQ(g.DoModal(), 5);
  EXPECT_EQ(f1, 1);
  headless.SetAppKeyFilter(nullptr);
}

TEST_F(Env, NestedModalRunsAndOwnerTimersDuringThem) {
  // The owner's poll timer keeps running while its modal dialog is up, and
  // ends the dialog, the way a copy is followed behind a progress dialog.
  struct Owner : ui::Window {
    Picker* progress = nullptr;
    int ticks = 0;
    void OnTimer(unsigned id) override {
      if (++ticks == 4) progress->EndDialog(IDOK);
    }
  } owner;
  owner.CreateWindowAt(nullptr, ui::Rect(0, 0, 10, 10), 0, false);
  Picker progress;
  owner.progress = &progress;
  owner.SetTimer(1, 100);
  EXPECT_EQ(progress.DoModal(), IDOK);
  EXPECT_EQ(owner.ticks, 4);
  owner.KillTimer(1);

  Picker outer, inner;
  headless.QueueModalAction([&](ui::Dialog&) {
    headless.QueueModalAction([&](ui::Dialog& d) { d.EndDialog(2); });
    EXPECT_EQ(inner.DoModal(), 2);
    EXPECT_EQ(headless.CurrentModal(), &outer);
    outer.EndDialog(1);
  });
  EXPECT_EQ(outer.DoModal(), 1);
  EXPECT_EQ(headless.ModalRuns().size(), 3u);
}

TEST_F(Env, RealTimeTimersLetAWorkerKeepUpWithThePoll) {
  // A copy on a real thread followed by a 10 ms poll: on the real clock the
  // poll fires a handful of times, not millions, before the worker is done.
  headless.SetRealTimeTimers(true);
  std::atomic<bool> done{false};
  struct Owner : ui::Window {
    Picker* progress = nullptr;
    std::atomic<bool>* done = nullptr;
    int ticks = 0;
    void OnTimer(unsigned) override {
      ++ticks;
      if (*done) progress->EndDialog(IDOK);
    }
  } owner;
  owner.CreateWindowAt(nullptr, ui::Rect(0, 0, 1, 1), 0, false);
  Picker progress;
  owner.progress = &progress;
  owner.done = &done;
  owner.SetTimer(1, 10);
  std::thread worker([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    done = true;
  });
  EXPECT_EQ(progress.DoModal(), IDOK);
  worker.join();
  EXPECT_GE(owner.ticks, 5);
  EXPECT_LT(owner.ticks, 10000) << "the poll waited for real time instead of spinning";
  headless.SetRealTimeTimers(false);
}

TEST_F(Env, TimersFireInDueOrderAndCanBeRestartedOrKilledFromTheirHandler) {
  struct T : ui::Window {
    std::vector<std::pair<std::uint64_t, unsigned>> fired;
    ui::HeadlessUi* h = nullptr;
    void OnTimer(unsigned id) override {
      fired.push_back({h->Now(), id});
      if (id == 1) KillTimer(1);              // one-shot, as the start timer
      if (id == 2 && fired.size() > 3) KillTimer(2);
    }
  } w;
  w.h = &headless;
  w.CreateWindowAt(nullptr, ui::Rect(0, 0, 1, 1), 0, false);
  w.SetTimer(1, 300);
  w.SetTimer(2, 100);
  w.SetTimer(1, 300);  // restarting keeps one timer
  headless.Advance(250);
  headless.Advance(250);
  headless.Advance(1000);
  const std::vector<std::pair<std::uint64_t, unsigned>> want = {{100, 2}, {200, 2}, {300, 1}, {300, 2}};
  EXPECT_EQ(w.fired, want);
  EXPECT_FALSE(headless.HasTimer(w, 1));
  EXPECT_FALSE(headless.HasTimer(w, 2));
}

TEST_F(Env, PostedMessagesFromWorkersArriveInOrderAndSkipDeadWindows) {
  struct Sink : ui::Window {
    std::vector<ui::LPARAM> got;
    ui::LRESULT OnMessage(unsigned msg, ui::WPARAM, ui::LPARAM l) override {
      if (msg == ui::WM_USER + 210) got.push_back(l);
      return 42;
    }
  };
  Sink sink;
  sink.CreateWindowAt(nullptr, ui::Rect(0, 0, 1, 1), 0, false);
  EXPECT_EQ(sink.SendMessage(1234, 0, 9), 42);
  EXPECT_EQ(sink.got, std::vector<ui::LPARAM>{9});

  std::thread worker([&] {
    for (int i = 0; i < 100; ++i) sink.PostMessage(1234, 0, i);
  });
  worker.join();
  EXPECT_EQ(sink.got.size(), 1u) << "nothing runs before the pump";
  headless.RunPosted();
  ASSERT_EQ(sink.got.size(), 101u);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(sink.got[static_cast<std::size_t>(i) + 1], i);

  auto* gone = new Sink;
  gone->CreateWindowAt(nullptr, ui::Rect(0, 0, 1, 1), 0, false);
  ui::WindowRef ref = gone->Ref();
  gone->PostMessage(1234, 0, 1);
  bool ran = false;
  gone->Post([&] { ran = true; });
  delete gone;
  EXPECT_FALSE(ref);
  EXPECT_EQ(headless.RunPosted(), 2);  // both ran as no-ops
  EXPECT_FALSE(ran);
}

}  // namespace
