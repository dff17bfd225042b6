#!/usr/bin/env python3
"""Self-test of the sample station directory.

Reads every file the way the station, the analyzer display and the offline tool read
them and reports each rule a file breaks.  Exit status 0 when all rules hold, 1 otherwise.

    python3 station/check_station.py [station-directory]
"""
import os
import re
import sys

ROOT = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__)))
DB = os.path.join(ROOT, "database")
errors = []


def fail(where, msg):
    errors.append("%s: %s" % (where, msg))


def read_lines(path):
    with open(path, "rb") as f:
        data = f.read()
    name = os.path.relpath(path, ROOT)
    if b"\r" in data:
        fail(name, "carriage return found; lines must end with a bare line feed")
    if data and not data.endswith(b"\n"):
        fail(name, "last line has no line feed")
    text = data.decode("latin-1")
    return text.split("\n")[:-1] if text.endswith("\n") else text.split("\n")


def ci_find(hay, needle):
    return hay.lower().find(needle.lower())


NUM = r"[+-]?(?:\d+\.?\d*|\.\d+)(?:[eE][+-]?\d+)?"


def c_strtod(s):
    m = re.match(r"\s*(" + NUM + ")", s)
    return float(m.group(1)) if m else None


def scan_skipchar_field(line):
    """' %*c %[^\\t]' then strtod."""
    s = line.lstrip(" \t\n")[1:].lstrip(" \t\n")
    field = s.split("\t")[0]
    return c_strtod(field) if field else None


def scan_second_field(line):
    """' %*[^\\t] %[^\\t]' then strtod."""
    s = line.lstrip(" \t\n")
    if "\t" not in s or s.startswith("\t"):
        return None
    s = s[s.index("\t"):].lstrip(" \t\n")
    field = s.split("\t")[0]
    return c_strtod(field) if field else None


def scan_nth_field(line, n):
    """' %*[^\\t] ... %[^\\t]' with n skipped fields; blanks and tabs between fields are skipped."""
    s = line
    for _ in range(n):
        s = s.lstrip(" \t\n")
        if not s or s[0] == "\t":
            return None
        k = s.find("\t")
        if k < 0:
            return None
        s = s[k:]
    s = s.lstrip(" \t\n")
    field = s.split("\t")[0]
    return field or None


def tallox_coef(line, width):
    """'%1s %lf' (width 1) or '%5s %lf' (width 5)."""
    s = line.lstrip(" \t\n")
    m = re.match(r"\S{1,%d}" % width, s)
    if not m:
        return None
    rest = s[m.end():]
    m2 = re.match(r"\s*(" + NUM + ")", rest)
    return float(m2.group(1)) if m2 else None


def limit_value(text):
    if text == "" or text.startswith("N"):
        return None
    v = c_strtod(text)
    return 0.0 if v is None else v


# ---------------------------------------------------------------- item tables (processor, SEP)

TLM_ITEMS = """InterfaceEnables InterfaceActive IDREVSTEDDig ISTEUDig UTCs UTCf ISampleTime ISoftwareVersion
IHardwareVersion IPollTimeMax IPollTimeAvg ITimeJitter IErrorCode IErrorData IErrorCount ICommandCount
ICommandLastID ICommandLastSeq PCommandCount PCommandLastID PCommandLastSeq IVANTIS_SSR IBRIMLET_SSR
IMaxVANTISQ IMaxBRIMLETQ IVANTISBitrate IBRIMLETBitrate ISCStatus IBootSelect ICodePage ICodePageStatus
ICmdSeqRunning ICmdSeqMask ITelemEnables PTelemEnables IBurstModeID IBurstCurCriteria IBurstSavePage
IBurstSendPage IBurstBestCriteria ISTEUDoorCount ISTEDDoorCount ISTEUDoorStart ISTEUDoorDone ISTEDDoorStart
ISTEDDoorDone IAutoLUT ISTEModeID IDREVModeID IMagHKP IMAGHeater IMAGTemp ISTEUTemp ISTEUDACTemp ISTEUVCCA
ISTEU5VD ISTEUVCC1 ISTEU5VA ISTEU12V ISTEUCur IDREVMCP IDREVNR5V IDREVAnal IDREVDefl1 IDREVDefl2 IDREVV0
IDREVGND IDREVMCPTemp ISTEDTemp IDREVDACTemp IDREVSTEDVCCA IDREVSTED5VD IDREVSTEDVCC1 IDREVSTE5VA
IDREVSTE12V IDREVSTEDCur PLVC_-12V PLVC_-5V PESA_VM_POS PDFL_1_VM PDFL_1_TAP PDFL_2_VM PLVC_+2.5 PPAC_CM_DC
PLVC_+12V PLVC_+2.5VA PLVC_+5V PADC_AVDD PADC_DVDD PPAC_VM PCAL_VREF PPAC_CM_AC PMCP_VM PMCP_CM_DC PMCP_CM_AC
PSSD_CM_DC PS_CH_VM PS_CH_VM_TAP PS_CH_CM_DC PESA_VM_NEG PESA_CM_DC PDFL_1_CM_DC PDFL_2_CM_DC
PLVC_+2.5VB_IMON PLVC_+12V_IMON PLVC_-12V_IMON PLVC_+5V_IMON PLVC_-5V_IMON PLVC_+2.5VA_IMON PSSD_VM
PSSD_V_POS_ANALOG PSSD_V_NEG_ANALOG PSSD_V_POS_DIG PSSD_STATUS PSSD_HV_BIAS PPLUG_ID PADC_LU_FLAG
PDAC_STATUS PADC_LU_CTR BLK_ID PRA_E0 PRA_E1 PSB0_TSP PSB1_TSP PADC0_AGND PADC1_AGND PADC0_VREF PADC1_VREF
PTAC0_TSP PTAC2_TSP PTOF_HV0_TSP PTOF_HV1_TSP PS_C_0_TSP PS_C_1_TSP PLVC0_TSP PLVC1_TSP PSSD_TC0 PSSD_TC1
PSSD_TC2""".split()

