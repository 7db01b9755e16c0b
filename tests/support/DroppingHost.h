// A TCP port on loopback whose handshakes never complete: its listener's
// accept queue is kept full, so the kernel drops every further SYN, as a
// host behind a firewall that drops packets does. POSIX only.
#pragma once

#include <vector>

class DroppingHost {
 public:
  DroppingHost();
  ~DroppingHost();
  DroppingHost(const DroppingHost&) = delete;
  DroppingHost& operator=(const DroppingHost&) = delete;

  int Port() const { return port_; }  // 0 when it could not be set up

 private:
  int listener_ = -1;
  std::vector<int> fillers_;
  int port_ = 0;
};
