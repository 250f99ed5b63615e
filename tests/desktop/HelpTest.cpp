// The shipped help: every command of the menu and every button has a
// section that names it, every panel has its section, every image format the
// device library reads is described, and no link inside the help is broken.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <cstring>
#include <regex>
#include <set>
#include <sstream>

#include "platform/orvane/Readers.h"
#include "res/Resources.h"

namespace fs = std::filesystem;

namespace {

fs::path HelpSource() { return fs::path(std::getenv("TESSAL_SOURCE_DIR") ? std::getenv("TESSAL_SOURCE_DIR") : ".") / "help"; }

std::string Slurp(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Text without tags and with the few entities the help uses.
std::string PlainText(const std::string& html) {
  std::string t = std::regex_replace(html, std::regex("<[^>]*>"), " ");
  for (auto [from, to] : {std::pair{"&amp;", "&"}, {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}}) {
    for (std::size_t at; (at = t.find(from)) != std::string::npos;) t.replace(at, std::strlen(from), to);
  }
  return std::regex_replace(t, std::regex("\\s+"), " ");
}

struct Page {
  std::string html;
  std::set<std::string> ids;
};

std::map<std::string, Page> LoadPages() {
  std::map<std::string, Page> pages;
  for (const auto& e : fs::directory_iterator(HelpSource())) {
    if (e.path().extension() != ".html") continue;
    Page p;
    p.html = Slurp(e.path());
    const std::regex id("\\sid=\"([^\"]+)\"");
    for (std::sregex_iterator it(p.html.begin(), p.html.end(), id), end; it != end; ++it) p.ids.insert((*it)[1]);
    pages[e.path().filename().string()] = std::move(p);
  }
  return pages;
}

// The sections carrying data-command="ids...", by command id: their text.
std::map<int, std::string> CommandSections(const std::map<std::string, Page>& pages) {
  std::map<int, std::string> out;
  const std::regex section("<section[^>]*data-command=\"([0-9 ]+)\"[^>]*>([\\s\\S]*?)</section>");
  for (const auto& [name, page] : pages)
    for (std::sregex_iterator it(page.html.begin(), page.html.end(), section), end; it != end; ++it) {
      std::istringstream ids((*it)[1].str());
      for (int id; ids >> id;) out[id] += PlainText((*it)[2].str());
    }
  return out;
}

TEST(Help, EveryMenuCommandAndButtonHasASectionNamingIt) {
  const auto pages = LoadPages();
  ASSERT_TRUE(pages.count("index.html")) << "no help start page in " << HelpSource();
  const auto sections = CommandSections(pages);
  const res::Menu* menu = res::FindMenu(IDR_MENU_MAIN);
  ASSERT_NE(menu, nullptr);
  int commands = 0;
  for (const res::MenuItem& popup : menu->items)
    for (const res::MenuItem& item : popup.popup) {
      if (item.separator || item.id == 0) continue;
      ++commands;
      SCOPED_TRACE(item.text);
      ASSERT_TRUE(sections.count(item.id)) << "no help section for menu command " << item.id;
      // The section tells the user where to find it: the menu's own words.
      EXPECT_NE(sections.at(item.id).find(popup.text + " ▸ " + item.text), std::string::npos)
          << "the section does not say \"" << popup.text << " ▸ " << item.text << "\"";
    }
  EXPECT_EQ(commands, 13);
  // The buttons of the window, menu or not: round buttons, triangles, the
  // two window buttons.
  for (int id : {1001, 1002, 1003, 1004, 1005, 1006, 1008, 1009, 1023, 1024, 1025, 1026, 1030, 1031})
    EXPECT_TRUE(sections.count(id)) << "no help section for button " << id;
}

TEST(Help, EveryPanelAndDialogHasItsSection) {
  const auto pages = LoadPages();
  for (const char* id : {"browser", "toc", "volume", "sector", "scan", "devinfo", "player"})
    EXPECT_TRUE(pages.at("panels.html").ids.count(id)) << "panels.html lacks #" << id;
  EXPECT_TRUE(pages.at("commands.html").ids.count("device-dialog"));
  EXPECT_TRUE(pages.at("drives.html").ids.count("permissions"));
  for (const char* id : {"track", "extract", "sector"}) EXPECT_TRUE(pages.at("saving.html").ids.count(id)) << id;
  // The messages a user may meet are explained with their exact words.
  const std::string all = [&] {
    std::string s;
    for (const auto& [n, p] : pages) s += PlainText(p.html);
    return s;
  }();
  for (int id : {IDS_NOT_READY, IDS_SELECT_DEVICE, IDS_BAD_IMAGE, IDS_OVERWRITE})
    EXPECT_NE(all.find(std::string("\"") + res::String(id) + "\""), std::string::npos) << res::String(id);
}

TEST(Help, DescribesEveryImageFormatTheLibraryReads) {
  const std::string formats = Lower(PlainText(LoadPages().at("formats.html").html));
  for (const orvane::ImageReader* r : orvane::ImageReaders())
    EXPECT_NE(formats.find(Lower(r->Name())), std::string::npos) << "formats.html does not mention " << r->Name();
  for (const char* word : {"ddrescue", ".cue", ".bin", ".iso", ".nrg", ".ccd", ".mds", ".toc", ".vcd", ".cdt"})
    EXPECT_NE(formats.find(word), std::string::npos) << word;
}

TEST(Help, InternalLinksAndStylesResolve) {
  const auto pages = LoadPages();
  const std::regex link("(?:href|src)=\"([^\"]*)\"");
  int checked = 0;
  for (const auto& [name, page] : pages) {
    SCOPED_TRACE(name);
    EXPECT_NE(page.html.find("<meta charset=\"utf-8\">"), std::string::npos);
    for (std::sregex_iterator it(page.html.begin(), page.html.end(), link), end; it != end; ++it) {
      const std::string target = (*it)[1];
      ASSERT_FALSE(target.empty());
      if (target.find("://") != std::string::npos || target.rfind("mailto:", 0) == 0) continue;
      ++checked;
      const std::size_t hash = target.find('#');
      const std::string file = hash == std::string::npos ? target : target.substr(0, hash);
      const std::string anchor = hash == std::string::npos ? "" : target.substr(hash + 1);
      const std::string inFile = file.empty() ? name : file;
      EXPECT_TRUE(fs::exists(HelpSource() / inFile)) << "broken link " << target;
      if (!anchor.empty() && pages.count(inFile)) {
        EXPECT_TRUE(pages.at(inFile).ids.count(anchor)) << "no #" << anchor << " in " << inFile;
      }
    }
    // Sections and ids are unique per page and sections are closed.
    const std::regex id("\\sid=\"([^\"]+)\"");
    std::multiset<std::string> seen;
    for (std::sregex_iterator it(page.html.begin(), page.html.end(), id), end; it != end; ++it) seen.insert((*it)[1]);
    for (const std::string& i : page.ids) EXPECT_EQ(seen.count(i), 1u) << "duplicate id " << i;
    std::size_t open = 0, close = 0;
    for (std::size_t at = 0; (at = page.html.find("<section", at)) != std::string::npos; ++at) ++open;
    for (std::size_t at = 0; (at = page.html.find("</section>", at)) != std::string::npos; ++at) ++close;
    EXPECT_EQ(open, close);
  }
  EXPECT_GT(checked, 30);
}

}  // namespace
