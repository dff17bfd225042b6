// The panels of tallox driven as a user would: through the controls' callbacks, with the widget
// view attached on the offscreen platform, and screenshots of the main panels with a file loaded.
#include <gtest/gtest.h>

#include <QImage>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <set>

#include "../../rte/qt/internal.h"
#include "rte/app.h"
#include "rte/rte.h"
#include "src/gui.h"
#include "src/uir_ids.h"
#include "test_util.h"

namespace fs = std::filesystem;
using namespace tallox;
using tallox::gui::S;
using tallox::test::Pkt;
using tallox::test::TempPath;

namespace {

const char* kSuite =
    "1\n2\n3\n4\n5\n"
    "IHKWord\t2\t20\tx\t0\t0.5\t1\tV\n"
    "ISTEUDig\t1\t40\tx\t0\t1\t0\n"
    "Checksum\n"
    "YSI\n a 1\n b 0\n c 0\n d 0\n e 0\n f 0\nRTD\n a 0\n b 1\n c 0\n"
    "MAG\n a 0\n b 1\n c 0\n d 0\n e 0\n f 0\n"
    "IDREVSTEDCur and ISTEUCur conversions\n1\n2\n3\nuA 1\nuB 1\nuC 1\ndA 1\ndB 1\ndC 1\n";
const char* kSep = "1\n2\n3\n4\n5\nSEPTemp\t2\t12\tx\t0\t0.25\t-10\tC\nChecksum\n";

// A file with every display in it: housekeeping, MAG, fast housekeeping, bursts, a gap and a
// checksum error.
std::string MakeFile(const std::string& name) {
  std::vector<Pkt> v;
  for (int i = 0; i < 600; ++i) {
    const std::uint32_t t = 1500000000u + static_cast<std::uint32_t>(i) * 2u;
    Pkt hk;
    hk.apid = 0x200;
    hk.seq = static_cast<unsigned>(i + (i >= 300 ? 1 : 0));
    hk.sec = t;
    hk.be16(12, ((i / 1800) << 12) | (((i / 30) % 60) << 6) | ((2 * i) % 60));
    hk.be16(16, 1000 + 10 * i);
    hk.be16(20, static_cast<unsigned>(200 + 100 * std::sin(i / 40.0)));
    hk.byte(41, static_cast<unsigned>((i / 50) % 4) << 4);
    v.push_back(hk);
    Pkt mag;
    mag.apid = i % 2 ? 0x209 : 0x208;
    mag.seq = static_cast<unsigned>(i / 2);
    mag.sec = t;
    mag.frac = 128;
    for (int k = 0; k < 42; ++k) {
      mag.be16(18 + 6 * k, static_cast<unsigned>(32768 + 400 * std::sin((i + k) / 7.0)));
      mag.be16(20 + 6 * k, static_cast<unsigned>(32768 + 300 * std::cos((i + k) / 9.0)));
      mag.be16(22 + 6 * k, static_cast<unsigned>(32768 - 200 + k * 5));
    }
    mag.badChecksum = i == 77;
    v.push_back(mag);
    if (i % 3 == 0) {
      Pkt f;
      f.apid = 0x214;
      f.seq = static_cast<unsigned>(i / 3);
      f.sec = t;
      f.frac = static_cast<std::uint8_t>(i % 2 ? 64 : 0);
      const unsigned start = (i / 3) % 3 == 0 ? 336 : ((i / 3) % 3 == 1 ? 208 : 80);
      f.be16(12, start);
      for (int k = 0; k < 128; ++k)
        f.be16(14 + 2 * k, (k == 0 ? 8u << 12 : 0u) |
                               (static_cast<unsigned>(2048 + 1500 * std::sin((336 - start + k) / 30.0)) & 0xFFF));
      v.push_back(f);
    }
    Pkt sep;
    sep.apid = 0x241;
    sep.seq = static_cast<unsigned>(i);
    sep.sec = t + 1;
    sep.le16(12, 100 + static_cast<unsigned>(i % 50));
    v.push_back(sep);
  }
  const std::string path = TempPath(name);
  tallox::test::WriteRecords(path, v);
  return path;
}

class TalloxGui : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "tallox_gui_tests";
    static char* argv[] = {name, nullptr};
    rte::AppOptions o;
    o.headless = false;  // the widget view on the offscreen platform
    rte::StartApp(argc, argv, o);
  }
  void SetUp() override {
    tallox::gui::Reset();
    popups_.quiet = true;
    rte::SetPopupBackend(&popups_);
    std::string err;
    ASSERT_TRUE(tallox::gui::LoadPanels(TALLOX_UI_DIR, &err)) << err;
    db_ = TempPath("gui_db");
    fs::create_directories(fs::path(db_) / "database");
    tallox::test::WriteText((fs::path(db_) / "database" / "VANTIS_TLM.txt").string(), kSuite);
    tallox::test::WriteText((fs::path(db_) / "database" / "sep_hkg.txt").string(), kSep);
  }
  void TearDown() override { rte::SetPopupBackend(nullptr); }

  int Click(int panel, int control) { return rte::SendEvent(panel, control, EVENT_COMMIT); }
  double Num(int panel, int control) {
    double v = -1;
    GetCtrlVal(panel, control, &v);
    return v;
  }
  std::string Str(int panel, int control) {
    std::string v;
    GetCtrlVal(panel, control, &v);
    return v;
  }
  void Choose(const std::string& path) {
    popups_.queue(path);
    Click(S().panelMain, MAIN_SELECT);
  }

  rte::ScriptedPopups popups_;
  std::string db_;
};

}  // namespace

