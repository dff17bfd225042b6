// The links module: the MOC telemetry link and record intake, and the event log.
#pragma once

#include <cstdint>
#include <string>

namespace korvex {

struct Program;

// Registers the link panels' callbacks and the instrument event packet handler (0x202).
void InstallLinks(Program& p);

// The local telemetry server: callbacks, and every record forwarded to its clients.
void InstallLocalServer(Program& p);
// Starts the telemetry server as the operator's switch does (the configured port at the first
// start). 0, or negative when it could not listen.
int StartTelemetryServer();
void StopTelemetryServer();

// Event log: a dated, upper-cased line in the event list and the ".log" archive.
void LogMessage(const std::string& text, const char* colour);
// A line put straight into the event list (not archived), as "echo off" does.
void ListOnly(const std::string& text);
// The instrument's event packet (0x202) into the instrument event panel.
void EventLog(const std::uint8_t* decoded);

// Telemetry link: 0 = the telemetry connection (prompts for server and port as configured).
int RequestConnect(int which);

// The record path. One whole 298-byte record as it came from the MOC, whatever brought it (the
// live link, a replayed file, a test): forwarded, identified, checked, counted, shown, recorded
// and handed to the decoders of its APID.
void HandleRecord(const std::uint8_t* record);

}  // namespace korvex

// Callbacks bound by name from the resource files, and the telemetry connection's callback.
int TCP_SWITCH(int panel, int control, int event, void* data, int e1, int e2);
int ClearReceive(int panel, int control, int event, void* data, int e1, int e2);
int All_Apids(int panel, int control, int event, void* data, int e1, int e2);
int ApidChange(int panel, int control, int event, void* data, int e1, int e2);
int ClearApid(int panel, int control, int event, void* data, int e1, int e2);
int ClearApidCounts(int panel, int control, int event, void* data, int e1, int e2);
int ClearSelectedApidCounts(int panel, int control, int event, void* data, int e1, int e2);
int SwapOnOFF(int panel, int control, int event, void* data, int e1, int e2);
int displayStartStop(int panel, int control, int event, void* data, int e1, int e2);
int ClientCallback(unsigned handle, int xType, int errCode, void* data);
int TCP_SERV(int panel, int control, int event, void* data, int e1, int e2);
int Display_TServers(int panel, int control, int event, void* data, int e1, int e2);
int DisconnectTServer(int panel, int control, int event, void* data, int e1, int e2);
int DisconnectAll(int panel, int control, int event, void* data, int e1, int e2);
int ServerCallback(unsigned handle, int xType, int errCode, void* data);
