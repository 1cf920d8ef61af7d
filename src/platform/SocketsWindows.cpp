#include "platform/Sockets.h"

// A Windows process cannot list its own sockets, so the socket an ODBC driver opened is never
// found: a dead idle connection shows when a call on it fails, and a frozen server is left to
// the driver's own query timeout.
namespace QuillData::platform {

std::map<int, uint64_t> StreamSockets() {
  return {};
}

std::optional<SocketId> NewSocket(const std::map<int, uint64_t>&) {
  return std::nullopt;
}

// Unknown here: a connection counts as one through a pooler, which costs a little speed only.
bool OwnsConnection(int, int) {
  return false;
}

bool StillOpen(const SocketId&) {
  return false;
}

bool ClosedByServer(const SocketId&, bool) {
  return false;
}

void ShutDown(const SocketId&) {}

void AtFork(void (*)(), void (*)(), void (*)()) {}

}  // namespace QuillData::platform
