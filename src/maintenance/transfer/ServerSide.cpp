#include "maintenance/transfer/ServerSide.h"

#include <algorithm>
#include <future>
#include <map>
#include <optional>

#include "QuillData/ado/Provider.h"
#include "QuillData/contract/Coerce.h"
#include "QuillData/contract/Text.h"
#include "QuillData/maintenance/Transfer.h"
#include "maintenance/ServerVersion.h"
#include "maintenance/transfer/Checksum.h"
#include "maintenance/transfer/CopyText.h"

namespace QuillData::transfer {

namespace {

using dialect::Dialect;

std::wstring Text(const Variant& value) {
  const auto* text = value.Get<std::wstring>();
  return text ? *text : std::wstring();
}

int64_t Integer(const Variant& value) {
  if (const auto* v = value.Get<int32_t>()) return *v;
  if (const auto* v = value.Get<int16_t>()) return *v;
  if (const auto* v = value.Get<Decimal>()) return static_cast<int64_t>(v->mantissa);
  if (const auto* v = value.Get<std::wstring>()) return std::stoll(*v);
  return 0;
}

// A whole number of the catalog, -1 for NULL.
int64_t Optional(const Variant& value) {
  return value.IsNull() || value.IsEmpty() ? -1 : Integer(value);
}

// The session, with the statements every way of moving rows needs.
class Server {
 public:
  Server(const std::wstring& connection, const Dialect& dialect)
      : session(ado::ProviderFor(connection)->Open(connection, L"", L"")), dialect(dialect) {}

  void Execute(const std::wstring& sql) {
    ado::CommandData command;
    command.text = sql;
    command.options = ado::adExecuteNoRecords;
    session->Execute(command);
  }

  std::shared_ptr<ado::RowSet> Query(const std::wstring& sql) {
    ado::CommandData command;
    command.text = sql;
    auto result = session->Execute(command);
    if (!result.rows) result.rows = std::make_shared<ado::RowSet>();
    return result.rows;
  }

  std::unique_ptr<ado::Session> session;
  const Dialect& dialect;
};

// A value the session handed over, in its column's carried form.
Cell ToCell(const Variant& value, const TableSpec& table, const ColumnSpec& column, int64_t row) {
  Cell cell;
  if (value.IsNull() || value.IsEmpty()) return cell;
  cell.null = false;
  switch (column.kind) {
    case Kind::Integer:
      cell.i = Integer(value);
      break;
    case Kind::Bool:
      if (const auto* b = value.Get<bool>()) {
        cell.i = *b ? 1 : 0;
      } else {  // a driver that hands booleans out as text ("1"/"0")
        const std::wstring text = Text(value);
        cell.i = text == L"1" || text == L"t" || text == L"true" ? 1 : 0;
      }
      break;
    case Kind::Real:
      cell.d = value.Get<double>() ? *value.Get<double>() : CDbl(value);  // numeric: a Decimal
      break;
    case Kind::Blob:
      if (const auto* bytes = value.Get<Variant::Bytes>())
        cell.s.assign(bytes->begin(), bytes->end());
      break;
    case Kind::Date: {
      auto date = ReadDate(ToUtf8(Text(value)));
      if (!date) Unreadable(table, column, row, L" holds no readable date.");
      cell.s = std::move(date->text);
      break;
    }
    case Kind::Text:
      cell.s = ToUtf8(Text(value));
  }
  return cell;
}

// How rows go into the server and come out of it.
class Mover {
 public:
  virtual ~Mover() = default;
  virtual void BeginWrite() {}
  // The work that stores a batch, run in the background while the next batch is read and
  // built, once the one before it is done.
  virtual std::function<void()> Store(const TableSpec& table, const Batch& rows,
                                      int64_t firstRow) = 0;
  // After the table's last batch is stored.
  virtual void EndTable() {}
  virtual void Abandon() noexcept {}
  virtual void Scan(const TableSpec& table, const std::function<void(Batch&)>& take) = 0;
  virtual std::pair<int64_t, uint64_t> Verify(const TableSpec& table) = 0;
};

// Through the session's bulk copy: a table's rows stream into one load, a batch a message,
// and come back out of one unload, in key order.
class BulkMover final : public Mover {
 public:
  BulkMover(Server& server, ado::BulkCopy& bulk) : server_(server), bulk_(bulk) {}

