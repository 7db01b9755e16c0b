// A TCP port on loopback whose handshakes never complete: its listener's
// accept queue is kept full, so the kernel drops every further SYN, as a
// host behind a firewall that drops packets does. One implementation per
// platform (DroppingHost_posix.cpp, DroppingHost_win32.cpp).
#pragma once

#include <cstdint>
#include <vector>

class DroppingHost {
 public:
  DroppingHost();
  ~DroppingHost();
  DroppingHost(const DroppingHost&) = delete;
  DroppingHost& operator=(const DroppingHost&) = delete;

  int Port() const { return port_; }  // 0 when it could not be set up

 private:
  // Descriptors, or sockets on Windows.
  intptr_t listener_ = -1;
  std::vector<intptr_t> fillers_;
  int port_ = 0;
};
