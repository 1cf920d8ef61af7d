// The 24 readers through the backend, each against a raw SQLite C loop in the same process
// that runs the same query and fills the same record class (typed fields, text widened to
// wide strings) into a plain container; and, after the timed runs, the bytes each reader's
// returned collection holds against the bytes of its records themselves.
//
// Machining has 100,000 rows, MachRouting 20,000 (47 columns, mostly text), every other table
// 10,000. The raw loop neither builds keys nor shares its records: the ratio is the whole
// cost of the interface (keyed collection, shared records, column-by-name copy) on top of the
// library's own work.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sqlite3.h>
#include <strings.h>

#include <array>
#include <cstdio>
#include <deque>
#include <functional>
#include <set>
#include <string>
#include <vector>

#ifdef QUILLDATA_BENCH_SQLITECPP
#include <SQLiteCpp/SQLiteCpp.h>
#endif

#include "BenchCommon.h"
#include "QuillData/contract/Companions.h"
#include "QuillData/contract/Records.h"
#include "QuillData/contract/Text.h"
#include "QuillData/sqlite/Schema.h"
#include "QuillData/sqlite/clsQuillData_SqlLite.h"

namespace {

using namespace QuillData;

constexpr int kMachiningRows = 100000;
constexpr int kRoutingRows = 20000;
constexpr int kTableRows = 10000;

// ---- The raw side: a record class's fields as member pointers, from the same field lists
// that declare the classes.
template <class R>
struct RawField {
  const char* name;
  int32_t R::*whole = nullptr;
  std::wstring R::*text = nullptr;
  double R::*real = nullptr;
  bool R::*flag = nullptr;
};
template <class R>
RawField<R> Field(const char* name, int32_t R::*m) {
  return {name, m, nullptr, nullptr, nullptr};
}
template <class R>
RawField<R> Field(const char* name, std::wstring R::*m) {
  return {name, nullptr, m, nullptr, nullptr};
}
template <class R>
RawField<R> Field(const char* name, double R::*m) {
  return {name, nullptr, nullptr, m, nullptr};
}
template <class R>
RawField<R> Field(const char* name, bool R::*m) {
  return {name, nullptr, nullptr, nullptr, m};
}
// Dates, variants and collections: no table column the benchmark fills.
template <class R, class T>
RawField<R> Field(const char* name, T R::*) {
  return {name};
}

template <class R>
std::vector<RawField<R>> FieldsOf();
#define BENCH_FIELD_(kind, name, ...) Field<R>(#name, &R::name),
#define BENCH_FIELDS_(cls, FIELDS)                              \
  template <>                                                   \
  [[maybe_unused]] std::vector<RawField<cls>> FieldsOf<cls>() { \
    using R = cls;                                              \
    return {FIELDS(BENCH_FIELD_)};                              \
  }
QUILLDATA_RECORDS(BENCH_FIELDS_)
#undef BENCH_FIELDS_
#undef BENCH_FIELD_

// The bytes of a record itself: the object and the heap blocks of its strings.
size_t HeapOf(const std::wstring& s) {
  const auto* data = reinterpret_cast<const char*>(s.data());
  const auto* self = reinterpret_cast<const char*>(&s);
  if (data >= self && data < self + sizeof s) return 0;  // kept inside the string object
  return malloc_usable_size(const_cast<wchar_t*>(s.data()));
}
template <class T>
size_t HeapOf(const T&) {
  return 0;
}
#define BENCH_HEAP_(kind, name, ...) +HeapOf(r.name)
#define BENCH_OWN_(cls, FIELDS)                    \
  [[maybe_unused]] size_t OwnBytes(const cls& r) { \
    return sizeof r FIELDS(BENCH_HEAP_);           \
  }
QUILLDATA_RECORDS(BENCH_OWN_)
#undef BENCH_OWN_
#undef BENCH_HEAP_

// One read: prepare, step, copy each column into the field of its name, finalize.
template <class R>
size_t RawRead(sqlite3* db, const char* sql, std::deque<R>& rows) {
  static const std::vector<RawField<R>> fields = FieldsOf<R>();
  sqlite3_stmt* s = nullptr;
  if (sqlite3_prepare_v2(db, sql, -1, &s, nullptr) != SQLITE_OK) return 0;
  const int n = sqlite3_column_count(s);
  std::vector<const RawField<R>*> plan(size_t(n), nullptr);
  for (int i = 0; i < n; ++i) {
    for (const RawField<R>& f : fields) {
      if (strcasecmp(f.name, sqlite3_column_name(s, i)) == 0) plan[size_t(i)] = &f;
    }
  }
  while (sqlite3_step(s) == SQLITE_ROW) {
    R& row = rows.emplace_back();
    for (int i = 0; i < n; ++i) {
      const RawField<R>* f = plan[size_t(i)];
      if (f == nullptr || sqlite3_column_type(s, i) == SQLITE_NULL) continue;
      if (f->whole) {
        row.*(f->whole) = sqlite3_column_int(s, i);
      } else if (f->text) {
        const unsigned char* text = sqlite3_column_text(s, i);
        bench::Widen(row.*(f->text), text, sqlite3_column_bytes(s, i));
      } else if (f->real) {
        row.*(f->real) = sqlite3_column_double(s, i);
      } else if (f->flag) {
        row.*(f->flag) = sqlite3_column_int(s, i) != 0;
      }
    }
  }
  sqlite3_finalize(s);
  return rows.size();
}

// ---- The readers.
using Call = std::function<CollectionPtr(clsQuillData&, int32_t&)>;

struct Reader {
  std::string name;
  std::string table;
  std::string sql;
  const RecordType& (*type)();
  Call call;
  std::function<size_t(sqlite3*, const char*)> raw;
  std::function<size_t(const Tessera::Collection&)> ownBytes;
  int rows = kTableRows;
};

template <class R>
Reader Make(std::string name, std::string table, std::string sql, Call call) {
  Reader r{name,
           table,
           sql,
           &R::Descriptor,
           std::move(call),
           [](sqlite3* db, const char* text) {
             std::deque<R> rows;
             const size_t n = RawRead<R>(db, text, rows);
             benchmark::DoNotOptimize(rows);
             return n;
           },
           [](const Tessera::Collection& c) {
             size_t bytes = 0;
             for (const Variant& item : c) bytes += OwnBytes(*item.ObjectAs<R>());
             return bytes;
           }};
  return r;
}

// Every table reader of the interface, and the filter reader's rows with a second part type.
const std::vector<Reader>& Readers() {
  static const std::vector<Reader> readers = [] {
    std::vector<Reader> r = {
        Make<tblFilter_Scenarios>(
            "GETFilterScenariosCol", "tblFilter_Scenarios",
            "SELECT * FROM tblFilter_Scenarios WHERE fldPartType2 <> '0'",
            [](clsQuillData& db, int32_t& n) { return db.GETFilterScenariosCol(true, n); }),
#define QUILLDATA_OPERATION(Result, Name, Params, Args)
#define QUILLDATA_TABLE_READER(Name, Record, Table, Key, Unread)       \
  Make<Record>(#Name, ToUtf8(Table), "SELECT * FROM " + ToUtf8(Table), \
               [](clsQuillData& db, int32_t& n) { return db.Name(n); }),
#include "QuillData/contract/Operations.inc"
    };
    for (Reader& reader : r) {
      if (std::string(reader.table) == "Machining") reader.rows = kMachiningRows;
      if (std::string(reader.table) == "MachRouting") reader.rows = kRoutingRows;
    }
    return r;
  }();
  return readers;
}

// ---- The database every reader reads, made once per process.
class Fixture {
 public:
  static const Fixture& Get() {
    static Fixture fixture;
    return fixture;
  }
  const std::string& Path() const { return path_; }
  ~Fixture() {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

 private:
  Fixture() : dir_(bench::MakeTempDir()) {
    path_ = (dir_ / "readers.db").string();
    CreateDatabase(path_, false);
    sqlite3* db = nullptr;
    bench::Check(sqlite3_open(path_.c_str(), &db), db);
    bench::Check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db);
    FillMachining(db);
    FillRouting(db);
    for (const Reader& reader : Readers()) {
      const std::string table = reader.table;
      if (table != "Machining" && table != "MachRouting" && !filled_.count(table)) {
        FillTable(db, table, reader.type(), reader.rows);
      }
    }
    bench::Check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db);
    sqlite3_close(db);
  }

