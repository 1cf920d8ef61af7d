#pragma once
// One side of a transfer, a database file or a server: what the orchestrator asks of either.
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "maintenance/transfer/Model.h"

namespace QuillData::transfer {

class Side {
 public:
  virtual ~Side() = default;
  // The side's column kinds refine the schema's (a server's boolean and timestamp columns),
  // and its columns' limits go into `holds` (as the source) or `takes` (as the target). A
  // side lacking a table or column of the schema refuses.
  virtual void Refine(std::vector<TableSpec>& tables, bool target) = 0;
  // A consistent view for every read that follows.
  virtual void BeginRead() = 0;
  virtual int64_t Count(const TableSpec& table) = 0;
  // Tables outside `tables` that hold rows, with their counts.
  virtual std::vector<std::pair<std::string, int64_t>> OtherRows(
      const std::vector<TableSpec>& tables) = 0;
  // The rows in key order, batch by batch.
  virtual void Scan(const TableSpec& table, const std::function<void(Batch&)>& take) = 0;
  // The rows that may hold a value its column of `table` does not take (`takes` beyond
  // `holds`): every such row at least, in key order, each with its number among all rows
  // (from 1). `table` lists only the columns to look at. This default reads every row.
  virtual void Suspects(const TableSpec& table,
                        const std::function<void(int64_t row, const Cell* cells)>& take);
  virtual void BeginWrite() = 0;
  virtual void Insert(const TableSpec& table, const Batch& rows) = 0;
  // The highest id the table has handed out, deleted rows' included, where the side keeps
  // such a mark (a server's identity, an AUTOINCREMENT table); else 0.
  virtual int64_t IdsUsed(const TableSpec& table) = 0;
  // After a table's rows are in: new ids start past the rows' and past `idsUsed`, the
  // source's mark, so that no id the source ever handed out is handed out again.
  virtual void Finish(const TableSpec& table, int64_t idsUsed) = 0;
  // The table's row count and checksum as this side holds them now.
  virtual std::pair<int64_t, uint64_t> Verify(const TableSpec& table) = 0;
  virtual void Commit() = 0;
  virtual void Rollback() noexcept = 0;
};

}  // namespace QuillData::transfer
