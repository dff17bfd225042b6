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

inline constexpr const char* kBadCksOn = "BAD COMMAND CHECKSUM ON!";
inline constexpr const char* kBadCksOff = "BAD COMMAND CHECKSUM OFF";
inline constexpr const char* kNoScript = "NO SCRIPT";
inline constexpr const char* kNoScriptSlot = "No Script";
inline constexpr const char* kGo = "GO";
inline constexpr const char* kWait = "WAIT";
inline constexpr const char* kWaitLine = "Wait";
inline constexpr const char* kStartLine = "Start ";
inline constexpr const char* kFileNameTitle = "File Name";
inline constexpr const char* kWaitTooLong = "WAIT LONGER THAN 86400 SECONDS REFUSED";
inline constexpr const char* kVariableEditorTitle = "Variable Editor";
inline constexpr const char* kVariableEditorText = "\nEnter new value.";  // after the label
inline constexpr const char* kRemovedVariable = "REMOVED LOCAL VARIABLE: ";  // + label
inline constexpr const char* kCommandFileTitle = "COMMAND FILE: ";           // + file name
inline constexpr const char* kCommandFileChanged = "COMMAND FILE: Changed,not saved";
inline constexpr const char* kButtonFileTitle = "Command Button File";
inline constexpr const char* kSaveNewButtonFile = "Save a new configuration file?";
inline constexpr const char* kNameOfButtonFile = "Name of file to save?";
inline constexpr const char* kBadScheduleLine = "DATE OR TIME NOT READABLE; ENTRY SKIPPED";
inline constexpr const char* kButtonFileExists = "File exists, overwrite?";

}  // namespace korvex::msg
