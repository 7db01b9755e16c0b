// A small real HTTP/1.1 server on 127.0.0.1 for tests: each connection gets
// one answer made by a handler, with optional faults (a lying length, a
// pause, a reset mid-body).
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct HttpRequestSeen {
  std::string method;
  std::string target;
  std::vector<std::string> headers;  // "Name: value" lines as received
  std::string body;
  std::string Header(const std::string& name) const;  // value, or empty
};

struct HttpAnswer {
  int status = 200;
  std::string body;
  std::vector<std::string> headers = {};  // extra "Name: value" lines
  long long declaredLength = -1;          // Content-Length to claim; -1: the body's size
  bool noLength = false;                  // no Content-Length: the body ends when the connection does
  int pauseBeforeBodyMs = 0;
  std::size_t resetAfterBytes = static_cast<std::size_t>(-1);  // close mid-body
};

class LoopbackHttpServer {
 public:
  using Handler = std::function<HttpAnswer(const HttpRequestSeen&)>;
  explicit LoopbackHttpServer(Handler handler);
  ~LoopbackHttpServer();
  LoopbackHttpServer(const LoopbackHttpServer&) = delete;
  LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

  int Port() const { return port_; }
  std::string Url(const std::string& path) const;
  std::vector<HttpRequestSeen> Requests() const;

 private:
  void Serve();
  void Answer(int fd);

  Handler handler_;
  int listenFd_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  mutable std::mutex mutex_;
  std::vector<HttpRequestSeen> requests_;
  std::thread thread_;
};