  // A table's load lasts as long as the table is long: the command timeout, meant for one
  // call, does not limit it.
  void BeginWrite() override { server_.Execute(server_.dialect.NoStatementTimeoutSql()); }

  std::function<void()> Store(const TableSpec& table, const Batch& rows,
                              int64_t firstRow) override {
    std::string data;
    for (size_t r = 0; r < rows.Rows(); ++r)
      AppendCopyRow(data, rows.Row(r), table, firstRow + static_cast<int64_t>(r));
    return [this, &table, data = std::move(data)] {
      if (!bulk_.Loading()) {
        std::vector<std::string> names;
        for (const auto& column : table.columns) names.push_back(column.name);
        bulk_.BeginLoad(table.name, names);
      }
      bulk_.Load(data);
    };
  }

  void EndTable() override { bulk_.EndLoad(); }
  void Abandon() noexcept override { bulk_.AbandonLoad("the transfer was abandoned"); }

  void Scan(const TableSpec& table, const std::function<void(Batch&)>& take) override {
    Batch batch;
    batch.width = table.columns.size();
    int64_t row = 0;
    std::string scratch;
    bulk_.Unload(ToUtf8(server_.dialect.SelectSql(table, nullptr, 0)), [&](std::string_view line) {
      ReadCopyRow(line, table, ++row, batch.cells, scratch);
      if (batch.Rows() == kBatchRows) {
        take(batch);
        batch.cells.clear();
      }
    });
    if (batch.Rows() > 0) take(batch);
  }

  // The rows as the server hands them out again, through its bulk unload: faster than the
  // server's own checksum in SQL, and the same sum.
  std::pair<int64_t, uint64_t> Verify(const TableSpec& table) override {
    Checksum sum;
    Scan(table, [&](Batch& batch) {
      for (size_t r = 0; r < batch.Rows(); ++r) sum.Add(batch.Row(r), table.columns);
    });
    return {sum.Rows(), sum.Value()};
  }

 private:
  Server& server_;
  ado::BulkCopy& bulk_;
};

// Without a bulk copy: one statement per batch, pages of rows by id, and the checksum
// computed by the server, so that the rows need not travel back.
class StatementMover final : public Mover {
 public:
  explicit StatementMover(Server& server) : server_(server) {}

  std::function<void()> Store(const TableSpec& table, const Batch& rows,
                              int64_t firstRow) override {
    return [this, sql = server_.dialect.InsertSql(table, rows, firstRow)] { server_.Execute(sql); };
  }

  void Scan(const TableSpec& table, const std::function<void(Batch&)>& take) override {
    int64_t row = 0;
    if (table.key < 0) {
      Convert(table, *server_.Query(server_.dialect.SelectSql(table, nullptr, 0)), row, take);
      return;
    }
    // By id, a page at a time, so that a large table is never held whole.
    std::optional<int64_t> last;
    for (;;) {
      auto rows =
          server_.Query(server_.dialect.SelectSql(table, last ? &*last : nullptr, kPageRows));
      if (rows->rows.empty()) break;
      last = Integer(rows->rows.back()[static_cast<size_t>(table.key)]);
      const bool more = rows->rows.size() == kPageRows;
      Convert(table, *rows, row, take);
      if (!more) break;
    }
  }

  std::pair<int64_t, uint64_t> Verify(const TableSpec& table) override {
    auto rows = server_.Query(server_.dialect.ChecksumSql(table));
    const auto& row = rows->rows.at(0);
    __int128 sum = 0;
    const std::string digits = ToUtf8(Text(row.at(1)));
    const bool negative = digits.starts_with('-');
    for (char d : std::string_view(digits).substr(negative ? 1 : 0)) sum = sum * 10 + (d - '0');
    if (negative) sum = -sum;
    return {std::stoll(ToUtf8(Text(row.at(0)))), static_cast<uint64_t>(sum)};
  }

