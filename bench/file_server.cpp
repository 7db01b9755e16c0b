// A loopback HTTP server for the download benchmarks: every GET is answered
// with one file through sendfile(2), so the server costs far less than the
// client it feeds. Serves a bounded number of connections and stops by itself
// after a time limit, whatever the client does.
//   file_server <file> <ports-file> <max-connections> <time-limit-seconds> [bytes-per-second]
// With a rate, the body goes out in tenths of a second at that rate, as a
// download over a line of that speed would arrive.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <chrono>
#include <string>
#include <thread>

namespace {

class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// Reads up to the blank line that ends the request head; false on EOF.
bool ReadRequestHead(int fd, std::string& head) {
  char buffer[4096];
  while (head.find("\r\n\r\n") == std::string::npos) {
    const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0 || head.size() > 65536) return false;
    head.append(buffer, static_cast<size_t>(got));
  }
  return true;
}

bool SendAll(int fd, const std::string& text) {
  size_t sent = 0;
  while (sent < text.size()) {
    const ssize_t put = ::send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    sent += static_cast<size_t>(put);
  }
  return true;
}

void Serve(int client, int file, off_t size, long long rate) {
  std::string head;
  if (!ReadRequestHead(client, head)) return;
  const bool isHead = head.rfind("HEAD ", 0) == 0;
  const std::string answer =
      "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: " + std::to_string(size) +
      "\r\nConnection: close\r\n\r\n";
  if (!SendAll(client, answer) || isHead) return;
  off_t offset = 0;
  const off_t perTick = rate > 0 ? static_cast<off_t>(rate / 10) : size;
  auto due = std::chrono::steady_clock::now();
  while (offset < size) {
    const off_t tickEnd = std::min<off_t>(size, offset + perTick);
    while (offset < tickEnd) {
      const ssize_t put = ::sendfile(client, file, &offset, static_cast<size_t>(tickEnd - offset));
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) return;
    }
    if (rate > 0) std::this_thread::sleep_until(due += std::chrono::milliseconds(100));
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5 && argc != 6) {
    std::fprintf(stderr, "usage: %s <file> <ports-file> <max-connections> <time-limit-seconds> [bytes-per-second]\n",
                 argv[0]);
    return 2;
  }
  const Fd file(::open(argv[1], O_RDONLY | O_CLOEXEC));
  struct stat st {};
  if (file.get() < 0 || ::fstat(file.get(), &st) != 0) return std::perror(argv[1]), 1;
  const long maxConnections = std::strtol(argv[3], nullptr, 10);
  const long long rate = argc == 6 ? std::strtoll(argv[5], nullptr, 10) : 0;
  ::alarm(static_cast<unsigned>(std::strtoul(argv[4], nullptr, 10)));  // the default action ends us

  const Fd listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  const int on = 1;
  ::setsockopt(listener.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);  // 127.0.0.1 only
  socklen_t length = sizeof address;
  if (::bind(listener.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listener.get(), 16) != 0 ||
      ::getsockname(listener.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    return std::perror("listen"), 1;
  }
  {
    const std::string temp = std::string(argv[2]) + ".tmp";
    FILE* out = std::fopen(temp.c_str(), "w");
    if (!out) return std::perror(argv[2]), 1;
    std::fprintf(out, "%u\n", ntohs(address.sin_port));
    std::fclose(out);
    std::rename(temp.c_str(), argv[2]);  // appears whole
  }
  for (long served = 0; served < maxConnections; ++served) {
    const Fd client(::accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
    if (client.get() < 0) {
      if (errno == EINTR) continue;
      return 1;
    }
    Serve(client.get(), file.get(), st.st_size, rate);
  }
  return 0;
}