TEST_F(TalloxGui, DatabaseFillsTheSelectorsAndMissingTablesAreReported) {
  tallox::gui::InitDatabase(db_);
  int n = 0;
  GetNumListItems(S().panelHkPlot, HKPLOT_SEL_0, &n);
  EXPECT_EQ(n, 4);  // -NULL-, IHKWord, ISTEUDig, STEUDoor
  std::string label;
  GetLabelFromIndex(S().panelHkPlot, HKPLOT_SEL_0 + 9, 3, &label);
  EXPECT_EQ(label, "STEUDoor");
  GetNumListItems(S().panelSepPlot, SEPPLOT_SEL_0, &n);
  EXPECT_EQ(n, 2);
  EXPECT_TRUE(popups_.transcript().empty());

  tallox::gui::InitDatabase(TempPath("no_tables_here"));
  ASSERT_FALSE(popups_.transcript().empty());
  EXPECT_EQ(popups_.transcript().back().title, "ERROR");
  EXPECT_EQ(popups_.transcript().back().text, "Cannot open telemetry database file VANTIS_TLM.txt");
  GetNumListItems(S().panelHkPlot, HKPLOT_SEL_0, &n);
  EXPECT_EQ(n, 1);  // only -NULL-
}

TEST_F(TalloxGui, SelectScanAndBrowse) {
  const std::string path = MakeFile("gui_scan.tlm");
  int dimmed = 0;
  GetCtrlAttribute(S().panelMain, MAIN_SCAN, ATTR_DIMMED, &dimmed);
  EXPECT_EQ(dimmed, 1);
  Choose(path);
  EXPECT_EQ(Str(S().panelMain, MAIN_FILE), path);
  GetCtrlAttribute(S().panelMain, MAIN_SCAN, ATTR_DIMMED, &dimmed);
  EXPECT_EQ(dimmed, 0);

  Click(S().panelMain, MAIN_SCAN);
  EXPECT_EQ(Num(S().panelScan, SCAN_COUNT_0), 600);   // 0x200
  EXPECT_EQ(Num(S().panelScan, SCAN_ERR_0), 1);       // the gap
  EXPECT_EQ(Num(S().panelScan, SCAN_ERR_0 + 2 * 5), 1);  // 0x209's checksum error
  EXPECT_EQ(Num(S().panelScan, SCAN_GAPS), 1);
  EXPECT_EQ(Num(S().panelScan, SCAN_CHKERR), 1);
  EXPECT_EQ(Str(S().panelMain, MAIN_START), GetTime1(1500000000u));
  EXPECT_EQ(Str(S().panelMain, MAIN_END), GetTime1(1500000000u + 1198u + 1u));

  // Packet panel: record 1 is the first 0x208.
  Click(S().panelMain, MAIN_PACKETS);
  Click(S().panelPacket, PACKET_NEXT);
  Click(S().panelPacket, PACKET_NEXT);
  EXPECT_EQ(Num(S().panelPacket, PACKET_PNUM), 1);
  EXPECT_EQ(Num(S().panelPacket, PACKET_APID), 0x208);
  int colour = 0;
  GetCtrlAttribute(S().panelPacket, PACKET_CHECKSUM, ATTR_TEXT_COLOR, &colour);
  EXPECT_EQ(colour, 0x00A000);
  EXPECT_EQ(Num(S().panelMag, MAG_PNUM), 1);
  // The checksum error is found and shown in red.
  SetCtrlIndex(S().panelPacket, PACKET_FINDKIND, 0);
  Click(S().panelPacket, PACKET_FINDNEXT);
  GetCtrlAttribute(S().panelPacket, PACKET_CHECKSUM, ATTR_TEXT_COLOR, &colour);
  EXPECT_EQ(colour, VAL_RED);
  EXPECT_EQ(Num(S().panelPacket, PACKET_APID), 0x209);
  Click(S().panelPacket, PACKET_NEXTHKP);
  EXPECT_EQ(Num(S().panelPacket, PACKET_APID), 0x200);
  EXPECT_EQ(Num(S().panelHkp, HKP_PNUM), Num(S().panelPacket, PACKET_PNUM));
  rte::UserSetValue(S().panelPacket, PACKET_PNUM, 0.0);
  Click(S().panelPacket, PACKET_BACK);
  EXPECT_EQ(Num(S().panelPacket, PACKET_PNUM), 0);
}

