#!/usr/bin/env python3
"""Writes Drev.uir (the 23 panels) and ../src/uir_ids.h (their control ids) from one table, so
the two cannot drift apart. Run it after changing a panel: python3 gen_uir.py"""
import json
import os

HERE = os.path.dirname(os.path.abspath(__file__))
panels = []
ids = []  # (C name, value)

# Curve and trace colours, one per family member (the housekeeping channels use the same table).
COLOURS = [0x000000, 0x663300, 0xFF0000, 0xFF5500, 0xFFFF00, 0x00DD00, 0x0000FF, 0x990099,
           0xC0C0C0, 0xFFFFFF, 0x505050, 0x996633, 0xFF3366, 0xFF9933, 0xFFFF99, 0x66FF66]


class Panel:
    def __init__(self, name, resource, title, callback, width, height, **kw):
        self.name = name
        self.p = {"resource": resource, "title": title, "callback": callback,
                  "width": width, "height": height, "controls": []}
        self.p.update(kw)
        self.next = 2
        panels.append(self.p)
        ids.append((f"RES_{name}", resource))

    def add(self, cname, ctype, label, top, left, width=None, height=None, **kw):
        c = {"id": self.next, "type": ctype, "label": label, "top": top, "left": left}
        if width is not None:
            c["width"] = width
        if height is not None:
            c["height"] = height
        c.update(kw)
        self.p["controls"].append(c)
        ids.append((f"{self.name}_{cname}", self.next))
        self.next += 1
        return c


def num(p, cname, label, top, left, width=80, mode="indicator", **kw):
    extra = {"mode": mode, "value": 0}
    extra.update(kw)
    return p.add(cname, "numeric", label, top, left, width, 22, **extra)


def text(p, cname, label, top, left, width=200):
    return p.add(cname, "string", label, top, left, width, 22, mode="indicator", value="")


def limits(p, cb, top, left):
    """The four y-limit buttons of a graph (one callback for the family member)."""
    for i, (cn, label) in enumerate([("MAXUP", "Max x"), ("MAXDN", "Max /"),
                                     ("MINUP", "Min x"), ("MINDN", "Min /")]):
        p.add(cn, "button", label, top + 32 * i, left, 70, 26, callback=cb)


def graph_panel(name, res, title, ylimits, logcb, curves, xname):
    p = Panel(name, res, title, "PanelCB", 760, 430)
    p.add("GRAPH", "graph", title, 12, 100, 645, 405, xname=xname)
    limits(p, ylimits, 20, 12)
    p.add("LOG", "switch", "Log", 160, 12, 70, 24, value=0, callback=logcb)
    p.add("ACC", "switch", "Accumulate", 220, 12, 80, 24, value=0)
    num(p, "COUNT", "Counter", 280, 12, 70)
    p.add("GCLEAR", "button", "Clear", 330, 12, 70, 26, callback="GClear")
    return p


def chart_panel(name, res, title, ylimits, traces, points, labels):
    p = Panel(name, res, title, "PanelCB", 760, 430)
    p.add("CHART", "stripchart", title, 12, 100, 645, 405, traces=traces, points=points)
    limits(p, ylimits, 20, 12)
    p.add("LOG", "switch", "Log", 160, 12, 70, 24, value=0, callback="LogLin")
    p.add("LIN", "switch", "Linear", 206, 12, 70, 24, value=1, callback="LogLin")
    num(p, "SPAN", "Span (min)", 262, 12, 70, datatype="double", precision=1)
    p.add("CLEAR", "button", "Clear", 310, 12, 70, 26, callback="Clear")
    return p


# ---- 1: main panel -------------------------------------------------------------------------------
m = Panel("MAIN", 1, "DREV 07-20-2005", "Quit", 560, 300,
          menubar=[{"label": "File", "items": [
              {"id": 1, "label": "Save Display", "callback": "SaveDisplay"},
              {"id": 2, "label": "Recall Display", "callback": "RecallDisplay"},
              {"id": 3, "label": "Quit", "callback": "QuitMenu"}]}])
