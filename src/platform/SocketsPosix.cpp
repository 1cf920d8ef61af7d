#include "platform/Sockets.h"

#include <dirent.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

// Linux: the process's descriptors are read from /proc/self/fd.
namespace QuillData::platform {

std::map<int, uint64_t> StreamSockets() {
  std::map<int, uint64_t> sockets;
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

std::optional<SocketId> NewSocket(const std::map<int, uint64_t>& before) {
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

void AtFork(void (*prepare)(), void (*parent)(), void (*child)()) {
  pthread_atfork(prepare, parent, child);
}

}  // namespace QuillData::platform
