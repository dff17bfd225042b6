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

}  // namespace korvex::msg