TEST_F(TalloxGui, WindowFieldsThatDoNotParseAreReported) {
  Choose(MakeFile("gui_window.tlm"));
  SetCtrlVal(S().panelMain, MAIN_WHOLE, 0);
  SetCtrlVal(S().panelMain, MAIN_START, "last tuesday");
  SetCtrlVal(S().panelMain, MAIN_END, GetTime1(1600000000u));
  Click(S().panelMain, MAIN_SCAN);
  ASSERT_FALSE(popups_.transcript().empty());
  EXPECT_EQ(popups_.transcript().back().title, "ERROR");
  EXPECT_NE(popups_.transcript().back().text.find("\"last tuesday\" cannot be read"), std::string::npos);
  EXPECT_EQ(Num(S().panelScan, SCAN_TOTAL), 0);
  // A good window counts what lies in it.
  SetCtrlVal(S().panelMain, MAIN_START, GetTime1(1500000100u));
  SetCtrlVal(S().panelMain, MAIN_END, GetTime1(1500000199u));
  Click(S().panelMain, MAIN_SCAN);
  EXPECT_EQ(Num(S().panelScan, SCAN_COUNT_0), 50);
}

// The panels report what the batch verbs report: a start after the end, a window with no record,
// an empty file, a file that is no recording.
TEST_F(TalloxGui, WindowsAndFilesWithNothingToShowAreSaid) {
  Choose(MakeFile("gui_window_exact.tlm"));
  SetCtrlVal(S().panelMain, MAIN_WHOLE, 0);
  SetCtrlVal(S().panelMain, MAIN_START, GetTime1(1400000000u));  // before the recording
  SetCtrlVal(S().panelMain, MAIN_END, GetTime1(1400000100u));
  Click(S().panelMain, MAIN_SCAN);
  ASSERT_FALSE(popups_.transcript().empty());
  EXPECT_EQ(popups_.transcript().back().text, "No record in the window");
  EXPECT_EQ(Num(S().panelScan, SCAN_TOTAL), 0);
  SetCtrlVal(S().panelMain, MAIN_START, GetTime1(1500000200u));
  SetCtrlVal(S().panelMain, MAIN_END, GetTime1(1500000100u));
  Click(S().panelMain, MAIN_SCAN);
  EXPECT_EQ(popups_.transcript().back().title, "ERROR");
  EXPECT_NE(popups_.transcript().back().text.find("is after the end time"), std::string::npos);

  SetCtrlVal(S().panelMain, MAIN_WHOLE, 1);
  const std::string empty = TempPath("gui_empty.tlm");
  tallox::test::WriteText(empty, "");
  Choose(empty);
  Click(S().panelMain, MAIN_SCAN);
  EXPECT_EQ(popups_.transcript().back().text, "No record in the file");
  const std::string notes = TempPath("gui_notes.txt");
  tallox::test::WriteText(notes, std::string(20 * 298, 'x'));
  Choose(notes);
  Click(S().panelMain, MAIN_SCAN);
  EXPECT_EQ(popups_.transcript().back().title, "WARNING");
  EXPECT_EQ(popups_.transcript().back().text.rfind("20 of 20 records hold no telemetry packet header", 0), 0u);
}

