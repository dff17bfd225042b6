#include "telemetry/dbslots.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/text.h"

namespace korvex {

namespace {

bool ContainsNoCase(std::string_view hay, std::string_view needle) {
  return Lower(hay).find(Lower(needle)) != std::string::npos;
}

bool Contains(std::string_view hay, std::string_view needle) {
  return hay.find(needle) != std::string_view::npos;
}

// A file's lines (without their line feed or a carriage return before it), each with its
// number in the file.
struct Lines {
  std::vector<std::string> l;
  int firstNumber = 1;
  std::size_t size() const { return l.size(); }
  int number(std::size_t i) const { return firstNumber + static_cast<int>(i); }
};

Lines SplitLines(std::string_view content, int firstNumber = 1) {
  Lines r;
  r.firstNumber = firstNumber;
  std::size_t pos = 0;
  while (pos < content.size()) {
    std::size_t nl = content.find('\n', pos);
    std::size_t end = nl == std::string_view::npos ? content.size() : nl;
    std::string line(content.substr(pos, end - pos));
    if (!line.empty() && line.back() == '\r') line.pop_back();
    r.l.push_back(std::move(line));
    pos = end + 1;
  }
  return r;
}

// Index of the first line from `from` that contains marker (case-sensitive), looking at no more
// than budget lines; -1 when there is none.
long Search(const Lines& L, std::size_t from, const char* marker, int budget) {
  for (int k = 0; k < budget && from + static_cast<std::size_t>(k) < L.size(); ++k)
    if (Contains(L.l[from + static_cast<std::size_t>(k)], marker))
      return static_cast<long>(from) + k;
  return -1;
}

struct Loader {
  const std::string& file;
  LoadResult r;
  void Note(int line, std::string text) { r.notes.push_back({file, line, std::move(text)}); }
  LoadResult Fail(const char* title, const char* message) {
    r.ok = false;
    r.title = title;
    r.message = message;
    return r;
  }
  // Fills a table from `lines` until the end or a "Total Bytes" line; returns that line's index
  // (lines.size() when there is none).
  std::size_t FillUntilTotal(const Lines& L, SlotTable& t) {
    std::size_t i = 0;
    for (; i < L.size(); ++i) {
      if (ContainsNoCase(L.l[i], "Total Bytes")) return i;
      Store(L, i, t);
    }
    return i;
  }
  void Store(const Lines& L, std::size_t i, SlotTable& t) {
    bool cut = false;
    if (!t.Append(L.l[i], &cut)) {
      char msg[96];
      std::snprintf(msg, sizeof msg, "more lines than the table holds (%d); line ignored",
                    t.capacity());
      Note(L.number(i), msg);
    } else if (cut) {
      Note(L.number(i), "line of 233 characters or more; cut at 232");
    }
  }
  // One coefficient: the text that `format` (one %63[^\t] conversion) picks, as a number.
  double Coef(const Lines& L, std::size_t i, const char* format) {
    char text[64] = {};
    if (std::sscanf(L.l[i].c_str(), format, text) != 1) {
      Note(L.number(i), "no coefficient in this line; 0 used");
      return 0;
    }
    char* end = nullptr;
    double v = std::strtod(text, &end);
    if (end == text) Note(L.number(i), std::string("coefficient \"") + text + "\" is not a number; 0 used");
    return v;
  }
};

constexpr const char* kCoefFmt = " %*c %63[^\t]";
constexpr const char* kSecondFieldFmt = " %*[^\t] %63[^\t]";
constexpr const char* kLetFirstFmt = " %*[^\t] %*c %63[^\t]";

}  // namespace

ItemLine SplitItemLine(std::string_view text) {
  ItemLine it;
  std::size_t pos = 0;
  for (int f = 0; f < kItemFields && pos <= text.size(); ++f) {
    std::size_t tab = text.find('\t', pos);
    std::size_t end = tab == std::string_view::npos ? text.size() : tab;
    it.db[static_cast<std::size_t>(f)] = std::string(text.substr(pos, end - pos));
    if (tab == std::string_view::npos) break;
    pos = tab + 1;
  }
  it.offset = std::atoi(it.db[2].c_str());
  it.gainA = std::atof(it.db[5].c_str());
  if (it.gainA == 0.0) {
    it.db[5] = "1";
    it.gainA = 1;
  }
  it.offA = std::atof(it.db[6].c_str());
  it.gainB = std::atof(it.db[14].c_str());
  if (it.gainB == 0.0) it.gainB = 1;
  it.offB = std::atof(it.db[15].c_str());
  for (std::size_t k = 0; k < 4; ++k) {
    const std::string& f = it.db[8 + k];
    it.limOn[k] = !f.empty() && f[0] != 'N';
    it.limInt[k] = std::atoi(f.c_str());
    it.limF[k] = std::atof(f.c_str());
  }
  return it;
}

bool SlotTable::Append(std::string_view line, bool* cut) {
  if (count_ >= capacity()) return false;
  if (cut) *cut = line.size() > kSlotTextMax;
  Put(count_, line);
  ++count_;
  Changed();
  return true;
}

void SlotTable::Put(int i, std::string_view line) {
  LineSlot& s = slots_[static_cast<std::size_t>(i)];
  s = LineSlot{};
  std::size_t n = std::min(line.size(), kSlotTextMax);
  std::memcpy(s.text, line.data(), n);
  Changed();
}

void SlotTable::SetCount(int n) {
  count_ = std::clamp(n, 0, capacity());
  Changed();
}

void SlotTable::Clear() {
  for (LineSlot& s : slots_) s = LineSlot{};
  count_ = 0;
  customOrder_ = false;
  order_.clear();
  Changed();
}

void SlotTable::SetSearchOrder(std::vector<int> order) {
  order_.clear();
  for (int i : order)
    if (i >= 0 && i < capacity()) order_.push_back(i);
  customOrder_ = true;
  Changed();
}

void SlotTable::Changed() {
  lower_.clear();
  found_.clear();
  items_.clear();
}

namespace {
// ASCII letters only, as the run-time's case-blind search compares them.
inline unsigned char Fold(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  return u >= 'A' && u <= 'Z' ? static_cast<unsigned char>(u + 32) : u;
}
}  // namespace

std::size_t SlotTable::NoCaseHash::operator()(std::string_view s) const {
  std::size_t h = 1469598103934665603ull;
  for (char c : s) h = (h ^ Fold(c)) * 1099511628211ull;
  return h;
}

bool SlotTable::NoCaseEq::operator()(std::string_view a, std::string_view b) const {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (Fold(a[i]) != Fold(b[i])) return false;
  return true;
}

int SlotTable::Find(std::string_view name) const {
  auto it = found_.find(name);
  if (it != found_.end()) return it->second;
  std::string key = Lower(name);
  if (lower_.empty()) {
    lower_.resize(slots_.size());
    for (std::size_t i = 0; i < slots_.size(); ++i) lower_[i] = Lower(slots_[i].text);
  }
  int hit = -1;
  auto test = [&](int i) { return lower_[static_cast<std::size_t>(i)].find(key) != std::string::npos; };
  if (customOrder_) {
    for (int i : order_)
      if (test(i)) {
        hit = i;
        break;
      }
  } else {
    for (int i = 0; i < count_; ++i)
      if (test(i)) {
        hit = i;
        break;
      }
  }
  found_.emplace(std::move(key), hit);
  return hit;
}

const ItemLine& SlotTable::Item(int i) const {
  if (items_.empty()) items_.resize(slots_.size());
  auto& it = items_[static_cast<std::size_t>(i)];
  if (!it) it = SplitItemLine(slots_[static_cast<std::size_t>(i)].text);
  return *it;
}

void SlotTable::SetValue(int i, std::string_view text) {
  LineSlot& s = slots_[static_cast<std::size_t>(i)];
  std::size_t n = std::min(text.size(), sizeof s.value - 1);
  std::memcpy(s.value, text.data(), n);
  s.value[n] = 0;
}

LoadResult LoadTlm(const std::string& file, const std::string& content, TelemetryDb& db) {
  Loader ld{file, {}};
  Lines L = SplitLines(content);
  db.tlmdb.Clear();
  db.coeff = TlmCoeffs{};
  db.cdsqmk.fill({});
  std::size_t total = ld.FillUntilTotal(L, db.tlmdb);
  if (total == L.size()) ld.Note(0, "no \"Total Bytes\" line: every line stored as an item line");

  // The thermistor block is searched within 150 lines counted from the "Total Bytes" line.
  long at = Search(L, total + 1, "YSI", 149);
  if (at < 0 || static_cast<std::size_t>(at) + 7 >= L.size()) return ld.Fail(kVantisDbTitle, kYsiFailed);
  std::size_t i = static_cast<std::size_t>(at) + 2;  // the line after the marker is skipped
  for (double& c : db.coeff.y) c = ld.Coef(L, i++, kCoefFmt);

  at = Search(L, i, "RTD", 100);
  if (at < 0 || static_cast<std::size_t>(at) + 4 >= L.size()) return ld.Fail(kVantisDbTitle, kRtdFailed);
  i = static_cast<std::size_t>(at) + 1;
  for (double& c : db.coeff.r) c = ld.Coef(L, i++, kCoefFmt);
  ++i;  // the fourth line is read and not used

  at = Search(L, i, "MAG", 100);
  if (at < 0 || static_cast<std::size_t>(at) + 6 >= L.size()) return ld.Fail(kVantisDbTitle, kMagFailed);
  i = static_cast<std::size_t>(at) + 1;
  for (double& c : db.coeff.m) c = ld.Coef(L, i++, kCoefFmt);

  at = Search(L, i, "STEUa", 100);
  if (at < 0 || static_cast<std::size_t>(at) + 6 >= L.size()) return ld.Fail(kVantisDbTitle, kCurFailed);
  i = static_cast<std::size_t>(at) + 1;
  for (double& c : db.coeff.u) c = ld.Coef(L, i++, kSecondFieldFmt);
  for (double& c : db.coeff.d) c = ld.Coef(L, i++, kSecondFieldFmt);

  // Bit names of the sequence mask: searched from byte 22000 of the file, wherever a line starts.
  if (content.size() <= kMaskSearchFrom) return ld.Fail(kVantisDbTitle, kMaskFailed);
  int firstNumber = 1 + static_cast<int>(std::count(content.begin(),
                                                    content.begin() + kMaskSearchFrom, '\n'));
  Lines M = SplitLines(std::string_view(content).substr(kMaskSearchFrom), firstNumber);
  at = Search(M, 0, "IDPUPwrWarn", 341);
  if (at < 0 || static_cast<std::size_t>(at) + kSeqMaskBits > M.size())
    return ld.Fail(kVantisDbTitle, kMaskFailed);
  char name[kSeqMaskNameMax + 1];
  for (int b = 0; b < kSeqMaskBits; ++b) {
    std::size_t k = static_cast<std::size_t>(at) + static_cast<std::size_t>(b);
    const char* fmt = b == 0 ? " %*[^\t] %*[^\t] %*[^\t] %74[^\t]" : " %*[^\t] %*[^\t] %74[^\t]";
    name[0] = 0;
    if (std::sscanf(M.l[k].c_str(), fmt, name) != 1) ld.Note(M.number(k), "no bit name in this line");
    db.cdsqmk[static_cast<std::size_t>(b)] = name;
  }
  return ld.r;
}

LoadResult LoadSeq(const std::string& file, const std::string& content, TelemetryDb& db) {
  Loader ld{file, {}};
  Lines L = SplitLines(content);
  db.seqdb.Clear();
  std::size_t i = 0;
  while (i < L.size() && !ContainsNoCase(L.l[i], "Description")) ++i;
  if (i == L.size()) {
    ld.Note(0, "no \"Description\" line: no sequence names");
  } else {
    ++i;
    for (int k = 0; k < kSeqSlots; ++k, ++i) {
      if (i >= L.size()) {
        ld.Note(0, "fewer than 32 sequence lines");
        break;
      }
      bool cut = false;
      db.seqdb.Append(L.l[i], &cut);
      if (cut) ld.Note(L.number(i), "line of 233 characters or more; cut at 232");
    }
  }
  db.seqdb.SetCount(kSeqSlots);
  return ld.r;
}

namespace {
// fgets: up to max characters or through the line feed. False at the end of the content.
bool Fgets(const std::string& s, std::size_t& pos, std::size_t max, std::string* out,
           std::size_t* endPos) {
  if (pos >= s.size()) return false;
  std::size_t n = 0;
  std::size_t start = pos;
  while (pos < s.size() && n < max) {
    ++n;
    if (s[pos++] == '\n') break;
  }
  *out = s.substr(start, pos - start);
  *endPos = pos;
  return true;
}

void StripEol(std::string& l) {
  while (!l.empty() && (l.back() == '\n' || l.back() == '\r')) l.pop_back();
}

int LineOf(const std::string& s, std::size_t pos) {
  return 1 + static_cast<int>(std::count(s.begin(), s.begin() + static_cast<long>(std::min(pos, s.size())), '\n'));
}

bool DroppedTableLine(const std::string& l) {
  if (!l.empty() && (l[0] == '\t' || l[0] == '.')) return true;
  if (Contains(l, "spare") && !Contains(l, "Conflict#")) return true;
  if (Contains(l, "Spare") && !Contains(l, "Conflict#") && !Contains(l, "PAC_DIS")) return true;
  return Contains(l, "Sparem") || Contains(l, "SpareM");
}
}  // namespace

LoadResult LoadTbl(const std::string& file, const std::string& content, TelemetryDb& db) {
  Loader ld{file, {}};
  db.tbldb.Clear();
  db.tbldx.fill(0);
  db.count.fill(0);
  std::size_t pos = 0, end = 0;
  std::string l;
  bool start = false;
  while (Fgets(content, pos, 299, &l, &end)) {
    if (ContainsNoCase(l, "(ID=1)")) {
      start = true;
      break;
    }
  }
  if (!start) {
    ld.Note(0, "no \"(ID=1)\" line: no tables");
    return ld.r;
  }
  // The tail of the "(ID=1)" line is read again as the first line of the table area.
  pos = end >= 17 ? end - 17 : 0;
  int id = -1, counter = 0, slot = 0;
  auto close = [&] {
    if (id >= 0 && id < kTblCounts) db.count[static_cast<std::size_t>(id)] = std::max(0, counter - 2);
  };
  bool ended = false, full = false;
  while (Fgets(content, pos, 300, &l, &end)) {
    int lineNo = LineOf(content, pos - 1);
    pos = end;
    StripEol(l);
    if (DroppedTableLine(l)) continue;
    if (ContainsNoCase(l, "(ID=16)")) {
      ended = true;
      break;
    }
    bool header = ContainsNoCase(l, "ID=") || ContainsNoCase(l, "ID =");
    if (slot >= kTblSlots) {
      if (!full) ld.Note(lineNo, "more table lines than the table area holds (300); the rest ignored");
      full = true;
      continue;
    }
    if (header) {
      close();
      std::size_t d = l.find_first_of("123456789");
      id = d == std::string::npos ? 0 : std::atoi(l.c_str() + d);
      if (id >= kTblCounts) ld.Note(lineNo, "table id " + std::to_string(id) + " above 11: its lines are not counted");
      if (id >= 0 && id < kTbldx)
        db.tbldx[static_cast<std::size_t>(id)] = slot + 2;
      else
        ld.Note(lineNo, "table id " + std::to_string(id) + " above 49: no index kept");
      counter = 0;
    }
    if (l.size() > kSlotTextMax) ld.Note(lineNo, "line of 233 characters or more; cut at 232");
    db.tbldb.Put(slot, l);
    ++slot;
    ++counter;
  }
  close();
  db.tbldb.SetCount(slot);
  if (!ended) ld.Note(0, "no \"(ID=16)\" line: the table area ends at the end of the file");
  return ld.r;
}

LoadResult LoadSep(const std::string& file, const std::string& content, TelemetryDb& db) {
  Loader ld{file, {}};
  Lines L = SplitLines(content);
  db.sepdb.Clear();
  db.sepCoeff = SepCoeffs{};
  std::size_t total = ld.FillUntilTotal(L, db.sepdb);
  if (total == L.size()) ld.Note(0, "no \"Total Bytes\" line: every line stored as an item line");
  SepCoeffs& c = db.sepCoeff;

  long at = Search(L, total + 1, "N_LET_Temp0", 100);
  if (at < 0 || static_cast<std::size_t>(at) + 6 >= L.size()) return ld.Fail(kSepDbTitle, kLetFailed);
  std::size_t i = static_cast<std::size_t>(at) + 1;
  for (int k = 0; k < 6; ++k) c.l[static_cast<std::size_t>(k)] = ld.Coef(L, i++, k < 3 ? kLetFirstFmt : kCoefFmt);

  at = Search(L, i, "N_SEP_APRBTemp", 100);
  if (at < 0 || static_cast<std::size_t>(at) + 6 >= L.size()) return ld.Fail(kSepDbTitle, kSepTempFailed);
  i = static_cast<std::size_t>(at) + 1;
  for (int k = 0; k < 6; ++k) c.s[static_cast<std::size_t>(k)] = ld.Coef(L, i++, k < 3 ? kLetFirstFmt : kCoefFmt);

  at = Search(L, i, "N_SIT_HVMon", 100);
  if (at < 0 || static_cast<std::size_t>(at) + 8 >= L.size()) return ld.Fail(kSepDbTitle, kSitFailed);
  i = static_cast<std::size_t>(at);
  for (auto& g : c.sit) {
    if (std::sscanf(L.l[i].c_str(), " %*[^\t] %lf %lf %lf %lf", &g[0], &g[1], &g[2], &g[3]) != 4)
      ld.Note(L.number(i), "fewer than four coefficients in this line");
    ++i;
  }
  auto& v = c.vrp6;
  if (std::sscanf(L.l[i].c_str(), " %lf %lf %lf %lf", &v[0], &v[1], &v[2], &v[3]) != 4)
    ld.Note(L.number(i), "fewer than four coefficients in this line");
  return ld.r;
}

LoadResult LoadBrm(const std::string& file, const std::string& content, TelemetryDb& db) {
  Loader ld{file, {}};
  Lines L = SplitLines(content);
  db.brmdb.Clear();
  db.brmItemLines.clear();
  db.brmCount = 0;
  for (std::size_t i = 0; i < L.size(); ++i) {
    if (ContainsNoCase(L.l[i], "Total Bytes")) break;
    int slot = db.brmdb.count();
    ld.Store(L, i, db.brmdb);
    if (db.brmdb.count() == slot) continue;
    char first = L.l[i].empty() ? 0 : L.l[i][0];
    if (first == 'P' || first == 'C') db.brmItemLines.push_back(slot);
  }
  if (!db.brmItemLines.empty()) db.brmCount = db.brmItemLines.back();
  std::vector<int> order{0};
  for (int s : db.brmItemLines)
    if (s < db.brmCount && s != 0) order.push_back(s);
  db.brmdb.SetSearchOrder(std::move(order));
  return ld.r;
}

LoadResult LoadSpc(const std::string& file, const std::string& content, TelemetryDb& db) {
  Loader ld{file, {}};
  Lines L = SplitLines(content);
  db.spcdb.Clear();
  for (std::size_t i = 0; i < L.size(); ++i) {
    if (i >= static_cast<std::size_t>(kSpcLines)) {
      ld.Note(L.number(i), "more than 85 spacecraft lines; the rest ignored");
      break;
    }
    ld.Store(L, i, db.spcdb);
  }
  return ld.r;
}

LoadResult LoadBasin(const std::string& file, const std::string& content, TelemetryDb& db) {
  Loader ld{file, {}};
  std::size_t pos = 0, end = 0;
  std::string l;
  for (std::size_t p = 0; p < 3; ++p) {
    db.spcLabels[p].clear();
    for (int k = 0; k < kSpcPanelLabels[p]; ++k) {
      if (!Fgets(content, pos, 99, &l, &end)) {
        ld.Note(0, "fewer than 42 label lines");
        return ld.r;
      }
      pos = end;
      StripEol(l);
      db.spcLabels[p].push_back(l);
    }
  }
  return ld.r;
}

std::optional<std::array<std::string, 6>> TableLine(const TelemetryDb& db, int id, int k) {
  if (id < 0 || id >= kTbldx || k < 0) return std::nullopt;
  int slot = db.tbldx[static_cast<std::size_t>(id)] + k;
  if (db.tbldx[static_cast<std::size_t>(id)] == 0 || slot >= db.tbldb.count()) return std::nullopt;
  std::string text = db.tbldb.text(slot);
  std::array<std::string, 6> f;
  std::size_t pos = 0;
  for (std::size_t i = 0; i < 6; ++i) {
    std::size_t tab = text.find('\t', pos);
    std::size_t e = tab == std::string::npos ? text.size() : tab;
    f[i] = text.substr(pos, e - pos);
    if (tab == std::string::npos) break;
    pos = tab + 1;
  }
  std::size_t h = f[4].find('h');
  if (h != std::string::npos) f[4] = "0x" + f[4].substr(0, h);
  return f;
}

std::vector<TableLabel> TableLabels(const TelemetryDb& db) {
  std::vector<TableLabel> out;
  for (std::size_t p = 0; p < kTableIds.size(); ++p) {
    int id = kTableIds[p];
    int n = id < kTblCounts ? db.count[static_cast<std::size_t>(id)] : 0;
    if (id == 10) n = std::min(n, kTable10Shown);
    for (int k = 0; k < n; ++k) {
      auto f = TableLine(db, id, k);
      if (!f) break;
      out.push_back({static_cast<int>(p), kTableFirstCtrl[p] - k, (*f)[2]});
    }
  }
  return out;
}

double GetValue(const TelemetryDb& db, std::string_view name) {
  for (const SlotTable* t : {&db.tlmdb, &db.sepdb, &db.brmdb}) {
    int i = t->Find(name);
    if (i >= 0) return std::atof(t->slot(i).value);
  }
  return kNotFound;
}

unsigned char* GetAlarmCtr(TelemetryDb& db, std::string_view name) {
  for (SlotTable* t : {&db.tlmdb, &db.sepdb, &db.brmdb}) {
    int i = t->Find(name);
    if (i >= 0) return &t->slot(i).alarm;
  }
  return nullptr;
}

}  // namespace korvex
