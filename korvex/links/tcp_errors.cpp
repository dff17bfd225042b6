#include "links/tcp_errors.h"

namespace korvex {

namespace {
const char* const kTcpErrors[19] = {
    "  0  NoError",
    " -1  UnableToRegisterService",
    " -2  UnableToEstablishConnection",
    " -3  ExistingServer",
    " -4  FailedToConnect",
    " -5  ServerNotRegistered",
    " -6  TooManyConnections",
    " -7  ReadFailed",
    " -8  WriteFailed",
    " -9  InvalidParameter",
    "-10  OutOfMemory",
    "-11  TimeOutErr",
    "-12  NoConnectionEstablished",
    "-13  GeneralIOErr",
    "-14  ConnectionClosed",
    "-15  UnableToLoadWinsockDLL",
    "-16  IncorrectWinsockDLLVersion",
    "-17  NetworkSubsystemNotReady",
    "-18  ConnectionsStillOpen",
};
}  // namespace

std::string TcpErrorText(int code) {
  if (code > 0 || code < -18) return {};
  return kTcpErrors[-code];
}

std::string LinkLossReason(int code) {
  return code <= -1 && code >= -18 ? TcpErrorText(code) : std::string("closed");
}

}  // namespace korvex