TEST_F(TalloxGui, HousekeepingPlotAndSave) {
  tallox::gui::InitDatabase(db_);
  const std::string path = MakeFile("gui_hk.tlm");
  Choose(path);
  Click(S().panelMain, MAIN_HKPLOT);
  SetCtrlIndex(S().panelHkPlot, HKPLOT_SEL_0, 1);      // IHKWord
  SetCtrlIndex(S().panelHkPlot, HKPLOT_SEL_0 + 3, 3);  // STEUDoor
  SetCtrlVal(S().panelHkPlot, HKPLOT_ROWS, 10);
  Click(S().panelHkPlot, HKPLOT_PLOT);
  EXPECT_EQ(Num(S().panelHkPlot, HKPLOT_SAMPLES), 600);
  EXPECT_GT(Num(S().panelHkPlot, HKPLOT_YMAX), Num(S().panelHkPlot, HKPLOT_YMIN));
  Click(S().panelHkPlot, HKPLOT_SAVE);
  const std::string text = tallox::test::ReadText(TempPath("gui_hk.txt"));
  EXPECT_EQ(text.rfind("ZEPHRA VANTIS Housekeeping Data\n", 0), 0u);
  EXPECT_NE(text.find("Time,UTC \tIHKWord \tSTEUDoor \n"), std::string::npos);
  // 600 samples, at most 10 rows: step 55 (600 / 55 = 10), which reaches sample 550: 11 rows.
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 4 + 11);
}

TEST_F(TalloxGui, ALongScanShowsProgressAndCanBeCancelled) {
  std::vector<Pkt> v(60000);
  for (std::size_t i = 0; i < v.size(); ++i) v[i].seq = static_cast<unsigned>(i);
  const std::string path = TempPath("gui_long.tlm");
  tallox::test::WriteRecords(path, v);
  Choose(path);
  // While the scan runs, the user looks at the progress panel and presses Cancel.
  const std::string png = TempPath("progress.png");
  bool pressed = false;
  int visible = 0;
  QTimer::singleShot(0, [&] {
    GetPanelAttribute(S().panelProgress, ATTR_VISIBLE, &visible);
    rte::view::FlushNow();
    rte::view::GrabPanel(S().panelProgress, png);
    pressed = Click(S().panelProgress, PROGRESS_CANCEL) >= 0;
  });
  Click(S().panelMain, MAIN_SCAN);
  EXPECT_TRUE(pressed);
  EXPECT_EQ(visible, 1);
  EXPECT_EQ(S().lastMessage, "Cancelled");
  EXPECT_LT(Num(S().panelScan, SCAN_COUNT_0), 60000);
  EXPECT_GT(Num(S().panelProgress, PROGRESS_PERCENT), 0);
  GetPanelAttribute(S().panelProgress, ATTR_VISIBLE, &visible);
  EXPECT_EQ(visible, 0);
  EXPECT_FALSE(S().busy);
  if (const char* keep = std::getenv("TALLOX_SHOTS"))
    fs::copy_file(png, fs::path(keep) / "progress.png", fs::copy_options::overwrite_existing);
  // The next scan runs to the end.
  Click(S().panelMain, MAIN_SCAN);
  EXPECT_EQ(Num(S().panelScan, SCAN_COUNT_0), 60000);
}