 private:
  static constexpr size_t kPageRows = 20000;

  static void Convert(const TableSpec& table, const ado::RowSet& rows, int64_t& row,
                      const std::function<void(Batch&)>& take) {
    Batch batch;
    batch.width = table.columns.size();
    for (const auto& values : rows.rows) {
      ++row;
      for (size_t c = 0; c < batch.width; ++c)
        batch.cells.push_back(ToCell(values[c], table, table.columns[c], row));
      if (batch.Rows() == kBatchRows) {
        take(batch);
        batch.cells.clear();
      }
    }
    if (batch.Rows() > 0) take(batch);
  }

  Server& server_;
};

class ServerSide final : public Side {
 public:
  ServerSide(const std::wstring& connection, const Dialect& dialect)
      : server_(connection, dialect) {
    if (ado::BulkCopy* bulk = server_.session->Bulk()) {
      mover_ = std::make_unique<BulkMover>(server_, *bulk);
    } else {
      mover_ = std::make_unique<StatementMover>(server_);
    }
  }
  ~ServerSide() override { Rollback(); }

  void Refine(std::vector<TableSpec>& tables, bool target) override {
    // A newer schema may hold what this library would not carry; an older target takes the
    // upgrade inside the transaction that writes it, so that a refusal leaves it as it was.
    const int32_t version = server_schema::Version(*server_.session, Sql());
    if (version > Sql().Schema().version)
      Refuse(TransferRefusal::NotASchema,
             NewerSchema(version, Sql().Schema().version) + L", so nothing was written.");
    if (target && version != 0 && version < Sql().Schema().version) {
      BeginTransaction();
      server_schema::Upgrade(*server_.session, Sql());
    }
    struct ServerColumn {
      std::wstring type;
      std::wstring defaultExpression;  // empty: none, or the column takes NULL
      bool identity = false;
      Limit limit;
    };
    std::map<std::string, std::map<std::string, ServerColumn>> columns;  // by table, column
    const auto catalog = Query(Sql().ColumnsSql());
    for (const auto& row : catalog->rows) {
      const std::wstring type = Text(row[2]);
      columns[ToUtf8(Text(row[0]))][ToUtf8(Text(row[1]))] = {
          type, Text(row[3]), Text(row[4]) == L"YES",
          Sql().LimitOf(type, Optional(row[5]), Optional(row[6]), Optional(row[7]),
                        Optional(row[8]))};
    }
    std::wstring missing;
    for (TableSpec& table : tables) {
      auto it = columns.find(Sql().CatalogName(table.name));
      std::vector<size_t> defaulted;
      std::wstring defaults;
      for (size_t c = 0; c < table.columns.size(); ++c) {
        ColumnSpec& column = table.columns[c];
        const ServerColumn* server = nullptr;
        if (it != columns.end()) {
          auto found = it->second.find(column.name);
          if (found != it->second.end()) server = &found->second;
        }
        if (!server) {
          missing += (missing.empty() ? L"" : L", ") + FromUtf8(table.name + "." + column.name);
          continue;
        }
        column.serverType = server->type;
        column.identity = server->identity;
        column.kind = Sql().KindOf(server->type, column.kind);
        (target ? column.takes : column.holds) = server->limit;
        if (!server->defaultExpression.empty()) {
          defaulted.push_back(c);
          defaults += (defaults.empty() ? L"SELECT " : L", ") + server->defaultExpression;
        }
      }
      // The defaults as the server computes them, in the column's carried form.
      if (!defaulted.empty()) {
        auto values = Query(defaults);
        for (size_t k = 0; k < defaulted.size(); ++k) {
          ColumnSpec& column = table.columns[defaulted[k]];
          column.nullAs =
              std::make_shared<const Cell>(ToCell(values->rows.at(0).at(k), table, column, 0));
        }
      }
    }
    if (!missing.empty()) {
      Refuse(TransferRefusal::NotASchema,
             L"The server's database lacks tables or columns of the schema (run quilldata "
             L"server-init on an empty database): " +
                 missing + L".");
    }
  }

