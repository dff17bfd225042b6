#pragma once
#include <string>

namespace korvex {
// Text of a TCP error code of the engine (-18..-1, and 0); "" for any other code.
std::string TcpErrorText(int code);
// Why a connection ended, for the log: the code's text, or "closed" when the code names none.
std::string LinkLossReason(int code);
}  // namespace korvex
