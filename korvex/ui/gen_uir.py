#!/usr/bin/env python3
"""Writes the station's resource files (JSON) from the panel table below.

Panels whose contents later work fills hold their title and role for now; every panel of the
start-up table exists. Control ids must match core/ids.h.
"""
import json
import os

HERE = os.path.dirname(os.path.abspath(__file__))


def ctl(cid, typ, label, cb=None, **kw):
    c = {"id": cid, "type": typ, "label": label}
    if cb:
        c["callback"] = cb
    c.update(kw)
    return c


def ind(cid, label, **kw):
    return ctl(cid, "numeric", label, mode="indicator", value=0, **kw)


def panel(res, title, controls=None, cb="HidePanelCb", **kw):
    p = {"resource": res, "title": title, "controls": controls or []}
    if cb:
        p["callback"] = cb
    p.update(kw)
    return p


def role(res, title, text=None):
    return panel(res, title, [ctl(2, "textmsg", "Role", value=text or title)])


def apid_display(res, title):
    return panel(res, title, [
        ctl(2, "textbox", "Packet", mode="indicator", width=560, height=200),
        ctl(3, "numeric", "APID", format="hex", value=0x200),
        ind(4, "Packets"),
        ind(5, "Checksum Errors"),
        ctl(6, "numeric", "Start", "SwapOnOFF", value=0),
        ctl(7, "numeric", "Length", "SwapOnOFF", value=298),
        ctl(8, "switch", "Swap", "SwapOnOFF", value=0),
        ctl(9, "button", "Clear", "ClearApid"),
    ])


def range_panel(res, base):
    cs = [ind(2 + k, "%03X" % (base + k)) for k in range(128)]
    cs.append(ind(130, "Illegal"))
    cs.append(ctl(131, "button", "Clear Counts", "ClearApidCounts"))
    return panel(res, "APID COUNTS %03X-%03X" % (base, base + 0x7F), cs)


def cmdbox():
    splash = panel(12, "KORVEX", [ctl(2 + i, "led", "Lamp %d" % (i + 1), mode="indicator")
                                  for i in range(7)] +
                   [ctl(9, "textmsg", "Version", value="")], cb=None, width=360, height=200)
    def at(c, top, left, width=None, height=None):
        c.update({"top": top, "left": left})
        if width:
            c["width"] = width
        if height:
            c["height"] = height
        return c

    event_log = panel(8, "Event Log", [
        at(ctl(2, "string", "Command", "CmdLine", maxlength=109999), 26, 10, 520),
        at(ctl(3, "button", "Send", "SendLine"), 24, 540, 80),
        at(ctl(4, "listbox", "Events", "logView"), 72, 10, 614, 780),
        at(ctl(5, "string", "Date / Time", mode="indicator"), 876, 10, 180),
        at(ctl(7, "led", "Wait", mode="indicator"), 876, 210),
        at(ind(8, "Countdown"), 876, 280, 80),
        at(ctl(9, "led", "Heartbeat", mode="indicator"), 876, 380),
        at(ctl(12, "led", "Bad Checksum", mode="indicator", oncolor="0xC0C0C0",
               offcolor="0xC0C0C0"), 918, 250),
        at(ctl(13, "led", "Sequence", mode="indicator", oncolor="0xC0C0C0",
               offcolor="0xC0C0C0"), 918, 390),
        at(ctl(10, "button", "Reset Time", "ResetTime"), 914, 10, 110),
        at(ctl(11, "button", "Print", "Print"), 914, 130, 90),
        ctl(6, "timer", "Tick", "Tick", interval=1.0),
    ], top=0, left=624, width=644, height=996)
    return {"panels": [
        splash,
        panel(7, "Command List", [at(ctl(2, "listbox", "Command Database", "selectCmd"), 26, 10, 600, 360),
                                  at(ctl(3, "listbox", "Scripts"), 414, 10, 600, 106),
                                  at(ctl(4, "button", "GO", "button_go"), 530, 10, 80),
                                  at(ctl(5, "button", "WAIT", "button_wait"), 530, 100, 80),
                                  at(ctl(6, "button", "CANCEL", "button_cancel"), 530, 190, 80)],
              top=414, left=0, width=620, height=582),
        event_log,
        panel(6, "Command Box", [ctl(2, "button", "START", "button_start")]),
        panel(9, "Variables", [ctl(2, "listbox", "Variables", "EditVar", width=400, height=300)]),
        panel(1, "Comment", [ctl(2, "string", "Line", mode="indicator", width=700)]),
        panel(3, "Log", [ctl(2, "string", "Line", mode="indicator", width=700)]),
        panel(2, "Command", [ctl(2, "string", "Line", mode="indicator", width=700)]),
        panel(10, "Command Verification", [
            ctl(2, "listbox", "Commands sent, not yet verified (packet bytes)", "cvView", width=600,
                height=300),
            ind(8, "Sent"), ind(7, "Verified"), ind(6, "Verified Last"),
            ctl(3, "button", "Reset", "CVClear")]),
        panel(5, "Schedule", [ctl(2, "listbox", "Schedule", mode="hot", width=600),
                              ctl(3, "button", "Clear All", "ClearSchedule"),
                              ctl(4, "button", "Delete Checked", "ClearSchedule")]),
        panel(11, "Instrument Events", [ctl(2, "textbox", "Events", mode="indicator", width=700,
                                            height=300),
                                        ctl(3, "button", "Clear", "ClearApid")]),
        panel(4, "KORVEX", [ctl(2, "textmsg", "Notice", value="Shutting down...")], cb=None),
    ]}


