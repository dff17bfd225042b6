// A station test with the widget view attached (offscreen in the test runs), and a check that a
// saved panel image shows what was drawn.
#pragma once

#include <QImage>
#include <QString>

#include <set>
#include <string>

#include "core/tests/station_fixture.h"

namespace korvex::testing {

class WindowStationTest : public StationTest {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "korvex_window_tests";
    static char* argv[] = {name, nullptr};
    rte::AppOptions o;
    o.headless = false;
    rte::StartApp(argc, argv, o);
  }
};

// Distinct colours in a PNG (every third pixel): a panel drawn with its controls has many, an
// empty one few.
inline int ImageColours(const std::string& png) {
  QImage img(QString::fromStdString(png));
  std::set<unsigned> c;
  for (int y = 0; y < img.height(); y += 3)
    for (int x = 0; x < img.width(); x += 3) c.insert(img.pixel(x, y));
  return static_cast<int>(c.size());
}

}  // namespace korvex::testing
