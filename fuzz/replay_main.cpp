// Replay driver for the fuzz targets when they are not built with libFuzzer: every file of the
// folders given, then 2000 pseudo-random inputs of a fixed seed (random bytes, and mutations of
// the seed files), through the target once each.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
  std::vector<std::vector<std::uint8_t>> seeds;
  for (int i = 1; i < argc; ++i) {
    std::error_code ec;
    for (const auto& e : std::filesystem::recursive_directory_iterator(argv[i], ec)) {
      if (!e.is_regular_file()) continue;
      std::ifstream in(e.path(), std::ios::binary);
      seeds.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
  }
  for (const auto& s : seeds) LLVMFuzzerTestOneInput(s.data(), s.size());
  std::mt19937 rng(20261208);
  for (int i = 0; i < 2000; ++i) {
    std::vector<std::uint8_t> in;
    if (!seeds.empty() && i % 2 == 0) {
      in = seeds[rng() % seeds.size()];
      int flips = 1 + static_cast<int>(rng() % 16);
      for (int k = 0; k < flips && !in.empty(); ++k) in[rng() % in.size()] = static_cast<std::uint8_t>(rng());
      if (rng() % 4 == 0 && !in.empty()) in.resize(rng() % in.size());
    } else {
      in.resize(rng() % 4096);
      for (auto& b : in) b = static_cast<std::uint8_t>(rng());
    }
    LLVMFuzzerTestOneInput(in.data(), in.size());
  }
  std::printf("%zu seed inputs and 2000 generated inputs ran without a fault\n", seeds.size());
  return 0;
}
