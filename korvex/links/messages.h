// Texts of the link module, as the operator sees them.
#pragma once

namespace korvex::msg {

inline constexpr const char* kIllegalApid = "ERROR! APID %.3X IS ILLEGAL!";   // raw APID
inline constexpr const char* kBadChecksum = "BAD CHECKSUM APID %.3X";         // APID
inline constexpr const char* kTelemetryResumed = "TELEMETRY RESUMED!";
inline constexpr const char* kEventLogA = "Event Log VANTIS_A";
inline constexpr const char* kEventLogB = "Event Log VANTIS_B";
inline constexpr const char* kRecOn = "REC ON";
inline constexpr const char* kStartMocset = "START MOCSET";
inline constexpr const char* kTcpClientTitle = "TCP Client";
inline constexpr const char* kTlmConnectFailed = "Telemetry port connection failed !";
inline constexpr const char* kTcpReadTitle = "TCP Server Telemetry";
inline constexpr const char* kTcpReadError = "TCP read error: %i bytes read";  // bytes
inline constexpr const char* kServerNameTitle = "Server Name?";
inline constexpr const char* kTlmPortTitle = "Telemetry Port Number?";
inline constexpr const char* kServerClosedTlm = "Server has closed TLM Port!";

inline constexpr const char* kTcpServerTitle = "TCP Server";
inline constexpr const char* kRegisterFailed = "RegisterTCPServer failed !!!";
inline constexpr const char* kServerUpTitle = "TCP/IP SERVER";
inline constexpr const char* kTlmServerPort = "Telemetry Port: ";  // + port
inline constexpr const char* kTlmServerPortQuestion =
    "Type telemetry server port number\n(Click OK for last port used.)";
inline constexpr const char* kClientFailed = "Client failed to connect!";
inline constexpr const char* kTcpReadErrorShort = "TCP read error!";
inline constexpr const char* kConnectedTlm = " CONNECTED TO TELEMETRY SERVER";        // after name
inline constexpr const char* kDisconnectedTlm = " DISCONNECTED FROM TELEMETRY SERVER";  // after name
inline constexpr const char* kTcpWriteError = "TCP Write Error! ";  // + error text + " " + name
inline constexpr const char* kPeerRefused = "LOCAL SERVER REFUSED ";  // + address + reason
inline constexpr const char* kPeerRefusedWhy = " (NOT ALLOWED IN CFG/LOCALSERVER.CFG)";

// The local command server and the SEP relay.
inline constexpr const char* kScmServerPort = "SCM Port: ";  // + port
inline constexpr const char* kConnectedCmd = " CONNECTED TO COMMAND SERVER";        // after name
inline constexpr const char* kDisconnectedCmd = " DISCONNECTED FROM COMMAND SERVER";  // after name
inline constexpr const char* kSepPart = "SEP SCM PART RECEIVED, TIMER ON";
inline constexpr const char* kSepTooMany = "SEP SCM TOO MANY BYTES, BAD ARR SENT";
inline constexpr const char* kSepTimeout = "TIMEOUT WAITING FOR SEP SCM, BAD ARR SENT";
// Refusals of a whole SEP SCM: the SCM's name comes first.
inline constexpr const char* kSepScriptRunning = " SEP SCM REFUSED; SCRIPT RUNNING ";
inline constexpr const char* kSepSyntax = "SCM refused; syntax error! ";
inline constexpr const char* kSepStoreChecksum = " SEP STORE FILE HAS BAD CHECKSUM ";
inline constexpr const char* kSepSaved = " SAVED FOR SEP ";
inline constexpr const char* kSepChecksum = " SEP FILE HAS BAD CHECKSUM ";
inline constexpr const char* kSepHazardCancelled = " User cancelled Hazardous SCM! ";
inline constexpr const char* kSepNoMoc = " NO MOC CONNECTION! ";
inline constexpr const char* kSepArrAwaited = " SEP SCM REFUSED; ARR AWAITED ";
inline constexpr const char* kSepNotSaved = " SEP STORE FILE NOT SAVED: ";      // + path: reason
inline constexpr const char* kSepWriteFailed = " SEP SCM NOT SENT: ";           // + host:port: reason
inline constexpr const char* kSepLineRefused = "SEP LINE REFUSED FROM ";       // + peer + ": " + line
inline constexpr const char* kSepNoFile = "SEP SEND REFUSED, NO SUCH FILE ";  // + path + " FROM " + peer

}  // namespace korvex::msg

namespace korvex::msg {

inline constexpr const char* kCmdPortTitle = "Command Port Number?";
inline constexpr const char* kCmdConnectFailed = "Command port connection failed !";
inline constexpr const char* kCmdConnectFailedLog = "COMMAND PORT CONNECTION FAILED: ";  // host:port: reason
inline constexpr const char* kServerClosedCmd = "Server has closed CMD Port!";
inline constexpr const char* kTcpArrTitle = "TCP Server ARR";
inline constexpr const char* kTcpArrReadError = "TCP read error!";
inline constexpr const char* kArrBytesSkipped = "ARR STREAM: %zu BYTES OUTSIDE ANY ARR SKIPPED";
inline constexpr const char* kNoArrTitle = "No ARR Received!";
inline constexpr const char* kWaitAgain = "Wait for ARR again?";
inline constexpr const char* kAttemptResend = "Attempt to resend?";
inline constexpr const char* kArrVerifyError = "ARR Verify Error = ";
inline constexpr const char* kCmdLinkLost = "COMMAND LINK LOST: ";           // host:port: reason
inline constexpr const char* kTlmLinkLost = "TELEMETRY LINK LOST: ";         // host:port: reason
inline constexpr const char* kTlmConnectFailedLog = "TELEMETRY PORT CONNECTION FAILED: ";  // host:port: reason
inline constexpr const char* kResendFailed = "RESEND FAILED ON ";  // host:port: reason

// Automatic reconnection (cfg/reconnect.cfg).
inline constexpr const char* kRetrying = "; RETRYING EVERY %d S";  // after a loss or refusal line
inline constexpr const char* kTlmRecovered = "TELEMETRY LINK RECOVERED: ";  // host:port + tail
inline constexpr const char* kCmdRecovered = "COMMAND LINK RECOVERED: ";    // host:port + tail
inline constexpr const char* kRecoveredTail = " (DOWN %llu S, %d ATTEMPTS FAILED)";
inline constexpr const char* kReconnectSettings =
    "AUTOMATIC RECONNECT: TELEMETRY %s, COMMAND %s, EVERY %d S";

}  // namespace korvex::msg
