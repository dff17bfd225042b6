// Resource numbers and control ids of the station's panels, as the resource files in ui/ hold them
// (ui/gen_uir.py writes both sides from one table; keep them in step).
#pragma once

namespace korvex::ids {

// cmdbox.uir
constexpr int kSplash = 12;
constexpr int kSplashVersion = 9;
constexpr int kSplashLampFirst = 2;  // lamps 2..8
constexpr int kCmdList = 7;
constexpr int kCmdListDb = 2;
constexpr int kCmdListScripts = 3;
constexpr int kEventPanel = 8;
constexpr int kEvCmdLine = 2;
constexpr int kEvSend = 3;
constexpr int kEvList = 4;
constexpr int kEvDateTime = 5;
constexpr int kEvTimer = 6;
constexpr int kEvWaitLed = 7;
constexpr int kEvCountdown = 8;
constexpr int kEvHeartbeat = 9;
constexpr int kEvResetTime = 10;
constexpr int kEvPrint = 11;
constexpr int kEvBadCks = 12;
constexpr int kEvSequence = 13;
constexpr int kInstrEvents = 11;
constexpr int kIeBox = 2;
constexpr int kIeClear = 3;
constexpr int kShutdown = 4;
constexpr int kCmdVerify = 10;
constexpr int kCvList = 2;
constexpr int kCvSent = 8;      // cmdcnt: sent and not yet verified
constexpr int kCvVerified = 7;  // verified since start
constexpr int kCvLast = 6;      // verified by the last check
constexpr int kCvReset = 3;     // CVClear

// korvmain.uir
constexpr int kMain = 1;
// Items of the main window's "Commands" menu.
constexpr int kMenuCmdFile = 1;        // menuCmd
constexpr int kMenuSaveDisplay = 2;    // SaveDisplay
constexpr int kMenuRecallDisplay = 3;  // RecallDisplay
constexpr int kLink = 2;
constexpr int kLkHex = 2;
constexpr int kLkBytes = 3;
constexpr int kLkFilter = 4;
constexpr int kLkChksum = 5;
constexpr int kLkStart = 6;
constexpr int kLkLength = 7;
constexpr int kLkSwap = 8;
constexpr int kLkDisplay = 9;
constexpr int kLkClear = 10;
constexpr int kLkAllApids = 11;
constexpr int kLkTlmLamp = 12;
constexpr int kLkCmdLamp = 13;
constexpr int kLkTlmSwitch = 14;
constexpr int kLkCmdSwitch = 15;
constexpr int kLkRecFile = 16;
constexpr int kLkRecSwitch = 17;
constexpr int kLkTlmRetryLamp = 18;  // automatic reconnection: connected / retrying / off
constexpr int kLkCmdRetryLamp = 19;

constexpr int kArrPanel = 3;
constexpr int kArrBox = 2;

constexpr int kApidDisp1 = 10;
constexpr int kApidDisp2 = 44;
constexpr int kAdHex = 2;
constexpr int kAdSelect = 3;
constexpr int kAdCount = 4;
constexpr int kAdChksum = 5;
constexpr int kAdStart = 6;
constexpr int kAdLength = 7;
constexpr int kAdSwap = 8;
constexpr int kAdClear = 9;

constexpr int kRange200 = 13;
constexpr int kRange300 = 14;
constexpr int kRgFirst = 2;      // counter of APID offset k is control 2 + k
constexpr int kRgIllegal = 130;
constexpr int kRgClear = 131;

constexpr int kSummary = 16;     // counters 11..34
constexpr int kSumClear = 35;
constexpr int kGroupFirst = 30;  // group panels 1..14 are resources 30..43; counters 2..26

constexpr int kCmdFile = 17;     // command fields 2..17
constexpr int kStripPanel = 58;
constexpr int kStrip = 2;
constexpr int kSepStrip1 = 6, kSepStrip2 = 7, kSepStrip3 = 8;  // SEP strip charts, control 2

// scm.uir: the SCM panel (its field controls are in commanding/scm.h, scmctl)
constexpr int kScmPanel = 1;

// Local servers (sep.uir): the server panel, the client panel and the client-message panel.
constexpr int kLocalServer = 21;
constexpr int kLsTlmSwitch = 2;
constexpr int kLsTlmLamp = 3;
constexpr int kLsScmSwitch = 4;
constexpr int kLsScmLamp = 5;
constexpr int kLsClients = 6;       // shows or hides the client panel
constexpr int kLocalClients = 5;
constexpr int kLcTlmLampFirst = 2;  // telemetry slot k (0-19): lamp 2 + k, name 22 + k
constexpr int kLcTlmNameFirst = 22;
constexpr int kLcTlmSlot = 62;      // slot number (1-20) of the one-client disconnect
constexpr int kLcTlmDrop = 63;
constexpr int kLcTlmDropAll = 64;
constexpr int kLcCmdLampFirst = 65;  // command slot k (0-9): lamp 65 + k, name 75 + k
constexpr int kLcCmdNameFirst = 75;
constexpr int kLcCmdSlot = 85;       // slot number (1-10) of the one-client disconnect
constexpr int kLcCmdDrop = 86;
constexpr int kLcCmdDropAll = 87;
// 88 and 89: the headings of the two client tables.
constexpr int kClientMessages = 6;
constexpr int kCmText = 2;

// SEP panel (korvmain.uir): the SEP's text replies.
constexpr int kSepPanel = 53;
constexpr int kSepText = 2;

// Command box panels (cmdbox.uir).
constexpr int kVariables = 9;      // variables list, control 2
constexpr int kVarList = 2;
constexpr int kSchedulePanel = 5;  // schedule list (checkable), clear all, delete checked
constexpr int kSchedList = 2;
constexpr int kSchedClearAll = 3;
constexpr int kSchedDeleteChecked = 4;
constexpr int kCmdBox = 6;         // START button
constexpr int kCmdBoxStart = 2;
constexpr int kCmdListGo = 4;      // script buttons on the command list panel
constexpr int kCmdListWait = 5;
constexpr int kCmdListCancel = 6;
constexpr int kComment = 1;        // viewers: one text field each, control 2
constexpr int kLogView = 3;
constexpr int kCvView = 2;
constexpr int kViewText = 2;
constexpr int kCmdFileButtonFirst = 18;  // buttons 18..33 run fields 2..17

}  // namespace korvex::ids
