// A MOC server played by a test on loopback: it accepts the station's connections one after the
// other, collects what the station writes, sends what the test gives it, and can stop listening
// altogether (connections are then refused) and listen again on the same port.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
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
    Listen(0);
    thread_ = std::thread([this] { Serve(); });
  }
  ~CmdPeer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    std::lock_guard<std::mutex> l(mu_);
    CloseClient();
    if (listen_ >= 0) ::close(listen_);
  }
  unsigned port() const { return port_; }
  int connections() const { return connections_; }
  bool connected() {
    std::lock_guard<std::mutex> l(mu_);
    return client_ >= 0;
  }
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
  // The server closes the connection it holds (and keeps listening).
  void drop() {
    std::lock_guard<std::mutex> l(mu_);
    CloseClient();
  }
  // The server goes down: the connection is closed and nobody listens on the port any more.
  void goAway() {
    std::lock_guard<std::mutex> l(mu_);
    CloseClient();
    if (listen_ >= 0) {
      ::shutdown(listen_, SHUT_RDWR);
      ::close(listen_);
    }
    listen_ = -1;
  }
  // The server is back on the same port (the old socket may take a moment to be released).
  bool comeBack() {
    for (int i = 0; i < 100; ++i) {
      {
        std::lock_guard<std::mutex> l(mu_);
        if (listen_ < 0) Listen(port_);
        if (listen_ >= 0) return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }

 private:
  void Listen(unsigned port) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, 4) != 0) {
      ::close(fd);
      return;
    }
    socklen_t n = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n);
    port_ = ntohs(a.sin_port);
    listen_ = fd;
  }
  void CloseClient() {
    if (client_ < 0) return;
    ::shutdown(client_, SHUT_RDWR);
    ::close(client_);
    client_ = -1;
  }
  void Serve() {
    char buf[4096];
    while (!stop_) {
      int lf, cl;
      {
        std::lock_guard<std::mutex> l(mu_);
        lf = listen_;
        cl = client_;
      }
      pollfd p[2] = {{lf, POLLIN, 0}, {cl, POLLIN, 0}};
      if (::poll(p, 2, 20) <= 0) continue;
      std::lock_guard<std::mutex> l(mu_);
      if (lf >= 0 && lf == listen_ && (p[0].revents & POLLIN)) {
        int c = ::accept(listen_, nullptr, nullptr);
        if (c >= 0) {
          CloseClient();
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

  int listen_ = -1, client_ = -1;
  unsigned port_ = 0;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<int> connections_{0};
  std::mutex mu_;
  std::string got_;
};

}  // namespace korvex::testing
