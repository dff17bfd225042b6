// A SEP ground-equipment client for the station's tests: connects to the local command server
// on loopback, writes what the test gives it and collects what the station answers. The test
// thread pumps the station's loop meanwhile, so every read here is non-blocking.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <string>

namespace korvex::testing {

class SepClient {
 public:
  explicit SepClient(unsigned port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
      ::close(fd_);
      fd_ = -1;
    }
  }
  ~SepClient() {
    if (fd_ >= 0) ::close(fd_);
  }
  SepClient(const SepClient&) = delete;
  SepClient& operator=(const SepClient&) = delete;

  bool ok() const { return fd_ >= 0; }
  void send(const std::string& bytes) {
    if (fd_ >= 0) (void)!::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
  }
  // Everything received so far (reads what is waiting without blocking).
  const std::string& received() {
    char buf[4096];
    for (;;) {
      ssize_t n = fd_ >= 0 ? ::recv(fd_, buf, sizeof buf, MSG_DONTWAIT) : -1;
      if (n <= 0) break;
      got_.append(buf, static_cast<std::size_t>(n));
    }
    return got_;
  }
  void close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
  std::string got_;
};

}  // namespace korvex::testing
