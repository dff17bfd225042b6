// The MOC command server played by a test on loopback: accepts the station's connections one
// after the other, collects what it writes and sends what the test gives it.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

namespace korvex::testing {

// A port that refuses connections for as long as this object lives: bound, never listening, so
// no other program can take it meanwhile.
class RefusingPort {
 public:
  RefusingPort() {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t n = sizeof a;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &n);
    port_ = ntohs(a.sin_port);
  }
  ~RefusingPort() { ::close(fd_); }
  unsigned port() const { return port_; }

 private:
  int fd_ = -1;
  unsigned port_ = 0;
};

class CmdPeer {
 public:
  CmdPeer() {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(fd_, 4);
    socklen_t n = sizeof a;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &n);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~CmdPeer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (client_ >= 0) ::close(client_);
    if (fd_ >= 0) ::close(fd_);
  }
  unsigned port() const { return port_; }
  int connections() const { return connections_; }
  std::string received() {
    std::lock_guard<std::mutex> l(mu_);
    return got_;
  }
  void clear() {
    std::lock_guard<std::mutex> l(mu_);
    got_.clear();
  }
  void send(const std::string& bytes) {
    std::lock_guard<std::mutex> l(mu_);
    if (client_ >= 0) (void)!::send(client_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
  }
  // The server closes the connection it holds.
  void drop() {
    std::lock_guard<std::mutex> l(mu_);
    if (client_ >= 0) {
      ::shutdown(client_, SHUT_RDWR);
      ::close(client_);
      client_ = -1;
    }
  }

 private:
  void Serve() {
    char buf[4096];
    while (!stop_) {
      int fd, cl;
      {
        std::lock_guard<std::mutex> l(mu_);
        fd = fd_;
        cl = client_;
      }
      pollfd p[2] = {{fd, POLLIN, 0}, {cl, POLLIN, 0}};
      if (::poll(p, 2, 50) <= 0) continue;
      std::lock_guard<std::mutex> l(mu_);
      if (fd >= 0 && fd == fd_ && (p[0].revents & POLLIN)) {
        int c = ::accept(fd_, nullptr, nullptr);
        if (c >= 0) {
          if (client_ >= 0) ::close(client_);
          client_ = c;
          ++connections_;
        }
      }
      if (cl >= 0 && cl == client_ && (p[1].revents & (POLLIN | POLLHUP))) {
        ssize_t r = ::recv(client_, buf, sizeof buf, 0);
        if (r > 0) got_.append(buf, static_cast<std::size_t>(r));
        if (r == 0) {
          ::close(client_);
          client_ = -1;
        }
      }
    }
  }
  int fd_ = -1, client_ = -1;
  unsigned port_ = 0;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<int> connections_{0};
  std::mutex mu_;
  std::string got_;
};

}  // namespace korvex::testing