  void BeginRead() override {
    Run(Sql().BeginReadSql());
    open_ = true;
  }

  int64_t Count(const TableSpec& table) override {
    return Integer(Query(Sql().CountSql(table.name))->rows.at(0).at(0));
  }

  std::vector<std::pair<std::string, int64_t>> OtherRows(
      const std::vector<TableSpec>& tables) override {
    std::vector<std::pair<std::string, int64_t>> out;
    const std::string version = Sql().CatalogName(Sql().VersionTable());
    const auto names = Query(Sql().TablesSql(true));
    for (const auto& row : names->rows) {
      const std::string name = ToUtf8(Text(row[0]));
      const bool known = std::any_of(tables.begin(), tables.end(), [&](const TableSpec& t) {
        return Sql().CatalogName(t.name) == name;
      });
      if (known || name == version) continue;
      const int64_t count = Count(TableSpec{"\"" + name + "\"", {}, -1});
      if (count > 0) out.emplace_back(name, count);
    }
    return out;
  }

  void Scan(const TableSpec& table, const std::function<void(Batch&)>& take) override {
    Await();
    mover_->Scan(table, take);
  }

  void BeginWrite() override {
    if (!open_) BeginTransaction();
    mover_->BeginWrite();
  }

  void Insert(const TableSpec& table, const Batch& rows) override {
    auto store = mover_->Store(table, rows, rowsWritten_ + 1);
    rowsWritten_ += static_cast<int64_t>(rows.Rows());
    // The server stores this batch while the next one is read and built.
    Await();
    inFlight_ = std::async(std::launch::async, std::move(store));
  }

  int64_t IdsUsed(const TableSpec& table) override {
    if (table.key < 0 || !table.columns[static_cast<size_t>(table.key)].identity) return 0;
    const std::wstring sequence = Text(Query(Sql().IdentitySequenceSql(table))->rows.at(0).at(0));
    if (sequence.empty()) return 0;
    return Integer(Query(Sql().IdsUsedSql(sequence))->rows.at(0).at(0));
  }

  // The identity restarts past the highest id, the source's mark and its own, so it never
  // goes back.
  void Finish(const TableSpec& table, int64_t idsUsed) override {
    Await();
    mover_->EndTable();
    rowsWritten_ = 0;
    if (table.key < 0 || !table.columns[static_cast<size_t>(table.key)].identity) return;
    auto next = Query(Sql().NextIdSql(table, std::max(idsUsed, IdsUsed(table))));
    Run(Sql().RestartIdSql(table, Integer(next->rows.at(0).at(0))));
  }

  std::pair<int64_t, uint64_t> Verify(const TableSpec& table) override {
    Await();
    return mover_->Verify(table);
  }

  void Commit() override {
    Run(L"COMMIT");
    open_ = false;
  }

  void Rollback() noexcept override {
    try {
      Await();
    } catch (...) {
      // Its failure is what brought us here, or comes second to it.
    }
    mover_->Abandon();
    if (!open_) return;
    open_ = false;
    try {
      Run(L"ROLLBACK");
    } catch (...) {
      // The connection is gone: the server rolls the transaction back itself.
    }
  }

 private:
  const Dialect& Sql() const { return server_.dialect; }

  void BeginTransaction() {
    Run(Sql().BeginWriteSql());
    open_ = true;
  }

  // The batch on its way, if any; its failure surfaces here.
  void Await() {
    if (inFlight_.valid()) inFlight_.get();
  }

  std::shared_ptr<ado::RowSet> Query(const std::wstring& sql) {
    Await();
    return server_.Query(sql);
  }

  void Run(const std::wstring& sql) {
    Await();
    server_.Execute(sql);
  }

  Server server_;
  std::unique_ptr<Mover> mover_;
  std::future<void> inFlight_;
  bool open_ = false;
  int64_t rowsWritten_ = 0;
};

}  // namespace

std::unique_ptr<Side> OpenServer(const std::wstring& connection, const Dialect& dialect) {
  return std::make_unique<ServerSide>(connection, dialect);
}

}  // namespace QuillData::transfer
