#include "tests/support/LoopbackHttpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>

#include "platform/posix/PosixFd.h"

namespace {

bool SendAll(int fd, const char* data, std::size_t n) {
  return TransferAll(data, n, [fd](const char* at, std::size_t left) { return ::send(fd, at, left, MSG_NOSIGNAL); });
}

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
  return s;
}

}  // namespace

std::string HttpRequestSeen::Header(const std::string& name) const {
  const std::string wanted = Lower(name) + ":";
  for (const std::string& line : headers) {
    if (Lower(line.substr(0, wanted.size())) == wanted) {
      std::string value = line.substr(wanted.size());
      value.erase(0, value.find_first_not_of(' '));
      return value;
    }
  }
  return {};
}

LoopbackHttpServer::LoopbackHttpServer(Handler handler) : handler_(std::move(handler)) {
  listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int one = 1;
  ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::listen(listenFd_, 16);
  socklen_t length = sizeof address;
  ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length);
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { Serve(); });
}

LoopbackHttpServer::~LoopbackHttpServer() {
  stopping_ = true;
  ::shutdown(listenFd_, SHUT_RDWR);
  thread_.join();
  ::close(listenFd_);
}

std::string LoopbackHttpServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<HttpRequestSeen> LoopbackHttpServer::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

void LoopbackHttpServer::Serve() {
  while (!stopping_) {
    pollfd p{listenFd_, POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0) continue;
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    Answer(fd);
    ::close(fd);
  }
}

void LoopbackHttpServer::Answer(int fd) {
  // Read the head, then as much body as Content-Length announces.
  std::string data;
  char buffer[4096];
  std::size_t headEnd = std::string::npos;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (headEnd == std::string::npos && std::chrono::steady_clock::now() < deadline) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0) continue;
    const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
    if (got <= 0) return;
    data.append(buffer, static_cast<std::size_t>(got));
    headEnd = data.find("\r\n\r\n");
  }
  if (headEnd == std::string::npos) return;
  HttpRequestSeen request;
  std::size_t lineStart = 0;
  bool first = true;
  while (lineStart < headEnd) {
    const std::size_t lineEnd = data.find("\r\n", lineStart);
    const std::string line = data.substr(lineStart, lineEnd - lineStart);
    if (first) {
      const auto space1 = line.find(' ');
      const auto space2 = line.find(' ', space1 + 1);
      request.method = line.substr(0, space1);
      request.target = line.substr(space1 + 1, space2 - space1 - 1);
      first = false;
    } else {
      request.headers.push_back(line);
    }
    lineStart = lineEnd + 2;
  }
  const std::string lengthText = request.Header("Content-Length");
  const std::size_t wanted = lengthText.empty() ? 0 : std::stoul(lengthText);
  request.body = data.substr(headEnd + 4);
  while (request.body.size() < wanted && std::chrono::steady_clock::now() < deadline) {
    const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
    if (got <= 0) break;
    request.body.append(buffer, static_cast<std::size_t>(got));
  }
  {
    std::lock_guard lock(mutex_);
    requests_.push_back(request);
  }

  const HttpAnswer answer = handler_(request);
  const long long length =
      answer.declaredLength >= 0 ? answer.declaredLength : static_cast<long long>(answer.body.size());
  std::string head = "HTTP/1.1 " + std::to_string(answer.status) + " Status\r\n";
  if (!answer.noLength) head += "Content-Length: " + std::to_string(length) + "\r\n";
  head += "Connection: close\r\n";
  for (const std::string& line : answer.headers) head += line + "\r\n";
  head += "\r\n";
  if (!SendAll(fd, head.data(), head.size())) return;
  if (answer.pauseBeforeBodyMs > 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(answer.pauseBeforeBodyMs));
  }
  const std::size_t sendable = std::min(answer.body.size(), answer.resetAfterBytes);
  if (!SendAll(fd, answer.body.data(), sendable)) return;
  if (sendable < answer.body.size()) {
    linger hard{1, 0};  // close with a reset, mid-body
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
  }
}
