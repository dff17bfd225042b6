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
        at(ctl(4, "listbox", "Events"), 72, 10, 614, 780),
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
        panel(7, "Command List", [at(ctl(2, "listbox", "Command Database"), 26, 10, 600, 360),
                                  at(ctl(3, "listbox", "Scripts"), 414, 10, 600, 126)],
              top=414, left=0, width=620, height=582),
        event_log,
        role(6, "Command Box"),
        role(9, "Command Box Companion"),
        role(1, "Comment"),
        role(3, "Log"),
        role(2, "Conversion"),
        panel(10, "Command Verification", [
            ctl(2, "listbox", "Commands sent, not yet verified (packet bytes)", width=600, height=300),
            ind(8, "Sent"), ind(7, "Verified"), ind(6, "Verified Last")]),
        panel(5, "Schedule", [ctl(2, "listbox", "Schedule", width=600)]),
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
    ], top=0, left=0, width=620, height=410)
    summary = [ind(c, "Group %d" % (35 - c)) for c in range(34, 14, -1)]
    summary += [ind(14, "Illegal"), ind(13, "Other"), ind(12, "Instrument (unlisted)"),
                ind(11, "Spacecraft")]
    summary.append(ctl(35, "button", "Clear Counts", "ClearSelectedApidCounts"))
    panels = [
        panel(1, "KORVEX 01-04-2006", [], cb="Quit_a", width=1280, height=1024),
        link,
        role(12, "Instrument Enable 1"), role(15, "Instrument Enable 2"),
        role(18, "Instrument Enable 3"), role(29, "Instrument Enable 4"),
        apid_display(44, "APID Display 2"),
        panel(3, "ARR", [ctl(2, "textbox", "ARR", mode="indicator", width=900, height=300)]),
        role(9, "Instrument"),
        apid_display(10, "APID Display 1"),
        range_panel(13, 0x200), range_panel(14, 0x300),
        panel(58, "Strip Chart", [ctl(2, "stripchart", "Strip", traces=3, points=100)]),
        panel(16, "APID Summary", summary),
        panel(17, "COMMAND FILE: ", [ctl(c, "string", "Command %d" % (18 - c), width=400)
                                     for c in range(17, 1, -1)]),
    ]
    for r in [46, 47, 54, 56, 55, 57, 50, 52, 51, 45, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28,
              4, 5, 11, 49]:
        panels.append(role(r, "Instrument Panel %d" % r))
    panels.append(role(53, "SEP"))
    for g in range(1, 15):
        panels.append(panel(29 + g, "APID Group %d" % g,
                            [ind(c, "") for c in range(26, 1, -1)]))
    for r, n in [(6, 1), (7, 2), (8, 3)]:
        panels.append(panel(r, "SEP Strip Chart %d" % n,
                            [ctl(2, "stripchart", "Strip", traces=3, points=100)]))
    return {"panels": panels}


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
    clients = [ctl(2 + k, "led", "Telemetry %d" % (k + 1), mode="indicator") for k in range(20)]
    clients += [ctl(22 + k, "string", "Client %d" % (k + 1), mode="indicator") for k in range(20)]
    clients += [ctl(62, "numeric", "Telemetry client", value=1, datatype="integer"),
                ctl(63, "button", "Disconnect", "DisconnectTServer"),
                ctl(64, "button", "Disconnect All", "DisconnectAll")]
    d["panels"].append(panel(5, "Local Server Clients", clients))
    d["panels"].append(panel(6, "Client Messages",
                             [ctl(2, "textbox", "Messages", mode="indicator", width=500, height=300)]))
    d["panels"].append(panel(21, "Local Server", [
        ctl(2, "switch", "Telemetry Server", "TCP_SERV", value=0),
        ctl(3, "led", "Telemetry Clients", mode="indicator"),
        ctl(6, "button", "Clients", "Display_TServers"),
    ], cb="HidePanelCb"))
    return d


FILES = {
    "cmdbox.uir": cmdbox(),
    "korvmain.uir": korvmain(),
    "help.uir": {"panels": [role(1, "Help")]},
    "scm.uir": {"panels": [scm_panel()]},
    "sep.uir": sep(),
    "cmdseq.uir": simple("Command Sequence", range(1, 33)),
    "pdighk.uir": simple("Instrument Housekeeping", range(1, 6)),
    "spc.uir": simple("Spacecraft", range(1, 4)),
}

if __name__ == "__main__":
    for name, doc in FILES.items():
        with open(os.path.join(HERE, name), "w") as f:
            json.dump(doc, f, indent=1)
            f.write("\n")
