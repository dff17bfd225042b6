// Decoders of the station's packets, registered in the link's APID handler table, and the
// loading of the database files at start-up.
#include "telemetry/telemetry.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "commanding/reverse.h"
#include "core/ids.h"
#include "core/station.h"
#include "rte/rte.h"
#include "telemetry/messages.h"

namespace korvex {

namespace {

constexpr int kSpacecraftApids[] = {0x00B, 0x00C, 0x00D, 0x01C, 0x01E};
constexpr int kCvList = 2, kCvSent = 8, kCvVerified = 7, kCvLast = 6;

// ---- panels --------------------------------------------------------------------------------

std::string Title(int panel) {
  std::string t;
  GetPanelAttribute(panel, ATTR_TITLE, &t);
  return t;
}

void AddNamedControls(DbState& d, int panel) {
  for (int c = 1; c <= 300; ++c) {
    std::string label;
    if (GetCtrlAttribute(panel, c, ATTR_LABEL_TEXT, &label) < 0) continue;
    auto it = d.byName.find(label);
    if (it == d.byName.end()) {
      d.labels.push_back(label);
      it = d.byName.emplace(std::string_view(d.labels.back()), std::vector<CtrlRef>{}).first;
    }
    it->second.push_back(CtrlRef{panel, c, {}, -2});
  }
}

// The telemetry panels by their titles; the value panels' controls by their labels.
void FindPanels(Program& p) {
  DbState& d = p.db;
  std::vector<std::string> valueTitles;
  for (const HkPanelDef& def : HkPanels()) valueTitles.push_back(def.title);
  for (int h : p.ui.all) {
    std::string t = Title(h);
    for (std::size_t i = 0; i < kTableIds.size(); ++i)
      if (t == "Table Dump ID=" + std::to_string(kTableIds[i])) d.tablePanels[i] = h;
    for (int s = 0; s < 3; ++s)
      if (t == "Spacecraft " + std::to_string(s + 1)) d.spcPanels[static_cast<std::size_t>(s)] = h;
    if (t == "Memory Dump") d.memoryPanel = h;
    if (t == "Sequence Mask") d.maskPanel = h;
    if (t == "Sequence Dump") d.seqDumpPanel = h;
    if (t == "Command Verification") d.cvPanel = h;
    for (const std::string& v : valueTitles)
      if (t == v) AddNamedControls(d, h);
  }
}

// Shows a text (and a colour) in every control labelled name; unchanged values are not written.
void ShowNamed(DbState& d, std::string_view name, const std::string* text, int paint) {
  auto it = d.byName.find(name);
  if (it == d.byName.end()) return;
  for (CtrlRef& c : it->second) {
    if (text && c.last != *text) {
      SetCtrlVal(c.panel, c.ctrl, text->c_str());
      c.last = *text;
    }
    if (paint != kNoPaint && paint != c.lastPaint) {
      SetCtrlAttribute(c.panel, c.ctrl, ATTR_TEXT_BGCOLOR, paint);
      c.lastPaint = paint;
    }
  }
}

void Alarm(const std::string& text, const char* colour) {
  LogMessage(text, colour);
  ToEmail(text);
}

AlarmCfg Alarms(const Program& p) {
  return AlarmCfg{static_cast<int>(p.core.cfg.alim), p.core.warn >= p.core.cfg.wlim};
}

// ---- command verification -------------------------------------------------------------------

void CommandVerification(Program& p) {
  DbState& d = p.db;
  if (!d.cmdCountSeen) {
    // The first packet gives the counter to compare the next ones with.
    d.pcmdcount = d.hk.cmdcount;
    d.cmdCountSeen = true;
    return;
  }
  std::vector<CvEntry> list;
  int n = 0;
  if (d.cvPanel > 0) GetNumListItems(d.cvPanel, kCvList, &n);
  for (int i = 0; i < n; ++i) {
    CvEntry e;
    double v = 0;
    GetLabelFromIndex(d.cvPanel, kCvList, i, &e.label);
    GetValueFromIndex(d.cvPanel, kCvList, i, &v);
    e.value = static_cast<int>(v);
    list.push_back(std::move(e));
  }
  CmdVerResult r = CmdVer(d.pcmdcount, d.hk.cmdcount, d.hk.cmdlid, d.hk.cmdLastSeq, list,
                          p.core.cfg.cfgcswap != 0, d.hk.tcmdlid);
  if (r.remove > 0 && d.cvPanel > 0) {
    DeleteListItem(d.cvPanel, kCvList, 0, r.remove);
    d.totcnt += r.remove;
    // The commands still pending: the count the commanding module keeps goes down with the list.
    p.cmd.cmdcnt = n - r.remove;
    SetCtrlVal(d.cvPanel, kCvSent, n - r.remove);
    SetCtrlVal(d.cvPanel, kCvVerified, d.totcnt);
    SetCtrlVal(d.cvPanel, kCvLast, r.remove);
  }
  if (!r.warning.empty()) LogMessage(r.warning, kRed);
}

// ---- handlers --------------------------------------------------------------------------------

void ProcessorHousekeeping(Program& p, const std::uint8_t* decoded) {
  DbState& d = p.db;
  HkContext ctx{d.tdb, d.hk, d.err, &d.cmd, p.core.aorb == 2 ? 2 : 1, Alarms(p),
                p.core.cfg.cfgtime};
  ExtConvDisplay(decoded + kHeaderSize, ctx, d.hkOut);
  HkOut& o = d.hkOut;
  for (const Shown& s : o.values) ShowNamed(d, s.name, s.hasText ? &s.text : nullptr, s.paint);
  for (const std::string& m : o.missing) LogMessage(m + kNotInDatabase, kRed);
  for (const AlarmLine& a : o.alarms) Alarm(a.text, a.red ? kRed : kYellow);
  if (o.seqMaskValid && d.maskPanel > 0)
    for (int b = 0; b < kSeqMaskBits; ++b)
      SetCtrlVal(d.maskPanel, 2 + (31 - b), static_cast<int>((o.seqMask >> b) & 1));
  if (o.cmdVerDue) CommandVerification(p);
}

void TableDumpPacket(Program& p, const std::uint8_t* decoded) {
  DbState& d = p.db;
  DumpOut o = TableDump(decoded + kHeaderSize, d.tdb, d.dump, p.core.cfg.cfgtswap,
                        p.core.cfg.cfgtime);
  if (!o.lines.empty() && d.memoryPanel > 0) {
    ResetTextBox(d.memoryPanel, 2, "");
    for (const std::string& l : o.lines) InsertTextBoxLine(d.memoryPanel, 2, -1, l.c_str());
  }
  std::array<bool, 7> timed{};
  for (const DumpOut::Entry& e : o.entries) {
    int h = d.tablePanels[static_cast<std::size_t>(e.panel)];
    if (h <= 0) continue;
    SetCtrlVal(h, e.control, static_cast<int>(e.value));
    if (!timed[static_cast<std::size_t>(e.panel)]) {
      SetCtrlVal(h, kTableFirstCtrl[static_cast<std::size_t>(e.panel)] + 1, o.time.c_str());
      timed[static_cast<std::size_t>(e.panel)] = true;
    }
  }
  // Each dumped sequence half also as command lines on its command-sequence panel.
  if (!o.sequences.empty()) {
    const std::uint8_t* pk = decoded + kHeaderSize;  // read as the dump listing reads it
    for (const DumpOut::Sequence& s : o.sequences) {
      int h = s.number >= 0 && s.number < 32 ? p.ui.cmdSeq[static_cast<std::size_t>(s.number)] : 0;
      if (h <= 0) continue;
      int offset = 1;
      const std::uint8_t* half = pk + (s.number == o.sequences.front().number ? 15 : 143);
      for (const std::string& l :
           SequenceLines(p.db.cmd.list, half, 128, &offset, &p.db.cmd.lower))
        InsertTextBoxLine(h, 2, -1, l.c_str());
    }
  }
  if (!o.sequences.empty() && d.seqDumpPanel > 0) {
    ResetTextBox(d.seqDumpPanel, 2, "");
    for (const DumpOut::Sequence& s : o.sequences) {
      std::string head = o.time + " Sequence " + std::to_string(s.number);
      if (s.number < d.tdb.seqdb.count()) {
        std::string l = d.tdb.seqdb.text(s.number);
        for (char& c : l)
          if (c == '\t') c = ' ';
        head += ": " + l;
      }
      InsertTextBoxLine(d.seqDumpPanel, 2, -1, head.c_str());
      for (const std::string& l : s.lines) InsertTextBoxLine(d.seqDumpPanel, 2, -1, l.c_str());
    }
  }
}

// Spacecraft packets feed the spacecraft watchdog (the first one after a reported gap says so)
// and the three spacecraft panels.
void SpacecraftPacket(Program& p, const std::uint8_t* decoded, int which) {
  if (p.core.spcDog == 61) LogMessage(msg::kSpacecraftResumed, kGreen);
  p.core.spcDog = 0;
  DbState& d = p.db;
  auto w = static_cast<std::size_t>(which);
  if (!d.spcPlanned[w]) {
    d.spcPlans[w] = PlanByLabel(d.tdb, SpcSuffix(kSpacecraftApids[w]));
    d.spcPlanned[w] = true;
  }
  d.spcLogs.clear();
  ReadByLabel(decoded + kHeaderSize, d.spcPlans[w], d.spcalrm, Alarms(p), d.spcOut, d.spcLogs);
  for (const SpcOut& o : d.spcOut) {
    int h = d.spcPanels[static_cast<std::size_t>(o.panel)];
    if (h <= 0) continue;
    auto row = static_cast<std::size_t>(o.panel);
    auto col = static_cast<std::size_t>(kSpcPanelFirstCtrl[row] - o.control);
    std::string& text = d.spcShown[row][col];
    if (text != o.text) {
      SetCtrlVal(h, o.control, o.text.c_str());
      text = o.text;
    }
    int& shown = d.spcPaint[row][col];
    if (o.paint != kNoPaint && o.paint != shown) {
      SetCtrlAttribute(h, o.control, ATTR_TEXT_BGCOLOR, o.paint);
      shown = o.paint;
    }
  }
  for (const AlarmLine& a : d.spcLogs) Alarm(a.text, a.red ? msg::kSpcRed : msg::kSpcYellow);
}

// ---- loading ---------------------------------------------------------------------------------

bool ReadWhole(const std::string& path, std::string* content) {
  if (path.empty()) return false;
  std::ifstream in(rte::ResolvePath(path), std::ios::binary);
  if (!in) return false;
  std::stringstream ss;
  ss << in.rdbuf();
  *content = ss.str();
  return true;
}

// A database file, or the one the operator picks instead; false = give up (told why).
bool ReadDb(const std::string& path, const char* missing, std::string* content, std::string* used) {
  errno = 0;
  if (ReadWhole(path, content)) {
    *used = path;
    return true;
  }
  int e = errno;
  std::fprintf(stderr, "korvex: cannot read %s: %s\n", rte::ResolvePath(path).c_str(),
               e ? std::strerror(e) : "unreadable");
  std::string chosen;
  if (FileSelectPopup("", "*.*", "File Name", VAL_LOAD_BUTTON, &chosen) > 0 &&
      ReadWhole(chosen, content)) {
    *used = chosen;
    return true;
  }
  MessagePopup(kMissingTitle, missing);
  return false;
}

void SplashLamp(Program& p, int ctrl) {
  if (p.ui.splash > 0) SetCtrlVal(p.ui.splash, ctrl, 1);
}

std::vector<std::string> LinesOf(const std::string& content) {
  std::vector<std::string> v;
  std::stringstream ss(content);
  for (std::string l; std::getline(ss, l);) {
    if (!l.empty() && l.back() == '\r') l.pop_back();
    v.push_back(l);
  }
  return v;
}

bool Take(Program& p, const LoadResult& r) {
  p.core.loadNotes.insert(p.core.loadNotes.end(), r.notes.begin(), r.notes.end());
  if (r.ok) return true;
  MessagePopup(r.title.c_str(), r.message.c_str());
  return false;
}

void Keep(Program& p, const LoadNotes& n) {
  p.core.loadNotes.insert(p.core.loadNotes.end(), n.v.begin(), n.v.end());
}

using LoadFn = LoadResult (*)(const std::string&, const std::string&, TelemetryDb&);

bool LoadOne(Program& p, const char* path, const char* missing, LoadFn fn) {
  std::string content, used;
  if (!ReadDb(path, missing, &content, &used)) return false;
  return Take(p, fn(used, content, p.db.tdb));
}

}  // namespace

bool LoadDatabases(Program& p) {
  DbState& d = p.db;
  FindPanels(p);
  std::string content, used;

  if (!LoadOne(p, "database/VANTIS_tlm.txt", kNoTlmFile, LoadTlm)) return false;
  SplashLamp(p, 6);

  if (!ReadDb("database/VANTIS_err.txt", kNoErrFile, &content, &used)) return false;
  LoadNotes errNotes{used, {}};
  ReadErrDb(LinesOf(content), d.err, &errNotes);
  Keep(p, errNotes);
  SplashLamp(p, 5);

  if (!ReadDb("database/VANTIS_apd.txt", kNoApdFile, &content, &used)) return false;
  LoadNotes apdNotes{used, {}};
  ApdResult apd = ReadApd(LinesOf(content), &apdNotes);
  Keep(p, apdNotes);
  p.link.apdIndex = apd.index;
  for (const ApdLabel& l : apd.labels) {
    int panel = l.panel == 0 ? p.ui.summary : p.ui.group[static_cast<std::size_t>(l.panel)];
    SetCtrlAttribute(panel, l.control, ATTR_LABEL_TEXT, l.text.c_str());
  }
  SplashLamp(p, 4);

  if (!LoadOne(p, "database/VANTIS_seq.txt", kNoSeqFile, LoadSeq)) return false;
  SplashLamp(p, 3);

  if (!LoadOne(p, "database/VANTIS_tbl.txt", kNoTblFile, LoadTbl)) return false;
  for (const TableLabel& l : TableLabels(d.tdb)) {
    int h = d.tablePanels[static_cast<std::size_t>(l.panel)];
    if (h > 0) SetCtrlAttribute(h, l.control, ATTR_LABEL_TEXT, l.text.c_str());
  }
  SplashLamp(p, 2);

  if (!LoadOne(p, "database/sep_hkg.txt", kNoSepFile, LoadSep)) return false;
  if (!LoadOne(p, "database/BRIMLET_dhk.txt", kNoBrmFile, LoadBrm)) return false;
  if (!LoadOne(p, "database/basis.txt", kNoSpcFile, LoadSpc)) return false;

  if (!ReadWhole("database/basin.txt", &content)) {
    MessagePopup(kMissingTitle, kNoBasinFile);
    return false;
  }
  Take(p, LoadBasin("database/basin.txt", content, d.tdb));
  for (std::size_t s = 0; s < 3; ++s) {
    int h = d.spcPanels[s];
    if (h <= 0) continue;
    const auto& labels = d.tdb.spcLabels[s];
    for (std::size_t i = 0; i < labels.size(); ++i)
      SetCtrlAttribute(h, kSpcPanelFirstCtrl[s] - static_cast<int>(i), ATTR_LABEL_TEXT,
                       labels[i].c_str());
  }

  if (d.maskPanel > 0)
    for (int b = 0; b < kSeqMaskBits; ++b)
      SetCtrlAttribute(d.maskPanel, 2 + (31 - b), ATTR_LABEL_TEXT,
                       d.tdb.cdsqmk[static_cast<std::size_t>(b)].c_str());
  return true;
}

double GetValue(const std::string& name) { return GetValue(Ctx().db.tdb, name); }

void ToEmail(const std::string& text) {
  Program& p = Ctx();
  if (p.db.toEmail) p.db.toEmail(text);
}

void InstallTelemetry(Program& p) {
  p.link.handlers.add(0x200, ProcessorHousekeeping);
  p.link.handlers.add(0x201, TableDumpPacket);
  for (int w = 0; w < 5; ++w)
    p.link.handlers.add(kSpacecraftApids[w], [w](Program& prog, const std::uint8_t* decoded) {
      SpacecraftPacket(prog, decoded, w);
    });
}

}  // namespace korvex