SEP_ITEMS = ["UTCs", "UTCf"]
for _t in ("SEPTNS_", "SEPTE_"):
    SEP_ITEMS += [_t + "Temp"] + [_t + "CS%d" % k for k in range(4)] + [_t + "GR%d" % k for k in range(4)] + \
        [_t + "SinglesCtr", _t + "STATUS"]
SEP_ITEMS += ["HET_Temp1", "HET_Temp2"]
for _p in ("PHA0", "PHA1"):
    SEP_ITEMS += ["HET_%s_%s" % (_p, s) for s in ("Chan_ID", "Preamp", "HG_Thresh", "LG_Thresh", "Leakage")]
SEP_ITEMS += ["HET_Error_Flags", "HET_Software_version_ID", "HET_N_invalid_token", "HET_N_invalid _trigger",
              "HET_N_lost_raw_events", "HET_Mjrfrm_num", "HET_Table_chksum", "HET_DAC_PHASIC0", "HET_DAC_PHASIC1",
              "HET_DAC_BITS", "LET_Temp0", "LET_Temp1", "LET_Temp2", "LET_Temp3", "Let_CmdTable", "SIT_MJR_FRM#",
              "SIT_CalGain", "SIT_Cal_Fset", "SIT_ErrFlags", "SIT_P6Mon", "SIT_HVMon", "SIT_DTOF_Temp",
              "SIT_Foil_Temp", "SIT_SSD_Temp", "SIT_P33Mon", "SIT_P25Mon", "SIT_P5DMon", "SIT_Softversion",
              "SIT_TableChecksum", "SIT_SoftErrorFlags", "SIT_Spare", "SEP_CmdTable", "SEP_APRBTemp", "SEP_BSBTemp",
              "SEP_LBTemp", "SEP_LVPSTemp", "SEP_P26DMon", "SEP_P34DMon", "SEP_P51DMon", "SEP_N52DMon", "SEP_P13AMon",
              "SEP_N13AMon", "SEP_P6AMon", "SEP_N6AMon", "SEP_N5RefMon", "SIT_P51AMon", "SEPTNS_P26DMon",
              "SEPTNS_P53DMon", "SEPTNS_P56AMon", "SEPTE_P26DMon", "SEPTE_P53DMon", "SEPTE_P56AMon", "SEP_BiasNMon",
              "SEP_BiasPMon"]
LET_CHANNELS = ["LET_L2A%d_Ileakage" % k for k in range(10)] + ["LET_L3Ai_Ileakage", "LET_L3Ao_Ileakage"] + \
    ["LET_L1%s%d%s_Ileakage" % (sd, k, s) for sd in "AB" for k in range(5) for s in "abc"] + \
    ["LET_L2B%d_Ileakage" % k for k in range(10)] + ["LET_L3Bi_Ileakage", "LET_L3Bo_Ileakage"]
SEP_ITEMS += LET_CHANNELS

KEYWORDS = ("LOGT", "MAG", "RTD", "YSI")


def station_slots(name, lines, capacity):
    """Lines stored until the first line that contains 'Total Bytes' (any case)."""
    stop = None
    for i, l in enumerate(lines):
        if ci_find(l, "Total Bytes") >= 0:
            stop = i
            break
    if stop is None:
        fail(name, "no 'Total Bytes' line")
        stop = len(lines)
    if stop > capacity:
        fail(name, "%d lines before 'Total Bytes', capacity is %d" % (stop, capacity))
    for i, l in enumerate(lines[:stop]):
        if len(l) >= 233:
            fail(name, "line %d has %d characters (must be under 233)" % (i + 1, len(l)))
    return lines[:stop], stop


def tallox_table(name, lines, max_entries=300):
    """Six lines read, the sixth is the first entry; stop at a line beginning with 'Checksum'."""
    entries = []
    end = None
    for i in range(5, len(lines)):
        l = lines[i]
        if l.startswith("Checksum"):
            end = i
            break
        cols = l.split("\t")
        nm = cols[0]
        if nm == "" or nm.startswith("#"):
            continue
        if len(nm) > 31:
            fail(name, "offline tool: name %r longer than 31 characters" % nm)
        entries.append((i, cols))
    if end is None:
        fail(name, "offline tool: no line beginning with 'Checksum'")
        end = len(lines)
    if len(entries) > max_entries:
        fail(name, "offline tool: %d entries, capacity %d" % (len(entries), max_entries))
    return entries, end


def check_item_lines(name, slots, first_item, search_tables, allow_shadow=()):
    """18 fields, limits in order, first line containing the name is its own line."""
    items = {}
    for i in range(first_item, len(slots)):
        f = slots[i].split("\t")
        if slots[i].startswith("Checksum"):
            continue
        if len(f) != 18:
            fail(name, "line %d has %d tab-separated fields, expected 18" % (i + 1, len(f)))
            continue
        if any(x == "" for x in f):
            fail(name, "line %d has an empty field" % (i + 1))
        nm = f[0]
        if nm in items:
            fail(name, "item %s defined twice" % nm)
        items[nm] = (i, f)
        if not re.fullmatch(r"\d+", f[1]) or not re.fullmatch(r"\d+", f[2]):
            fail(name, "%s: size and offset must be decimal integers" % nm)
        if c_strtod(f[5]) is None and f[5] not in KEYWORDS:
            fail(name, "%s: gain %r is neither a number nor a conversion keyword" % (nm, f[5]))
        for k in (6, 14, 15):
            if c_strtod(f[k]) is None:
                fail(name, "%s: field %d %r is not a number" % (nm, k, f[k]))
        lim = [limit_value(x) for x in f[8:12]]
        given = [v for v in lim if v is not None]
        if given != sorted(given):
            fail(name, "%s: limits out of order (red low <= yellow low <= yellow high <= red high)" % nm)
    # name lookups take the first line that contains the name, in the station's search order
    for nm, (i, _) in items.items():
        if nm in allow_shadow:
            continue
        for tname, tslots in search_tables:
            hit = next((j for j, l in enumerate(tslots) if ci_find(l, nm) >= 0), None)
            if hit is not None:
                if tslots is not slots or hit != i:
                    fail(name, "lookup of %s finds %s line %d first, not its own line" % (nm, tname, hit + 1))
                break
    return items


