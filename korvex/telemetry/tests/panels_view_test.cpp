// The telemetry panels on the widget view (offscreen): rendered with live values and alarms.
// KORVEX_SHOTS=DIR keeps the images.
#include <QImage>
#include <set>

#include "core/tests/window_fixture.h"
#include "telemetry/tests/hk_records.h"

using namespace korvex;
using namespace korvex::testing;

namespace {

using TelemetryView = WindowStationTest;

}  // namespace

TEST_F(TelemetryView, PanelsWithLiveValuesAndAlarms) {
  auto lines = CfgLines();
  lines[15] = "Alim = 1";
  WriteFile(dir / "cfg/korvex.cfg", Join(lines));
  ASSERT_EQ(Start(), kStarted);
  Program& p = P();
  for (int i = 0; i < 6; ++i) {
    Frame f = Nominal();
    Put16(f, 104, 2000 + i);   // ISTEU12V 8 V: red low
    Put16(f, 102, 2550);       // ISTEU5VA 5.1 V
    Put16(f, 96, 1600);        // ISTEUVCCA 3.2 V
    Put16(f, 98, 2500);
    Put16(f, 100, 1500);
    Put16(f, 106, 900);
    Put16(f, 92, 1100);
    Put16(f, 94, 1700);
    Put16(f, 90, 1800);
    Put16(f, 16, 20000);       // IPollTimeMax 0.64 s: yellow high
    f[42] = 120;               // IVANTIS_SSR 48 %
    f[12] = 0x5B;
    f[13] = 0xC1;
    f[23] = 2;                 // an error reported
    f[21] = 17;
    f[231] = 120;
    Put16(f, 240, 3500);
    HandleRecord(Record(0x200, f).data());
  }
  Frame t{};
  t[10] = 1;
  for (int i = 0; i < 200; ++i) t[static_cast<std::size_t>(15 + i)] = static_cast<std::uint8_t>(i * 7);
  HandleRecord(Record(0x201, t).data());
  t[10] = 0;
  t[11] = 0;
  t[12] = 2;
  HandleRecord(Record(0x201, t).data());
  Frame s{};
  s[12] = 0x5D;
  s[13] = 0xC0;  // 24 V: red low
  s[14] = 0x03;
  s[15] = 0x20;
  s[24] = 0xA0;
  for (int i = 0; i < 3; ++i) HandleRecord(Record(0x00B, s).data());

  const char* keep = std::getenv("KORVEX_SHOTS");
  const fs::path shots = keep ? fs::path(keep) : dir / "shots";
  fs::create_directories(shots);
  std::vector<std::pair<std::string, int>> panels;
  for (const HkPanelDef& def : HkPanels()) {
    auto it = p.db.byName.find(def.names.front());
    ASSERT_NE(it, p.db.byName.end());
    panels.push_back({def.title, it->second.front().panel});
  }
  panels.push_back({"table1", p.db.tablePanels[0]});
  panels.push_back({"memory", p.db.memoryPanel});
  panels.push_back({"spacecraft1", p.db.spcPanels[0]});
  panels.push_back({"mask", p.db.maskPanel});
  for (auto& [name, h] : panels) DisplayPanel(h);
  rte::DrainDeferred();
  for (auto& [name, h] : panels) {
    std::string file = name;
    for (char& c : file)
      if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    std::string png = (shots / (file + ".png")).string();
    ASSERT_EQ(rte::SavePanelImage(h, png), 0) << name;
    QImage img(QString::fromStdString(png));
    ASSERT_FALSE(img.isNull()) << name;
    std::set<QRgb> colours;
    for (int y = 0; y < img.height(); y += 3)
      for (int x = 0; x < img.width(); x += 3) colours.insert(img.pixel(x, y));
    EXPECT_GT(colours.size(), 3u) << name << " looks empty";
  }
}
