#include "ado/Socket.h"

#include <dirent.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace QuillData::ado::detail {

std::map<int, ino_t> StreamSockets() {
  std::map<int, ino_t> sockets;
  DIR* folder = opendir("/proc/self/fd");
  if (!folder) return sockets;
  const int own = dirfd(folder);
  while (const dirent* entry = readdir(folder)) {
    char* end = nullptr;
    const long fd = std::strtol(entry->d_name, &end, 10);
    if (end == entry->d_name || *end != '\0' || fd == own) continue;
    struct stat info {};
    int type = 0;
    socklen_t length = sizeof type;
    if (fstat(static_cast<int>(fd), &info) == 0 && S_ISSOCK(info.st_mode) &&
        getsockopt(static_cast<int>(fd), SOL_SOCKET, SO_TYPE, &type, &length) == 0 &&
        type == SOCK_STREAM) {
      sockets.emplace(static_cast<int>(fd), info.st_ino);
    }
  }
  closedir(folder);
  return sockets;
}

std::optional<SocketId> NewSocket(const std::map<int, ino_t>& before) {
  std::optional<SocketId> found;
  for (const auto& [fd, inode] : StreamSockets()) {
    auto old = before.find(fd);
    if (old != before.end() && old->second == inode) continue;
    if (found) return std::nullopt;
    found = SocketId{fd, inode};
  }
  return found;
}

namespace {

// The port of a TCP address, 0 for any other kind.
int PortOf(const sockaddr_storage& address) {
  if (address.ss_family == AF_INET)
    return ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
  if (address.ss_family == AF_INET6)
    return ntohs(reinterpret_cast<const sockaddr_in6&>(address).sin6_port);
  return 0;
}

}  // namespace

bool OwnsConnection(int localPort, int remotePort) {
  for (const auto& [fd, inode] : StreamSockets()) {
    sockaddr_storage local{}, remote{};
    socklen_t localLength = sizeof local, remoteLength = sizeof remote;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localLength) == 0 &&
        getpeername(fd, reinterpret_cast<sockaddr*>(&remote), &remoteLength) == 0 &&
        PortOf(local) == localPort && PortOf(remote) == remotePort && localPort != 0)
      return true;
  }
  return false;
}

bool StillOpen(const SocketId& socket) {
  struct stat info {};
  return socket.fd >= 0 && fstat(socket.fd, &info) == 0 && info.st_ino == socket.inode;
}

bool ClosedByServer(const SocketId& socket, bool postgres) {
  if (!StillOpen(socket)) return false;
  pollfd ready{socket.fd, POLLIN, 0};
  if (poll(&ready, 1, 0) <= 0) return false;
  char first = 0;
  const ssize_t n = recv(socket.fd, &first, 1, MSG_PEEK | MSG_DONTWAIT);
  if (n == 0) return true;  // the server's end is closed
  if (n < 0) return errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR;
  // PostgreSQL's protocol: an ErrorResponse on an idle connection is the server's word that
  // it is ending the session (a shutdown, a terminated backend).
  return postgres && first == 'E';
}

void ShutDown(const SocketId& socket) {
  if (StillOpen(socket)) shutdown(socket.fd, SHUT_RDWR);
}

namespace {

using Clock = std::chrono::steady_clock;

struct Entry {
  Clock::time_point when;
  std::function<void()> action;
  bool fired = false;
};

// The deadlines of the process and the thread that watches them. It wakes four times a
// second while it has deadlines (so arming one never wakes it) and ends after a while without
// any.
struct Watch {
  std::mutex mutex;
  std::map<uint64_t, Entry> entries;
  uint64_t next = 0;
  bool running = false;
};

Watch* gWatch = nullptr;

Watch& TheWatch() {
  static const bool once = [] {
    gWatch = new Watch;  // never destroyed: the thread may outlive static destruction
    // A child process has no watching thread and must not inherit a lock held at the fork.
    pthread_atfork([] { gWatch->mutex.lock(); }, [] { gWatch->mutex.unlock(); },
                   [] { gWatch = new Watch; });
    return true;
  }();
  (void)once;
  return *gWatch;
}

void WatchLoop(Watch* watch) {
  constexpr auto kTick = std::chrono::milliseconds(250);
  constexpr auto kIdleEnd = std::chrono::seconds(10);
  auto idleSince = Clock::now();
  std::unique_lock lock(watch->mutex);
  for (;;) {
    const auto now = Clock::now();
    for (auto& [id, entry] : watch->entries) {
      if (!entry.fired && entry.when <= now) {
        entry.fired = true;
        entry.action();
      }
    }
    if (!watch->entries.empty()) idleSince = now;
    if (now - idleSince > kIdleEnd) {
      watch->running = false;
      return;
    }
    lock.unlock();
    std::this_thread::sleep_for(kTick);
    lock.lock();
  }
}

}  // namespace

Deadline::Deadline(Clock::time_point when, std::function<void()> action) {
  Watch& watch = TheWatch();
  std::lock_guard lock(watch.mutex);
  id_ = ++watch.next;
  watch.entries.emplace(id_, Entry{when, std::move(action)});
  if (!watch.running) {
    watch.running = true;
    std::thread(WatchLoop, &watch).detach();
  }
}

Deadline::~Deadline() {
  Watch& watch = TheWatch();
  std::lock_guard lock(watch.mutex);
  watch.entries.erase(id_);
}

bool Deadline::Fired() const {
  Watch& watch = TheWatch();
  std::lock_guard lock(watch.mutex);
  auto it = watch.entries.find(id_);
  return it != watch.entries.end() && it->second.fired;
}

}  // namespace QuillData::ado::detail
