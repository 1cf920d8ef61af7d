#pragma once
// A command: SQL text, a stored procedure with positional parameters, or a table.
#include <cstdint>
#include <memory>
#include <string>

#include "QuillData/Export.h"
#include "QuillData/ado/Connection.h"
#include "QuillData/ado/Enums.h"
#include "QuillData/ado/Parameter.h"
#include "QuillData/contract/Object.h"
#include "QuillData/contract/Variant.h"

QUILLDATA_API_BEGIN

namespace QuillData::ado {

class Recordset;

class QUILLDATA_API Command : public Object {
 public:
  Command();

  const ConnectionPtr& ActiveConnection() const { return activeConnection_; }
  void ActiveConnection(const ConnectionPtr& connection) { activeConnection_ = connection; }
  const std::wstring& CommandText() const { return commandText_; }
  void CommandText(const std::wstring& value) { commandText_ = value; }
  // adCmdText, adCmdTable, adCmdStoredProc or adCmdUnknown (run as text); else
  // adErrInvalidArgument.
  int32_t CommandType() const { return commandType_; }
  void CommandType(int32_t value);
  const ParametersPtr& Parameters() const { return parameters_; }

  // A new parameter, not yet appended. The value is optional (Empty).
  ParameterPtr CreateParameter(const std::wstring& name = L"", int32_t type = adEmpty,
                               int32_t direction = adParamInput, int32_t size = 0,
                               const Variant& value = Variant()) const;

  // Runs the command on its open connection. Every parameter value is checked and converted
  // to its type first (a text longer than its size, a decimal that does not fit its
  // precision, NaN, a non-numeric text for a number: all fail before anything is sent).
  // Afterwards return-value and output parameters hold what came back. The result is a
  // static recordset (closed when the command returned no rows), or an empty pointer with
  // adExecuteNoRecords in options.
  std::shared_ptr<Recordset> Execute(int32_t options = adOptionUnspecified);
  // Runs the command as Execute does, but hands the rows of its first result set to `rows`
  // one at a time as they arrive (Session::Stream) instead of building a recordset.
  void Stream(RowSink& rows, int32_t options = adOptionUnspecified);

 private:
  friend class Recordset;
  // Execute without building a recordset: what the provider brought back (the rows to
  // `sink` when given).
  ExecuteResult Run(int32_t options, int32_t commandType, RowSink* sink = nullptr);

  ConnectionPtr activeConnection_;
  std::wstring commandText_;
  int32_t commandType_ = adCmdUnknown;
  ParametersPtr parameters_;
};

using CommandPtr = std::shared_ptr<Command>;

}  // namespace QuillData::ado

QUILLDATA_API_END