def korvmain():
    def at(c, top, left, width=None, height=None):
        c.update({"top": top, "left": left})
        if width:
            c["width"] = width
        if height:
            c["height"] = height
        return c

    link = panel(2, "Telemetry Link", [
        at(ctl(2, "textbox", "Packet", mode="indicator"), 26, 10, 600, 170),
        at(ind(3, "Bytes"), 222, 10, 90),
        at(ctl(4, "numeric", "APID Filter", "ApidChange", format="hex", value=0xFFF), 222, 110, 90),
        at(ind(5, "Checksum Errors"), 222, 210, 110),
        at(ctl(6, "numeric", "Start", "SwapOnOFF", value=0), 222, 330, 70),
        at(ctl(7, "numeric", "Length", "SwapOnOFF", value=298), 222, 410, 70),
        at(ctl(8, "switch", "Swap", "SwapOnOFF", value=0), 222, 490, 80),
        at(ctl(9, "button", "Display Start/Stop", "displayStartStop"), 262, 10, 150),
        at(ctl(10, "button", "Clear", "ClearReceive"), 262, 170, 90),
        at(ctl(11, "button", "All APIDs", "All_Apids"), 262, 270, 90),
        at(ctl(12, "led", "TLM", mode="indicator"), 318, 10),
        at(ctl(13, "led", "CMD", mode="indicator"), 318, 70),
        at(ctl(14, "switch", "Telemetry", "TCP_SWITCH", value=0), 318, 130, 90),
        at(ctl(15, "switch", "Command", "TCP_SWITCH", value=0), 318, 230, 90),
        at(ctl(17, "switch", "Record", "recordOnOff", value=0), 318, 330, 90),
        at(ctl(16, "string", "Recording", mode="indicator", value="Not Recording"), 368, 10, 300),
        # Automatic reconnection (cfg/reconnect.cfg): green connected, amber retrying, dark off.
        at(ctl(18, "led", "TLM Reconnect", mode="indicator", oncolor="0x00C000"), 372, 340),
        at(ctl(19, "led", "CMD Reconnect", mode="indicator", oncolor="0x00C000"), 372, 480),
    ], top=0, left=0, width=620, height=410)
    summary = [ind(c, "Group %d" % (35 - c)) for c in range(34, 14, -1)]
    summary += [ind(14, "Illegal"), ind(13, "Other"), ind(12, "Instrument (unlisted)"),
                ind(11, "Spacecraft")]
    summary.append(ctl(35, "button", "Clear Counts", "ClearSelectedApidCounts"))
    panels = [
        panel(1, "KORVEX 01-04-2006", [], cb="Quit_a", width=1280, height=1024,
              menubar=[{"label": "Commands", "items": [
                  {"id": 1, "label": "Command File", "callback": "menuCmd"},
                  {"id": 2, "label": "Save Display...", "callback": "SaveDisplay"},
                  {"id": 3, "label": "Recall Display...", "callback": "RecallDisplay"}]}]),
        link,
        role(18, "Instrument Enable 3"), role(29, "Instrument Enable 4"),
        apid_display(44, "APID Display 2"),
        panel(3, "ARR", [ctl(2, "textbox", "ARR", mode="indicator", width=900, height=300)]),
        role(9, "Instrument"),
        apid_display(10, "APID Display 1"),
        range_panel(13, 0x200), range_panel(14, 0x300),
        panel(58, "Strip Chart", [ctl(2, "stripchart", "Strip", traces=3, points=100)]),
        panel(16, "APID Summary", summary),
        panel(17, "COMMAND FILE: ",
              [x for c in range(17, 1, -1)
               for x in (at(ctl(c, "string", "Command %d" % (18 - c), "CommandStr"),
                            24 + (17 - c) * 40, 10, 420),
                         at(ctl(c + 16, "button", "Run %d" % (18 - c), "CommandPanel"),
                            22 + (17 - c) * 40, 440, 70))], width=530, height=670),
    ]
    for r in [46, 47, 54, 56, 55, 57, 50, 52, 51, 45, 4, 5, 11, 49]:
        panels.append(role(r, "Instrument Panel %d" % r))
    panels += telemetry_korvmain_panels()
    panels.append(panel(53, "SEP", [ctl(2, "textbox", "SEP Replies", mode="indicator", width=700,
                                        height=200),
                                    ctl(3, "button", "Clear", "ClearArr")]))
    for g in range(1, 15):
        panels.append(panel(29 + g, "APID Group %d" % g,
                            [ind(c, "") for c in range(26, 1, -1)]))
    for r, n in [(6, 1), (7, 2), (8, 3)]:
        panels.append(panel(r, "SEP Strip Chart %d" % n,
                            [ctl(2, "stripchart", "Strip", traces=3, points=100)]))
    return {"panels": panels}