shows = [("SHOW_LINK", "Link", 18), ("SHOW_NUM3D", "3-D Counts", 2), ("SHOW_SEL3D", "3-D Selectors", 12),
         ("SHOW_DEA", "E by A", 3), ("SHOW_DAE", "A by E", 4), ("SHOW_DED", "E by D", 5),
         ("SHOW_DDE", "D by E", 6), ("SHOW_DAD", "A by D", 7), ("SHOW_DDA", "D by A", 8),
         ("SHOW_CHRTE", "E Chart", 9), ("SHOW_CHRTA", "A Chart", 10), ("SHOW_CHRTD", "D Chart", 11),
         ("SHOW_PITCH", "Pitch Counts", 13), ("SHOW_PSEL", "Pitch Selectors", 20),
         ("SHOW_P2DE", "Pitch by Row", 14), ("SHOW_P2DA", "Pitch by Column", 15),
         ("SHOW_CHRT2E", "Row Chart", 16), ("SHOW_CHRT2A", "Column Chart", 17),
         ("SHOW_MAG", "Field Direction", 19), ("SHOW_MOM", "Moments", 21),
         ("SHOW_MOMCHART", "Moment Chart", 22), ("SHOW_HK", "Housekeeping", 23)]
for i, (cn, label, res) in enumerate(shows):
    m.add(cn, "button", label, 20 + 44 * (i // 4), 12 + 134 * (i % 4), 124, 30, callback="ShowPanel")

# ---- 18: link panel ------------------------------------------------------------------------------
k = Panel("LINK", 18, "Telemetry Link", "PanelCB", 900, 560)
k.add("TCP", "switch", "Connect", 20, 12, 80, 24, value=0, callback="Tcp")
k.add("CONNECTED", "led", "Connected", 20, 110, 22, 22, mode="indicator", value=0, oncolor=0x00CC00)
k.add("TIMER", "timer", "Tick", 0, 0, callback="ShowTime", interval=0.1)
k.add("PLAYTIMER", "timer", "Replay", 0, 0, callback="PlayTimer", interval=0.01, enabled=False)
text(k, "CLOCK", "Date and time", 20, 200, 200)
num(k, "CHKERR", "Checksum errors", 20, 420, 100)
num(k, "NUMPKTS", "Packets shown", 20, 540, 100)
k.add("RADIO10", "switch", "APID 210", 20, 660, 90, 24, value=1, callback="Radio")
k.add("RADIO11", "switch", "APID 211", 20, 770, 90, 24, value=0, callback="Radio")
num(k, "V12", "12V", 80, 12, 90, datatype="double", precision=3)
num(k, "VDVCC1", "DVCC1", 80, 120, 90, datatype="double", precision=3)
num(k, "VD5VD", "D5VD", 80, 228, 90, datatype="double", precision=3)
num(k, "DISPAPID", "Hex view APID", 80, 340, 90, mode="normal", value=4095, format="hex",
    callback="ApidChange")
num(k, "HEXSTART", "First byte", 80, 450, 80, mode="normal", value=0)
num(k, "HEXCOUNT", "Bytes", 80, 550, 80, mode="normal", value=272)
k.add("CLEAR", "button", "Clear", 78, 660, 80, 26, callback="Clear")
k.add("HEX", "textbox", "Packet", 130, 12, 620, 250, mode="indicator")
k.add("RECORD", "switch", "Record", 410, 12, 80, 24, value=0, callback="PlayRecord")
k.add("PLAYBACK", "switch", "Playback", 410, 110, 80, 24, value=0, callback="PlayRecord")
k.add("STEP", "switch", "Single step", 410, 210, 90, 24, value=0, callback="PlayRecord")
k.add("PBLED", "led", "Playing", 410, 320, 22, 22, mode="indicator", value=0, oncolor=0x00CC00)
k.add("STEPLED", "led", "Stepping", 410, 400, 22, 22, mode="indicator", value=0, oncolor=0xFFFF00)
num(k, "DELAY", "Delay (s)", 470, 12, 80, mode="normal", datatype="double", precision=3, value=0.0)
num(k, "SPACKET", "Packets per step", 470, 110, 80, mode="normal", value=1, callback="SetPkts")
num(k, "STEPAPID", "Step APID", 470, 210, 80, mode="normal", value=4095, format="hex")
k.add("NEXTSTEP", "button", "Next Step", 468, 310, 90, 26, callback="NextStep")
text(k, "PBFILE", "Playback file", 470, 420, 300)
num(k, "RECORDS", "Records processed", 130, 650, 120)

# ---- 2: 3-D counts as numbers ----------------------------------------------------------------------
n3 = Panel("NUM3D", 2, "3-D Counts", "PanelCB", 1180, 420)
for e in range(16):
    n3.add(f"E{e}", "switch", f"E{e}", 20, 12 + 72 * e, 62, 24, value=1 if e == 0 else 0,
           callback="Pick3DEnergy")
for d in range(6):
    for a in range(16):
        num(n3, f"N_{d}_{a}", f"D{d} A{a}" if d == 0 else ("D%d" % d if a == 0 else ""),
            80 + 44 * d, 12 + 72 * a, 66)
text(n3, "TIME", "Time", 360, 12, 220)
num(n3, "B10", "Byte 10", 360, 250, 70)
num(n3, "B13", "Byte 13", 360, 340, 70)
num(n3, "B14", "Byte 14", 360, 430, 70)
num(n3, "PKT", "Packet", 360, 520, 70)
num(n3, "PICKE", "Energy shown", 360, 610, 70)
n3.add("CLEARNUM", "button", "Clear", 358, 700, 80, 26, callback="ClearNum")

# ---- 3-8: accumulating plots ----------------------------------------------------------------------
graph_panel("DEA", 3, "Counts vs E (one curve per A)", "MinMax3DEA", "LOG_LINEAR10", 16, "E")
graph_panel("DAE", 4, "Counts vs A (one curve per E)", "MinMax3DAE", "LOG_LINEAR14", 16, "A")
graph_panel("DED", 5, "Counts vs E (one curve per D)", "MinMax3DED", "LOG_LINEAR12", 6, "E")
graph_panel("DDE", 6, "Counts vs D (one curve per E)", "MinMax3DDE", "LOG_LINEAR16", 16, "D")
graph_panel("DAD", 7, "Counts vs A (one curve per D)", "MinMax3DAD", "LOG_LINEAR13", 6, "A")
graph_panel("DDA", 8, "Counts vs D (one curve per A)", "MinMax3DDA", "LOG_LINEAR15", 16, "D")

# ---- 9-11: 3-D strip charts -----------------------------------------------------------------------
chart_panel("CHRTE", 9, "Totals per E", "MaxMin", 16, 100, "E")
chart_panel("CHRTA", 10, "Totals per A", "MaxMinDta", 16, 100, "A")
chart_panel("CHRTD", 11, "Totals per D", "MaxMinDtd", 6, 100, "D")

# ---- 12: 3-D selectors ----------------------------------------------------------------------------
s3 = Panel("SEL3D", 12, "3-D Selectors", "PanelCB", 1180, 250)
for e in range(16):
    s3.add(f"E{e}", "switch", f"E{e}", 20, 12 + 72 * e, 62, 24, value=1, callback="ChooseEnergy")
for a in range(16):
    s3.add(f"A{a}", "switch", f"A{a}", 80, 12 + 72 * a, 62, 24, value=1, callback="ChooseEnergy")
for d in range(6):
    s3.add(f"D{d}", "switch", f"D{d}", 140, 12 + 72 * d, 62, 24, value=1, callback="ChooseEnergy")
s3.add("TOGGLED", "button", "All D", 200, 12, 90, 26, callback="Toggle3D")
s3.add("TOGGLEA", "button", "All A", 200, 112, 90, 26, callback="Toggle3D")

# ---- 13: pitch counts as numbers -------------------------------------------------------------------
pn = Panel("PITCHNUM", 13, "Pitch Angle Counts", "PanelCB", 900, 420)
for r in range(7):
    for c in range(12):
        num(pn, f"N_{r}_{c}", f"C{c}" if r == 0 else ("R%d" % r if c == 0 else ""),
            24 + 44 * r, 12 + 72 * c, 66)
text(pn, "TIME", "Time", 340, 12, 220)
num(pn, "AZ", "Azimuth", 340, 250, 80, datatype="double", precision=1)
num(pn, "EL", "Elevation", 340, 350, 80, datatype="double", precision=1)
num(pn, "B10", "Byte 10", 340, 450, 70)
num(pn, "B12", "Byte 12", 340, 540, 70)
pn.add("CLEARNUM", "button", "Clear", 338, 630, 80, 26, callback="ClearNum")

# ---- 14-17: pitch plots and charts ------------------------------------------------------------------
graph_panel("P2DE", 14, "Pitch counts vs row (one curve per column)", "MinMax2DE", "LOG_LINEAR19", 12, "Row")
graph_panel("P2DA", 15, "Pitch counts vs column (one curve per row)", "MinMax2DA", "LOG_LINEAR20", 7, "Column")
chart_panel("CHRT2E", 16, "Pitch totals per row", "MnMxDte2", 7, 100, "Row")
chart_panel("CHRT2A", 17, "Pitch totals per column", "MnMxDta2", 12, 100, "Column")

# ---- 19: field direction chart ---------------------------------------------------------------------
chart_panel("MAG", 19, "Field azimuth and elevation (3 blocks)", "MnMxMag", 6, 100, "Angle")

# ---- 20: pitch selectors ----------------------------------------------------------------------------
ps = Panel("PITCHSEL", 20, "Pitch Selectors", "PanelCB", 900, 150)
for r in range(7):
    ps.add(f"R{r}", "switch", f"Row {r}", 20, 12 + 72 * r, 62, 24, value=1, callback="Choose")
for c in range(12):
    ps.add(f"C{c}", "switch", f"Col {c}", 80, 12 + 72 * c, 62, 24, value=1, callback="Choose")

# ---- 21: moments ------------------------------------------------------------------------------------
mo = Panel("MOM", 21, "Moments", "PanelCB", 900, 260, bgcolor=0x8090A8)
for i in range(14):
    num(mo, f"M{i}", f"Moment {i}", 24 + 48 * (i // 7), 12 + 124 * (i % 7), 114, datatype="double", precision=3)
for i in range(6):
    # white and yellow status texts on a dark ground
    mo.add(f"ST{i}", "textmsg", f"Status bit {i}", 140, 12 + 124 * i, 114, 20, value="", bgcolor=0x283040,
           textcolor=0xE0E0E0)
text(mo, "TIME", "Time", 200, 12, 220)
num(mo, "B12", "Byte 12", 200, 250, 70)
num(mo, "W13", "Word 13", 200, 340, 80)
num(mo, "W15", "Word 15", 200, 440, 80)
num(mo, "W17", "Word 17", 200, 540, 80)
mo.add("CLEARNUM", "button", "Clear", 198, 640, 80, 26, callback="ClearNum")

# ---- 22: moment chart -------------------------------------------------------------------------------
mc = chart_panel("MOMCHART", 22, "Moments (set by set)", "MaxMin2", 14, 450, "Moment")
mc.p["width"] = 900
mc.p["controls"][-2]["visible"] = False  # moments carry no time span
for i in range(14):
    mc.add(f"SEL{i}", "switch", f"M{i}", 430, 12 + 62 * i, 56, 24, value=1 if i < 4 else 0, callback="MomSelect")
mc.p["height"] = 480

# ---- 23: analyzer housekeeping ----------------------------------------------------------------------
h = Panel("HK", 23, "Analyzer Housekeeping", "PanelCB", 900, 530)
h.add("GRAPH", "graph", "Housekeeping waveforms", 12, 100, 785, 420, xname="Sample")
limits(h, "MinMax", 20, 12)
h.add("LOG", "switch", "Log", 160, 12, 70, 24, value=0, callback="LOG_LINEAR")
text(h, "TIME", "Time", 490, 12, 220)
for c in range(16):
    h.add(f"CH{c}", "switch", f"Ch {c}", 450, 12 + 55 * c, 50, 24, value=1 if c in (0, 1, 4, 15) else 0,
          callback="HkSelect")

assert len(panels) == 23, len(panels)
with open(os.path.join(HERE, "Drev.uir"), "w") as fh:
    json.dump({"panels": panels}, fh, indent=1)
    fh.write("\n")
with open(os.path.join(HERE, "..", "src", "uir_ids.h"), "w") as fh:
    fh.write("// Control ids of Drev.uir. Written by ui/gen_uir.py from the same table as the\n"
             "// resource file; change the panels there.\n#pragma once\n\nenum DrevUir {\n")
    for n, v in ids:
        fh.write(f"  {n} = {v},\n")
    fh.write("};\n")
