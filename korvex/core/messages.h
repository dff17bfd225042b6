// Texts of the station core, as the operator sees them.
#pragma once

namespace korvex::msg {

inline constexpr const char* kErrorTitle = "ERROR!";
inline constexpr const char* kNoConfig = "Can't find korvex.cfg!";
inline constexpr const char* kNoCmdFileTitle = "Can't find CMDx.cfg";
inline constexpr const char* kNoCmdFile = "Click OK to select file.";
inline constexpr const char* kFileNameTitle = "File Name";
inline constexpr const char* kNoErrDb = "Can't find error database file!";
inline constexpr const char* kNoApdDb = "Can't find APID database file!";
inline constexpr const char* kNoCmdDb = "Can't find command database file!";
inline constexpr const char* kEventLogTitle = "Event Log";
inline constexpr const char* kNoTelemetry = "NO TELEMETRY FOR 60 SECS!";
inline constexpr const char* kNoSpacecraftTelemetry = "NO SPACECRAFT TELEMETRY FOR 60 SECS!";
inline constexpr const char* kNotRecording = "Not Recording";
inline constexpr const char* kWaitForTelemetry = "Wait for telemetry";

}  // namespace korvex::msg