  static void FillMachining(sqlite3* db) {
    static const char* const kGroups[] = {"Hinges", "Shelves", "Grooves", "Connectors", "Handles"};
    sqlite3_stmt* m = nullptr;
    bench::Check(
        sqlite3_prepare_v2(db,
                           "INSERT INTO Machining (MachID, MachName, MachGroup, X, Y, Z, MachLibID)"
                           " VALUES (?, ?, ?, ?, ?, ?, ?)",
                           -1, &m, nullptr),
        db);
    for (int i = 1; i <= kMachiningRows; ++i) {
      std::string name = "Machining " + std::to_string(i);
      sqlite3_bind_int(m, 1, i);
      sqlite3_bind_text(m, 2, name.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(m, 3, kGroups[i % 5], -1, SQLITE_STATIC);
      sqlite3_bind_double(m, 4, 22.5 + i % 100);
      sqlite3_bind_double(m, 5, 96.25 + i % 7);
      sqlite3_bind_double(m, 6, 13 + i % 3 * 0.5);
      sqlite3_bind_int(m, 7, 1 + i % 4);
      if (sqlite3_step(m) != SQLITE_DONE) bench::Check(SQLITE_ERROR, db);
      sqlite3_reset(m);
    }
    sqlite3_finalize(m);
  }

  // Text values as a routing row carries them: names, descriptions, numbers and options.
  static void FillRouting(sqlite3* db) {
    static const std::array<const char*, 45> kText = {"",
                                                      "",
                                                      "A",
                                                      "dep_per_no",
                                                      "8",
                                                      "12",
                                                      "1",
                                                      "right",
                                                      "18000",
                                                      "100",
                                                      "50",
                                                      "90",
                                                      "90",
                                                      "nil",
                                                      "0",
                                                      "",
                                                      "0",
                                                      "1",
                                                      "0",
                                                      "lead_in_arc",
                                                      "0",
                                                      "100",
                                                      "90",
                                                      "lead_out_no",
                                                      "0",
                                                      "100",
                                                      "90",
                                                      "0.5",
                                                      "cont_offset_right",
                                                      "0",
                                                      "0",
                                                      "0",
                                                      "60",
                                                      "25",
                                                      "Spiral cutter 12",
                                                      "128",
                                                      "30",
                                                      "12.5",
                                                      "6",
                                                      "64",
                                                      "35.25",
                                                      "0",
                                                      "0",
                                                      "0",
                                                      "1"};
    std::string sql = "INSERT INTO MachRouting VALUES (?";
    for (int c = 1; c < 47; ++c) sql += ", ?";
    sql += ")";
    sqlite3_stmt* r = nullptr;
    bench::Check(sqlite3_prepare_v2(db, sql.c_str(), -1, &r, nullptr), db);
    for (int i = 1; i <= kRoutingRows; ++i) {
      std::string name = "Routing " + std::to_string(i);
      std::string description = "Contour routing of part " + std::to_string(i % 500);
      sqlite3_bind_int(r, 1, i);
      for (int c = 0; c < 45; ++c) {
        // Columns 2..36 and 38..47 are text; column 37 is MachID.
        int column = c < 35 ? c + 2 : c + 3;
        const char* value = c == 0 ? name.c_str() : c == 1 ? description.c_str() : kText[c];
        sqlite3_bind_text(r, column, value, -1, SQLITE_TRANSIENT);
      }
      sqlite3_bind_int(r, 37, 1 + i % kMachiningRows);
      if (sqlite3_step(r) != SQLITE_DONE) bench::Check(SQLITE_ERROR, db);
      sqlite3_reset(r);
    }
    sqlite3_finalize(r);
  }

  // `rows` rows numbered 1..rows; each column gets a value of its field's type that carries
  // the row's number (so every reader's key is unique): whole numbers, "<column> <n>" texts,
  // quarters, 0/1 flags. Dates and blobs stay empty.
  void FillTable(sqlite3* db, const std::string& table, const RecordType& type, int rows) {
    filled_.insert(table);
    std::string columns, values;
    sqlite3_stmt* info = nullptr;
    bench::Check(
        sqlite3_prepare_v2(db, ("PRAGMA table_info(" + table + ")").c_str(), -1, &info, nullptr),
        db);
    while (sqlite3_step(info) == SQLITE_ROW) {
      const std::string column = reinterpret_cast<const char*>(sqlite3_column_text(info, 1));
      const int field = type.FieldIndex(std::wstring(column.begin(), column.end()));
      std::string value = "NULL";
      if (field >= 0) {
        switch (type.Fields()[size_t(field)].type) {
          case FieldType::Long:
            value = "i";
            break;
          case FieldType::String:
            value = "'" + column + " ' || i";
            break;
          case FieldType::Double:
            value = "i * 0.25";
            break;
          case FieldType::Bool:
            value = "i % 2";
            break;
          default:
            break;
        }
      }
      columns += (columns.empty() ? "" : ", ") + column;
      values += (values.empty() ? "" : ", ") + value;
    }
    sqlite3_finalize(info);
    const std::string sql =
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
        "WHERE i < " +
        std::to_string(rows) + ") INSERT INTO " + table + " (" + columns + ") SELECT " + values +
        " FROM n";
    bench::Check(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), db);
  }

