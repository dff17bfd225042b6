// A telemetry server on loopback for the station's tests: listens on an ephemeral port and, once
// the station connects, writes the given pieces with optional pauses between them.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

namespace korvex::testing {

struct Piece {
  std::vector<std::uint8_t> bytes;
  int pauseMsAfter = 0;
};

class LoopbackServer {
 public:
  explicit LoopbackServer(std::vector<Piece> pieces) : pieces_(std::move(pieces)) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = 0;
    ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(fd_, 1);
    socklen_t n = sizeof a;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &n);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { serve(); });
  }
  ~LoopbackServer() {
    stop_ = true;
    ::shutdown(fd_, SHUT_RDWR);
    ::close(fd_);
    if (thread_.joinable()) thread_.join();
    if (client_ >= 0) ::close(client_);
  }
  unsigned port() const { return port_; }
  bool done() const { return done_; }
  std::size_t received() const { return received_; }

 private:
  void serve() {
    // Bounded wait for the station: poll accept for at most 30 s.
    timeval tv{30, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    client_ = ::accept(fd_, nullptr, nullptr);
    if (client_ < 0) return;
    timeval wt{30, 0};
    ::setsockopt(client_, SOL_SOCKET, SO_SNDTIMEO, &wt, sizeof wt);
    for (const Piece& p : pieces_) {
      if (stop_) return;
      std::size_t off = 0;
      while (off < p.bytes.size()) {
        ssize_t w = ::send(client_, p.bytes.data() + off, p.bytes.size() - off, MSG_NOSIGNAL);
        if (w <= 0) return;
        off += static_cast<std::size_t>(w);
      }
      if (p.pauseMsAfter) std::this_thread::sleep_for(std::chrono::milliseconds(p.pauseMsAfter));
    }
    done_ = true;
    // Keep the connection open; count what the station writes back (its text lines).
    char buf[256];
    timeval rt{0, 200000};
    ::setsockopt(client_, SOL_SOCKET, SO_RCVTIMEO, &rt, sizeof rt);
    while (!stop_) {
      ssize_t r = ::recv(client_, buf, sizeof buf, 0);
      if (r == 0) return;
      if (r > 0) received_ += static_cast<std::size_t>(r);
    }
  }

  std::vector<Piece> pieces_;
  int fd_ = -1;
  int client_ = -1;
  unsigned port_ = 0;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> done_{false};
  std::atomic<std::size_t> received_{0};
};

}  // namespace korvex::testing
