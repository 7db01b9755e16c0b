// One installer at a time on Linux: flock on a lock file in the user's
// runtime folder (or, without one, a per-user file in /tmp), and a Unix
// socket beside it on which the first start hears later starts. The socket
// is watched by GLib's default main context, the one the window's loop runs.
#include "SelectLanguage/SingleInstance.h"

#include <fcntl.h>
#include <glib-unix.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/posix/PosixFd.h"

namespace {

// A later start's request: the word, then its activation token if it has one.
constexpr char kRequestWord[] = "raise";
constexpr std::size_t kMaxRequest = 256;
// How long a later start keeps trying to reach the first one, which may be
// between taking the lock and listening, or have a full backlog.
constexpr auto kReachTimeout = std::chrono::milliseconds(1500);
// How long the first start waits for a connected request's bytes.
constexpr int kRequestWaitMs = 200;

struct LockPaths {
  std::string lock;
  std::string socket;
};

// The user's runtime folder is private to the user by definition. Without
// one, /tmp is shared with every local user, so the names carry the user id
// and whatever is found there is checked before it is trusted.
LockPaths ChoosePaths() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] == '/') {
    const std::string folder = runtime;
    return {folder + "/zk-installer.lock", folder + "/zk-installer.sock"};
  }
  const std::string base = "/tmp/zk-installer-" + std::to_string(::geteuid());
  return {base + ".lock", base + ".sock"};
}

std::string Describe(const std::string& path, const char* what) { return path + ": " + what; }

// Opens the lock file without following a symbolic link and without
// truncating anything; accepts only a regular file of this user that no
// one else may open (anyone who can open it can flock it and so keep every
// later start out) and that has no other name.
UniqueFd OpenLockFile(const std::string& path, std::string& problem) {
  UniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0600));
  if (!fd) {
    problem = Describe(path, errno == ELOOP ? "is a symbolic link" : std::strerror(errno));
    return {};
  }
  struct stat st {};
  if (::fstat(fd.Get(), &st) != 0) {
    problem = Describe(path, std::strerror(errno));
    return {};
  }
  if (!S_ISREG(st.st_mode))
    problem = Describe(path, "is not a regular file");
  else if (st.st_uid != ::geteuid())
    problem = Describe(path, "belongs to another user");
  else if ((st.st_mode & 077) != 0)
    problem = Describe(path, "may be opened by other users");
  else if (st.st_nlink != 1)
    problem = Describe(path, "has other names");
  if (!problem.empty()) return {};
  return fd;
}

bool FillAddress(const std::string& path, sockaddr_un& address) {
  address = {};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return true;
}

bool PeerIsThisUser(int fd) {
  ucred peer{};
  socklen_t size = sizeof peer;
  return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.uid == ::geteuid();
}

// The token a launcher gave this start for bringing a window forward.
std::string OwnActivationToken() {
  for (const char* name : {"XDG_ACTIVATION_TOKEN", "DESKTOP_STARTUP_ID"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && value[0] != '\0') return value;
  }
  return {};
}

// True when the bytes are a request; its token, if any, goes to token.
bool ParseRequest(const std::string& bytes, std::string& token) {
  const std::string line = bytes.substr(0, bytes.find('\n'));
  const std::size_t wordLength = sizeof kRequestWord - 1;
  if (line.compare(0, wordLength, kRequestWord) != 0) return false;
  if (line.size() == wordLength) return true;
  if (line[wordLength] != ' ') return false;
  token = line.substr(wordLength + 1);
  for (const char c : token) {
    if (c <= ' ' || c > '~') {
      token.clear();  // a token is printable ASCII; anything else is dropped, the request stands
      break;
    }
  }
  return true;
}

}  // namespace

struct SingleInstance::State {
  Claim claim = Claim::Unguarded;
  std::string problem;
  LockPaths paths;
  UniqueFd lock;
  UniqueFd listener;
  dev_t socketDevice = 0;
  ino_t socketInode = 0;
  guint watch = 0;
  std::function<void(const std::string&)> bringToFront;

  // Listens beside the lock. A socket left by an earlier first start that
  // ended without removing it is replaced; anything else at the path is not
  // this user's to remove, and later starts then simply cannot reach us.
  void Listen() {
    sockaddr_un address;
    if (!FillAddress(paths.socket, address)) return;
    struct stat st {};
    if (::lstat(paths.socket.c_str(), &st) == 0) {
      if (!S_ISSOCK(st.st_mode) || st.st_uid != ::geteuid()) return;
      ::unlink(paths.socket.c_str());
    }
    UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!fd) return;
    if (::bind(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) return;
    if (::listen(fd.Get(), 8) != 0 || ::lstat(paths.socket.c_str(), &st) != 0) {
      ::unlink(paths.socket.c_str());
      return;
    }
    socketDevice = st.st_dev;
    socketInode = st.st_ino;
    listener = std::move(fd);
  }