  std::filesystem::path dir_;
  std::string path_;
  std::set<std::string> filled_;
};

std::shared_ptr<clsQuillData_SqlLite> OpenBackend() {
  auto db = std::make_shared<clsQuillData_SqlLite>();
  auto errors = std::make_shared<PolicyErrorHandler>();
  const std::wstring path = std::filesystem::path(Fixture::Get().Path()).wstring();
  if (!db->OpenDB(nullptr, errors, {L"", path, L"0"})) return nullptr;
  return db;
}

void Backend(benchmark::State& state, const Reader& reader) {
  auto db = OpenBackend();
  if (!db) return state.SkipWithError("OpenDB failed");
  for (auto _ : state) {
    int32_t count = 0;
    CollectionPtr rows = reader.call(*db, count);
    if (!rows || count != reader.rows) state.SkipWithError("wrong row count");
    benchmark::DoNotOptimize(rows.get());
  }
  state.SetItemsProcessed(state.iterations() * reader.rows);
}

void Raw(benchmark::State& state, const Reader& reader) {
  sqlite3* db = bench::OpenRaw(Fixture::Get().Path());
  for (auto _ : state) {
    if (reader.raw(db, reader.sql.c_str()) != size_t(reader.rows))
      state.SkipWithError("wrong row count");
  }
  sqlite3_close(db);
  state.SetItemsProcessed(state.iterations() * reader.rows);
}

