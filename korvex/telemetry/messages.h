// Texts of the telemetry module, as the operator sees them.
#pragma once

namespace korvex::msg {

inline constexpr const char* kSpacecraftResumed = "SPACECRAFT TELEMETRY RESUMED!";
// Spacecraft limit alarms use the upper-case colour prefixes.
inline constexpr const char* kSpcRed = "\033fgFF0000";
inline constexpr const char* kSpcYellow = "\033fgFFFF00";

}  // namespace korvex::msg
