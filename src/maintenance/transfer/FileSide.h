#pragma once
// The embedded database file as a side of the transfer.
#include <filesystem>
#include <map>
#include <string>

#include "maintenance/transfer/Side.h"
#include "sqlite/Database.h"

namespace QuillData::transfer {

// The schema's tables and columns, from the embedded schema loaded into a database in memory.
std::vector<TableSpec> SchemaTables(const std::wstring& libraryFolder);

class FileSide : public Side {
 public:
  FileSide(const std::wstring& libraryFolder, const std::filesystem::path& file);

  void Refine(std::vector<TableSpec>& tables, bool target) override;
  void BeginRead() override;
  int64_t Count(const TableSpec& table) override;
  std::vector<std::pair<std::string, int64_t>> OtherRows(
      const std::vector<TableSpec>& tables) override;
  void Scan(const TableSpec& table, const std::function<void(Batch&)>& take) override;
  void Suspects(const TableSpec& table,
                const std::function<void(int64_t row, const Cell* cells)>& take) override;
  void BeginWrite() override;
  void Insert(const TableSpec& table, const Batch& rows) override;
  int64_t IdsUsed(const TableSpec& table) override;
  void Finish(const TableSpec& table, int64_t idsUsed) override;
  std::pair<int64_t, uint64_t> Verify(const TableSpec& table) override;
  void Commit() override;
  void Rollback() noexcept override;

 private:
  // The value of result column `c` as column `column` of `table` carries it.
  static Cell Read(const sqlite_detail::Statement& stmt, int32_t c, const TableSpec& table,
                   size_t column, int64_t row);

  sqlite_detail::Database file_;
  std::map<std::string, sqlite_detail::Statement> inserts_;
  bool writing_ = false;
};

}  // namespace QuillData::transfer
