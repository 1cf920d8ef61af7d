#pragma once
// What the maintenance tools say to a server in its own SQL: its catalog, its schema
// script, the restart of an identity column, and the transfer's reading, batched writing
// and checksum. One dialect per kind of server; PostgreSQL's is the only one today.
#include <cstdint>
#include <string>
#include <string_view>

#include "contract/SchemaScripts.h"
#include "maintenance/transfer/Model.h"

namespace QuillData::dialect {

using transfer::Batch;
using transfer::ColumnSpec;
using transfer::Kind;
using transfer::Limit;
using transfer::TableSpec;

class Dialect {
 public:
  virtual ~Dialect() = default;

  // The script that installs the schema with its numbered upgrades, and the table holding
  // the versions the database was installed or upgraded to.
  virtual const SchemaScripts& Schema() const = 0;
  virtual std::string_view VersionTable() const = 0;
  // The version the database holds: one row, one column.
  virtual std::wstring VersionSql() const = 0;
  // Holds the version table against another upgrade until the transaction ends.
  virtual std::wstring LockVersionSql() const = 0;
  // Records that the database holds `version` from now on.
  virtual std::wstring RecordVersionSql(int32_t version) const = 0;

  // Catalog. A table's or column's name as the catalog spells it (an unquoted name folded).
  virtual std::string CatalogName(std::string_view name) const = 0;
  // The names of the tables and views of the connection's schema, or of its tables only.
  virtual std::wstring TablesSql(bool tablesOnly) const = 0;
  // Every column of the connection's schema, a row each: table (as the catalog spells it),
  // column, type name, the default of a column that refuses NULL (else NULL), "YES" for an
  // identity column, then the character length, numeric precision, numeric scale and the
  // digits of a date's fraction of a second.
  virtual std::wstring ColumnsSql() const = 0;
  // The kind a column of this server type carries, given the schema's kind for it.
  virtual Kind KindOf(std::wstring_view type, Kind schemaKind) const = 0;
  // What a column of the type holds (the last four of ColumnsSql, negative when NULL).
  virtual Limit LimitOf(std::wstring_view type, int64_t length, int64_t precision, int64_t scale,
                        int64_t secondDigits) const = 0;

  // Transactions: reading from one snapshot, and writing.
  virtual std::wstring BeginReadSql() const = 0;
  virtual std::wstring BeginWriteSql() const = 0;
  // For a write transaction whose statements may each run as long as a table is long.
  virtual std::wstring NoStatementTimeoutSql() const = 0;

  // The rows of a table, its columns in their carried form, in key order (or the server's
  // physical order for a table without a key); a page of at most `limit` rows after key
  // `after` when `limit` is not 0.
  virtual std::wstring SelectSql(const TableSpec& table, const int64_t* after,
                                 size_t limit) const = 0;
  virtual std::wstring CountSql(std::string_view table) const = 0;
  // One statement that inserts the rows of a batch; `firstRow` numbers its first row in the
  // reports of a value it cannot carry.
  virtual std::wstring InsertSql(const TableSpec& table, const Batch& rows,
                                 int64_t firstRow) const = 0;

  // The name of the identity's sequence (one row, one column; empty or NULL when it has
  // none); the highest id that sequence has handed out, deleted rows' included; the
  // identity's next value past the highest id and past `idsUsed`; and the restart of the
  // identity at `next`, which a transaction that does not commit undoes.
  virtual std::wstring IdentitySequenceSql(const TableSpec& table) const = 0;
  virtual std::wstring IdsUsedSql(const std::wstring& sequence) const = 0;
  virtual std::wstring NextIdSql(const TableSpec& table, int64_t idsUsed) const = 0;
  virtual std::wstring RestartIdSql(const TableSpec& table, int64_t next) const = 0;

  // The table's row count and checksum (transfer::Checksum) computed by the server: one
  // row, both as decimal texts, the sum exact (to be taken modulo 2^64).
  virtual std::wstring ChecksumSql(const TableSpec& table) const = 0;
};

// PostgreSQL's dialect, with the schema scripts compiled into the library.
const Dialect& Postgres();
// schema/postgresql.sql and schema/postgresql/, as compiled in.
const SchemaScripts& PostgresSchema();

}  // namespace QuillData::dialect
