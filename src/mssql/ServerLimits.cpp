#include "QuillData/mssql/ServerLimits.h"

#include "Catalogue.h"
#include "QuillData/ado/Enums.h"

namespace QuillData {

std::vector<ServerLimit> ServerLimits() {
  using K = ServerLimit::Kind;
  std::vector<ServerLimit> limits;
  for (const mssql::Procedure& procedure : mssql::Catalogue()) {
    for (const mssql::Param& p : procedure.params) {
      if (p.arg < 0) continue;
      ServerLimit limit{mssql::OperationName(procedure.op), p.arg, p.name, K::Length};
      switch (p.from) {
        case mssql::From::First50:
          limit.kind = K::CutToLength;
          limit.length = 50;
          break;
        case mssql::From::Decimal:
          limit.kind = K::Decimal;
          limit.precision = p.precision;
          limit.scale = p.scale;
          break;
        case mssql::From::WholeNumber:
          limit.kind = K::WholeNumber;
          break;
        case mssql::From::Text:
        case mssql::From::DecimalText:
          if (p.type == ado::adInteger) {
            limit.kind = K::WholeText;
          } else if (p.size > 0) {
            limit.length = p.size;  // a long text (-1) has no declared size
          } else {
            continue;
          }
          break;
        default:
          continue;  // whole numbers and booleans travel as they are
      }
      limits.push_back(limit);
    }
  }
  return limits;
}

}  // namespace QuillData
