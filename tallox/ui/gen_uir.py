#!/usr/bin/env python3
"""Writes TALLOX.uir (the panels) and ../src/uir_ids.h (their control ids) from one table, so the
two cannot drift apart. Run it after changing a panel: python3 gen_uir.py"""
import json
import os

HERE = os.path.dirname(os.path.abspath(__file__))
panels = []
ids = []  # (C name, value)


class Panel:
    def __init__(self, name, resource, title, callback, width, height):
        self.name = name
        self.p = {"resource": resource, "title": title, "callback": callback,
                  "width": width, "height": height, "controls": []}
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


def num(p, cname, label, top, left, width=90, hexa=False, mode="indicator", **kw):
    extra = {"mode": mode, "value": 0}
    if hexa:
        extra["format"] = "hex"
    extra.update(kw)
    return p.add(cname, "numeric", label, top, left, width, 22, **extra)


# ---- main panel --------------------------------------------------------------------------------
m = Panel("MAIN", 3, "TALLOX - ZEPHRA VANTIS telemetry files", "Panel", 720, 430)
m.add("FILE", "string", "File", 24, 12, 560, 22, mode="indicator", value="")
m.add("SELECT", "button", "Select File", 22, 590, 110, 26, callback="SelectFile")
m.add("SWAP", "switch", "Transmission byte order", 72, 12, 170, 24, value=1)
m.add("WHOLE", "switch", "Whole file", 72, 200, 110, 24, value=1)
m.add("START", "string", "Start time", 72, 330, 180, 22, value="")
m.add("END", "string", "End time", 72, 520, 180, 22, value="")
buttons = [("SCAN", "Scan ApIDs", "ScanApIDs"), ("PACKETS", "Packets", "DisplayPackets"),
           ("HKP", "Housekeeping", "DisplayHKP"), ("MAG", "MAG Packet", "PlotMagPacket"),
           ("FHK", "Fast HK", "PlotDREVFHKP"), ("BURST", "Burst Scan", "DisplayBurst"),
           ("TIMING", "Timing", "DisplayTiming"), ("RATES", "Packet Rates", "DisplayRates"),
           ("HKPLOT", "HK Plot", "DisplayHKPlot"), ("SEPPLOT", "SEP HK Plot", "DisplaySEPPlot"),
           ("HKSTATS", "HK Statistics", "ScanHKP"), ("MAGPLOT", "MAG Plot", "DisplayMagPlot"),
           ("STERATES", "STE Rates", "DisplaySteRates"), ("STESPEC", "STE Spectra", "DisplaySteSpec"),
           ("DREVRATES", "Analyzer Rates", "DisplayDrevRates"), ("BURSTHK", "Burst HK Plot", "DisplayBurstHk")]
