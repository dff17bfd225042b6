// Files written by the simulator (mocsim --write) read back by tallox: the faults the simulator
// injected are the faults the scan counts, and the values it put in engineering units are the
// values the housekeeping export shows, in either byte order.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "cli/batch.h"
#include "test_util.h"

namespace fs = std::filesystem;
using tallox::test::TempPath;

namespace {

bool WriteWithMocsim(const std::string& order, const std::string& out) {
  const std::string cmd = std::string(TALLOX_MOCSIM) + " --station " + TALLOX_STATION_DIR +
                          " --count 300 --apids 200,209,241 --start-time 1800000000 --step 1"
                          " --fault badck@40,apid@50=1A3,gap@100=2"
                          " --value IPollTimeMax=0.5 --value ICommandCount=17"
                          " --value SEPTNS_Temp=21.5 --order " + order + " --write " + out +
                          " >/dev/null 2>&1";
  (void)std::system(cmd.c_str());
  std::error_code ec;
  return fs::file_size(out, ec) == 300u * 298u;
}

std::string Batch(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  EXPECT_EQ(tallox::RunBatch(args, out, err), 0) << err.str();
  return out.str();
}

}  // namespace

TEST(TalloxMocsim, ScanCountsTheInjectedFaultsAndValuesRoundTrip) {
  if (!fs::exists(TALLOX_MOCSIM) || !fs::exists(fs::path(TALLOX_STATION_DIR) / "database" / "sep_hkg.txt"))
    GTEST_SKIP() << "the simulator or the sample database is not built here";
  const std::string tx = TempPath("mocsim_tx.tlm"), sw = TempPath("mocsim_sw.tlm");
  ASSERT_TRUE(WriteWithMocsim("tx", tx));
  ASSERT_TRUE(WriteWithMocsim("swapped", sw));

  const std::string a = Batch({"scan", tx}), b = Batch({"scan", sw, "--no-swap"});
  EXPECT_EQ(a, b);
  EXPECT_NE(a.find("Checksum errors: 1\n"), std::string::npos) << a;
  EXPECT_NE(a.find("Invalid ApIDs: 1\n"), std::string::npos);
  EXPECT_NE(a.find("Sequence gaps: 1\n"), std::string::npos);
  EXPECT_NE(a.find("Errors 209: 2\n"), std::string::npos);
  EXPECT_NE(a.find("Total packets: 300\n"), std::string::npos);

  const std::string o1 = TempPath("mocsim_hk1.txt"), o2 = TempPath("mocsim_hk2.txt");
  Batch({"hk", tx, "--db", TALLOX_STATION_DIR, "--points", "IPollTimeMax,ICommandCount", "--out", o1});
  Batch({"hk", sw, "--no-swap", "--db", TALLOX_STATION_DIR, "--points", "IPollTimeMax,ICommandCount",
         "--out", o2});
  const std::string t1 = tallox::test::ReadText(o1), t2 = tallox::test::ReadText(o2);
  EXPECT_EQ(t1.substr(t1.find("Time,UTC")), t2.substr(t2.find("Time,UTC")));
  EXPECT_NE(t1.find("JAN/15/2027 08:00:00 \t0.500000 \t17.000000 \n"), std::string::npos) << t1;

  const std::string o3 = TempPath("mocsim_sep.txt");
  Batch({"hk", sw, "--no-swap", "--sep", "--db", TALLOX_STATION_DIR, "--points", "SEPTNS_Temp", "--out", o3});
  EXPECT_NE(tallox::test::ReadText(o3).find("\t21.500000 \n"), std::string::npos);
}
