// The station's event log and the instrument's event panel.
#include <cstdio>

#include "core/ids.h"
#include "core/station.h"
#include "rte/rte.h"

namespace korvex {

namespace {
constexpr int kInstrEventsMax = 306;
constexpr int kInstrEventsDrop = 50;

void AppendToEventList(const std::string& entry, const std::string& plain) {
  Program& p = Ctx();
  int list = p.ui.eventLog;
  if (list > 0) {
    InsertListItem(list, ids::kEvList, -1, entry.c_str(), 0.0);
    int n = 0;
    GetNumListItems(list, ids::kEvList, &n);
    if (n > 0 && static_cast<std::size_t>(n) > p.eventListMax) {
      DeleteListItem(list, ids::kEvList, 0, static_cast<int>(p.eventListMax / 10));
      GetNumListItems(list, ids::kEvList, &n);
    }
    // Scrolled to the end without selecting the line, which would hide its colour.
    if (n > 0) SetCtrlAttribute(list, ids::kEvList, ATTR_FIRST_VISIBLE_LINE, n - 1);
  }
  if (p.headless) {
    if (p.echoOut) p.echoOut(plain);
    else {
      std::fwrite(plain.data(), 1, plain.size(), stdout);
      std::fputc('\n', stdout);
      std::fflush(stdout);
    }
  }
}
}  // namespace

void LogMessage(const std::string& text, const char* colour) {
  Program& p = Ctx();
  LogLine l = FormatLog(p.log, text, colour, DateStr(), TimeStr());
  if (p.log.LogEvents) WriteArchiveText(p.arc.arcfile, l.line + "\n");
  if (p.log.Echo) {
    // Headless, standard output stands for the event list: the line as the list shows it (cut
    // with the list entry), without its colour prefix.
    std::string shown;
    EntryColour(l.listEntry, &shown);
    AppendToEventList(l.listEntry, shown);
  }
}

void ListOnly(const std::string& text, const char* colour) {
  AppendToEventList(colour ? colour + text : text, text);
}

void EventLog(const std::uint8_t* decoded) {
  Program& p = Ctx();
  int panel = p.ui.instrEvents;
  std::vector<std::string> lines =
      DecodeEventPacket(decoded + kHeaderSize, p.core.cfg.cfgtswap, p.core.cfg.cfgtime,
                        p.db.err.lines(), p.db.cmd.list);
  for (const std::string& l : lines) InsertTextBoxLine(panel, ids::kIeBox, -1, l.c_str());
  int n = 0;
  GetNumTextBoxLines(panel, ids::kIeBox, &n);
  if (n > kInstrEventsMax)
    for (int i = 0; i < kInstrEventsDrop; ++i) DeleteTextBoxLine(panel, ids::kIeBox, 0);
}

// A text reply of the SEP instrument (0x240) on the SEP panel: at most 1000 lines kept, the
// newest twelve in view.
void AsciiResp(const std::uint8_t* decoded) {
  Program& p = Ctx();
  if (p.ui.sep < 0) return;
  std::string line = SepTextLine(decoded + kHeaderSize, p.core.cfg.cfgtswap, p.core.cfg.cfgtime);
  InsertTextBoxLine(p.ui.sep, ids::kSepText, -1, line.c_str());
  int n = 0;
  GetNumTextBoxLines(p.ui.sep, ids::kSepText, &n);
  if (n > 1000)
    for (int i = 0; i < 100; ++i) DeleteTextBoxLine(p.ui.sep, ids::kSepText, 0);
  GetNumTextBoxLines(p.ui.sep, ids::kSepText, &n);
  SetCtrlAttribute(p.ui.sep, ids::kSepText, ATTR_FIRST_VISIBLE_LINE, n > 12 ? n - 12 : 0);
}

}  // namespace korvex
