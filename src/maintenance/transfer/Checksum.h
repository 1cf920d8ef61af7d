#pragma once
// The transfer's checksum of a table, defined here once: the server's SQL for it
// (Dialect::ChecksumSql) is built from these pieces, and the server guide points here.
//
// Per row, a text with one piece per column, in the table's order: "N;" for NULL, else the
// kind's tag (Tag) and the value, then ";":
//   Integer  i<decimal>;          Bool  b<0|1>;
//   Real     r<16 hex digits of the IEEE 754 bits, big-endian>;  (-0 as 0)
//   Text     t<length in bytes>:<UTF-8>;
//   Date     d<canonical text (ReadDate): YYYY-MM-DD HH:MM:SS[.fraction][ BC], or
//             infinity, -infinity>;
//   Blob     x<lower-case hex>;
// The row's hash is the first 8 bytes of the text's MD5, read as a big-endian signed 64-bit
// number; the table's checksum is their sum modulo 2^64, so that row order does not matter.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "maintenance/transfer/Model.h"

typedef struct evp_md_ctx_st EVP_MD_CTX;

namespace QuillData::transfer {

class Checksum {
 public:
  static constexpr std::string_view kNull = "N;";
  static constexpr char kEnd = ';';
  static constexpr int kHashBytes = 8;  // of the MD5, as a big-endian signed number
  static constexpr char Tag(Kind kind) {
    switch (kind) {
      case Kind::Integer:
        return 'i';
      case Kind::Bool:
        return 'b';
      case Kind::Real:
        return 'r';
      case Kind::Blob:
        return 'x';
      case Kind::Date:
        return 'd';
      case Kind::Text:
        break;
    }
    return 't';
  }
  // The row's text, as above, into `text` (replaced).
  static void RowText(std::string& text, const Cell* row, const std::vector<ColumnSpec>& columns);

  Checksum();
  ~Checksum();
  Checksum(const Checksum&) = delete;
  Checksum& operator=(const Checksum&) = delete;

  void Add(const Cell* row, const std::vector<ColumnSpec>& columns);
  uint64_t Value() const { return sum_; }
  int64_t Rows() const { return rows_; }

 private:
  EVP_MD_CTX* context_;
  std::string text_;
  uint64_t sum_ = 0;
  int64_t rows_ = 0;
};

}  // namespace QuillData::transfer
