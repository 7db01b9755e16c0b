// One installer at a time on Linux, for each session of a user: flock on a
// lock file in the user's runtime folder (or, without one, a per-user file
// in /tmp), named after the display the installer shows its window on, and
// a Unix socket beside it on which the first start hears later starts. The
// socket is watched by GLib's default main context, the one the window's
// loop runs, and never waited on there: a connection is read only when its
// bytes are in, a few per wake-up, and one that says nothing is dropped.
#include "SelectLanguage/SingleInstance.h"

#include <fcntl.h>
#include <glib-unix.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/posix/PosixFd.h"

namespace {

// A later start's request: the word, then its activation token if it has
// one; the first start's answer once its window has come forward.
constexpr char kRequestWord[] = "raise";
constexpr char kRaisedWord[] = "raised\n";
constexpr std::size_t kMaxRequest = 256;
// How long a later start waits for the first one's window to come forward:
// the first may be between taking the lock and listening, have a full
// backlog, or still be busy before its window shows.
constexpr auto kReachTimeout = std::chrono::milliseconds(2000);
// The first start's bounds: connections taken per wake-up, connections kept
// waiting for their bytes (the oldest goes for a new one), and how long one
// may wait.
constexpr int kAcceptsPerWake = 4;
constexpr std::size_t kMaxWaiting = 8;
constexpr gint64 kRequestWaitUs = 1000000;
// A display name longer than this is cut, and a hash of it keeps it apart.
constexpr std::size_t kMaxSessionKey = 40;

struct LockPaths {
  std::string lock;
  std::string socket;
};

// The session, as far as the installer's window goes: the display it shows
// on. Two logins of one user (another seat, a remote session) have displays
// of their own, so each may run an installer; starts on one display meet.
// As a file name: letters, digits and ".:_-" stay, any other byte is %XX.
std::string SessionKey() {
  std::string display;
  for (const char* name : {"WAYLAND_DISPLAY", "DISPLAY"}) {
    const char* value = std::getenv(name);
    if (value == nullptr || value[0] == '\0') continue;
    if (!display.empty()) display += '+';
    display += value;
  }
  std::string key;
  for (const unsigned char c : display) {
    if (std::isalnum(c) != 0 || std::strchr(".:_-", c) != nullptr) {
      key += static_cast<char>(c);
    } else {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", c);
      key += escaped;
    }
  }
  if (key.size() <= kMaxSessionKey) return key;
  uint64_t hash = 14695981039346656037ull;  // FNV-1a
  for (const unsigned char c : display) hash = (hash ^ c) * 1099511628211ull;
  char tail[24];
  std::snprintf(tail, sizeof tail, "-%016llx", static_cast<unsigned long long>(hash));
  return key.substr(0, kMaxSessionKey - 17) + tail;
}

// The user's runtime folder is private to the user by definition. Without
// one, /tmp is shared with every local user, so the names carry the user id
// and whatever is found there is checked before it is trusted.
LockPaths ChoosePaths() {
  const std::string key = SessionKey();
  const std::string session = key.empty() ? "" : "@" + key;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] == '/') {
    const std::string base = std::string(runtime) + "/zk-installer" + session;
    return {base + ".lock", base + ".sock"};
  }
  const std::string base = "/tmp/zk-installer-" + std::to_string(::geteuid()) + session;
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
  // A connection whose request has not come in yet.
  struct Waiting {
    State* state = nullptr;
    UniqueFd connection;
    guint watch = 0;
    gint64 since = 0;
    std::string bytes;
  };

  Claim claim = Claim::Unguarded;
  std::string problem;
  LockPaths paths;
  UniqueFd lock;
  UniqueFd listener;
  dev_t socketDevice = 0;
  ino_t socketInode = 0;
  guint watch = 0;
  guint sweep = 0;  // drops connections that waited too long, while any waits
  std::vector<std::unique_ptr<Waiting>> waiting;
  std::function<bool(const std::string&)> bringToFront;

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
    while (!waiting.empty()) Drop(waiting.front().get());
  }

  void Drop(Waiting* connection) {
    if (connection->watch != 0) g_source_remove(connection->watch);
    std::erase_if(waiting, [connection](const auto& w) { return w.get() == connection; });
    if (waiting.empty() && sweep != 0) {
      g_source_remove(sweep);
      sweep = 0;
    }
  }

  enum class Read { kWait, kDone, kRequest };

  // Reads what has come in on a connection, without waiting: more to wait
  // for, done with (closed, refused, too long), or a request with `token`.
  static Read TakeBytes(Waiting& connection, std::string& token) {
    char buffer[kMaxRequest];
    const ssize_t got = ::recv(connection.connection.Get(), buffer, sizeof buffer, MSG_DONTWAIT);
    if (got < 0) return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? Read::kWait : Read::kDone;
    if (got == 0) return Read::kDone;
    connection.bytes.append(buffer, static_cast<std::size_t>(got));
    if (connection.bytes.find('\n') == std::string::npos && connection.bytes.size() < kMaxRequest) return Read::kWait;
    return ParseRequest(connection.bytes, token) ? Read::kRequest : Read::kDone;
  }

  // Brings the window forward and says so; the connection is no longer
  // waited on, as the call may stop the answering altogether.
  void Answer(const UniqueFd& connection, const std::string& token) const {
    if (bringToFront && bringToFront(token)) {
      ::send(connection.Get(), kRaisedWord, sizeof kRaisedWord - 1, MSG_DONTWAIT | MSG_NOSIGNAL);
    }
  }

  static gboolean OnBytes(gint, GIOCondition, gpointer data) {
    auto* connection = static_cast<Waiting*>(data);
    State* state = connection->state;
    std::string token;
    const Read read = TakeBytes(*connection, token);
    if (read == Read::kWait) return G_SOURCE_CONTINUE;
    const UniqueFd fd = std::move(connection->connection);
    connection->watch = 0;  // removed by returning
    state->Drop(connection);
    if (read == Read::kRequest) state->Answer(fd, token);
    return G_SOURCE_REMOVE;
  }

  static gboolean OnSweep(gpointer data) {
    auto* state = static_cast<State*>(data);
    const gint64 now = g_get_monotonic_time();
    while (!state->waiting.empty() && now - state->waiting.front()->since >= kRequestWaitUs) {
      state->Drop(state->waiting.front().get());
    }
    if (!state->waiting.empty()) return G_SOURCE_CONTINUE;
    state->sweep = 0;
    return G_SOURCE_REMOVE;
  }

  // A few connections per wake-up: only this user's are kept, each read at
  // once (a later start sends its request with its connection) and otherwise
  // when its bytes come in.
  static gboolean OnRequests(gint, GIOCondition, gpointer data) {
    auto* state = static_cast<State*>(data);
    for (int taken = 0; taken < kAcceptsPerWake && state->watch != 0; ++taken) {
      UniqueFd connection(::accept4(state->listener.Get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
      if (!connection) {
        if (errno == ECONNABORTED || errno == EINTR) continue;
        break;  // drained (EAGAIN), or nothing to take now
      }
      if (!PeerIsThisUser(connection.Get())) continue;
      state->Keep(std::move(connection));
    }
    return state->watch != 0 ? G_SOURCE_CONTINUE : G_SOURCE_REMOVE;
  }

  void Keep(UniqueFd connection) {
    auto kept = std::make_unique<Waiting>();
    kept->state = this;
    kept->connection = std::move(connection);
    kept->since = g_get_monotonic_time();
    std::string token;
    const Read read = TakeBytes(*kept, token);
    if (read == Read::kRequest) Answer(kept->connection, token);
    if (read != Read::kWait) return;
    if (waiting.size() >= kMaxWaiting) Drop(waiting.front().get());
    kept->watch = g_unix_fd_add(kept->connection.Get(), static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR),
                                &State::OnBytes, kept.get());
    waiting.push_back(std::move(kept));
    if (sweep == 0) sweep = g_timeout_add(250, &State::OnSweep, this);
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
  const auto left = [&giveUpAt] {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(giveUpAt - std::chrono::steady_clock::now());
    return static_cast<int>(std::max<long long>(ms.count(), 0));
  };
  UniqueFd fd;
  for (;;) {
    fd = UniqueFd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!fd) return false;
    if (::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) break;
    const bool worthRetrying = errno == ENOENT || errno == ECONNREFUSED || errno == EAGAIN || errno == EINTR;
    if (!worthRetrying || left() == 0) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  // Whoever listens must be this user, not someone who planted a socket.
  if (!PeerIsThisUser(fd.Get())) return false;
  // The request fits the socket's buffer: it is queued for the first start
  // even while that one is busy.
  if (::send(fd.Get(), request.data(), request.size(), MSG_NOSIGNAL | MSG_DONTWAIT) !=
      static_cast<ssize_t>(request.size())) {
    return false;
  }
  // The answer comes once the first start's window has come forward.
  std::string answer;
  while (answer.size() < sizeof kRaisedWord - 1) {
    pollfd ready{fd.Get(), POLLIN, 0};
    if (RetryInterrupted([&] { return ::poll(&ready, 1, left()); }) <= 0) return false;
    char buffer[16];
    const ssize_t got = RetryInterrupted([&] { return ::recv(fd.Get(), buffer, sizeof buffer, MSG_DONTWAIT); });
    if (got <= 0) return false;
    answer.append(buffer, static_cast<std::size_t>(got));
  }
  return answer == kRaisedWord;
}

void SingleInstance::AnswerLaterStarts(std::function<bool(const std::string& activationToken)> bringToFront) {
  State& s = *state_;
  s.RemoveWatch();
  s.bringToFront = std::move(bringToFront);
  if (s.bringToFront && s.listener) {
    s.watch = g_unix_fd_add(s.listener.Get(), G_IO_IN, &State::OnRequests, &s);
  }
}
