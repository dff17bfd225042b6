// Telemetry recording switch, the day rotation of the archives and their reopening when the
// spacecraft changes.
#include "core/ids.h"
#include "core/messages.h"
#include "core/station.h"
#include "rte/rte.h"

namespace korvex {

namespace {
ArchiveContext Ac(Program& p) { return {p.core.aorb, p.core.sCraft, p.core.dayofyear}; }
}  // namespace

void OpenTlmArchive() {
  Program& p = Ctx();
  std::time_t now = rte::Now();
  ArchiveContext ac = Ac(p);
  StartArchive(p.arc, ac, ".tlm", now, rte::LocalTime(now));
  if (p.arc.datafile.open())
    SetCtrlVal(p.ui.link, ids::kLkRecFile, BaseName(p.arc.datafile.name).c_str());
}

void RotateArchives() {
  Program& p = Ctx();
  std::time_t now = rte::Now();
  std::tm local = rte::LocalTime(now);
  ArchiveContext ac = Ac(p);
  if (p.arc.arcfile.open()) {
    CloseArchive(p.arc.arcfile);
    StartArchive(p.arc, ac, ".log", now, local);
  }
  // The recording follows the day on its own, even when the event log could not be opened.
  if (p.arc.datafile.open()) {
    CloseArchive(p.arc.datafile);
    OpenTlmArchive();
  }
  p.core.dayofyear = local.tm_yday;
}

// The telemetry now comes from the other spacecraft: every open archive starts again under the
// new letter.
void ReopenArchivesForSpacecraft() {
  Program& p = Ctx();
  std::time_t now = rte::Now();
  std::tm local = rte::LocalTime(now);
  ArchiveContext ac = Ac(p);
  if (p.arc.datafile.open()) {
    CloseArchive(p.arc.datafile);
    OpenTlmArchive();
  }
  CloseArchive(p.arc.arrFile);
  StartArchive(p.arc, ac, ".arr", now, local);
  CloseArchive(p.arc.arcfile);
  StartArchive(p.arc, ac, ".log", now, local);
  if (p.arc.svcmdfp.open()) {
    CloseArchive(p.arc.svcmdfp);
    StartArchive(p.arc, ac, ".svc", now, local);
  }
  if (p.arc.saveToDisk && p.arc.datafile.open())
    SetCtrlVal(p.ui.link, ids::kLkRecFile, BaseName(p.arc.datafile.name).c_str());
}

}  // namespace korvex

using namespace korvex;

int recordOnOff(int panel, int control, int event, void*, int, int) {
  if (event != EVENT_COMMIT) return 0;
  Program& p = Ctx();
  int on = 0;
  GetCtrlVal(p.ui.link, ids::kLkRecSwitch, &on);
  if (!on) {
    p.arc.saveToDisk = 0;
    // Off also withdraws a request still waiting for the spacecraft: the station must not start
    // recording by itself after the operator switched recording off.
    if (p.arc.recon == 1) p.arc.recon = 0;
    SetCtrlVal(p.ui.link, ids::kLkRecFile, msg::kNotRecording);
    CloseArchive(p.arc.datafile);
  } else if (p.core.aorb == 0) {
    p.arc.recon = 1;
    SetCtrlVal(p.ui.link, ids::kLkRecFile, msg::kWaitForTelemetry);
  } else {
    OpenTlmArchive();
    p.arc.saveToDisk = 1;
  }
  GiveFocusToCommandLine();
  return 0;
}
