#include "cli/Interrupt.h"

#include <charconv>

#include "platform/Files.h"

namespace QuillData::cli {
namespace {

namespace fs = std::filesystem;

std::atomic<int> gSignal{0};

// The process id in `name` after the prefix, when what follows it is the id and then
// nothing or "-"; 0 otherwise.
int ProcessOf(const std::string& name, const std::string& prefix) {
  if (!name.starts_with(prefix)) return 0;
  const char* first = name.data() + prefix.size();
  const char* last = name.data() + name.size();
  int pid = 0;
  auto [end, ec] = std::from_chars(first, last, pid);
  if (ec != std::errc() || end == first || pid <= 0) return 0;
  return end == last || *end == '-' ? pid : 0;
}

// Each file of `files` whose process id `keep` accepts.
template <class Keep>
std::vector<std::pair<fs::path, int>> Matching(const WorkFiles& files, Keep keep) {
  std::vector<std::pair<fs::path, int>> found;
  std::error_code ec;
  const fs::path folder = files.folder.empty() ? fs::path(".") : files.folder;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const int pid = ProcessOf(it->path().filename().string(), files.prefix);
    if (pid != 0 && keep(pid)) found.emplace_back(it->path(), pid);
  }
  return found;
}

}  // namespace

WorkFiles WorkFiles::Transfer(const fs::path& target) {
  return {target.parent_path(), target.filename().string() + ".transfer-"};
}

WorkFiles WorkFiles::Copy(const fs::path& destination) {
  return {destination.parent_path(), "." + destination.filename().string() + ".partial-"};
}

void RemoveLeftovers(const WorkFiles& files, std::ostream& err, std::string_view command) {
  const int self = platform::ProcessId();
  auto gone = [self](int pid) { return pid != self && platform::ProcessHasEnded(pid); };
  for (const auto& [path, pid] : Matching(files, gone)) {
    std::error_code ec;
    if (fs::remove(path, ec)) {
      err << "quilldata " << command << ": removed " << path.string()
          << ", left by an interrupted run (process " << pid << " has ended)\n";
    }
  }
}

Interruption::Interruption(std::chrono::milliseconds grace) : grace_(grace) {
  gSignal = 0;
  watcher_ = std::thread([this] { Watch(); });
}

Interruption::~Interruption() {
  stop_ = true;
  watcher_.join();
  gSignal = 0;
}

bool Interruption::Requested() {
  return gSignal.load() != 0;
}

int Interruption::ExitCode() const {
  return 128 + gSignal.load();
}

std::string Interruption::SignalName() const {
  return gSignal.load() == platform::kTerminate ? "SIGTERM" : "SIGINT";
}

void Interruption::RemoveOnForcedEnd(const WorkFiles& files) {
  std::lock_guard lock(mutex_);
  files_.push_back(files);
}

void Interruption::Watch() {
  std::chrono::steady_clock::time_point deadline{};
  while (!stop_) {
    const int signal = requests_.Wait(std::chrono::milliseconds(50));
    if (signal > 0) {
      if (gSignal.exchange(signal) != 0 || grace_.count() == 0) End(signal);
      deadline = std::chrono::steady_clock::now() + grace_;
    }
    if (gSignal != 0 && std::chrono::steady_clock::now() >= deadline) End(gSignal);
  }
}

void Interruption::End(int signal) {
  {
    std::lock_guard lock(mutex_);
    const int self = platform::ProcessId();
    for (const WorkFiles& files : files_) {
      for (const auto& [path, pid] : Matching(files, [self](int pid) { return pid == self; })) {
        std::error_code ec;
        fs::remove(path, ec);
      }
    }
  }
  platform::StopRequests::EndAsRequested(signal);
}

}  // namespace QuillData::cli