for i, (cn, label, cb) in enumerate(buttons):
    m.add(cn, "button", label, 130 + 50 * (i // 4), 12 + 175 * (i % 4), 160, 30, callback=cb,
          dimmed=True)
m.add("QUIT", "button", "Quit", 380, 590, 110, 30, callback="QuitTallox")

# ---- APID scan panel -----------------------------------------------------------------------------
s = Panel("SCAN", 1, "ApID Scan", "GenericPanel", 900, 560)
rows = ["200", "201", "202", "203", "208", "209", "210", "211", "212", "213", "214", "215",
        "220", "221", "222", "223", "240", "241", "270", "244-24A", "24E-255", "258-259",
        "25D-268"]
for i, r in enumerate(rows):
    col, row = divmod(i, 12)
    top, left = 24 + 44 * row, 12 + 300 * col
    num(s, f"COUNT_{i}", f"ApID {r}", top, left, 120)
    num(s, f"ERR_{i}", f"Errors {r}", top, left + 135, 100)
extra = [("P300", "ApID 300-37F"), ("LOW", "ApID 000-0FF"), ("INVALID", "Invalid ApIDs"),
         ("OTHER", "Other 200-27F"), ("TOTAL", "Total 200-27F and invalid"), ("CHKERR", "Checksum errors"),
         ("GAPS", "Sequence gaps"), ("PROGRESS", "Packets read")]
for i, (cn, label) in enumerate(extra):
    num(s, cn, label, 24 + 44 * (i + 3), 612, 130)

# ---- packet panel --------------------------------------------------------------------------------
k = Panel("PACKET", 7, "Packet", "GenericPanel", 760, 600)
num(k, "PNUM", "Packet number", 24, 12, 110, mode="normal", callback="PacketNum")
k.add("BACK", "button", "Back", 22, 140, 80, 26, callback="BackPacket")
k.add("NEXT", "button", "Next", 22, 230, 80, 26, callback="NextPacket")
kinds = [("Checksum error", 0), ("Invalid ApID", 1), ("Sequence break", 2), ("MAG mode change", 3)]
for a in [0x200, 0x201, 0x202, 0x203, 0x208, 0x209, 0x210, 0x211, 0x212, 0x213, 0x214, 0x215,
          0x220, 0x221, 0x222, 0x223, 0x240, 0x241, 0x270, 0x00B, 0x00C, 0x00D, 0x01C, 0x01E]:
    kinds.append((f"ApID {a:03X}", a))
k.add("FINDKIND", "ring", "Find", 24, 330, 170, 24,
      items=[{"label": l, "value": v} for l, v in kinds])
k.add("FINDNEXT", "button", "Find Next", 22, 510, 100, 26, callback="FindNext")
k.add("NEXTHKP", "button", "Next HK", 22, 620, 60, 26, callback="NextHKP")
k.add("BACKHKP", "button", "Back HK", 22, 690, 60, 26, callback="BackHKP")
k.add("HEADER", "textbox", "Record header", 76, 12, 420, 50, mode="indicator")
k.add("PRIMARY", "string", "Packet header", 76, 450, 290, 22, mode="indicator", value="")
num(k, "APID", "ApID", 120, 450, 80, hexa=True)
k.add("TIME", "string", "Time", 120, 545, 195, 22, mode="indicator", value="")
num(k, "CHECKSUM", "Checksum", 150, 12, 80, hexa=True)
k.add("HEX", "textbox", "Packet bytes", 196, 12, 560, 380, mode="indicator")

# ---- housekeeping packet panel -------------------------------------------------------------------
h = Panel("HKP", 4, "Housekeeping Packet", "GenericPanel", 560, 330)
num(h, "PNUM", "Packet number", 24, 12, 110)
num(h, "CHECKSUM", "Checksum", 24, 140, 80, hexa=True)
h.add("TIME", "string", "Time", 24, 240, 200, 22, mode="indicator", value="")
vals = [("W42", "Word 42 x 32e-6", True), ("W44", "Word 44 x 32e-6", True),
        ("B46", "Byte 46 expanded / 65536", True), ("CLOCK", "Clock", False),
        ("B49", "Byte 49", False), ("B47", "Byte 47", False), ("B48", "Byte 48", False),
        ("W50", "Word 50", False), ("B52", "Byte 52", False), ("B53", "Byte 53", False)]
for i, (cn, label, dbl) in enumerate(vals):
    top, left = 76 + 48 * (i // 4), 12 + 135 * (i % 4)
    if cn == "CLOCK":
        h.add(cn, "string", label, top, left, 120, 22, mode="indicator", value="")
    elif dbl:
        num(h, cn, label, top, left, 120, datatype="double", precision=6)
    else:
        num(h, cn, label, top, left, 120)
h.add("FINDKIND", "ring", "Find change of", 230, 12, 230, 24,
      items=[{"label": "Byte 46", "value": 0}, {"label": "Byte 47", "value": 1},
             {"label": "Byte 46, byte 44 not 12", "value": 2}])
h.add("FINDNEXT", "button", "Find Next HK", 228, 260, 110, 26, callback="FindNextHKP")
h.add("BACKHKP", "button", "Back HK", 280, 12, 90, 26, callback="BackHKP")
h.add("NEXTHKP", "button", "Next HK", 280, 110, 90, 26, callback="NextHKP")

# ---- MAG packet display --------------------------------------------------------------------------
g = Panel("MAG", 5, "MAG Packet", "GenericPanel", 700, 440)
num(g, "PNUM", "Packet number", 24, 12, 110)
g.add("TIME", "string", "Time", 24, 140, 220, 22, mode="indicator", value="")
g.add("MEANREM", "switch", "Remove mean (AC)", 22, 380, 150, 24, value=0, callback="MagMeanSwitch")
g.add("SAVE", "button", "Save", 22, 545, 65, 26, callback="SaveMag")
g.add("FIT", "button", "IFC Fit", 22, 620, 70, 26, callback="MAGIFCFit")
g.add("GRAPH", "graph", "X (red), Y (green), Z (blue)", 76, 12, 670, 350)


def axis_buttons(p, top, left):
    for i, (cn, label, cb) in enumerate([("ZOOMIN", "Zoom In", "ZoomIn"), ("ZOOMOUT", "Zoom Out", "ZoomOut"),
                                         ("UP", "Up", "MoveUp"), ("DOWN", "Down", "MoveDown"),
                                         ("AUTOY", "Auto", "Auto"), ("PRINT", "Print", "Print")]):
        p.add(cn, "button", label, top, left + 82 * i, 76, 26, callback=cb)


# ---- MAG in-flight-calibration fit ---------------------------------------------------------------
mf = Panel("MAGFIT", 6, "MAG IFC Fit", "GenericPanel", 900, 560)
for c, comp in enumerate("XYZ"):
    top = 24 + 150 * c
    num(mf, f"OFFSET_{comp}", f"{comp} offset", top, 12, 110, datatype="double", precision=2)
    num(mf, f"STEP_{comp}", f"{comp} step", top, 130, 110, datatype="double", precision=2)
    num(mf, f"TAU1_{comp}", f"{comp} tau 1 (s)", top + 46, 12, 110, datatype="double", precision=4)
    num(mf, f"TAU2_{comp}", f"{comp} tau 2 (s)", top + 46, 130, 110, datatype="double", precision=4)
    num(mf, f"RATIO_{comp}", f"{comp} p4/p1", top + 92, 12, 110, datatype="double", precision=4)
    mf.add(f"MSG_{comp}", "string", f"{comp} fit", top + 92, 130, 130, 22, mode="indicator", value="")
mf.add("GRAPH", "graph", "Normalised step: X (red), Y (green), Z (blue), fits in black", 24, 280, 605, 520)

# ---- MAG time series -----------------------------------------------------------------------------
mp = Panel("MAGPLOT", 17, "MAG Time Series", "GenericPanel", 980, 600)
mp.add("BURST", "switch", "ApID 209 (burst)", 22, 12, 150, 24, value=0)
mp.add("AUTO", "switch", "Autoscale", 22, 170, 90, 24, value=1)
num(mp, "YMIN", "Y min", 24, 270, 100, mode="normal", datatype="double", precision=1)
num(mp, "YMAX", "Y max", 24, 380, 100, mode="normal", datatype="double", precision=1, value=1)
mp.add("PLOT", "button", "Plot", 22, 500, 90, 26, callback="PlotMAG")
num(mp, "SAMPLES", "Samples", 24, 610, 110)
mp.add("GRAPH", "graph", "X (red), Y (green), Z (blue)", 76, 12, 955, 460)
axis_buttons(mp, 556, 12)

# ---- STE rates -----------------------------------------------------------------------------------
# Channel c's selector sits at grid place kSteChannelControls[c] - 8 (the instrument's own order).
sr = Panel("STERATES", 18, "STE Rates", "GenericPanel", 980, 600)
ste_places = [28, 29, 25, 22, 31, 27, 24, 21, 30, 26, 23, 20, 19, 16, 13, 10, 18, 15, 12, 9, 17, 14, 11, 8]
for c in range(24):
    place = ste_places[c] - 8
    sr.add(f"CH_{c}", "led", f"Ch {c}", 24 + 40 * (place // 2), 12 + 110 * (place % 2), 90, 24,
           mode="normal", value=1 if c < 4 else 0)
sr.add("LOG", "switch", "Log scale", 22, 250, 90, 24, value=1)
sr.add("AUTO", "switch", "Autoscale", 22, 350, 90, 24, value=1)
num(sr, "YMIN", "Y min", 24, 450, 100, mode="normal", datatype="double", precision=2, value=1)
num(sr, "YMAX", "Y max", 24, 560, 100, mode="normal", datatype="double", precision=2, value=100)
sr.add("PLOT", "button", "Plot", 22, 680, 90, 26, callback="PlotSTERates")
num(sr, "FRAMES", "Frames", 24, 790, 110)
sr.add("GRAPH", "graph", "Counts/Sec", 76, 250, 715, 470)
axis_buttons(sr, 556, 250)

# ---- STE spectra ---------------------------------------------------------------------------------
sp = Panel("STESPEC", 19, "STE Spectra", "GenericPanel", 980, 640)
sp.add("ACC", "button", "Accumulate", 22, 12, 100, 26, callback="AccSTESpec")
sp.add("NEXT", "button", "Next", 22, 120, 70, 26, callback="STEAccNext")
sp.add("SAVE", "button", "Save", 22, 198, 70, 26, callback="SaveSTEAcc")
sp.add("FIT", "button", "Line Fit", 22, 276, 80, 26, callback="STEFit")
sp.add("FITP", "button", "Peak Fit", 22, 364, 80, 26, callback="STEFitP")
sp.add("START", "string", "Start time", 24, 460, 190, 22, mode="indicator", value="")
sp.add("END", "string", "End time", 24, 660, 190, 22, mode="indicator", value="")
num(sp, "ACCTIME", "Accumulated (s)", 24, 860, 100)
sp.add("RATE", "switch", "Rate", 72, 12, 70, 24, value=0)
sp.add("COMBINE", "switch", "Combine", 72, 90, 80, 24, value=0)
sp.add("LOG", "switch", "Log scale", 72, 180, 90, 24, value=1)
sp.add("AUTO", "switch", "Autoscale", 72, 280, 90, 24, value=1)
num(sp, "YMIN", "Y min", 74, 380, 100, mode="normal", datatype="double", precision=2, value=1)
num(sp, "YMAX", "Y max", 74, 490, 100, mode="normal", datatype="double", precision=2, value=1000)
num(sp, "MODE", "Mode", 74, 610, 60)
num(sp, "NENERGY", "Energies", 74, 690, 70)
num(sp, "SPECTRUM", "Spectrum to fit (0-7)", 74, 780, 130, mode="normal", value=0)
sp.add("GRAPH", "graph", "Counts", 124, 12, 955, 460)
axis_buttons(sp, 596, 12)


# ---- analyzer rates ------------------------------------------------------------------------------
dr = Panel("DREVRATES", 20, "Analyzer Rates", "GenericPanel", 980, 600)
for i in range(16):
    dr.add(f"E_{i}", "switch", f"E {i}", 24 + 30 * (i % 8) * 1, 12 + 80 * (i // 8), 70, 24, value=1)
for i in range(6):
    dr.add(f"D_{i}", "switch", f"D {i}", 290 + 30 * (i % 3), 12 + 80 * (i // 3), 70, 24, value=1)
dr.add("PLOT", "button", "Plot", 400, 12, 90, 26, callback="PlotDREVRates")
num(dr, "SAMPLES", "Samples", 450, 12, 110)
dr.add("GRAPH", "graph", "Counts / 0.0087 per A bin", 24, 200, 765, 510)
axis_buttons(dr, 556, 200)

# ---- burst housekeeping plots --------------------------------------------------------------------
bh = Panel("BURSTHK", 22, "Burst Housekeeping", "GenericPanel", 980, 600)
bh.add("PLOT", "button", "Plot HK", 22, 12, 100, 26, callback="PlotBurst")
bh.add("CRIT", "button", "Plot Criteria", 22, 130, 110, 26, callback="PlotBurstCriteria")
num(bh, "SAMPLES", "Samples", 24, 260, 100)
bh.add("CURSOR", "textmsg", "Cursor", 24, 380, 400, 22, value="")
for i, cname in enumerate(["black", "brown", "red", "orange", "yellow", "green", "blue", "purple"]):
    bh.add(f"C_{i}", "switch", f"Criterion {i} ({cname})", 76 + 48 * i, 12, 160, 24, value=1)
bh.add("GRAPH", "graph", "Bytes 96 (red), 95 (blue), 85 (green), 97 (black)", 76, 190, 775, 470,
       callback="PlotBurstActive", mode="hot")
axis_buttons(bh, 556, 190)


# ---- STE line fits -------------------------------------------------------------------------------
def ste_fit(name, res, title, starts):
    p = Panel(name, res, title, "GenericPanel", 900, 520)
    for i, (cn, label, v) in enumerate(starts):
        num(p, cn, label, 24 + 44 * (i % 6), 12 + 120 * (i // 6), 110, mode="normal",
            datatype="double", precision=4, value=v)
    p.add("MSG", "string", "Fit", 300, 12, 230, 22, mode="indicator", value="")
    p.add("RESULT", "textbox", "Fitted parameters", 344, 12, 230, 160, mode="indicator")
    p.add("HIDE", "button", "Hide", 300, 250, 70, 26, callback="HideSTEFit")
    p.add("GRAPH", "graph", "Spectrum (black) and fit (red)", 24, 340, 545, 480)
    return p


ste_fit("STEFIT", 15, "STE Line Fit", [("G0", "Gain range 0", 0.5), ("O0", "Offset range 0 (held)", 0.0),
                                       ("G1", "Gain range 1", 0.5), ("O1", "Offset range 1", 0.0),
                                       ("G2", "Gain range 2", 0.5), ("O2", "Offset range 2 (held)", 0.0),
                                       ("Q", "Quadratic (held)", 0.0), ("W", "Width", 1.5)])
ste_fit("STEFITP", 16, "STE Peak Fit", [("S", "Spacing", 8.0), ("W", "Width", 1.5)])

# ---- timing panel --------------------------------------------------------------------------------
t = Panel("TIMING", 21, "Packet Timing", "GenericPanel", 700, 460)
num(t, "APID", "ApID", 24, 12, 90, hexa=True, mode="normal", value=0x200)
t.add("FINE", "switch", "Fine (1/65536 s)", 22, 120, 140, 24, value=0)
t.add("START", "button", "Start", 22, 280, 90, 26, callback="StartTiming")
t.add("PACKETS", "textmsg", "Matching packets", 24, 390, 200, 22, value="0 Packets")
t.add("GRAPH", "graph", "Packets per spacing (s)", 76, 12, 670, 370)

# ---- burst scan panel ----------------------------------------------------------------------------
b = Panel("BURST", 8, "Burst Scan", "GenericPanel", 760, 520)
b.add("APIDSEL", "ring", "ApID", 24, 12, 120, 24, callback="ScanBurstSelect",
      items=[{"label": "All", "value": 0}, {"label": "209", "value": 0x209},
             {"label": "211", "value": 0x211}, {"label": "221", "value": 0x221},
             {"label": "223", "value": 0x223}])
b.add("SCAN", "button", "Scan", 22, 150, 90, 26, callback="ScanBurst")
for i, label in enumerate(["ApID 209", "ApID 211", "ApID 221", "ApID 223", "Others", "Records"]):
    num(b, f"COUNT_{i}", label, 24, 260 + 82 * i, 74)
b.add("LOG", "textbox", "Continuity log", 76, 12, 735, 420, mode="indicator")

# ---- packet rate plot ----------------------------------------------------------------------------
r = Panel("RATES", 9, "Packet Rates", "GenericPanel", 900, 560)
colours = ["black", "brown", "red", "orange", "yellow", "green", "blue", "purple", "grey", "white"]
defaults = [(0x200, 1), (0x208, 2), (0x210, 6), (0x220, 4), (0x240, 2), (0, 1), (0, 1), (0, 1),
            (0, 1), (0, 1)]
for i in range(10):
    num(r, f"FIRST_{i}", f"First ApID ({colours[i]})", 24 + 44 * i, 12, 90, hexa=True,
        mode="normal", value=defaults[i][0])
    num(r, f"NUM_{i}", "Number", 24 + 44 * i, 120, 60, mode="normal", value=defaults[i][1])
r.add("GROUND", "switch", "Ground time", 470, 12, 100, 24, value=0)
r.add("AUTO", "switch", "Autoscale", 470, 120, 90, 24, value=1)
num(r, "YMIN", "Y min", 520, 12, 80, mode="normal")
num(r, "YMAX", "Y max", 520, 110, 80, mode="normal", value=100)
r.add("PLOT", "button", "Plot", 518, 210, 80, 26, callback="PlotPkt")
r.add("GRAPH", "graph", "Packets per minute", 24, 220, 665, 480)


# ---- housekeeping plots --------------------------------------------------------------------------
def hk_plot(name, res, title, plot_cb, with_log):
    p = Panel(name, res, title, "GenericPanel", 980, 600)
    for i in range(10):
        p.add(f"SEL_{i}", "ring", f"Point {i + 1} ({colours[i]})", 24 + 48 * i, 12, 200, 24,
              items=[{"label": "-NULL-", "value": -1}])
    p.add("AUTO", "switch", "Autoscale", 520, 12, 90, 24, value=1)
    if with_log:
        p.add("LOG", "switch", "Log scale", 520, 120, 90, 24, value=0)
    num(p, "YMIN", "Y min", 24, 240, 110, mode="normal", datatype="double", precision=4)
    num(p, "YMAX", "Y max", 24, 370, 110, mode="normal", datatype="double", precision=4, value=1)
    num(p, "ROWS", "Max rows", 24, 500, 90, mode="normal", value=100000)
    num(p, "SPACING", "Min spacing (s)", 24, 610, 110, mode="normal", datatype="double",
        precision=1)
    p.add("PLOT", "button", "Plot", 22, 740, 100, 26, callback=plot_cb)
    p.add("SAVE", "button", "Save", 22, 860, 100, 26, callback="SaveHKP")
    num(p, "SAMPLES", "Samples", 570, 12, 110)
    p.add("GRAPH", "graph", "Housekeeping", 76, 240, 725, 510)


hk_plot("HKPLOT", 10, "Housekeeping Plot", "PlotHKP", True)
hk_plot("SEPPLOT", 11, "SEP Housekeeping Plot", "PlotSEPHKP", False)

# ---- analyzer fast housekeeping ------------------------------------------------------------------
f = Panel("FHK", 12, "Analyzer Fast Housekeeping", "GenericPanel", 700, 440)
num(f, "PNUM", "Packet number", 24, 12, 110)
num(f, "MODE", "Mode", 24, 140, 60)
f.add("GRAPH", "graph", "Waveform (336 samples)", 76, 12, 670, 350)

# ---- housekeeping statistics ---------------------------------------------------------------------
q = Panel("HKSTATS", 13, "Housekeeping Statistics", "GenericPanel", 760, 470)
stats = [("FIRSTTIME", "First time", "s"), ("FIRSTCLOCK", "First clock", "s"),
         ("FIRSTB40", "First byte 40", "i"), ("FIRSTB41", "First byte 41", "i"),
         ("LASTTIME", "Last time", "s"), ("LASTCLOCK", "Last clock", "s"),
         ("RECORDS", "Records", "i"), ("HK", "HK packets", "i"),
         ("IDERR", "Identification errors", "i"), ("SEQERR", "Sequence errors", "i"),
         ("LENERR", "Length errors", "i"), ("CHKERR", "Checksum errors", "i"),
         ("SPMAX", "Spacing max (s)", "d"), ("SPMIN", "Spacing min (s)", "d"),
         ("SPMEAN", "Spacing mean (s)", "d"), ("B40CH", "Byte 40 differs", "i"),
         ("B41CH", "Byte 41 differs", "i"), ("CKMAX", "Clock step max", "d"),
         ("CKMIN", "Clock step min", "d"), ("CKMEAN", "Clock step mean", "d"),
         ("W42MAX", "Word 42 max x 3.2e-5", "d"), ("W44MEAN", "Word 44 mean x 3.2e-5", "d"),
         ("B46MAX", "Byte 46 max expanded", "d"), ("B46FULL", "Byte 46 = 255", "i"),
         ("INC50", "Word 50 increments", "i"), ("INC54", "Word 54 increments", "i"),
         ("INC49", "Byte 49 increments", "i")]
for i, (cn, label, kind) in enumerate(stats):
    top, left = 24 + 48 * (i % 9), 12 + 250 * (i // 9)
    if kind == "s":
        q.add(cn, "string", label, top, left, 220, 22, mode="indicator", value="")
    elif kind == "d":
        num(q, cn, label, top, left, 150, datatype="double", precision=6)
    else:
        num(q, cn, label, top, left, 150)

# ---- progress of a long scan ---------------------------------------------------------------------
w = Panel("PROGRESS", 14, "Working", "GenericPanel", 420, 130)
w.add("WHAT", "textmsg", "Task", 24, 12, 300, 20, value="")
w.add("BAR", "textmsg", "Progress", 70, 12, 300, 20, value="")
num(w, "PERCENT", "Percent", 70, 330, 70)
w.add("CANCEL", "button", "Cancel", 22, 330, 70, 26, callback="CancelScan")

with open(os.path.join(HERE, "TALLOX.uir"), "w") as fh:
    json.dump({"panels": panels}, fh, indent=1)
    fh.write("\n")
with open(os.path.join(HERE, "..", "src", "uir_ids.h"), "w") as fh:
    fh.write("// Control ids of TALLOX.uir. Written by ui/gen_uir.py from the same table as the\n"
             "// resource file; change the panels there.\n#pragma once\n\nenum TalloxUir {\n")
    for n, v in ids:
        fh.write(f"  {n} = {v},\n")
    fh.write("};\n")