# Telemetry panels: every value control is labelled with its item's name (the limit checks find
# an item's alarm counter through the label). Keep the names in step with HkPanels() in
# telemetry/decode.cpp; a station test checks that each of them has a control.
def val(cid, label, width=150):
    return ctl(cid, "string", label, mode="indicator", value="", width=width)


def values_panel(res, title, names, width=150, **kw):
    return panel(res, title, [val(2 + i, n, width) for i, n in enumerate(names)], **kw)


IF_ENABLES = ["InterfaceEnables BRIMLET SysCmd", "InterfaceEnables EEPROMWriteEnable",
              "InterfaceEnables Bit 2", "InterfaceEnables BRIMLETInterface",
              "InterfaceEnables SEPInterface", "InterfaceEnables DREVInterface",
              "InterfaceEnables STEUInterface", "InterfaceEnables MAG Interface"]
IF_ACTIVE = ["SEPTimeout", "RADIUX Timeout", "RADIUX Instrument Interface",
             "BRIMLET Instrument Interface", "SEP Instrument Interface",
             "DREV Instrument Interface", "STEU Instrument Interface", "MAG Instrument Interface"]
SC_BITS = ["ISCStatus Bit 0", "ISCStatus RADIUX Power Warning", "ISCStatus Coarse Pointing",
           "ISCStatus Thruster Warning", "ISCStatus BRIMLET Power", "ISCStatus DREV Power",
           "ISCStatus SEP Power", "ISCStatus IDPU Power"]
CODE_PAGE = ["EEPROM Code Page %d Checksum Status" % i for i in range(4)] + \
    ["RAM Code Page CheckSum Status"]
TELEM = ["TelemEnables DREVMomComp", "TelemEnables BurstCriteria", "ITelemEnables Bit 2",
         "ITelemEnables Bit 3", "TelemEnables DREVMomTlm", "TelemEnables DREV PAD Tlm",
         "TelemEnables DREVDistBurst", "TelemEnables DREVDistTlm", "TelemEnables STESpecBurst",
         "TelemEnables STESpecTlm", "TelemEnables STERatesBurst", "TelemEnables STERatesTlm",
         "TelemEnables MagBurst", "ITelemEnables Bit 13", "ITelemEnables Bit 14",
         "ITelemEnables Bit 15"]