// Renders the panels with the file loaded; TALLOX_SHOTS=DIR keeps the pictures.
TEST_F(TalloxGui, ScreenshotsOfThePanelsWithAFileLoaded) {
  tallox::gui::InitDatabase(db_);
  Choose(MakeFile("gui_shots.tlm"));
  Click(S().panelMain, MAIN_SCAN);
  Click(S().panelMain, MAIN_PACKETS);
  for (int i = 0; i < 4; ++i) Click(S().panelPacket, PACKET_NEXT);
  Click(S().panelMain, MAIN_MAG);
  Click(S().panelMain, MAIN_TIMING);
  SetCtrlVal(S().panelTiming, TIMING_APID, 0x214);
  Click(S().panelTiming, TIMING_START);
  Click(S().panelMain, MAIN_RATES);
  Click(S().panelRates, RATES_PLOT);
  Click(S().panelMain, MAIN_HKPLOT);
  SetCtrlIndex(S().panelHkPlot, HKPLOT_SEL_0, 1);
  SetCtrlIndex(S().panelHkPlot, HKPLOT_SEL_0 + 2, 3);
  Click(S().panelHkPlot, HKPLOT_PLOT);
  Click(S().panelMain, MAIN_SEPPLOT);
  SetCtrlIndex(S().panelSepPlot, SEPPLOT_SEL_0, 1);
  Click(S().panelSepPlot, SEPPLOT_PLOT);
  Click(S().panelMain, MAIN_BURST);
  Click(S().panelBurst, BURST_SCAN);
  Click(S().panelMain, MAIN_FHK);
  Click(S().panelMain, MAIN_HKP);
  Click(S().panelMain, MAIN_HKSTATS);
  for (int i = 0; i < 7; ++i) Click(S().panelPacket, PACKET_NEXTHKP);  // fast HK and HK displays

  const char* keep = std::getenv("TALLOX_SHOTS");
  const fs::path dir = keep ? fs::path(keep) : fs::path(TempPath("shots"));
  fs::create_directories(dir);
  rte::view::FlushNow();
  const std::pair<const char*, int> shots[] = {
      {"main", S().panelMain},     {"scan", S().panelScan},      {"packet", S().panelPacket},
      {"timing", S().panelTiming}, {"rates", S().panelRates},    {"hkplot", S().panelHkPlot},
      {"sepplot", S().panelSepPlot}, {"burst", S().panelBurst},  {"mag", S().panelMag},
      {"fhk", S().panelFhk},       {"hkp", S().panelHkp},        {"hkstats", S().panelHkStats}};
  for (const auto& [name, panel] : shots) {
    const std::string png = (dir / (std::string(name) + ".png")).string();
    ASSERT_EQ(rte::view::GrabPanel(panel, png), 0) << name;
    QImage img(QString::fromStdString(png));
    ASSERT_FALSE(img.isNull()) << name;
    std::set<QRgb> colours;
    for (int y = 0; y < img.height(); y += 4)
      for (int x = 0; x < img.width(); x += 4) colours.insert(img.pixel(x, y));
    EXPECT_GT(colours.size(), 3u) << name << " looks empty";
  }
}

namespace {
// MAG step packets (one per ten seconds), STE rate frames and STE spectra with a mode change.
std::string MakeScienceFile(const std::string& name) {
  std::vector<Pkt> v;
  auto recByte = [](Pkt& p, int k, unsigned b) { p.byte((k - 26) ^ 1, b); };
  for (int i = 0; i < 40; ++i) {
    const std::uint32_t t = 1500000000u + 10u * static_cast<std::uint32_t>(i) + (i >= 20 ? 100u : 0u);
    Pkt mag;
    mag.apid = 0x208;
    mag.seq = static_cast<unsigned>(i);
    mag.sec = t;  // a 100 s hole after 20 packets: two segments
    recByte(mag, 39, 8);                // a quarter second a sample
    for (int k = 0; k < 42; ++k) {
      const double u = k <= 8 ? 1.0 : 0.8 * std::exp(-(k - 8) / 3.0) + 0.2 * std::exp(-(k - 8) / 12.0);
      mag.be16(18 + 6 * k, static_cast<unsigned>(32768 + 300 + 500 * u));
      mag.be16(20 + 6 * k, static_cast<unsigned>(32768 - 200 - 300 * u));
      mag.be16(22 + 6 * k, static_cast<unsigned>(32768 + 100 + 50 * i));
    }
    v.push_back(mag);
    Pkt rate;
    rate.apid = 0x220;
    rate.seq = static_cast<unsigned>(i);
    rate.sec = t;
    recByte(rate, 38, 1);
    for (int f = 0; f < 10; ++f)
      for (int c = 0; c < 24; ++c) recByte(rate, 47 + 25 * f + c, static_cast<unsigned>(20 + c * 4 + (i + f) % 7));
    v.push_back(rate);
    Pkt spec;
    spec.apid = 0x222;
    spec.seq = static_cast<unsigned>(i);
    spec.sec = t;
    spec.frac2 = 4;               // 4 s accumulation
    recByte(spec, 38, 32);        // 32 energies
    recByte(spec, 39, i < 25 ? 1 : 2);
    for (int b = 0; b < 256; ++b) {
      const int e = b % 32;
      const double peaks = 60 * std::exp(-std::pow(e - 8, 2) / 4.5) + 40 * std::exp(-std::pow(e - 16, 2) / 4.5) +
                           25 * std::exp(-std::pow(e - 24, 2) / 4.5);
      recByte(spec, 41 + b, static_cast<unsigned>(std::min(31.0, 1 + peaks / 2)));
    }
    v.push_back(spec);
    Pkt hk;
    hk.sec = t;
    hk.seq = static_cast<unsigned>(i);
    recByte(hk, 97, static_cast<unsigned>(i % 10));  // falls every tenth record
    recByte(hk, 96, static_cast<unsigned>(50 + i));
    v.push_back(hk);
    Pkt dist;
    dist.apid = 0x210;
    dist.sec = t;
    recByte(dist, 38, static_cast<unsigned>(3 * (i % 5)));
    for (int k = 0; k < 256; ++k) recByte(dist, 41 + k, static_cast<unsigned>(10 + (k + i) % 20));
    v.push_back(dist);
    if (i % 10 == 0) {
      Pkt crit;
      crit.apid = 0x203;
      crit.sec = t;
      for (int q = 0; q < 32; ++q)
        for (int k = 0; k < 8; ++k) recByte(crit, 41 + 8 * q + k, static_cast<unsigned>(10 * k + q % 5));
      v.push_back(crit);
    }
  }
  const std::string path = TempPath(name);
  tallox::test::WriteRecords(path, v);
  return path;
}
}  // namespace