def check_extents(name, items, let_block=None, limit=272):
    used = {}
    for nm, (i, f) in items.items():
        try:
            size, off = int(f[1]), int(f[2])
        except ValueError:
            continue
        if nm in LET_CHANNELS:
            continue
        if size == 2 and off % 2 and nm != "ISampleTime":
            fail(name, "%s: 16-bit item at odd offset %d" % (nm, off))
        if off + size > limit:
            fail(name, "%s: extends past byte %d" % (nm, limit - 1))
        for b in range(off, off + size):
            if b in used:
                fail(name, "%s overlaps %s at byte %d" % (nm, used[b], b))
            used[b] = nm
    if let_block is not None:
        base = let_block
        for b in range(base, base + 70):
            if b in used:
                fail(name, "LET leakage block overlaps %s at byte %d" % (used[b], b))


def check_tlm():
    name = "database/VANTIS_tlm.txt"
    path = os.path.join(DB, "VANTIS_tlm.txt")
    lines = read_lines(path)
    raw = open(path, "rb").read()
    slots, tb = station_slots(name, lines, 350)
    items = check_item_lines(name, slots, 5, [("VANTIS_tlm", slots)])
    for nm in TLM_ITEMS:
        if nm not in items:
            fail(name, "item %s missing" % nm)
    check_extents(name, items)
    # fixed positions read by the offline tool and the analyzer display
    fixed = {"ISampleTime": 12, "IPollTimeMax": 16, "IPollTimeAvg": 18, "IErrorCode": 21, "IErrorData": 22,
             "IErrorCount": 23, "ICommandCount": 24, "PCommandCount": 28, "IDREVSTED5VD": 130,
             "IDREVSTEDVCC1": 132, "IDREVSTE12V": 136}
    for nm, off in fixed.items():
        if nm in items and int(items[nm][1][2]) != off:
            fail(name, "%s must sit at offset %d" % (nm, off))
    # sensor blocks as the station reads them
    coef = {}
    pos = tb

    def find(marker, budget, label):
        nonlocal pos
        for k in range(pos, min(pos + budget, len(lines))):
            if marker in lines[k]:
                pos = k
                return True
        fail(name, "station: %r not found within %d lines (%s)" % (marker, budget, label))
        return False

    if find("YSI", 150, "thermistor"):
        coef["YSI"] = [scan_skipchar_field(lines[pos + 2 + k]) for k in range(6)]
        pos += 8
    if find("RTD", 100, "platinum sensor"):
        coef["RTD"] = [scan_skipchar_field(lines[pos + 1 + k]) for k in range(3)]
        pos += 5
    if find("MAG", 100, "magnetometer"):
        coef["MAG"] = [scan_skipchar_field(lines[pos + 1 + k]) for k in range(6)]
        pos += 7
    if find("STEUa", 100, "current monitors"):
        coef["CUR"] = [scan_second_field(lines[pos + 1 + k]) for k in range(6)]
    for k, v in coef.items():
        if any(x is None for x in v):
            fail(name, "station: %s coefficients do not parse: %r" % (k, v))
    # sequence mask names after byte 22000
    cut = raw[22000:].decode("latin-1").split("\n")
    start_ok = raw.rfind(b"\n", 0, 22000) + 1 <= 22000
    mask = None
    for k, l in enumerate(cut[:341]):
        if "IDPUPwrWarn" in l:
            if k == 0:
                fail(name, "station: the IDPUPwrWarn line straddles byte 22000")
            mask = [scan_nth_field(l, 3)] + [scan_nth_field(cut[k + j], 2) if k + j < len(cut) else None
                                             for j in range(1, 32)]
            break
    if mask is None or not start_ok:
        fail(name, "station: 'IDPUPwrWarn' not found within 341 lines after byte 22000")
    elif any(m is None or len(m) > 74 for m in mask):
        fail(name, "station: sequence mask bit names incomplete: %r" % mask)
    # the offline tool's reading
    entries, ck = tallox_table(name, lines)
    tcoef = {}
    k = ck + 1
    while k < len(lines):
        l = lines[k]
        if l.startswith("YSI"):
            tcoef["YSI"] = [tallox_coef(lines[k + 1 + j], 1) for j in range(6)]
            k += 7
            continue
        if l.startswith("RTD"):
            tcoef["RTD"] = [tallox_coef(lines[k + 1 + j], 1) for j in range(3)]
            k += 4
            continue
        if l.startswith("MAG"):
            tcoef["MAG"] = [tallox_coef(lines[k + 1 + j], 1) for j in range(6)]
            k += 7
            continue
        if l.startswith("IDREVSTEDCur and ISTEUCur conversions"):
            tcoef["CUR"] = [tallox_coef(lines[k + 4 + j], 5) for j in range(6)]
            k += 10
            continue
        k += 1
    for key in ("YSI", "RTD", "MAG", "CUR"):
        if tcoef.get(key) != coef.get(key):
            fail(name, "offline tool reads %s coefficients %r, station reads %r" % (key, tcoef.get(key), coef.get(key)))
    tnames = [c[0] for _, c in entries]
    for nm in ("IDREVSTE12V", "IDREVSTEDVCC1", "IDREVSTED5VD", "ISTEU12V", "ISTEUVCC1", "ISTEU5VD", "ISTEUCur",
               "IDREVSTEDCur", "ISTEUDig", "IDREVSTEDDig"):
        if nm not in tnames:
            fail(name, "offline tool: point %s not in its table" % nm)
    return items, coef, mask


