// Texts of the telemetry module, as the operator sees them.
#pragma once

namespace korvex::msg {

inline constexpr const char* kSpacecraftResumed = "SPACECRAFT TELEMETRY RESUMED!";

}  // namespace korvex::msg