// ---- GETTblMachining against programs that fill plain structs (no record class, text as
// wide strings like the records): a raw C loop reading columns by position, and SQLiteCpp
// reading them by name.
struct PlainMachining {
  int32_t MachID = 0;
  std::wstring MachName, MachGroup;
  double X = 0, Y = 0, Z = 0;
  int32_t MachLibID = 0;
};

void PlainLoop(benchmark::State& state) {
  sqlite3* db = bench::OpenRaw(Fixture::Get().Path());
  for (auto _ : state) {
    std::vector<PlainMachining> rows;
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT * FROM Machining", -1, &s, nullptr) != SQLITE_OK) break;
    // Positions from names once per query, as a program that does not hard-code them.
    int at[7] = {};
    static const char* const kNames[7] = {"MachID", "MachName", "MachGroup", "X",
                                          "Y",      "Z",        "MachLibID"};
    for (int i = 0; i < sqlite3_column_count(s); ++i) {
      for (int k = 0; k < 7; ++k) {
        if (strcasecmp(kNames[k], sqlite3_column_name(s, i)) == 0) at[k] = i;
      }
    }
    while (sqlite3_step(s) == SQLITE_ROW) {
      PlainMachining& r = rows.emplace_back();
      r.MachID = sqlite3_column_int(s, at[0]);
      bench::Widen(r.MachName, sqlite3_column_text(s, at[1]), sqlite3_column_bytes(s, at[1]));
      bench::Widen(r.MachGroup, sqlite3_column_text(s, at[2]), sqlite3_column_bytes(s, at[2]));
      r.X = sqlite3_column_double(s, at[3]);
      r.Y = sqlite3_column_double(s, at[4]);
      r.Z = sqlite3_column_double(s, at[5]);
      r.MachLibID = sqlite3_column_int(s, at[6]);
    }
    sqlite3_finalize(s);
    if (rows.size() != size_t(kMachiningRows)) state.SkipWithError("wrong row count");
    benchmark::DoNotOptimize(rows.data());
  }
  sqlite3_close(db);
  state.SetItemsProcessed(state.iterations() * kMachiningRows);
}

