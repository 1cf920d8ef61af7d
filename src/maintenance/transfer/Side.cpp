#include "maintenance/transfer/Side.h"

namespace QuillData::transfer {

void Side::Suspects(const TableSpec& table,
                    const std::function<void(int64_t row, const Cell* cells)>& take) {
  int64_t row = 0;
  Scan(table, [&](Batch& batch) {
    for (size_t r = 0; r < batch.Rows(); ++r) take(++row, batch.Row(r));
  });
}

}  // namespace QuillData::transfer
