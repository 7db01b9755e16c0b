#include "tests/support/DroppingHost.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <chrono>
#include <thread>

namespace {

// Winsock is started once for the test program and left running.
bool StartWinsock() {
  static const bool started = [] {
    WSADATA data;
    return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return started;
}

}  // namespace

DroppingHost::DroppingHost() {
  if (!StartWinsock()) return;
  const SOCKET listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (listener == INVALID_SOCKET) return;
  listener_ = static_cast<intptr_t>(listener);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof address;
  if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listener, 0) != 0 ||
      ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    return;
  }
  // A backlog of 0 still takes a connection or two; three more make sure
  // the queue is full. They are never accepted.
  for (int i = 0; i < 3; ++i) {
    const SOCKET filler = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (filler == INVALID_SOCKET) continue;
    u_long nonBlocking = 1;
    ::ioctlsocket(filler, FIONBIO, &nonBlocking);
    ::connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address);
    fillers_.push_back(static_cast<intptr_t>(filler));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(200));  // their handshakes settle
  port_ = ntohs(address.sin_port);
}

DroppingHost::~DroppingHost() {
  for (intptr_t filler : fillers_) ::closesocket(static_cast<SOCKET>(filler));
  if (listener_ != -1) ::closesocket(static_cast<SOCKET>(listener_));
}
