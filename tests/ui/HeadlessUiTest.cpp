#include <gtest/gtest.h>

#include <fstream>

#include "platform/ui/HeadlessUi.h"
#include "ToolsMenu.h"
#include "res/Resources.h"

namespace {

struct Headless : ::testing::Test {
  ui::HeadlessUi headless;
  ui::Ui* previous = nullptr;
  std::filesystem::path dir;
  void SetUp() override {
    previous = ui::Ui::Install(&headless);
    dir = std::filesystem::temp_directory_path() /
          ("tessal-ui-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
  }
  void TearDown() override {
    ui::Ui::Install(previous);
    std::filesystem::remove_all(dir);
  }
  void Touch(const std::filesystem::path& p) { std::ofstream(p) << "x"; }
};

TEST_F(Headless, MessageBoxesAreRecordedAndAnsweredFromTheScript) {
  EXPECT_EQ(&ui::Ui::Get(), &headless);
  headless.SetAppName("tessal");
  EXPECT_EQ(ui::AfxMessageBox("Device not Ready,Please try again!"), IDOK);
  headless.QueueMessageBoxAnswer(IDCANCEL);
  EXPECT_EQ(headless.MessageBox("File or Directory already Existed, OverWrite it?", "tessal",
                                ui::MB_OKCANCEL | ui::MB_ICONQUESTION),
            IDCANCEL);
  EXPECT_EQ(headless.MessageBox("q", "c", ui::MB_YESNO), ui::IDYES);  // first button by default
  ASSERT_EQ(headless.Messages().size(), 3u);
  const auto& m0 = headless.Messages()[0];
  EXPECT_EQ(m0.caption, "tessal");
  EXPECT_EQ(m0.Icon(), ui::MB_ICONINFORMATION);
  EXPECT_EQ(m0.Buttons(), ui::MB_OK);
  EXPECT_EQ(headless.Messages()[1].Icon(), ui::MB_ICONQUESTION);
  EXPECT_EQ(headless.Messages()[1].Buttons(), ui::MB_OKCANCEL);
  EXPECT_EQ(headless.Messages()[1].answer, IDCANCEL);
}

TEST_F(Headless, OpenDialogInsistsOnAnExistingFile) {
  const auto image = dir / "disc.iso";
  Touch(image);
  ui::CFileDialog dlg(true, nullptr, nullptr, ui::OFN_FILEMUSTEXIST,
                      "All image files(*.*)|*.*|Iso files(*.iso)|*.iso|Img Files(*.img)|*.img||");
  headless.QueueFileChoice(dir / "missing.iso");
  headless.QueueFileChoice(image);
  ASSERT_EQ(dlg.DoModal(), IDOK);
  EXPECT_EQ(dlg.GetPathName(), image.string());
  EXPECT_EQ(dlg.GetFileExt(), "iso");
  ASSERT_EQ(headless.Messages().size(), 1u) << "the missing file was refused with a message";
  ASSERT_EQ(headless.FileDialogs().size(), 1u);
  EXPECT_TRUE(headless.FileDialogs()[0].open);
  // Cancelling, and a dialog without any scripted answer, both cancel.
  headless.QueueFileChoice(std::nullopt);
  EXPECT_EQ(dlg.DoModal(), IDCANCEL);
  EXPECT_EQ(dlg.DoModal(), IDCANCEL);
}

TEST_F(Headless, SaveDialogAddsTheExtensionAndAsksBeforeReplacing) {
  const auto existing = dir / "track01.wav";
  Touch(existing);
  ui::CFileDialog dlg(false, "wav", "track01", ui::OFN_OVERWRITEPROMPT, "Wave Files(*.wav)|*.wav||");
  headless.QueueFileChoice(dir / "track01");  // becomes track01.wav: exists
  headless.QueueMessageBoxAnswer(ui::IDNO);
  headless.QueueFileChoice(dir / "other");
  ASSERT_EQ(dlg.DoModal(), IDOK);
  EXPECT_EQ(dlg.GetPathName(), (dir / "other.wav").string());
  ASSERT_EQ(headless.Messages().size(), 1u);
  EXPECT_EQ(headless.Messages()[0].Buttons(), ui::MB_YESNO);
  EXPECT_NE(headless.Messages()[0].text.find("track01.wav"), std::string::npos);
  EXPECT_EQ(headless.FileDialogs()[0].fileName, "track01");
  EXPECT_EQ(headless.FileDialogs()[0].defaultExt, "wav");

  headless.QueueFileChoice(dir / "track01.wav");
  headless.QueueMessageBoxAnswer(ui::IDYES);
  ASSERT_EQ(dlg.DoModal(), IDOK);
  EXPECT_EQ(dlg.GetFileName(), "track01.wav");
  // A name with its own extension keeps it.
  headless.QueueFileChoice(dir / "dump.dat");
  ASSERT_EQ(dlg.DoModal(), IDOK);
  EXPECT_EQ(dlg.GetFileName(), "dump.dat");
}

TEST(FileFilter, ParsesTheBarSeparatedForm) {
  const auto f = ui::ParseFileFilter(
      "All image files(*.*)|*.*|Iso files(*.iso)|*.iso|Img Files(*.img)|*.img|Nrg Files(*.nrg)|*.nrg|"
      "VCD Files(*.vcd)|*.vcd||");
  ASSERT_EQ(f.size(), 5u);
  EXPECT_EQ(f[0].name, "All image files(*.*)");
  EXPECT_EQ(f[0].patterns, std::vector<std::string>{"*.*"});
  EXPECT_EQ(f[4].patterns, std::vector<std::string>{"*.vcd"});
  const auto two = ui::ParseFileFilter("Pics|*.bmp; *.png|Dangling");
  ASSERT_EQ(two.size(), 1u);
  EXPECT_EQ(two[0].patterns, (std::vector<std::string>{"*.bmp", "*.png"}));
  EXPECT_TRUE(ui::ParseFileFilter("").empty());
  EXPECT_EQ(ui::ApplyDefaultExtension("a/b", ".iso"), std::filesystem::path("a/b.iso"));
  EXPECT_EQ(ui::ApplyDefaultExtension("a/b.bin", "iso"), std::filesystem::path("a/b.bin"));
  EXPECT_EQ(ui::ApplyDefaultExtension("a/b", ""), std::filesystem::path("a/b"));
}

TEST_F(Headless, FolderChoicesAndOpenedFiles) {
  headless.QueueFolderChoice(dir);
  EXPECT_EQ(headless.BrowseForFolder(""), std::optional<std::filesystem::path>(dir));
  EXPECT_EQ(headless.BrowseForFolder(""), std::nullopt);
  EXPECT_EQ(headless.FolderDialogs().size(), 2u);
  EXPECT_TRUE(headless.OpenWithDefaultHandler(dir / "Tessal.chm"));
  EXPECT_EQ(headless.OpenedFiles(), std::vector<std::filesystem::path>{dir / "Tessal.chm"});
  EXPECT_FALSE(ui::ModuleFileName().empty());
}

struct Painter : ui::MenuOwnerDraw {
  ui::Size MeasureItem(const res::MenuItem& m) override {
    return {std::max(30, static_cast<int>(m.text.size()) * 6 + 19), 19};
  }
  void DrawItem(const res::MenuItem& m, ui::Canvas& c, const ui::Rect& r, bool selected) override {
    c.FillRect(r, selected ? ui::RGB(169, 184, 202) : ui::RGB(255, 255, 255));
    c.DrawText(m.text, r, 0, ui::DT_SINGLELINE);
  }
};

TEST_F(Headless, PopupMenusReturnTheChoiceAndSendItToTheOwner) {
  struct Owner : ui::Window {
    std::vector<int> got;
    void OnCommand(int id) override { got.push_back(id); }
  } owner;
  owner.CreateWindowAt(nullptr, ui::Rect(0, 0, 10, 10), 0, false);
  const std::vector<res::MenuItem> tools = ToolsMenu();
  Painter painter;
  headless.QueueMenuChoice(32781);
  EXPECT_EQ(headless.TrackPopupMenu(tools, {50, 60}, &owner, &painter), 32781);
  EXPECT_TRUE(owner.got.empty()) << "the command arrives after the menu has closed";
  headless.RunPosted();
  EXPECT_EQ(owner.got, std::vector<int>{32781});
  ASSERT_EQ(headless.Menus().size(), 1u);
  const auto& shown = headless.Menus()[0];
  EXPECT_EQ(shown.at, (ui::Point{50, 60}));
  ASSERT_EQ(shown.sizes.size(), 3u);  // the separator is not owner-drawn
  int selectedFills = 0;
  for (const auto& c : shown.drawn)
    if (c.op == ui::RecordingCanvas::Op::Fill && c.colour == ui::RGB(169, 184, 202)) ++selectedFills;
  EXPECT_EQ(selectedFills, 1);

  // A dismissed menu, and a scripted id the menu does not hold, choose nothing.
  EXPECT_EQ(headless.TrackPopupMenu(tools, {}, &owner, nullptr), 0);
  headless.QueueMenuChoice(1);
  EXPECT_EQ(headless.TrackPopupMenu(tools, {}, &owner, nullptr), 0);
  headless.QueueMenuChoice(32778);
  EXPECT_EQ(headless.TrackPopupMenu(tools, {}, &owner, nullptr, true), 32778);
  headless.RunPosted();
  EXPECT_EQ(owner.got.size(), 1u);
}

TEST_F(Headless, WaitingForWorkFromAnotherThread) {
  EXPECT_FALSE(headless.WaitForPosted(std::chrono::milliseconds(1)));
  int ran = 0;
  std::thread t([&] { ui::Ui::Get().Post([&] { ++ran; }); });
  EXPECT_TRUE(headless.WaitForPosted(std::chrono::milliseconds(5000)));
  t.join();
  EXPECT_EQ(headless.RunPosted(), 1);
  EXPECT_EQ(ran, 1);
}

TEST_F(Headless, DialogBaseUnitsOfTheTemplateFonts) {
  EXPECT_EQ(headless.BaseUnits("MS Sans Serif", 8).cx, 6);
  EXPECT_EQ(headless.BaseUnits("MS Sans Serif", 8).cy, 13);
  const ui::DialogBaseUnits big = headless.BaseUnits("Some Font", 20);
  const ui::DialogBaseUnits small = headless.BaseUnits("Some Font", 6);
  EXPECT_GT(big.cx, small.cx);
  EXPECT_GT(big.cy, small.cy);
  EXPECT_GE(headless.BaseUnits("x", 0).cx, 1);
  EXPECT_EQ(headless.MeasureText("Disc Scan", headless.MenuFont()), (ui::Size{9 * 6, 13}));
  EXPECT_NE(headless.GetSysColor(ui::COLOR_MENU), headless.GetSysColor(ui::COLOR_MENUTEXT));
  EXPECT_EQ(headless.GetSysColor(999), ui::RGB(0, 0, 0));
}

}  // namespace
