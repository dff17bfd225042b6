// Screen layouts (".srd" files under cfg/): the main window's size and state, then the position
// and visibility of each child panel in a fixed order, as 372 signed 32-bit words.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace korvex {

constexpr std::size_t kSrdWords = 372;
constexpr std::size_t kSrdBytes = kSrdWords * 4;
constexpr std::size_t kSrdMainWords = 3;                           // width, height, zoom
constexpr std::size_t kSrdPanels = (kSrdWords - kSrdMainWords) / 3;  // top, left, visible each
using Srd = std::array<std::int32_t, kSrdWords>;

struct PanelPlace {
  int top = 0, left = 0, visible = 0;
};
struct ScreenLayout {
  int width = 0, height = 0, zoom = 0;
  std::vector<PanelPlace> panels;  // in the fixed panel order
};

// The record of a layout (panels beyond the record's room are left out; words after the last
// panel are 0).
Srd PackLayout(const ScreenLayout& l);
// The layout a record describes for n panels.
ScreenLayout UnpackLayout(const Srd& srd, std::size_t n);

// The file's bytes (little-endian words) over the record: a file shorter than a whole record
// leaves the words it does not reach as they were; bytes beyond it are ignored.
void ReadSrd(const std::vector<std::uint8_t>& bytes, Srd* srd);
std::vector<std::uint8_t> SrdBytes(const Srd& srd);

// The layout file a "page" line names: "cfg/" + the compact form after "page" (and after a "="
// right behind it) + ".srd" unless the line holds ".srd". Empty when the name would leave cfg/.
std::string PageFile(const std::string& compact);

}  // namespace korvex