def check_sep(tlm_slots):
    name = "database/sep_hkg.txt"
    lines = read_lines(os.path.join(DB, "sep_hkg.txt"))
    slots, tb = station_slots(name, lines, 300)
    items = check_item_lines(name, slots, 5, [("VANTIS_tlm", tlm_slots), ("sep_hkg", slots)],
                             allow_shadow=("UTCs", "UTCf"))
    for nm in ("UTCs", "UTCf"):
        if nm in items:
            hit = next(j for j, l in enumerate(slots) if ci_find(l, nm) >= 0)
            if hit != items[nm][0]:
                fail(name, "SEP lookup of %s finds line %d first" % (nm, hit + 1))
    for nm in SEP_ITEMS:
        if nm not in items:
            fail(name, "item %s missing" % nm)
    base = int(items["LET_L2A0_Ileakage"][1][2]) if "LET_L2A0_Ileakage" in items else None
    if base is not None:
        slot_of = {n: i for i, n in enumerate(LET_CHANNELS[:12])}
        slot_of.update({n: 12 + i for i, n in enumerate(LET_CHANNELS[12:42])})
        slot_of.update({n: 44 + i for i, n in enumerate(LET_CHANNELS[42:])})
        for n, s in slot_of.items():
            if n in items and int(items[n][1][2]) != base + 5 * (s // 4):
                fail(name, "%s must carry the offset of its group, %d" % (n, base + 5 * (s // 4)))
    check_extents(name, items, let_block=base)
    pos = tb
    for marker, label in (("N_LET_Temp0", "LET"), ("N_SEP_APRBTemp", "SEP"), ("N_SIT_HVMon", "SIT")):
        hit = next((k for k in range(pos, min(pos + 100, len(lines))) if marker in lines[k]), None)
        if hit is None:
            fail(name, "station: %r not found within 100 lines" % marker)
            continue
        pos = hit
        if label in ("LET", "SEP"):
            first = []
            for j in range(3):
                s = lines[hit + 1 + j].lstrip(" \t")
                k = s.find("\t")
                s = s[k:].lstrip(" \t")[1:].lstrip(" \t") if k >= 0 else ""
                first.append(c_strtod(s.split("\t")[0]) if s else None)
            rest = [scan_skipchar_field(lines[hit + 4 + j]) for j in range(3)]
            if any(v is None for v in first + rest):
                fail(name, "station: %s temperature coefficients do not parse" % label)
            pos = hit + 7
        else:
            for j in range(8):
                f = re.split(r"[ \t]+", lines[hit + j].strip())
                if len(f) < 5 or any(c_strtod(x) is None for x in f[1:5]):
                    fail(name, "station: SIT coefficient line %d does not hold four numbers" % (hit + j + 1))
            f = re.split(r"[ \t]+", lines[hit + 8].strip())
            if len(f) < 4 or any(c_strtod(x) is None for x in f[:4]):
                fail(name, "station: the 6 V reference line does not hold four numbers")
    entries, _ = tallox_table(name, lines)
    return items, slots


def check_brimlet(tlm_slots, sep_slots):
    name = "database/BRIMLET_dhk.txt"
    lines = read_lines(os.path.join(DB, "BRIMLET_dhk.txt"))
    slots, tb = station_slots(name, lines, 425)
    item_lines = [i for i, l in enumerate(slots) if l[:1] in ("P", "C")]
    brm_count = item_lines[-1] if item_lines else 0
    searched = [0] + [i for i in item_lines if i < brm_count]
    items = {}
    panels = []
    for i, l in enumerate(slots):
        if l.startswith("-- Panel"):
            panels.append([])
            continue
        if i not in item_lines or i >= brm_count:
            continue
        f = l.split("\t")
        if len(f) != 5 or any(x == "" for x in f):
            fail(name, "line %d must have 5 non-empty tab-separated fields" % (i + 1))
            continue
        items[f[0]] = (i, f)
        if panels:
            panels[-1].append(f[0])
    if [len(p) for p in panels] != [17, 43, 33, 33, 50]:
        fail(name, "panel item counts %r, expected [17, 43, 33, 33, 50]" % [len(p) for p in panels])
    for nm, (i, f) in items.items():
        hit = next((j for j in searched if ci_find(slots[j], nm) >= 0), None)
        if hit != i:
            fail(name, "lookup of %s finds line %s first" % (nm, hit if hit is None else hit + 1))
        for tname, t in (("VANTIS_tlm", tlm_slots), ("sep_hkg", sep_slots)):
            if any(ci_find(l, nm) >= 0 for l in t):
                fail(name, "%s also found in %s, which value lookups search first" % (nm, tname))
    used = {}
    for nm, (i, f) in items.items():
        size, off, kind = int(f[1]), int(f[2]), f[3]
        for b in range(off, off + size):
            tag = kind if kind in ("NIBHI", "NIBLO") else "BYTE"
            prev = used.get(b)
            if prev and not ({prev[1], tag} == {"NIBHI", "NIBLO"}):
                fail(name, "%s overlaps %s at byte %d" % (nm, prev[0], b))
            used[b] = (nm, tag)
        if off + size > 270:
            fail(name, "%s extends into the checksum byte" % nm)


def check_spacecraft():
    name = "database/basis.txt"
    lines = read_lines(os.path.join(DB, "basis.txt"))
    labels = read_lines(os.path.join(DB, "basin.txt"))
    if len(lines) != 85:
        fail(name, "%d lines, expected 85" % len(lines))
    if len(labels) != 42:
        fail("database/basin.txt", "%d labels, expected 17 + 13 + 12 = 42" % len(labels))
    for l in labels:
        if len(l) + 1 > 99:
            fail("database/basin.txt", "label %r too long" % l)
    used = {}
    keys = []
    for i, l in enumerate(lines):
        t = [x for x in l.split("\t") if x != ""]
        if len(t) not in (10, 11):
            fail(name, "line %d has %d tokens, expected 10 or 11" % (i + 1, len(t)))
            continue
        key = t[0]
        keys.append(key)
        m = re.search(r"_(00B|00C|00D|01C|01E)$", key)
        if not m:
            fail(name, "key %s does not end in an APID suffix" % key)
            continue
        ndx, bofs, numb = int(t[2]), int(t[3]), int(t[4])
        if not ((bofs == 0 and numb in (8, 16)) or (bofs + numb <= 8 and numb < 8)):
            fail(name, "%s: bit field %d/%d is not one the decoder extracts simply" % (key, bofs, numb))
        bits = [(ndx * 8 + bofs + k) for k in range(numb)]
        for b in bits:
            prev = used.get((m.group(1), b))
            if prev:
                fail(name, "%s overlaps %s" % (key, prev))
            used[(m.group(1), b)] = key
        if ndx < 12 or ndx * 8 + bofs + numb > 270 * 8:
            fail(name, "%s outside the data field" % key)
    for key in keys:
        hit = next(j for j, l in enumerate(lines) if ci_find(l, key) >= 0)
        if lines[hit].split("\t")[0] != key:
            fail(name, "lookup of %s finds line %d first" % (key, hit + 1))
    for lab in labels:
        hits = [j for j, l in enumerate(lines) if ci_find(l, lab) >= 0]
        if not hits:
            fail(name, "label %s has no line" % lab)
        elif len(hits) > 3 or hits != list(range(hits[0], hits[0] + len(hits))):
            fail(name, "lines of label %s must be consecutive, at most three" % lab)
        elif any(not lines[j].startswith(lab + "_") for j in hits):
            fail(name, "label %s matches lines of another label" % lab)


def check_apd():
    name = "database/VANTIS_apd.txt"
    lines = read_lines(os.path.join(DB, "VANTIS_apd.txt"))
    heading = 0
    rows = 0
    seen = set()
    saw_skip = False
    for i, l in enumerate(lines):
        if l[:1] not in ("2", "3"):
            continue
        if "-" in l and len(l) > 4 and l[4] in ("2", "3"):
            if int(l[0:3], 16) == 0x240 and int(l[4:7], 16) == 0x26F:
                saw_skip = True
                continue
            heading += 1
            rows = 0
            continue
        if heading == 0:
            fail(name, "line %d: APID line before the first heading" % (i + 1))
            continue
        apid = int(l[:3], 16)
        if apid >= 1024 or apid in seen:
            fail(name, "line %d: APID %03X out of range or repeated" % (i + 1, apid))
        seen.add(apid)
        rows += 1
        if rows > 14:
            fail(name, "group %d holds more than 14 APIDs" % heading)
    if heading > 14:
        fail(name, "%d headings shown, the summary panel has 14" % heading)
    if not saw_skip:
        fail(name, "no 240-26F heading")
    for a in (0x200, 0x201, 0x202, 0x210, 0x211, 0x212, 0x213, 0x214, 0x240, 0x241, 0x313):
        if a not in seen:
            fail(name, "APID %03X not listed" % a)


def check_err():
    name = "database/VANTIS_err.txt"
    lines = read_lines(os.path.join(DB, "VANTIS_err.txt"))
    slots, _ = station_slots(name, lines + ["Total Bytes"], 300)
    codes = {}
    for i, l in enumerate(slots):
        for m in re.finditer(r"\t(\d+)\t", l):
            c = int(m.group(1))
            codes.setdefault(c, i)
    for c, i in codes.items():
        if c > 255:
            fail(name, "code %d does not fit the error byte" % c)
    for c in (1, 2, 3):
        if c not in codes:
            fail(name, "error code %d missing" % c)
    return codes


def check_seq(mask):
    name = "database/VANTIS_seq.txt"
    lines = read_lines(os.path.join(DB, "VANTIS_seq.txt"))
    k = next((i for i, l in enumerate(lines) if ci_find(l, "Description") >= 0), None)
    if k is None:
        fail(name, "no 'Description' line")
        return
    seq = lines[k + 1:k + 33]
    if len(seq) != 32:
        fail(name, "fewer than 32 sequence lines after the 'Description' line")
        return
    names = []
    for i, l in enumerate(seq):
        f = l.split("\t")
        if len(f) < 2 or f[0] != str(i) or not f[1]:
            fail(name, "sequence line %d must read '%d<TAB>name<TAB>...'" % (i, i))
        names.append(f[1] if len(f) > 1 else None)
    if mask and names != mask:
        fail(name, "sequence names differ from the ICmdSeqMask bit names of VANTIS_tlm.txt")


def check_tbl():
    name = "database/VANTIS_tbl.txt"
    path = os.path.join(DB, "VANTIS_tbl.txt")
    data = open(path, "rb").read().decode("latin-1")
    # first phase: lines up to the one holding (ID=1), then 17 bytes back
    p = 0
    while True:
        e = data.find("\n", p)
        if e < 0:
            fail(name, "no '(ID=1)' line")
            return
        if ci_find(data[p:e + 1], "(ID=1)") >= 0:
            p = e + 1 - 17
            break
        p = e + 1
    area = data[p:].split("\n")
    count, tbldx, kept = {}, {}, []
    tid, ctr, ended = None, 0, False
    for l in area:
        if l.startswith("\t") or l.startswith("."):
            continue
        if "spare" in l and "Conflict#" not in l:
            continue
        if "Spare" in l and "Conflict#" not in l and "PAC_DIS" not in l:
            continue
        if "Sparem" in l or "SpareM" in l:
            continue
        if "(ID=16)" in l.upper():
            ended = True
            break
        kept.append(l)
        if ci_find(l, "ID=") >= 0 or ci_find(l, "ID =") >= 0:
            if tid is not None:
                count[tid] = ctr - 2
            m = re.search(r"[1-9]\d*", l)
            tid = int(m.group(0))
            if tid > 11:
                fail(name, "table id %d has no count entry" % tid)
            if tid in tbldx:
                fail(name, "table id %d defined twice" % tid)
            tbldx[tid] = len(kept) - 1 + 2
            ctr = 0
        ctr += 1
    if not ended:
        fail(name, "table area does not end with an '(ID=16)' line")
    if tid is not None:
        count[tid] = ctr - 2
    if area[0] != "SYS TABLE (ID=1)"[-16:] and not area[0].endswith("(ID=1)"):
        fail(name, "the re-read tail of the (ID=1) line is %r" % area[0])
    panel_rows = {1: 10, 2: 8, 3: 20, 4: 30, 5: 37, 8: 59}
    sizes = {1: 16, 2: 16, 3: 32, 4: 48, 5: 64}
    for t, cap in panel_rows.items():
        if t not in count:
            fail(name, "table %d missing" % t)
        elif not 0 < count[t] <= cap:
            fail(name, "table %d has %d lines, its panel shows at most %d" % (t, count[t], cap))
    if count.get(10, 0) < 14:
        fail(name, "table 10 needs at least 14 lines")
    for t in count:
        for k in range(count[t]):
            f = kept[tbldx[t] + k].split("\t")
            if len(f) != 6:
                fail(name, "table %d line %d has %d fields, expected 6" % (t, k + 1, len(f)))
                continue
            off, size = int(f[0]), int(f[1])
            if t in sizes and off + size > sizes[t]:
                fail(name, "table %d entry %s passes the table's %d bytes" % (t, f[2], sizes[t]))
            if "h" not in f[4]:
                fail(name, "table %d entry %s: default must be hexadecimal with a trailing h" % (t, f[2]))


# ---------------------------------------------------------------- command list

def first_token(l):
    t = l.split()
    return t[0] if t else ""


def read_i(tok):
    m = re.match(r"[+-]?(0[xX][0-9a-fA-F]+|0[0-7]*|[1-9]\d*)", tok)
    if not m:
        return None
    s = m.group(0)
    neg = s.startswith("-")
    s = s.lstrip("+-")
    v = int(s, 16) if s[:2].lower() == "0x" else (int(s, 8) if s.startswith("0") else int(s))
    return -v if neg else v


def eval_token(tok, value):
    L = len(tok)
    if tok[1:2] in ("x", "X"):
        n = 1 if L <= 4 else 2 if L <= 6 else 3 if L <= 8 else 4
        return [(value >> (8 * k)) & 0xFF for k in range(n)]
    if value == 0:
        n = 1 if L <= 3 else 2 if L <= 5 else 3 if L <= 7 else 4 if L <= 9 else 0
        return [0] * n
    if -128 <= value <= 255:
        out = [value & 0xFF]
        if L > 3 and value > 0:
            out.append(0)
        elif value < 0:
            out.append(0xFF)
        return out
    if -32768 <= value <= 65535:
        out = [value & 0xFF, (value >> 8) & 0xFF]
        if L > 5 and value > 0:
            out.append(0)
        elif value < 0:
            out.append(0xFF)
        return out
    if -8388608 <= value <= 0xFFFFFF:
        return [(value >> (8 * k)) & 0xFF for k in range(3)]
    return [(value >> (8 * k)) & 0xFF for k in range(4)]


class CommandList:
    def __init__(self, lines):
        self.lines = lines

    def search(self, word):
        tok = word.split()[0].lower()
        for i, l in enumerate(self.lines):
            if tok in first_token(l).lower():
                return i
        return None

    def template(self, i):
        l = self.lines[i]
        mn = first_token(l)
        rest = l[l.index(mn) + len(mn):]
        return rest.split(";")[0] if ";" in l else None

    def encode(self, text):
        """Packet identifier word and data bytes of a typed command (no secondary header)."""
        state = {"id": None, "data": []}

        def walk(s, depth):
            for tok in s.split():
                v = read_i(tok)
                if v is not None or tok.startswith('"'):
                    if state["id"] is None:
                        state["id"] = v
                    elif tok.startswith('"'):
                        state["data"] += [ord(c) for c in tok.strip('"')]
                    else:
                        state["data"] += eval_token(tok, v)
                elif depth < 3:
                    j = self.search(tok)
                    if j is None or self.template(j) is None:
                        raise ValueError("name %s not found" % tok)
                    walk(self.template(j), depth + 1)
        walk(text, 0)
        return state["id"], state["data"]

    def args_of(self, i):
        m = re.match(r"\s*(\d+)", self.lines[i].split(";", 1)[1]) if ";" in self.lines[i] else None
        return int(m.group(1)) if m else 0

    def identify(self, apid, d, span_first, span_sub, seq_mode):
        """Reverse identification; returns (matched line, hazardous seen)."""
        body = range(16, len(self.lines))

        def span(i, width):
            l = self.lines[i]
            return l.split(";")[0] if width is None else l[:width]

        def lookup(M, T, width):
            for i in body:
                s = span(i, width)[1:]
                if ci_find(s, M) >= 0 and ci_find(s, T) >= 0:
                    return i
            return None

        def haz(i):
            return " h " in self.lines[i].lower()

        n = len(d)
        byte = (lambda k: d[k] if k < n else 0xEE)
        P = "0x%03x" % apid
        match = next((i for i in body if ci_find(span(i, span_first), P) >= 0), None)
        if match is None:
            return None, False
        if not seq_mode and haz(match):
            return match, True
        M = first_token(self.lines[match])
        argofs = 1
        if apid == 0x230 and byte(0) < 8:
            T = "STEThreshold"
            argofs = n
        else:
            T = str(byte(0))
        f = lookup(M, T, span_first)
        if f is not None:
            match, M = f, first_token(self.lines[f])
            if not seq_mode and haz(match):
                return match, True
        shift = 0
        if argofs <= n - self.args_of(match):
            f = lookup(M, "0x%02X%02X" % (byte(2), byte(1)), span_sub)
            if f is not None:
                shift = 1
            else:
                f = lookup(M, str(byte(1)), span_sub)
            if f is not None:
                match, M = f, first_token(self.lines[f])
                if not seq_mode and haz(match):
                    return match, True
        if argofs + shift <= n - self.args_of(match):
            a, b = (2, 1) if seq_mode else (3, 2)
            f = lookup(M, "0x%02X%02X" % (byte(a + shift), byte(b + shift)), span_sub)
            if f is None:
                v = byte(b + shift)
                f = lookup(M, str(v - 256 if v > 127 else v), span_sub)
            if f is not None:
                match = f
                if not seq_mode and haz(match):
                    return match, True
        return match, False


def check_ctm():
    name = "database/VANTIS_ctm.prn"
    lines = read_lines(os.path.join(DB, "VANTIS_ctm.prn"))
    if len(lines) < 33:
        fail(name, "fewer lines than the 16 header and 16 trailer lines")
        return
    cl = CommandList(lines)
    body = list(range(16, len(lines) - 16))
    for i in list(range(16)) + list(range(len(lines) - 16, len(lines))):
        if ";" in lines[i] or " h " in lines[i].lower():
            fail(name, "header or trailer line %d holds ';' or a hazard mark" % (i + 1))
    for i in range(len(lines)):
        if len(lines[i]) >= 233:
            fail(name, "line %d has %d characters" % (i + 1, len(lines[i])))
    mnems = {}
    decode = {}
    for i in body:
        l = lines[i]
        mn = first_token(l)
        if ";" not in l:
            fail(name, "line %d has no ';'" % (i + 1))
            continue
        if "vantis" in l[:12].lower() or "identifier" in l[:12].lower():
            fail(name, "line %d would be refused as a header line" % (i + 1))
        if cl.search(mn) != i:
            fail(name, "typing %s selects line %d, not its own line" % (mn, (cl.search(mn) or 0) + 1))
        after = l.split(";", 1)[1]
        if not re.match(r"\s*\d+", after):
            fail(name, "line %d: no argument byte count after ';'" % (i + 1))
        marked = l[105:108] == " H "  # the hazard column, right after the argument count
        if (" h " in l.lower()) != marked:
            fail(name, "line %d: blank-H-blank found outside the hazard column" % (i + 1))
        mnems[mn] = i
        parts = l.split()
        if len(parts) > 1 and read_i(parts[1]) not in (None, 0):
            decode.setdefault(read_i(parts[1]), mn)
    for need in ("systemnop", "IDPUEEPROMLoad", "IDPUMemoryLoad", "setSTEThreshold"):
        if need not in mnems:
            fail(name, "command %s missing" % need)
    # every base APID is named by the command decode table and by the event log's second-word search
    for apid, mn in decode.items():
        if not (0x200 <= apid <= 0x27F or 0x300 <= apid <= 0x37F):
            fail(name, "%s: packet identifier 0x%X outside the suite ranges" % (mn, apid))
        key = "%03X" % apid
        hit = next((i for i in range(len(lines)) if len(lines[i].split()) > 1 and
                    ci_find(lines[i].split()[1], key) >= 0), None)
        if hit is None or first_token(lines[hit]) != mn:
            fail(name, "event log names APID %s by line %s, not %s" % (key, hit and hit + 1, mn))
    # encode every command with filler arguments and identify it back
    for mn, i in mnems.items():
        try:
            # filler arguments that no sub-command line names; a command whose template carries no
            # function code takes its first argument as the code, so it gets a small one
            args = ["238"] * cl.args_of(i)
            if args and not cl.encode(mn)[1]:
                args[0] = "3"
            pid, data = cl.encode(mn + " " + " ".join(args))
        except ValueError as e:
            fail(name, "%s does not encode: %s" % (mn, e))
            continue
        if pid is None:
            fail(name, "%s encodes no packet identifier" % mn)
            continue
        apid = pid & 0x7FF
        chain = []
        j = i
        while j is not None and j not in chain and len(chain) < 4:
            chain.append(j)
            toks = (cl.template(j) or "").split()
            nxt = next((t for t in toks if read_i(t) is None and not t.startswith('"')), None)
            j = cl.search(nxt) if nxt else None
        expect_haz = any(" h " in lines[k].lower() for k in chain)
        if expect_haz and " h " not in lines[i].lower():
            fail(name, "%s expands a hazardous command but carries no hazard mark itself" % mn)
        for seq_mode in (False, True):
            got, hz = cl.identify(apid, data, None if seq_mode else 98, None if seq_mode else 97, seq_mode)
            if seq_mode:
                if got != i:
                    fail(name, "a recorded %s is named %s" % (mn, first_token(lines[got]) if got else None))
            else:
                if hz != expect_haz:
                    fail(name, "hazard check of %s gives %s" % (mn, hz))
                if not hz and got != i:
                    fail(name, "%s is identified as %s" % (mn, first_token(lines[got]) if got else None))


# ---------------------------------------------------------------- configuration, scripts, stored SCMs

def cfg_value(line):
    if "=" not in line or not line.split("=")[0].strip():
        return ""
    v = line.split("=", 1)[1].lstrip(" ")
    return re.split(r"[ ;]", v)[0][:159]


def check_cfg(tlm_items, coef):
    name = "cfg/korvex.cfg"
    lines = read_lines(os.path.join(ROOT, "cfg", "korvex.cfg"))
    if len(lines) != 27:
        fail(name, "%d lines, expected 27" % len(lines))
        return
    v = [cfg_value(l) for l in lines]
    for k in (2, 3, 7, 10):
        if not v[k - 1].isdigit() or not 0 < int(v[k - 1]) < 65536:
            fail(name, "line %d must hold a port number" % k)
    if v[25] != "0":
        fail(name, "line 26 (automatic recording) must be 0")
    btn = os.path.join(ROOT, "cfg", v[7])
    if not os.path.isfile(btn):
        fail(name, "command-button file %s missing" % v[7])
    else:
        b = read_lines(btn)
        if len(b) < 16 or any(not x.strip() for x in b[:16]):
            fail("cfg/" + v[7], "needs 16 non-empty command lines")
    name = "cfg/drev.cfg"
    lines = read_lines(os.path.join(ROOT, "cfg", "drev.cfg"))
    if len(lines) != 41:
        fail(name, "%d lines, expected 41" % len(lines))
        return
    d = []
    for i, l in enumerate(lines):
        m = re.match(r"[^=]*=\s*(.*)", l)
        if not m or not m.group(1):
            fail(name, "line %d has no value after '='" % (i + 1))
            d.append("")
        else:
            d.append(m.group(1)[:99])
    if d[0] != "127.0.0.1" or d[1] != v[6]:
        fail(name, "server must be the station's local telemetry server 127.0.0.1:%s" % v[6])
    scale, off = c_strtod(d[27]), c_strtod(d[28])
    for nm in ("IDREVSTE12V", "IDREVSTEDVCC1", "IDREVSTED5VD"):
        if nm in tlm_items:
            f = tlm_items[nm][1]
            if c_strtod(f[5]) != scale or c_strtod(f[6]) != off:
                fail(name, "lines 28-29 must equal the gain and offset of %s" % nm)
    if coef.get("YSI") and [c_strtod(x) for x in d[32:38]] != coef["YSI"]:
        fail(name, "lines 33-38 must equal the thermistor coefficients of VANTIS_tlm.txt")
    if coef.get("RTD") and [c_strtod(x) for x in d[38:41]] != coef["RTD"]:
        fail(name, "lines 39-41 must equal the platinum sensor coefficients of VANTIS_tlm.txt")
    if coef.get("CUR") and [c_strtod(x) for x in d[29:32]] != coef["CUR"][3:6]:
        fail(name, "lines 30-32 must equal the analyzer current coefficients of VANTIS_tlm.txt")


def check_cmd():
    cmd = os.path.join(ROOT, "cmd")
    if not os.path.isfile(os.path.join(cmd, "mocset.cmd")):
        fail("cmd", "mocset.cmd missing")
    else:
        body = [l.split(";")[0].strip() for l in read_lines(os.path.join(cmd, "mocset.cmd"))]
        if not any(re.sub(r"[\s(]", "", l.lower()).startswith("setmoc") for l in body):
            fail("cmd/mocset.cmd", "no 'set moc' line")
    schs = [f for f in os.listdir(cmd) if f.lower().endswith(".sch")]
    if not schs:
        fail("cmd", "no schedule file")
    for f in schs:
        for i, l in enumerate(read_lines(os.path.join(cmd, f))):
            if l[:1].isdigit():
                if not re.match(r"\d{2} \d{2} \d{2} \d{2}:\d{2}:\d{2} \S", l):
                    fail("cmd/" + f, "line %d is not 'YY MM DD hh:mm:ss command'" % (i + 1))
    for sub in ("log", "pbf", "scm"):
        if not os.path.isdir(os.path.join(ROOT, sub)):
            fail(sub, "directory missing")


def check_scm():
    scm = os.path.join(ROOT, "scm")
    files = [f for f in os.listdir(scm) if f.lower().endswith(".scm")] if os.path.isdir(scm) else []
    if not files:
        fail("scm", "no stored SCM")
    for f in files:
        b = open(os.path.join(scm, f), "rb").read()
        where = "scm/" + f
        if len(b) < 133 + 7:
            fail(where, "shorter than a header and one packet")
            continue
        h = b[:133]
        if b[132] != 0x0C or not all(32 <= c < 127 for c in h[:132]):
            fail(where, "header bytes 0-131 must be printable and byte 132 must be 0x0C")
        if h[4:10].decode("latin-1") != "%06d" % (len(b) - 14):
            fail(where, "length field %r, expected %06d" % (h[4:10], len(b) - 14))
        if not h[27:29].isdigit():
            fail(where, "packet count field is not two digits")
            continue
        p, npk = 133, 0
        while p < len(b):
            if p + 6 > len(b):
                fail(where, "%d stray bytes after packet %d" % (len(b) - p, npk))
                break
            ln = b[p + 4] * 256 + b[p + 5] + 7
            pk = b[p:p + ln]
            if len(pk) != ln or sum(pk) % 256:
                fail(where, "packet %d is cut short or its 8-bit sum is not 0" % (npk + 1))
                break
            npk += 1
            p += ln
        if npk != int(h[27:29]):
            fail(where, "header announces %s packets, file holds %d" % (h[27:29], npk))


def check_text_files():
    """Every text file: bare line feeds, a final line feed, lines under 233 characters."""
    for sub in ("cfg", "database", "cmd"):
        d = os.path.join(ROOT, sub)
        for f in sorted(os.listdir(d)) if os.path.isdir(d) else []:
            p = os.path.join(d, f)
            if not os.path.isfile(p) or f.startswith("."):
                continue
            for i, l in enumerate(read_lines(p)):
                if len(l) >= 233:
                    fail("%s/%s" % (sub, f), "line %d has %d characters (must be under 233)" % (i + 1, len(l)))


def main():
    try:
        check_text_files()
        tlm_items, coef, mask = check_tlm()
        tlm_slots = read_lines(os.path.join(DB, "VANTIS_tlm.txt"))
        tlm_slots = tlm_slots[:next((i for i, l in enumerate(tlm_slots) if ci_find(l, "Total Bytes") >= 0),
                                    len(tlm_slots))]
        _, sep_slots = check_sep(tlm_slots)
        check_brimlet(tlm_slots, sep_slots)
        check_spacecraft()
        check_apd()
        check_err()
        check_seq(mask)
        check_tbl()
        check_ctm()
        check_cfg(tlm_items, coef)
        check_cmd()
        check_scm()
    except (OSError, IndexError, ValueError, KeyError) as e:
        fail("station", "cannot be checked: %s: %s" % (type(e).__name__, e))
    seen = set()
    for e in errors:
        if e not in seen:
            print("FAIL " + e)
            seen.add(e)
    if errors:
        print("%d violation(s)" % len(errors))
        return 1
    print("station directory OK")
    return 0


if __name__ == "__main__":
    sys.exit(main())
