// Texts of the commanding module, as the operator sees them.
#pragma once

namespace korvex::msg {

inline constexpr const char* kWaitingForArr = "WAITING FOR ARR; COMMAND NOT SENT!";
inline constexpr const char* kCommandNotSent = "COMMAND NOT SENT!";
inline constexpr const char* kNotRecognized = " IS NOT RECOGNIZED!";  // after the line
inline constexpr const char* kCanceledByUser = " WAS CANCELED BY USER!";  // after the line
inline constexpr const char* kNotValidCommand = " is NOT A VALID COMMAND!";  // after the line
inline constexpr const char* kEchoOff = "ECHO OFF";
inline constexpr const char* kLogOff = "log off";
inline constexpr const char* kSnapshotNoFile = "SNAPSHOT NEEDS A FILE NAME";
inline constexpr const char* kSnapshotFailed = "SNAPSHOT NOT WRITTEN: ";  // + file: reason
inline constexpr const char* kBadCksOn = "BAD COMMAND CHECKSUM ON!";
inline constexpr const char* kBadCksOff = "BAD COMMAND CHECKSUM OFF";

// SCM panel checks ("Error!" pop-ups).
inline constexpr const char* kFieldErrorTitle = "Error!";
inline constexpr const char* kFacilityLength = "Should be 6 characters\neg:VANTIS";
inline constexpr const char* kSpacecraftLength = "Should be 2 characters (EA or EB)";
inline constexpr const char* kPacketsLength = "Should be 2 characters (01 to 99)";
inline constexpr const char* kEnableLength =
    "Should be 13 characters: YYYYDOYHHMMSS\nAll zeros=realtime\nDashes=not used";
inline constexpr const char* kTimeoutLength = "Should be 13 Characters: YYYYDOYHHMMSS\nDashes=not used";
inline constexpr const char* kDeltaLength = "Should be 5 Characters\n00000 to 86400\nDashes=not used";
inline constexpr const char* kMsgTypeLength = "Should be 4 Characters\nFill:-";
inline constexpr const char* kTwoCharacters = "Should be 2 Characters";
inline constexpr const char* kThreeCharacters = "Should be 3 Characters";
inline constexpr const char* kSeqFlagsRange = "Should be between 0 and 3";
inline constexpr const char* kCounterRange = "Should be <= 16383";
inline constexpr const char* kSecTimeLength =
    "Should be 13 characters:YYYYDOYHHMMSS\nAll zeros=realtime\nAll zeros = forward immediately.";
inline constexpr const char* kByteRange = "Should be < 256";
inline constexpr const char* kVersionRange = "Should be <= 7";
inline constexpr const char* kBitRange = "Should be 0 or 1";

// Hazardous commands.
inline constexpr const char* kWarningTitle = "WARNING!";
inline constexpr const char* kHazardousScmTitle = "Warning, Hazardous SCM";
inline constexpr const char* kHazardousScm = "SCM Contains ";  // + count + the next text
inline constexpr const char* kHazardousScmCancel = " hazardous command(s)!\nDo you want to cancel?";
inline constexpr const char* kDatabaseError = "Database error!";
inline constexpr const char* kStoredRefusedScript = " SEP SCM REFUSED; SCRIPT RUNNING ";  // path before, name after
inline constexpr const char* kStoredHazardCancelled = " HAZARDOUS COMMAND CANCELLED!";    // path before, name after
inline constexpr const char* kStoredUnreadable = " IS NOT A WHOLE SCM; NOT SENT";        // path before
inline constexpr const char* kHazardous = " IS HAZARDOUS!\nDO YOU WANT TO CANCEL?";  // after the token

// Sending.
inline constexpr const char* kNotSent = "NOT SENT! ";  // + the first 145 characters of the SCM text
inline constexpr const char* kSocketWriteError = "Socket write error!";
inline constexpr const char* kTooDeep = " NAMES COMMANDS NESTED DEEPER THAN THREE LEVELS: ";  // line + .. + name
inline constexpr const char* kTooLong = " IS TOO LONG FOR THE COMMAND BUFFERS!";  // after the line
inline constexpr const char* kScmDiscarded = "SCM NOT SENT: ITS PACKETS AND PENDING ENTRIES ARE DISCARDED";

// Screen layouts.
inline constexpr const char* kDisplayTitle = "Display Configuration";
inline constexpr const char* kLayoutNotWritten = "LAYOUT NOT WRITTEN: ";  // + file: reason

// Sequence recording.
inline constexpr const char* kSeqOn = "RECORD COMMAND SEQUENCE ON!";
inline constexpr const char* kSeqOff = "RECORD COMMAND SEQUENCE OFF";
inline constexpr const char* kSeqNeedsWords = " NEEDS A DESTINATION, A SEQUENCE NUMBER AND A FILE";  // after the line
inline constexpr const char* kSeqBadNumber = " HAS NO VALID SEQUENCE NUMBER";    // after the line
inline constexpr const char* kSeqUnknownBank = " NAMES NO MEMORY BANK (EEPROM0-3 OR RAM)";  // after the line
inline constexpr const char* kSeqBadBase = " : THE BANK'S BASE IN CFG/KORVEX.CFG IS NOT A NUMBER";  // after the line
inline constexpr const char* kSeqBadFile = " : THE SEQUENCE FILE MUST BE A NAME UNDER CMD";  // after the line
inline constexpr const char* kSeqAlreadyOn = "SEQUENCE RECORDING ALREADY ON: ";  // + file
inline constexpr const char* kSeqNotCreated = "SEQUENCE FILE NOT CREATED: ";    // + file: reason
inline constexpr const char* kSeqWriteFailed = "SEQUENCE FILE NOT WRITTEN: ";   // + file: reason
inline constexpr const char* kSeqTooLong = " HAS MORE THAN 127 DATA BYTES; NOT RECORDED";  // after the line

inline constexpr const char* kNoScript = "NO SCRIPT";
inline constexpr const char* kScriptRecursion = "SCRIPT STARTS ITSELF; NOT STARTED AGAIN: ";  // + file
inline constexpr const char* kNoScriptSlot = "No Script";
inline constexpr const char* kGo = "GO";
inline constexpr const char* kWait = "WAIT";
inline constexpr const char* kWaitLine = "Wait";
inline constexpr const char* kStartLine = "Start ";
inline constexpr const char* kFileNameTitle = "File Name";
inline constexpr const char* kWaitTooLong = "WAIT LONGER THAN 86400 SECONDS REFUSED";
inline constexpr const char* kVariableEditorTitle = "Variable Editor";
inline constexpr const char* kVariableEditorText = "\nEnter new value.";  // after the label
inline constexpr const char* kVarNameUnusable =
    "VARIABLE NAME MUST START WITH A LETTER AND HOLD NO OPERATOR: ";  // + name
inline constexpr const char* kRemovedVariable = "REMOVED LOCAL VARIABLE: ";  // + label
inline constexpr const char* kCommandFileTitle = "COMMAND FILE: ";           // + file name
inline constexpr const char* kCommandFileChanged = "COMMAND FILE: Changed,not saved";
inline constexpr const char* kButtonFileTitle = "Command Button File";
inline constexpr const char* kSaveNewButtonFile = "Save a new configuration file?";
inline constexpr const char* kNameOfButtonFile = "Name of file to save?";
inline constexpr const char* kBadScheduleLine = "DATE OR TIME NOT READABLE; ENTRY SKIPPED";
inline constexpr const char* kButtonFileExists = "File exists, overwrite?";

}  // namespace korvex::msg
