// The benchmark program: every reader and the main writers against raw SQLite loops doing the
// same work, in one process; at the end, the ratios as one table and the memory the readers'
// collections hold.
//
//   bench_quilldata [--benchmark_repetitions=N (default 10)] [--benchmark_filter=...]
//                   [google benchmark flags]
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <new>

#include "BenchCommon.h"

namespace {

std::atomic<bool> gCounting{false};
std::atomic<int64_t> gLive{0};

void* Allocate(std::size_t n) {
  void* p = std::malloc(n == 0 ? 1 : n);
  if (p == nullptr) throw std::bad_alloc();
  if (gCounting.load(std::memory_order_relaxed)) {
    gLive.fetch_add(int64_t(malloc_usable_size(p)), std::memory_order_relaxed);
  }
  return p;
}

void Release(void* p) noexcept {
  if (p == nullptr) return;
  if (gCounting.load(std::memory_order_relaxed)) {
    gLive.fetch_sub(int64_t(malloc_usable_size(p)), std::memory_order_relaxed);
  }
  std::free(p);
}

}  // namespace

// The program's own allocation functions: every operator new of the process (the library's
// included) comes here, so that the bytes a collection holds can be counted.
void* operator new(std::size_t n) {
  return Allocate(n);
}
void* operator new[](std::size_t n) {
  return Allocate(n);
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
  try {
    return Allocate(n);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
  try {
    return Allocate(n);
  } catch (...) {
    return nullptr;
  }
}
void operator delete(void* p) noexcept {
  Release(p);
}
void operator delete[](void* p) noexcept {
  Release(p);
}
void operator delete(void* p, std::size_t) noexcept {
  Release(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  Release(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
  Release(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
  Release(p);
}

namespace bench {

namespace {
std::vector<Pair>& PairList() {
  static std::vector<Pair> pairs;
  return pairs;
}
std::vector<std::string>& NoteList() {
  static std::vector<std::string> notes;
  return notes;
}
}  // namespace

std::filesystem::path MakeTempDir() {
  std::string pattern =
      (std::filesystem::temp_directory_path() / "quilldata-bench-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) std::abort();
  return pattern;
}

void Check(int rc, sqlite3* db) {
  if (rc != SQLITE_OK) {
    std::fprintf(stderr, "bench: %s\n", sqlite3_errmsg(db));
    std::abort();
  }
}

sqlite3* OpenRaw(const std::string& path) {
  sqlite3* db = nullptr;
  Check(sqlite3_open_v2(path.c_str(), &db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr),
        db);
  return db;
}

void CountAllocations(bool on) {
  gCounting.store(on);
}
int64_t LiveBytes() {
  return gLive.load();
}

void AddPair(Pair pair) {
  PairList().push_back(std::move(pair));
}
const std::vector<Pair>& Pairs() {
  return PairList();
}
void AddNote(std::string line) {
  NoteList().push_back(std::move(line));
}

}  // namespace bench

namespace {

// The console output: the aggregates of each repeated benchmark (its single run when it runs
// once). For the table it keeps each benchmark's fastest repetition: noise on a shared machine
// only ever adds time, so the minimum is the steadiest estimate of the work itself.
class Reporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    std::vector<Run> shown;
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Aggregate || run.repetitions <= 1) shown.push_back(run);
      if (run.error_occurred || run.run_type != Run::RT_Iteration) continue;
      const std::string& args = run.run_name.args;
      const std::string base = run.run_name.function_name + (args.empty() ? "" : "/" + args);
      const Times t{ToSeconds(run.GetAdjustedCPUTime(), run.time_unit),
                    ToSeconds(run.GetAdjustedRealTime(), run.time_unit)};
      auto [at, fresh] = fastest_.try_emplace(base, t);
      if (!fresh) {
        at->second.cpu = std::min(at->second.cpu, t.cpu);
        at->second.wall = std::min(at->second.wall, t.wall);
      }
    }
    ConsoleReporter::ReportRuns(shown);
  }

  void PrintTable() const {
    std::string section;
    for (const bench::Pair& pair : bench::Pairs()) {
      const double a = Time(pair.a, pair.wall), b = Time(pair.b, pair.wall);
      if (a <= 0 || b <= 0) continue;
      if (pair.section != section) {
        section = pair.section;
        std::printf("\n%-46s %12s %12s %8s\n", section.c_str(), "time", "against", "ratio");
      }
      std::printf("%-46s %12s %12s %7.2fx%s\n", pair.label.c_str(), Format(a).c_str(),
                  Format(b).c_str(), a / b, pair.wall ? " (wall)" : "");
    }
  }

 private:
  struct Times {
    double cpu = 0, wall = 0;
  };
  static double ToSeconds(double value, benchmark::TimeUnit unit) {
    switch (unit) {
      case benchmark::kNanosecond:
        return value * 1e-9;
      case benchmark::kMicrosecond:
        return value * 1e-6;
      case benchmark::kMillisecond:
        return value * 1e-3;
      default:
        return value;
    }
  }
  static std::string Format(double seconds) {
    char text[32];
    if (seconds >= 1e-3) {
      std::snprintf(text, sizeof text, "%.2f ms", seconds * 1e3);
    } else {
      std::snprintf(text, sizeof text, "%.1f us", seconds * 1e6);
    }
    return text;
  }
  double Time(const std::string& name, bool wall) const {
    auto s = fastest_.find(name);
    if (s == fastest_.end()) return 0;
    return wall ? s->second.wall : s->second.cpu;
  }
  std::map<std::string, Times> fastest_;
};

}  // namespace

int main(int argc, char** argv) {
  // Unless told otherwise: each benchmark ten times for a quarter of a second, the repetitions
  // of all benchmarks in random order (a benchmark run after a large read finds the heap in
  // another state than one run first), and the fastest repetition in the table.
  // The heap keeps what it is given back: otherwise glibc returns the top of the heap and
  // large blocks to the kernel between runs, and whichever side next asks for them pays page
  // faults by chance, which moved single ratios by more than the work measured.
  mallopt(M_MMAP_THRESHOLD, 1 << 30);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  std::vector<char*> args(argv, argv + argc);
  auto given = [&](const char* flag) {
    for (int i = 1; i < argc; ++i) {
      if (std::strncmp(argv[i], flag, std::strlen(flag)) == 0) return true;
    }
    return false;
  };
  std::string repetitions = "--benchmark_repetitions=10";
  std::string minTime = "--benchmark_min_time=0.25";
  std::string interleave = "--benchmark_enable_random_interleaving=true";
  if (!given("--benchmark_repetitions")) args.push_back(repetitions.data());
  if (!given("--benchmark_min_time")) args.push_back(minTime.data());
  if (!given("--benchmark_enable_random_interleaving")) args.push_back(interleave.data());
  int count = static_cast<int>(args.size());
  args.push_back(nullptr);
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;
  bench::RegisterReaders();
  Reporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf(
      "\nThe backend's time over the raw SQLite C loop doing the same work, fastest repetition "
      "of each (1.00x = no cost of its own)\n");
  reporter.PrintTable();
  bench::MeasureReaderMemory();
  std::printf("\n");
  for (const std::string& line : bench::NoteList()) std::printf("%s\n", line.c_str());
  benchmark::Shutdown();
  return 0;
}