// The MAG and STE products driven through their panels; TALLOX_SHOTS=DIR keeps the pictures.
TEST_F(TalloxGui, MagAndSteProductsThroughThePanels) {
  const std::string path = MakeScienceFile("gui_sci.tlm");
  Choose(path);
  // The MAG packet: save and step fit.
  Click(S().panelMain, MAIN_PACKETS);
  SetCtrlVal(S().panelPacket, PACKET_PNUM, 6);  // the second MAG packet
  Click(S().panelPacket, PACKET_PNUM);
  Click(S().panelMain, MAIN_MAG);
  ASSERT_TRUE(S().magShown.has_value());
  Click(S().panelMag, MAG_SAVE);
  const std::string magText = tallox::test::ReadText(TempPath("gui_sci.txt"));
  EXPECT_NE(magText.find(", Packet 6, "), std::string::npos) << magText;
  EXPECT_NE(magText.find("\n 0\t   800.0\t  -500.0\t   150.0\n"), std::string::npos) << magText;
  Click(S().panelMag, MAG_FIT);
  EXPECT_NEAR(Num(S().panelMagFit, MAGFIT_STEP_X), -500, 2);
  EXPECT_NEAR(Num(S().panelMagFit, MAGFIT_OFFSET_X), 300, 2);
  EXPECT_NEAR(Num(S().panelMagFit, MAGFIT_TAU1_X), 0.75, 0.1);  // 3 samples of 0.25 s

  Click(S().panelMain, MAIN_MAGPLOT);
  Click(S().panelMagPlot, MAGPLOT_PLOT);
  EXPECT_EQ(Num(S().panelMagPlot, MAGPLOT_SAMPLES), 40 * 42);
  EXPECT_EQ(Num(S().panelMagPlot, MAGPLOT_YMAX), 2050);  // Z of the last packet: 100 + 50 * 39
  EXPECT_EQ(Num(S().panelMagPlot, MAGPLOT_YMIN), -500);
  int mode = -1;
  double lo = 0, hi = 0;
  Click(S().panelMagPlot, MAGPLOT_ZOOMIN);
  GetAxisScalingMode(S().panelMagPlot, MAGPLOT_GRAPH, VAL_LEFT_YAXIS, &mode, &lo, &hi);
  EXPECT_DOUBLE_EQ(hi - lo, 2550.0 / 2);
  Click(S().panelMagPlot, MAGPLOT_UP);
  GetAxisScalingMode(S().panelMagPlot, MAGPLOT_GRAPH, VAL_LEFT_YAXIS, &mode, &lo, &hi);
  EXPECT_DOUBLE_EQ((lo + hi) / 2, 775 + 2550.0 / 8);

  Click(S().panelMain, MAIN_STERATES);
  Click(S().panelSteRates, STERATES_PLOT);
  // 40 packets of ten frames; the last packet's frames after the end of the file are left out.
  EXPECT_EQ(Num(S().panelSteRates, STERATES_FRAMES), 391);
  int colour = 0;
  GetCtrlAttribute(S().panelSteRates, STERATES_CH_0 + 2, ATTR_ON_COLOR, &colour);
  EXPECT_EQ(colour, kTenColours[2]);

  Click(S().panelMain, MAIN_STESPEC);
  Click(S().panelSteSpec, STESPEC_ACC);
  EXPECT_EQ(Num(S().panelSteSpec, STESPEC_ACCTIME), 25 * 4);
  EXPECT_EQ(Str(S().panelSteSpec, STESPEC_END), GetTime1(1500000340u));
  Click(S().panelSteSpec, STESPEC_SAVE);
  EXPECT_NE(tallox::test::ReadText(TempPath("gui_sciSTE.txt")).find("100 seconds, Mode 1\n"), std::string::npos);
  Click(S().panelSteSpec, STESPEC_FITP);
  std::string first;
  GetTextBoxLine(S().panelSteFitP, STEFITP_RESULT, 0, &first);
  EXPECT_EQ(first.rfind("s = 8.0", 0), 0u) << first;  // the peaks sit 8 channels apart
  EXPECT_EQ(Str(S().panelSteFitP, STEFITP_MSG).rfind("Itt ", 0), 0u);
  Click(S().panelSteSpec, STESPEC_FIT);
  Click(S().panelSteSpec, STESPEC_NEXT);  // from 340 + 120 s on: the mode 2 packets after it
  EXPECT_EQ(Num(S().panelSteSpec, STESPEC_MODE), 2);
  EXPECT_EQ(Num(S().panelSteSpec, STESPEC_ACCTIME), 4 * 4);  // 460 s..490 s
  EXPECT_EQ(Str(S().panelMain, MAIN_START), GetTime1(1500000460u));
  EXPECT_EQ(Num(S().panelMain, MAIN_WHOLE), 0);
  SetCtrlVal(S().panelSteSpec, STESPEC_COMBINE, 1);
  SetCtrlVal(S().panelSteSpec, STESPEC_RATE, 1);
  Click(S().panelSteSpec, STESPEC_ACC);

  SetCtrlVal(S().panelMain, MAIN_WHOLE, 1);  // Next left a window; the whole file again
  Click(S().panelMain, MAIN_DREVRATES);
  Click(S().panelDrevRates, DREVRATES_PLOT);
  EXPECT_EQ(Num(S().panelDrevRates, DREVRATES_SAMPLES), 8);  // packets numbered 0: i = 0, 5, ..., 35
  Click(S().panelMain, MAIN_BURSTHK);
  Click(S().panelBurstHk, BURSTHK_CRIT);
  EXPECT_EQ(Num(S().panelBurstHk, BURSTHK_SAMPLES), 4 * 32);
  Click(S().panelBurstHk, BURSTHK_PLOT);
  EXPECT_EQ(Num(S().panelBurstHk, BURSTHK_SAMPLES), 40);
  SetGraphCursor(S().panelBurstHk, BURSTHK_GRAPH, 1, 1500000020.0, 52.0);
  rte::SendEvent(S().panelBurstHk, BURSTHK_GRAPH, EVENT_COMMIT);
  EXPECT_EQ(Str(S().panelBurstHk, BURSTHK_CURSOR), "Cursor at: " + GetTime1(1500000020u) + ", 52");

  const char* keep = std::getenv("TALLOX_SHOTS");
  const fs::path dir = keep ? fs::path(keep) : fs::path(TempPath("shots"));
  fs::create_directories(dir);
  rte::view::FlushNow();
  const std::pair<const char*, int> shots[] = {
      {"drevrates", S().panelDrevRates}, {"bursthk", S().panelBurstHk},
      {"magfit", S().panelMagFit},   {"magplot", S().panelMagPlot}, {"sterates", S().panelSteRates},
      {"stespec", S().panelSteSpec}, {"stefit", S().panelSteFit},   {"stefitp", S().panelSteFitP}};
  for (const auto& [name, panel] : shots) {
    const std::string png = (dir / (std::string(name) + ".png")).string();
    ASSERT_EQ(rte::view::GrabPanel(panel, png), 0) << name;
    QImage img(QString::fromStdString(png));
    ASSERT_FALSE(img.isNull()) << name;
  }
  Click(S().panelSteFit, STEFIT_HIDE);
  int visible = 1;
  GetPanelAttribute(S().panelSteFit, ATTR_VISIBLE, &visible);
  EXPECT_EQ(visible, 0);
}
