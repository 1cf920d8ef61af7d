#pragma once
// What the library can learn of a connection's socket when the client library does not hand
// it out (an ODBC driver): which socket the library opened, whether the server has closed it
// while the connection was idle, and how to give it up under a call that waits for ever.
// Where the system cannot tell (Windows: a process's sockets are not listed), nothing is
// found, and callers do without: a dead connection is then noticed when a call fails.
#include <cstdint>
#include <map>
#include <optional>

namespace QuillData::platform {

// One socket: its descriptor and the inode behind it (a descriptor number is reused).
struct SocketId {
  int fd = -1;
  uint64_t inode = 0;
};

// The process's stream sockets: descriptor to inode.
std::map<int, uint64_t> StreamSockets();

// The one stream socket open now that was not open in `before` (a connection just opened);
// nothing when there is none, or more than one (another thread opened sockets meanwhile).
std::optional<SocketId> NewSocket(const std::map<int, uint64_t>& before);

// True when a TCP socket of this process runs from localPort to remotePort: the two ends the
// server sees of a connection are this process's own, with nothing in between that answers in
// the server's place.
bool OwnsConnection(int localPort, int remotePort);

// True when a TCP socket of this process runs from localPort to remotePort: the two ends the
// server sees of a connection are this process's own, with nothing in between that answers in
// the server's place. False where the system cannot tell.
bool OwnsConnection(int localPort, int remotePort);

// True when the socket is still the one found (the library has not closed or replaced it).
bool StillOpen(const SocketId& socket);

// Looks at an idle connection's socket without taking anything from it: true when the server
// has closed it, or (postgres) has sent an error while nothing was asked, which it does only
// when it ends the session.
bool ClosedByServer(const SocketId& socket, bool postgres);

// Shuts the socket down both ways, so that a call blocked on it returns at once.
void ShutDown(const SocketId& socket);

// Runs `child` in the child after a fork, so that state a thread of the parent held (a lock)
// starts afresh there; `prepare` and `parent` run around the fork in the parent. Nothing
// where processes are not forked.
void AtFork(void (*prepare)(), void (*parent)(), void (*child)());

}  // namespace QuillData::platform
