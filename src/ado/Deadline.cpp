#include "ado/Deadline.h"

#include <map>
#include <mutex>
#include <thread>

namespace QuillData::ado::detail {

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
    platform::AtFork([] { gWatch->mutex.lock(); }, [] { gWatch->mutex.unlock(); },
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
