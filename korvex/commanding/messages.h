// Texts of the commanding module, as the operator sees them.
#pragma once

namespace korvex::msg {

inline constexpr const char* kWaitingForArr = "WAITING FOR ARR; COMMAND NOT SENT!";
inline constexpr const char* kCommandNotSent = "COMMAND NOT SENT!";
inline constexpr const char* kNotRecognized = " IS NOT RECOGNIZED!";  // after the line
inline constexpr const char* kCanceledByUser = " WAS CANCELED BY USER!";  // after the line
inline constexpr const char* kEchoOff = "ECHO OFF";
inline constexpr const char* kLogOff = "log off";
inline constexpr const char* kSnapshotNoFile = "SNAPSHOT NEEDS A FILE NAME";
inline constexpr const char* kSnapshotFailed = "SNAPSHOT NOT WRITTEN: ";  // + file: reason

}  // namespace korvex::msg
