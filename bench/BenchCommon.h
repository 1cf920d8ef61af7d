#pragma once
// What the benchmark files share: scratch folders, the allocation counter of the benchmark
// binary, and the pairs (a backend call and the raw SQLite loop doing the same work) whose
// ratios are printed at the end of the run.
#include <sqlite3.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "Widen.h"

namespace bench {

// A new folder under the system's temporary folder, removed by the caller.
std::filesystem::path MakeTempDir();

// Aborts the run with the library's message when `rc` is not SQLITE_OK.
void Check(int rc, sqlite3* db);

// A connection of the raw side, opened as the backend opens its own: read and write, without
// the connection's mutex (one thread uses it), so that neither side pays for locking the
// other does not.
sqlite3* OpenRaw(const std::string& path);

// Bytes obtained through operator new and not yet returned, counted while counting is on
// (in malloc's usable sizes). Off by default: the timed loops do not pay for it.
void CountAllocations(bool on);
int64_t LiveBytes();

// A line of the final table: the time of benchmark `a` over that of benchmark `b` (CPU time,
// or wall time when the pair waits for the disk).
struct Pair {
  std::string section;
  std::string label;
  std::string a;
  std::string b;
  bool wall = false;
};
void AddPair(Pair pair);
const std::vector<Pair>& Pairs();

// Lines printed after the table (the memory of the readers' collections).
void AddNote(std::string line);

void RegisterReaders();
// Runs after the benchmarks: the memory each reader's collection holds.
void MeasureReaderMemory();

}  // namespace bench
