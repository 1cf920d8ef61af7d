#pragma once
// What a provider can learn of its connection's socket when the client library does not hand
// it out (an ODBC driver): which socket the library opened, whether the server has closed it
// while the connection was idle, and how to give it up under a call that waits for ever.
// Linux: the process's descriptors are read from /proc/self/fd.
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>

namespace QuillData::ado::detail {

// One socket: its descriptor and the inode behind it (a descriptor number is reused).
struct SocketId {
  int fd = -1;
  ino_t inode = 0;
};

// The process's stream sockets: descriptor to inode.
std::map<int, ino_t> StreamSockets();

// The one stream socket open now that was not open in `before` (a connection just opened);
// nothing when there is none, or more than one (another thread opened sockets meanwhile).
std::optional<SocketId> NewSocket(const std::map<int, ino_t>& before);

// True when a TCP socket of this process runs from localPort to remotePort: the two ends the
// server sees of a connection are this process's own, with nothing in between that answers in
// the server's place.
bool OwnsConnection(int localPort, int remotePort);

// True when the socket is still the one found (the library has not closed or replaced it).
bool StillOpen(const SocketId& socket);

// Looks at an idle connection's socket without taking anything from it: true when the server
// has closed it, or (postgres) has sent an error while nothing was asked, which it does only
// when it ends the session.
bool ClosedByServer(const SocketId& socket, bool postgres);

// Shuts the socket down both ways, so that a call blocked on it returns at once.
void ShutDown(const SocketId& socket);

// A deadline watched by one thread for the whole process: at `when` it runs `action` (on
// that thread) unless the Deadline has gone first. Cheap to make: no thread is woken.
class Deadline {
 public:
  Deadline(std::chrono::steady_clock::time_point when, std::function<void()> action);
  ~Deadline();
  Deadline(const Deadline&) = delete;
  Deadline& operator=(const Deadline&) = delete;
  // True once the action has run.
  bool Fired() const;

 private:
  uint64_t id_;
};

}  // namespace QuillData::ado::detail