  // Removes the socket while the lock is still held, so it is never a
  // successor's.
  void StopListening() {
    if (!listener) return;
    listener.Reset();
    struct stat st {};
    if (::lstat(paths.socket.c_str(), &st) == 0 && st.st_dev == socketDevice && st.st_ino == socketInode) {
      ::unlink(paths.socket.c_str());
    }
  }

  void RemoveWatch() {
    if (watch != 0) g_source_remove(watch);
    watch = 0;
  }

  // One request: only from this user, and never waiting long for its bytes,
  // since this runs on the window's thread.
  void Answer(UniqueFd connection) {
    if (!PeerIsThisUser(connection.Get())) return;
    pollfd ready{connection.Get(), POLLIN, 0};
    if (::poll(&ready, 1, kRequestWaitMs) <= 0) return;
    char buffer[kMaxRequest];
    const ssize_t got = ::recv(connection.Get(), buffer, sizeof buffer, MSG_DONTWAIT);
    if (got <= 0) return;
    std::string token;
    if (!ParseRequest(std::string(buffer, static_cast<std::size_t>(got)), token)) return;
    connection.Reset();
    if (bringToFront) bringToFront(token);
  }

  static gboolean OnRequests(gint, GIOCondition, gpointer data) {
    auto* state = static_cast<State*>(data);
    for (;;) {
      UniqueFd connection(
          RetryInterrupted([state] { return ::accept4(state->listener.Get(), nullptr, nullptr, SOCK_CLOEXEC); }));
      if (!connection) {
        if (errno == ECONNABORTED) continue;
        return G_SOURCE_CONTINUE;  // drained (EAGAIN), or nothing to take now
      }
      state->Answer(std::move(connection));
      if (state->watch == 0) return G_SOURCE_REMOVE;  // the answer stopped the answering
    }
  }
};

SingleInstance::SingleInstance() : state_(std::make_unique<State>()) {
  State& s = *state_;
  s.paths = ChoosePaths();
  s.lock = OpenLockFile(s.paths.lock, s.problem);
  if (!s.lock) return;
  if (::flock(s.lock.Get(), LOCK_EX | LOCK_NB) != 0) {
    if (errno == EWOULDBLOCK) {
      s.claim = Claim::Second;
    } else {
      s.problem = Describe(s.paths.lock, std::strerror(errno));
    }
    s.lock.Reset();
    return;
  }
  s.claim = Claim::First;
  s.Listen();
}

SingleInstance::~SingleInstance() {
  state_->RemoveWatch();
  state_->StopListening();
  // Closing the lock file releases the lock; the file stays for the next start.
}

SingleInstance::Claim SingleInstance::Outcome() const { return state_->claim; }

const std::string& SingleInstance::Problem() const { return state_->problem; }

bool SingleInstance::BringRunningToFront() {
  sockaddr_un address;
  if (state_->claim != Claim::Second || !FillAddress(state_->paths.socket, address)) return false;
  std::string request = kRequestWord;
  const std::string token = OwnActivationToken();
  if (!token.empty() && token.size() < kMaxRequest - request.size() - 2) request += ' ' + token;
  request += '\n';
  const auto giveUpAt = std::chrono::steady_clock::now() + kReachTimeout;
  for (;;) {
    UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!fd) return false;
    if (::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
      // Whoever listens must be this user, not someone who planted a socket.
      if (!PeerIsThisUser(fd.Get())) return false;
      // The request fits the socket's buffer: it is queued for the first
      // start even while that one is busy, and this start need not wait.
      const ssize_t sent = ::send(fd.Get(), request.data(), request.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
      return sent == static_cast<ssize_t>(request.size());
    }
    const bool worthRetrying = errno == ENOENT || errno == ECONNREFUSED || errno == EAGAIN || errno == EINTR;
    if (!worthRetrying || std::chrono::steady_clock::now() >= giveUpAt) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

void SingleInstance::AnswerLaterStarts(std::function<void(const std::string& activationToken)> bringToFront) {
  State& s = *state_;
  s.RemoveWatch();
  s.bringToFront = std::move(bringToFront);
  if (s.bringToFront && s.listener) {
    s.watch = g_unix_fd_add(s.listener.Get(), G_IO_IN, &State::OnRequests, &s);
  }
}
