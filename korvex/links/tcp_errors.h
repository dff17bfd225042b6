#pragma once
#include <string>

namespace korvex {
// Text of a TCP error code of the engine (-18..-1, and 0); "" for any other code.
std::string TcpErrorText(int code);
}  // namespace korvex
