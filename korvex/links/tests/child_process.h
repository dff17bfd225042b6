// A program run as a separate process for the black-box tests: pipes to its standard input,
// output and error, signals, and a bounded wait for its exit.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace korvex::testing {

class Child {
 public:
  bool start(const std::vector<std::string>& argv, const std::filesystem::path& cwd) {
    int toChild[2], fromChild[2], errChild[2];
    if (::pipe(toChild) || ::pipe(fromChild) || ::pipe(errChild)) return false;
    pid_ = ::fork();
    if (pid_ < 0) return false;
    if (pid_ == 0) {
      ::dup2(toChild[0], 0);
      ::dup2(fromChild[1], 1);
      ::dup2(errChild[1], 2);
      ::close(toChild[1]);
      ::close(fromChild[0]);
      ::close(errChild[0]);
      if (::chdir(cwd.c_str()) != 0) _exit(127);
      std::vector<char*> a;
      for (auto& s : argv) a.push_back(const_cast<char*>(s.c_str()));
      a.push_back(nullptr);
      ::execv(a[0], a.data());
      _exit(127);
    }
    ::close(toChild[0]);
    ::close(fromChild[1]);
    ::close(errChild[1]);
    in_ = toChild[1];
    out_ = fromChild[0];
    err_ = errChild[0];
    outReader_ = std::thread([this] { Drain(out_, &output_); });
    errReader_ = std::thread([this] { Drain(err_, &errors_); });
    return true;
  }
  void say(const std::string& line) {
    std::string l = line + "\n";
    if (in_ >= 0) (void)!::write(in_, l.data(), l.size());
  }
  void closeInput() {
    if (in_ >= 0) ::close(in_);
    in_ = -1;
  }
  void signal(int sig) {
    if (pid_ > 0) ::kill(pid_, sig);
  }
  std::string text() {
    std::lock_guard<std::mutex> l(mu_);
    return output_;
  }
  std::string errors() {
    std::lock_guard<std::mutex> l(mu_);
    return errors_;
  }
  // Polls until pred() holds, at most `seconds`.
  template <typename Pred>
  static bool WaitFor(Pred pred, int seconds) {
    for (int i = 0; i < seconds * 20; ++i) {
      if (pred()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return pred();
  }
  // Waits for the exit; false when it did not come in time (the child is then killed later).
  bool wait(int seconds, int* status) {
    for (int i = 0; i < seconds * 20; ++i) {
      if (::waitpid(pid_, status, WNOHANG) == pid_) {
        pid_ = -1;
        return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }
  // After the exit: everything the program wrote has been read (the readers saw the pipes close).
  void drain() {
    if (outReader_.joinable()) outReader_.join();
    if (errReader_.joinable()) errReader_.join();
  }
  ~Child() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    closeInput();
    if (outReader_.joinable()) outReader_.join();
    if (errReader_.joinable()) errReader_.join();
    if (out_ >= 0) ::close(out_);
    if (err_ >= 0) ::close(err_);
  }

 private:
  void Drain(int fd, std::string* into) {
    char buf[4096];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) > 0) {
      std::lock_guard<std::mutex> l(mu_);
      into->append(buf, static_cast<std::size_t>(n));
    }
  }
  pid_t pid_ = -1;
  int in_ = -1, out_ = -1, err_ = -1;
  std::string output_, errors_;
  std::thread outReader_, errReader_;
  std::mutex mu_;
};

// The whole content of a file (empty when it cannot be read).
inline std::string Slurp(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A loopback port nothing listens on: bound to an ephemeral port, then closed again.
inline int FreeLoopbackPort() {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t n = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n);
  ::close(fd);
  return ntohs(a.sin_port);
}

// How often needle stands in hay (overlaps counted).
inline int Count(const std::string& hay, const std::string& needle) {
  int n = 0;
  for (auto p = hay.find(needle); p != std::string::npos; p = hay.find(needle, p + 1)) ++n;
  return n;
}

}  // namespace korvex::testing