PTELEM = ["PTelemEnables SPARE %d" % i for i in list(range(12)) + [14, 15, 16, 17]]
AUTOLUT = ["IAutoLUT Bit %d" % i for i in range(16)]
MAG_BITS = ["Mag Error Counter", "Mag Spare Bit", "Mag Interface Parity Errror",
            "Mag Interface Timeout Error"]
BRM_VALUES = ["PLVC_-12V", "PLVC_-5V", "PESA_VM_POS", "PDFL_1_VM", "PDFL_1_TAP", "PDFL_2_VM",
              "PLVC_+2.5", "PPAC_CM_DC", "PLVC_+12V", "PLVC_+2.5VA", "PLVC_+5V", "PADC_AVDD",
              "PADC_DVDD", "PPAC_VM", "PCAL_VREF", "PPAC_CM_AC", "PMCP_VM", "PMCP_CM_DC",
              "PMCP_CM_AC", "PSSD_CM_DC", "PS_CH_VM", "PS_CH_VM_TAP", "PS_CH_CM_DC",
              "PESA_VM_NEG", "PESA_CM_DC", "PDFL_1_CM_DC", "PDFL_2_CM_DC", "PLVC_+2.5VB_IMON",
              "PLVC_+12V_IMON", "PLVC_-12V_IMON", "PLVC_+5V_IMON", "PLVC_-5V_IMON",
              "PLVC_+2.5VA_IMON", "PSSD_VM", "PSSD_V_POS_ANALOG", "PSSD_V_NEG_ANALOG",
              "PSSD_V_POS_DIG", "PSSD_STATUS", "PPLUG_ID", "PADC_LU_FLAG", "PDAC_STATUS",
              "PADC_LU_CTR", "BLK_ID", "PRA_E0", "PRA_E1", "PSB0_TSP", "PSB1_TSP", "PADC0_AGND",
              "PADC1_AGND", "PADC0_VREF", "PADC1_VREF"]
BRM_TEMPS = ["PTAC0_TSP", "PTAC2_TSP", "PTOF_HV0_TSP", "PTOF_HV1_TSP", "PS_C_0_TSP",
             "PS_C_1_TSP", "PLVC0_TSP", "PLVC1_TSP", "PSSD_TC0", "PSSD_TC1", "PSSD_TC2"]

HK_PANELS = [
    (1, "Processor Housekeeping",
     ["Packet Time", "UTCs", "UTCf", "ISampleTime", "ISoftwareVersion", "IHardwareVersion",
      "IPollTimeMax", "IPollTimeAvg", "ITimeJitter", "IErrorCode", "IErrorData", "IErrorCount",
      "Error Text", "ICommandCount", "ICommandLastID", "Last Command", "ICommandLastSeq",
      "PCommandCount", "PCommandLastID", "PCommandLastSeq", "IVANTIS_SSR", "IBRIMLET_SSR",
      "IMaxVANTISQ", "IMaxBRIMLETQ", "IVANTISBitrate", "IBRIMLETBitrate", "IBootSelect",
      "ICodePage", "ICmdSeqRunning", "ICmdSeqMask", "IBurstModeID", "IBurstCurCriteria",
      "IBurstSavePage", "IBurstSendPage", "IBurstBestCriteria", "ISTEUDoorCount",
      "ISTEDDoorCount", "ISTEUDoorStart", "ISTEUDoorDone", "ISTEDDoorStart", "ISTEDDoorDone",
      "IAutoLUT", "ISTEModeID", "IDREVModeID"]),
    (2, "STE-U and Magnetometer",
     ["ISTEUDig", "ISTEUDig Cover", "ISTEUDig Cover Switch", "ISTEUTemp", "ISTEUDACTemp",
      "ISTEUVCCA", "ISTEU5VD", "ISTEUVCC1", "ISTEU5VA", "ISTEU12V", "ISTEUCur", "IMagHKP"] +
     MAG_BITS + ["IMAGHeater", "IMAGTemp"]),
    (3, "Analyzer and STE-D",
     ["IDREVSTEDDig", "IDREVSTEDDig Cover", "IDREVSTEDDig Cover Switch", "IDREVMCP",
      "IDREVNR5V", "IDREVAnal", "IDREVDefl1", "IDREVDefl2", "IDREVV0", "IDREVGND",
      "IDREVMCPTemp", "ISTEDTemp", "IDREVDACTemp", "IDREVSTEDVCCA", "IDREVSTED5VD",
      "IDREVSTEDVCC1", "IDREVSTE5VA", "IDREVSTE12V", "IDREVSTEDCur"]),
    (4, "BRIMLET Values in the Processor Packet", BRM_VALUES),
    (5, "BRIMLET Temperatures", BRM_TEMPS),
]

