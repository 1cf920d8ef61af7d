// The stored-procedure catalogue against the one list of operations, without a server.
#include <gtest/gtest.h>

#include <type_traits>

#include "mssql/Catalogue.h"

namespace QuillData {
namespace {

// Arguments of the types an operation takes, as its call binds them.
template <class R, class... P>
mssql::Arguments ArgumentsOf(R (clsQuillData::*)(P...)) {
  return mssql::Bind(std::remove_cvref_t<P>{}...);
}

// Each operation that calls a procedure has its entry, and every parameter of the entry
// reads an argument the operation has, of the type the parameter converts: a wrong position
// would otherwise show only on a server, as a refused call.
TEST(CatalogueTest, EveryOperationHasAnEntryReadingItsOwnArguments) {
  size_t operations = 0;
  auto check = [&](mssql::Op op, const mssql::Arguments& args) {
    ++operations;
    const mssql::Procedure& entry = mssql::Entry(op);
    for (const mssql::Param& param : entry.params) {
      EXPECT_NO_THROW(mssql::ParameterValue(entry, param, args.values, args.recordsAffected))
          << std::wstring(mssql::OperationName(op)) << L" " << std::wstring(param.name);
    }
  };
#define QUILLDATA_OPERATION(Result, Name, Params, Args) \
  check(mssql::Op::Name, ArgumentsOf(&clsQuillData::Name));
#define QUILLDATA_TABLE_READER(Name, Record, Table, Key, Unread)
#include "QuillData/contract/Operations.inc"
  EXPECT_EQ(operations, mssql::Catalogue().size());
}

}  // namespace
}  // namespace QuillData
