#pragma once
// Filling records from streamed rows, as the table readers describe them.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "QuillData/ado/Provider.h"
#include "QuillData/contract/RecordType.h"
#include "QuillData/contract/Tessera.h"
#include "contract/TableReaders.h"

namespace QuillData::mssql {

// The key a record enters the collection under: `plan`, or `shortPlan` for a record whose
// field `shortWhen` holds the text "0" (a filter scenario without a second part type).
struct KeyRule {
  readers::KeyPlan plan;
  readers::KeyPlan shortPlan;
  int shortWhen = -1;  // -1: always `plan`
};

// A table reader's key rule, from its key pattern.
KeyRule KeyRuleOf(const readers::TableReader& reader);

// Takes a result's rows into a new collection of the reader's records: each field from the
// column of its name, found once per result, each cell converted straight into its typed
// field (through a Variant only where the column's type is not the field's). A row whose key
// another row holds already goes in without a key.
class RecordFiller final : public ado::RowSink {
 public:
  RecordFiller(const readers::TableReader& reader, KeyRule key);

  // A result sent again starts a new collection.
  void Begin(std::span<const ado::Column> columns, int64_t rows) override;
  // A null leaves its field as a new record has it (the server's tables are nullable); a
  // cell that cannot be converted, or a column the result lacks, leaves its field so too and
  // is reported to the error companion, naming the table, the column and the row's key; the
  // other fields are filled all the same. The unread field is never read.
  void Take(ado::Row& row) override;

  // True once a result with columns began.
  bool Begun() const { return collection_ != nullptr; }
  // The records taken; an empty collection when no result began.
  Tessera::CollectionPtr Result();

 private:
  // How one field is filled: straight from the cell's typed accessor, or through a Variant.
  enum class Path : uint8_t { Long, Double, Bool, Text, Date, Value };
  struct FieldPlan {
    size_t field;
    long column;  // -1: the result has no column of the field's name
    Path path;
    void* (*address)(Record&);
  };

  void Fill(ado::Row& row, Record& record, const FieldPlan& plan) const;
  const readers::KeyPlan& KeyFor(Record& record) const;
  void Report(ado::Row& row, Record& record);

  const readers::TableReader& reader_;
  const RecordType& type_;
  KeyRule key_;
  std::vector<FieldPlan> plan_;
  Tessera::CollectionPtr collection_;
  bool counted_ = false;  // the result told its number of rows: the collection is reserved
  std::vector<size_t> failed_;
  std::wstring keyText_;
};

}  // namespace QuillData::mssql