BIT_PANELS = [
    (12, "Interface, Boot and Telemetry Enables",
     ["InterfaceEnables"] + IF_ENABLES + ["InterfaceActive"] + IF_ACTIVE + ["ISCStatus"] +
     SC_BITS + ["ICodePageStatus"] + CODE_PAGE),
    (15, "Telemetry Enables", ["ITelemEnables"] + TELEM + ["PTelemEnables"] + PTELEM + AUTOLUT),
]

# Table dump panels: table id, resource, first control, number of lines shown (the sample
# database's counts; labels come from VANTIS_tbl.txt at start-up).
TABLE_PANELS = [(1, 19, 11, 10), (2, 20, 9, 8), (3, 21, 21, 20), (4, 22, 31, 25),
                (5, 23, 38, 22), (8, 24, 60, 22), (10, 25, 270, 14)]


def table_panel(tid, res, first, n):
    cs = [ctl(first + 1, "string", "Time", mode="indicator", value="", width=260)]
    cs += [ctl(first - k, "numeric", "Line %d" % (k + 1), mode="indicator", value=0, format="hex")
           for k in range(n)]
    return panel(res, "Table Dump ID=%d" % tid, cs)


def telemetry_korvmain_panels():
    ps = [values_panel(r, t, names, 250) for r, t, names in BIT_PANELS]
    ps += [table_panel(*t) for t in TABLE_PANELS]
    ps.append(panel(26, "Memory Dump", [ctl(2, "textbox", "Dump", mode="indicator", width=560,
                                            height=360)]))
    ps.append(panel(27, "Sequence Mask", [ctl(2 + i, "numeric", "Bit %d" % (31 - i),
                                              mode="indicator", value=0) for i in range(32)]))
    ps.append(panel(28, "Sequence Dump", [ctl(2, "textbox", "Sequences", mode="indicator",
                                              width=560, height=360)]))
    return ps


TELEMETRY_KORVMAIN = [12, 15, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28]


def spc():
    ps = []
    for n, (first, count) in enumerate([(18, 17), (14, 13), (13, 12)], start=1):
        ps.append(panel(n, "Spacecraft %d" % n,
                        [ctl(first - k, "string", "Item %d" % (k + 1), mode="indicator", value="",
                             width=150) for k in range(count)]))
    return {"panels": ps}
# The SCM panel: the MOC control header fields and the CCSDS settings, each committed through
# MocHeader. Ids as commanding/scm.h (scmctl) numbers them.
SCM_FIELDS = [
    (38, "Message Type (Fill:-)", "SCM-"), (40, "Command Mode", "01"), (39, "Spare", "---"),
    (41, "Facility", "VANTIS"), (27, "Spacecraft (EA or EB)", "EA"), (25, "Packets per SCM", "01"),
    (24, "Enable Time YYYYDOYHHMMSS", "0000000000000"), (3, "Timeout Time YYYYDOYHHMMSS", "-------------"),
    (2, "Delta Time", "-----"),
    (36, "CCSDS Version", "0"), (35, "Type", "1"), (34, "Secondary Header", "0"),
    (37, "Sequence Flags", "3"), (33, "Sequence Count", "0"), (32, "Enable Sequence Count", "0"),
    (31, "Relative Sequence Count", "0"), (30, "Enable Relative Sequence Count", "0"),
    (29, "Secondary Header Time YYYYDOYHHMMSS", "0000000000000"), (28, "Subsystem Byte", "0"),
    (26, "Spare Byte", "0"),
]


