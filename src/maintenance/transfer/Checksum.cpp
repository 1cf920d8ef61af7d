#include "maintenance/transfer/Checksum.h"

#include <openssl/evp.h>

#include <bit>
#include <new>

namespace QuillData::transfer {

void Checksum::RowText(std::string& text, const Cell* row, const std::vector<ColumnSpec>& columns) {
  static constexpr char kHex[] = "0123456789abcdef";
  text.clear();
  for (size_t c = 0; c < columns.size(); ++c) {
    const Cell& cell = row[c];
    if (cell.null) {
      text += kNull;
      continue;
    }
    const Kind kind = columns[c].kind;
    text += Tag(kind);
    switch (kind) {
      case Kind::Integer:
        AppendDecimal(text, cell.i);
        break;
      case Kind::Bool:
        text += cell.i != 0 ? '1' : '0';
        break;
      case Kind::Real: {
        const uint64_t bits = std::bit_cast<uint64_t>(cell.d == 0 ? 0.0 : cell.d);
        for (int shift = 60; shift >= 0; shift -= 4) text += kHex[(bits >> shift) & 15];
        break;
      }
      case Kind::Blob:
        for (unsigned char b : cell.s) {
          text += kHex[b >> 4];
          text += kHex[b & 15];
        }
        break;
      case Kind::Date:
        text += cell.s;
        break;
      case Kind::Text:
        AppendDecimal(text, cell.s.size());
        text += ':';
        text += cell.s;
    }
    text += kEnd;
  }
}

Checksum::Checksum() : context_(EVP_MD_CTX_new()) {
  if (!context_) throw std::bad_alloc();
}

Checksum::~Checksum() {
  EVP_MD_CTX_free(context_);
}

void Checksum::Add(const Cell* row, const std::vector<ColumnSpec>& columns) {
  RowText(text_, row, columns);
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_DigestInit_ex(context_, EVP_md5(), nullptr) != 1 ||
      EVP_DigestUpdate(context_, text_.data(), text_.size()) != 1 ||
      EVP_DigestFinal_ex(context_, digest, &length) != 1)
    Fail(L"The checksum cannot be computed (MD5 is not available).", ErrorKind::Unsupported);
  uint64_t prefix = 0;
  for (int k = 0; k < kHashBytes; ++k) prefix = (prefix << 8) | digest[k];
  sum_ += prefix;
  ++rows_;
}

}  // namespace QuillData::transfer
