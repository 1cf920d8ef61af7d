// A writer process killed in the middle of its writes: the database it leaves behind is whole
// and holds every write that had returned.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "sqlite/WritersFixture.h"

namespace QuillData::testing {
namespace {

struct Written {
  int32_t n;
  int32_t id;
};

class HardeningCrashTest : public WritersTest {
 protected:
  // Starts a child that writes machinings "Crash <first>", "Crash <first + 1>", ... (each in
  // its own unit, with the link and variable writers in between) and reports each returned
  // id; kills it once `atLeast` have come back and returns every report it had sent.
  std::vector<Written> WriteUntilKilled(int first, size_t atLeast, int extraMicroseconds) {
    int out[2];
    if (pipe(out) != 0) ADD_FAILURE() << "pipe";
    const pid_t child = fork();
    if (child < 0) ADD_FAILURE() << "fork";
    if (child == 0) {
      close(out[0]);
      auto handler = std::make_shared<PolicyErrorHandler>(Policy::Leave);
      clsQuillData_SqlLite backend;
      if (!backend.OpenDB(nullptr, handler, {L"", file.wstring(), L"0"})) _exit(4);
      for (int32_t n = first;; ++n) {
        Written w{n, backend.INSERTMachining(L"Crash " + std::to_wstring(n), L"G", 1, 0, 0, 0)};
        if (w.id <= 0) _exit(5);
        backend.INSERTMachLink(w.id, 1, L"L", L"E", false, false);
        backend.INSERTMachVariable(L"V " + std::to_wstring(n), L"1", 1, false);
        if (write(out[1], &w, sizeof w) != ssize_t(sizeof w)) _exit(6);
      }
    }
    close(out[1]);
    std::vector<Written> written;
    Written w;
    while (written.size() < atLeast && read(out[0], &w, sizeof w) == ssize_t(sizeof w)) {
      written.push_back(w);
    }
    std::this_thread::sleep_for(std::chrono::microseconds(extraMicroseconds));
    kill(child, SIGKILL);
    // What the child sent before it died returned before the kill.
    while (read(out[0], &w, sizeof w) == ssize_t(sizeof w)) written.push_back(w);
    close(out[0]);
    int status = 0;
    EXPECT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
        << "the child ended by itself with status " << status << " (4: open, 5: no id)";
    return written;
  }
};

TEST_F(HardeningCrashTest, AKilledWriterLeavesAWholeDatabaseWithEveryReturnedWrite) {
  db.reset();  // no connection crosses the fork
  std::vector<Written> all;
  int next = 0;
  // Kills at different points of the stream; the next child finds what the last one left.
  for (int extra : {0, 700, 1900}) {
    std::vector<Written> written = WriteUntilKilled(next, 25, extra);
    ASSERT_GE(written.size(), 25u);
    next = written.back().n + 2;  // past any write the child may have made but not reported
    all.insert(all.end(), written.begin(), written.end());

    EXPECT_EQ(Query("PRAGMA integrity_check"), (std::vector<Row>{{"ok"}}));
    for (const Written& w : all) {
      ASSERT_EQ(One("SELECT MachName FROM Machining WHERE MachID = " + std::to_string(w.id)),
                "Crash " + std::to_string(w.n));
    }
    // A unit is all or nothing: never a name twice, never a link without its machining.
    EXPECT_EQ(One("SELECT count(*) - count(DISTINCT MachName) FROM Machining"), "0");
    EXPECT_EQ(One("SELECT count(*) FROM MachLink WHERE MachID NOT IN (SELECT MachID FROM "
                  "Machining)"),
              "0");
  }
  // The reopened database takes writes again.
  db = Open(file);
  EXPECT_GT(db->INSERTMachining(L"after", L"G", 1, 0, 0, 0), 0);
  EXPECT_TRUE(Reported().empty());
}

}  // namespace
}  // namespace QuillData::testing