def scm_panel():
    cs = []
    for i, (cid, label, value) in enumerate(SCM_FIELDS):
        col, row = (0, i) if i < 9 else (1, i - 9)
        cs.append(ctl(cid, "string", label, "MocHeader", value=value, top=30 + row * 44,
                      left=10 + col * 330, width=300))
    return panel(1, "SCM", cs, width=660, height=540)


def simple(title, resources, top_level=()):
    ps = []
    for r in resources:
        ps.append(role(r, "%s %d" % (title, r)))
    return {"panels": ps}


def sep():
    d = simple("SEP", list(range(1, 5)) + list(range(7, 21)))

    def at(c, top, left, width=None, height=None):
        c.update({"top": top, "left": left})
        if width:
            c["width"] = width
        if height:
            c["height"] = height
        return c

    # Two tables, one row a client: its lamp (numbered) and its name; the disconnect controls
    # under each table.
    clients = [at(ctl(89, "textmsg", "", value="TELEMETRY CLIENTS"), 8, 10, 250)]
    clients += [at(ctl(2 + k, "led", "%d" % (k + 1), mode="indicator"), 36 + 28 * k, 10, 50)
                for k in range(20)]
    clients += [at(ctl(22 + k, "string", "", mode="indicator"), 34 + 28 * k, 64, 200)
                for k in range(20)]
    clients += [at(ctl(62, "numeric", "Telemetry client", value=1, datatype="integer"), 620, 10, 80),
                at(ctl(63, "button", "Disconnect", "DisconnectTServer"), 612, 100, 90),
                at(ctl(64, "button", "Disconnect All", "DisconnectAll"), 612, 196, 110)]
    clients += [at(ctl(88, "textmsg", "", value="COMMAND CLIENTS"), 8, 330, 250)]
    clients += [at(ctl(65 + k, "led", "%d" % (k + 1), mode="indicator"), 36 + 28 * k, 330, 50)
                for k in range(10)]
    clients += [at(ctl(75 + k, "string", "", mode="indicator"), 34 + 28 * k, 384, 200)
                for k in range(10)]
    clients += [at(ctl(85, "numeric", "Command client", value=1, datatype="integer"), 340, 330, 80),
                at(ctl(86, "button", "Disconnect", "DisconnectSServer"), 332, 420, 90),
                at(ctl(87, "button", "Disconnect All", "DisconnectS"), 332, 516, 110)]
    d["panels"].append(panel(5, "Local Server Clients", clients, width=640, height=660))
    d["panels"].append(panel(6, "Client Messages",
                             [ctl(2, "textbox", "Messages", mode="indicator", width=500, height=300)]))
    d["panels"].append(panel(21, "Local Server", [
        ctl(2, "switch", "Telemetry Server", "TCP_SERV", value=0),
        ctl(3, "led", "Telemetry Clients", mode="indicator"),
        ctl(4, "switch", "Command Server", "SCM_SERV", value=0),
        ctl(5, "led", "Command Clients", mode="indicator"),
        ctl(6, "button", "Clients", "Display_TServers"),
    ], cb="HidePanelCb"))
    return d


FILES = {
    "cmdbox.uir": cmdbox(),
    "korvmain.uir": korvmain(),
    "help.uir": {"panels": [role(1, "Help")]},
    "scm.uir": {"panels": [scm_panel()]},
    "sep.uir": sep(),
    "cmdseq.uir": {"panels": [
        panel(r, "Command Sequence %d" % (r - 1),
              [ctl(2, "textbox", "Commands", mode="indicator", width=520, height=300),
               ctl(3, "button", "Clear", "ClearArr")]) for r in range(1, 33)]},
    "pdighk.uir": {"panels": [values_panel(r, t, names, 230 if r == 1 else 180)
                              for r, t, names in HK_PANELS]},
    "spc.uir": spc(),
}

if __name__ == "__main__":
    for name, doc in FILES.items():
        with open(os.path.join(HERE, name), "w") as f:
            json.dump(doc, f, indent=1)
            f.write("\n")
