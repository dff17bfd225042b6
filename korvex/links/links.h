// The links module: the MOC telemetry link and record intake, and the event log.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "links/reconnect.h"

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
// The local command server (SCM_SERV), started the same way (the port of line 10).
int StartCommandServer();
void StopCommandServer();

// The SEP relay's hooks in the command link and the send command:
// an ARR from the MOC (success or error, not a heartbeat) for an SCM the SEP client had sent;
void SepArrFromMoc(const std::uint8_t* arr, int code);
// the operator gave the last SCM up (no resend after a bad or missing ARR);
void SepScmGivenUp();
// a "send" line of the SEP client refused by the send command with the station's code.
void SepSendAnswer(const std::uint8_t* scm, std::size_t n, const char* code);

// Event log: a dated, upper-cased line in the event list and the ".log" archive.
void LogMessage(const std::string& text, const char* colour);
// A line put straight into the event list (not archived), as "echo off" does.
void ListOnly(const std::string& text, const char* colour = nullptr);
// The instrument's event packet (0x202) into the instrument event panel.
void EventLog(const std::uint8_t* decoded);
// A SEP text reply (0x240) onto the SEP panel.
void AsciiResp(const std::uint8_t* decoded);

// 0 = the telemetry connection, 1 = the command connection (the first time at once with the
// configured server and port, later after asking for them).
int RequestConnect(int which);

// Command link: connects gHandle to serverName:portCmd; 0, or -1 after telling the operator.
int ConnectCmd();
// Writes a whole SCM on the command connection (5000 ms): the write's result.
int WriteScm(const std::uint8_t* scm, std::size_t n);
// The one-second ARR wait (the timer's first duty): true while the other duties stand still.
bool ArrWait();
// The command side of RequestConnect, and the link panel's command switch.
int RequestCmdConnect();
void CommandSwitch(int on);
// The command connection's events (ClientCallback hands them over).
void CmdClientEvent(unsigned handle, int xType, int errCode);
// Shows an ARR in the ARR panel and writes its line to the ".arr" archive.
void ShowArr(const std::uint8_t* arr, bool success);

// The telemetry connection to telemServ:portTlm as a first connection makes it ("START MOCSET"
// when mocset); 0, or -1 after telling the operator (or noting the retry).
int ConnectTelemetry(bool mocset);

// Automatic reconnection (reconnect_glue.cpp), which = ReconnectState::kTlm or kCmd.
// A loss, a refusal or a failed retry for `reason`: when the result says retrying, the timer tries
// again, the caller shows no pop-up and leaves the link's switch on; log says whether the
// caller's line is worth writing.
LinkRetry::Down ReconnectDown(int which, const std::string& reason);
// "; RETRYING EVERY N S" while the link is being retried, else empty: ends the loss line.
std::string ReconnectNote(int which);
// The connection is up: the recovery is logged when it had been retried.
void ReconnectUp(int which);
// The operator switched the link off: no more retries.
void ReconnectOff(int which);
// The timer's step: counts the second and makes the attempts that are due.
void ReconnectTick();

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
int ServerCallback2(unsigned handle, int xType, int errCode, void* data);
int SCM_SERV(int panel, int control, int event, void* data, int e1, int e2);
int DisconnectSServer(int panel, int control, int event, void* data, int e1, int e2);
int DisconnectS(int panel, int control, int event, void* data, int e1, int e2);
