#pragma once
// A connection's socket as the system lets a provider see it (platform/Sockets.h), and a
// deadline under a call that may wait for ever.
#include <chrono>
#include <cstdint>
#include <functional>

#include "platform/Sockets.h"

namespace QuillData::ado::detail {

using platform::ClosedByServer;
using platform::NewSocket;
using platform::OwnsConnection;
using platform::ShutDown;
using platform::SocketId;
using platform::StillOpen;
using platform::StreamSockets;

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
