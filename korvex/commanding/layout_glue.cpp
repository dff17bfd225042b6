// Saving and recalling the screen layout (".srd" under cfg/), from the main window's menu and
// from the "page" line.
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <algorithm>
#include <fstream>

#include "commanding/keywords.h"
#include "commanding/messages.h"
#include "core/ids.h"
#include "core/station.h"
#include "rte/rte.h"

namespace korvex {

namespace {

// The fixed panel order of the record: the order the panels load in, without the shutdown
// notice, and with the 32 command-sequence panels last, since the record has room for 123
// panels and the station has more: the last sequence panels are the ones left out.
std::vector<int> LayoutPanels() {
  const Panels& u = Ctx().ui;
  std::vector<int> order;
  for (int h : u.all)
    if (h != u.shutdown && std::find(u.cmdSeq.begin(), u.cmdSeq.end(), h) == u.cmdSeq.end())
      order.push_back(h);
  for (int h : u.cmdSeq)
    if (h > 0) order.push_back(h);
  return order;
}

// The arrangement on the screen now, in the fixed panel order.
ScreenLayout Current() {
  Program& p = Ctx();
  ScreenLayout l;
  GetPanelAttribute(p.ui.main, ATTR_WIDTH, &l.width);
  GetPanelAttribute(p.ui.main, ATTR_HEIGHT, &l.height);
  GetPanelAttribute(p.ui.main, ATTR_WINDOW_ZOOM, &l.zoom);
  for (int h : LayoutPanels()) {
    PanelPlace pl;
    GetPanelAttribute(h, ATTR_TOP, &pl.top);
    GetPanelAttribute(h, ATTR_LEFT, &pl.left);
    GetPanelAttribute(h, ATTR_VISIBLE, &pl.visible);
    l.panels.push_back(pl);
  }
  return l;
}

// The record starts out as the arrangement the station started with, which a short file leaves
// in the words it does not reach.
void InitRecord() {
  CmdState& c = Ctx().cmd;
  if (c.panInit) return;
  c.srd = PackLayout(Current());
  c.panInit = 1;
}

void Restore(const Srd& srd) {
  Program& p = Ctx();
  const std::vector<int> panels = LayoutPanels();
  ScreenLayout l = UnpackLayout(srd, panels.size());
  // A size or state no window can have (a damaged file) is left as it is.
  if (l.width > 0 && l.height > 0) {
    SetPanelAttribute(p.ui.main, ATTR_WIDTH, l.width);
    SetPanelAttribute(p.ui.main, ATTR_HEIGHT, l.height);
  }
  if (l.zoom >= VAL_NO_ZOOM && l.zoom <= VAL_MAXIMIZE) SetPanelAttribute(p.ui.main, ATTR_WINDOW_ZOOM, l.zoom);
  for (std::size_t i = 0; i < l.panels.size(); ++i) {
    int h = panels[i];
    SetPanelPos(h, l.panels[i].top, l.panels[i].left);
    if (l.panels[i].visible) DisplayPanel(h);
    else HidePanel(h);
  }
}

}  // namespace

void SaveDisplayNow(bool ask) {
  Program& p = Ctx();
  CmdState& c = p.cmd;
  c.srd = PackLayout(Current());
  if (c.panInit && ask) {
    std::string chosen;
    if (FileSelectPopup("cfg", "*.srd", msg::kDisplayTitle, VAL_SAVE_BUTTON, &chosen) > 0) {
      std::vector<std::uint8_t> b = SrdBytes(c.srd);
      errno = 0;
      std::ofstream out(rte::ResolvePath(chosen), std::ios::binary | std::ios::trunc);
      out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
      out.flush();
      if (!out)
        LogMessage(std::string(msg::kLayoutNotWritten) + chosen + ": " +
                       (errno ? std::strerror(errno) : "write error"),
                   kRed);
    }
  }
  c.panInit = 1;
  GiveFocusToCommandLine();
}

void RecallDisplayNow() {
  Program& p = Ctx();
  CmdState& c = p.cmd;
  InitRecord();
  std::string path = c.dsplFile;
  std::error_code ec;
  if (path.empty() || !std::filesystem::is_regular_file(rte::ResolvePath(path), ec)) {
    path.clear();
    if (FileSelectPopup("cfg", "*.srd", msg::kDisplayTitle, VAL_LOAD_BUTTON, &path) <= 0) path.clear();
  }
  if (path.empty()) return;
  std::ifstream in(rte::ResolvePath(path), std::ios::binary);
  if (!in) return;  // a file that does not open changes nothing
  std::vector<std::uint8_t> bytes;
  bytes.resize(kSrdBytes);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(kSrdBytes));
  bytes.resize(static_cast<std::size_t>(in.gcount()));
  ReadSrd(bytes, &c.srd);
  Restore(c.srd);
}

// "page NAME": the layout cfg/NAME.srd is put on the screen.
void KwPage() {
  CmdState& c = Ctx().cmd;
  std::string file = PageFile(c.tempbuf);
  if (file.empty()) return;  // a name outside cfg/: refused
  c.dsplFile = file;
  RecallDisplayNow();
  c.dsplFile.clear();
  c.txflag = 1;
}

void CaptureStartLayout() { InitRecord(); }

}  // namespace korvex

using namespace korvex;

// From the menu the operator always gets the dialog, even before the first tick took the
// start-up arrangement.
void SaveDisplay(int, int, void*, int) {
  CaptureStartLayout();
  SaveDisplayNow(true);
}

void RecallDisplay(int, int, void*, int) {
  RecallDisplayNow();
  GiveFocusToCommandLine();
}
