#pragma once
// A backend opened on an empty database beside a raw connection (RawDb) to the same file,
// and an error companion that retries once the cause is gone.
#include <functional>
#include <string>
#include <vector>

#include "sqlite/SqliteFixture.h"

namespace QuillData::testing {

// Answers "retry", and on the first report runs `onFirst` (which removes the cause); after a
// few reports it leaves, so that a cause that never goes cannot hang the test.
class RetryAfter : public cE {
 public:
  explicit RetryAfter(std::function<void()> onFirst) : onFirst_(std::move(onFirst)) {}
  int16_t HandleError(QuillError& err, ObjectPtr&, std::wstring&, std::wstring& procedure,
                      std::shared_ptr<cSP>&, int32_t&) override {
    seen.push_back(err.Description());
    procedures.push_back(procedure);
    kinds.push_back(err.Kind());
    if (seen.size() == 1) onFirst_();
    return seen.size() < 5 ? kRetry : kLeave;
  }
  std::vector<std::wstring> seen, procedures;
  std::vector<ErrorKind> kinds;

 private:
  std::function<void()> onFirst_;
};

class WritersTest : public SqliteTest {
 protected:
  void SetUp() override {
    SqliteTest::SetUp();
    UseLocale("C.UTF-8");
    file = NewDatabase();
    db = Open(file);
  }
  void TearDown() override {
    db.reset();
    SqliteTest::TearDown();
  }

  void Raw(const std::string& sql) {
    RawDb raw(file);
    ASSERT_EQ(raw.Exec(sql), SQLITE_OK) << sql << ": " << raw.Error();
  }
  std::vector<Row> Query(const std::string& sql) { return RawDb(file).Query(sql); }
  // The first column of the first row ("" when there is none).
  std::string One(const std::string& sql) {
    auto rows = Query(sql);
    return rows.empty() ? std::string() : rows[0][0];
  }
  int Count(const std::string& table) { return std::stoi(One("SELECT count(*) FROM " + table)); }
  Snapshot Dump() { return RawDb(file).Dump(); }

  // The descriptions the error companion received, in order.
  std::vector<std::wstring> Reported() const {
    std::vector<std::wstring> out;
    for (const auto& r : errors->Reports()) out.push_back(r.description);
    return out;
  }

  std::filesystem::path file;
  std::shared_ptr<clsQuillData_SqlLite> db;
};

}  // namespace QuillData::testing