#ifdef QUILLDATA_BENCH_SQLITECPP
void SqliteCppByName(benchmark::State& state) {
  SQLite::Database db(Fixture::Get().Path(), SQLite::OPEN_READWRITE | SQLITE_OPEN_NOMUTEX);
  auto text = [](std::wstring& out, const SQLite::Column& c) {
    bench::Widen(out, reinterpret_cast<const unsigned char*>(c.getText()), c.getBytes());
  };
  for (auto _ : state) {
    std::vector<PlainMachining> rows;
    SQLite::Statement q(db, "SELECT * FROM Machining");
    while (q.executeStep()) {
      PlainMachining& r = rows.emplace_back();
      r.MachID = q.getColumn("MachID").getInt();
      text(r.MachName, q.getColumn("MachName"));
      text(r.MachGroup, q.getColumn("MachGroup"));
      r.X = q.getColumn("X").getDouble();
      r.Y = q.getColumn("Y").getDouble();
      r.Z = q.getColumn("Z").getDouble();
      r.MachLibID = q.getColumn("MachLibID").getInt();
    }
    if (rows.size() != size_t(kMachiningRows)) state.SkipWithError("wrong row count");
    benchmark::DoNotOptimize(rows.data());
  }
  state.SetItemsProcessed(state.iterations() * kMachiningRows);
}
#endif

}  // namespace

namespace bench {

void RegisterReaders() {
  for (const Reader& reader : Readers()) {
    const std::string name = reader.name;
    benchmark::RegisterBenchmark((name + "/raw").c_str(), [&reader](benchmark::State& s) {
      Raw(s, reader);
    })->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(name.c_str(), [&reader](benchmark::State& s) {
      Backend(s, reader);
    })->Unit(benchmark::kMillisecond);
    const std::string digits = std::to_string(reader.rows);
    std::string rows;
    for (size_t i = 0; i < digits.size(); ++i) {
      if (i > 0 && (digits.size() - i) % 3 == 0) rows += ',';
      rows += digits[i];
    }
    AddPair({"Readers: backend / raw loop", name + " (" + rows + " rows)", name, name + "/raw"});
  }
  const char* peers = "GETTblMachining / programs filling plain structs (100,000 rows)";
  benchmark::RegisterBenchmark("GETTblMachining/plain", PlainLoop)->Unit(benchmark::kMillisecond);
  AddPair({peers, "raw C loop, columns by position", "GETTblMachining", "GETTblMachining/plain"});
#ifdef QUILLDATA_BENCH_SQLITECPP
  benchmark::RegisterBenchmark("GETTblMachining/sqlitecpp", SqliteCppByName)
      ->Unit(benchmark::kMillisecond);
  AddPair({peers, "SQLiteCpp, columns by name", "GETTblMachining", "GETTblMachining/sqlitecpp"});
#endif
}

void MeasureReaderMemory() {
  auto db = OpenBackend();
  if (!db) return;
  AddNote("Memory held by a reader's returned collection against its records' own bytes");
  AddNote("(sizeof(record) + the heap blocks of its strings), counted through operator new:");
  char line[160];
  std::snprintf(line, sizeof line, "%-34s %8s %12s %12s %9s %7s", "reader", "rows", "held",
                "records", "per row", "ratio");
  AddNote(line);
  for (const Reader& reader : Readers()) {
    int32_t count = 0;
    reader.call(*db, count);  // the library's caches and the statement's first use, uncounted
    CountAllocations(true);
    const int64_t before = LiveBytes();
    CollectionPtr rows = reader.call(*db, count);
    const int64_t held = LiveBytes() - before;
    const auto own = int64_t(reader.ownBytes(*rows));
    rows.reset();
    CountAllocations(false);
    if (count <= 0 || own <= 0) continue;
    std::snprintf(line, sizeof line, "%-34s %8d %9.1f MB %9.1f MB %6lld B %6.2fx",
                  reader.name.c_str(), count, double(held) / 1e6, double(own) / 1e6,
                  (long long)((held - own) / count), double(held) / double(own));
    AddNote(line);
  }
  AddNote("(per row: the bytes beyond the records' own, i.e. what the collection adds per row)");
}

}  // namespace bench
