// Script variables on the variables panel: "let", "free" and the editor.
#include <cstdlib>

#include "commanding/keywords.h"
#include "commanding/messages.h"
#include "commanding/variables.h"
#include "core/ids.h"
#include "core/station.h"
#include "rte/rte.h"
#include "telemetry/telemetry.h"

namespace korvex {

namespace {

constexpr double kUnknownPoint = 999999.999999;
// A double-click left of this position edits the item, right of it deletes it.
constexpr int kEditColumn = 265;

int VarPanel() { return Ctx().ui.variables; }

std::vector<std::string> Labels() {
  int n = 0;
  GetNumListItems(VarPanel(), ids::kVarList, &n);
  std::vector<std::string> v;
  for (int i = 0; i < n; ++i) {
    std::string l;
    GetLabelFromIndex(VarPanel(), ids::kVarList, i, &l);
    v.push_back(l);
  }
  return v;
}

}  // namespace

void KwLet() {
  CmdState& c = Ctx().cmd;
  auto r = ParseLet(c.tempbuf);
  if (!r) return;
  if (!UsableVarName(r->name)) {
    LogMessage(msg::kVarNameUnusable + r->name, kRed);
    return;  // refused
  }
  double value = r->number;
  if (r->point) {
    value = GetValue(r->valueText);
    if (value == kUnknownPoint) return;  // no such telemetry point: refused
  }
  std::string label = VarLabel(r->name, value, r->point);
  int at = VarExist(Labels(), r->name);
  if (at < 0)
    InsertListItem(VarPanel(), ids::kVarList, 0, label.c_str(), value);
  else
    ReplaceListItem(VarPanel(), ids::kVarList, at, label.c_str(), value);
  c.txflag = 1;
}

void KwFree() {
  CmdState& c = Ctx().cmd;
  int at = VarByFirstWord(Labels(), c.tempbuf.substr(4));
  if (at < 0) return;
  DeleteListItem(VarPanel(), ids::kVarList, at, 1);
  c.txflag = 1;
}

}  // namespace korvex

using namespace korvex;

// Double-click on a variable: edit its value (left part) or delete it (right part).
int EditVar(int panel, int control, int event, void*, int e1, int e2) {
  if (event != EVENT_LEFT_DOUBLE_CLICK) return 0;
  int index = -1;
  GetCtrlIndex(panel, control, &index);
  if (index < 0) return 0;
  std::string label;
  GetLabelFromIndex(panel, control, index, &label);
  if (e2 >= kEditColumn) {
    DeleteListItem(panel, control, index, 1);
    LogMessage(msg::kRemovedVariable + label, kYellow);
    return 0;
  }
  std::string answer;
  PromptPopup(msg::kVariableEditorTitle, (label + msg::kVariableEditorText).c_str(), &answer, 99);
  if (!answer.empty()) {
    std::size_t eq = label.find("= ");
    std::string kept = eq == std::string::npos ? label + " = " : label.substr(0, eq + 2);
    ReplaceListItem(panel, control, index, (kept + answer).c_str(), std::atof(answer.c_str()));
  }
  GiveFocusToCommandLine();
  return 0;
}

namespace korvex {

void InstallVariables(Program&) { RTE_REGISTER_CALLBACK(EditVar); }

}  // namespace korvex
