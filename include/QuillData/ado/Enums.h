#pragma once
// The published ADO enumeration values, as named constants. Every property and argument of
// the object model takes and returns these numbers.
#include <cstdint>

#include "QuillData/Export.h"
#include "QuillData/contract/Error.h"

QUILLDATA_API_BEGIN

namespace QuillData::ado {

// DataTypeEnum: the types a parameter or field can have.
constexpr int32_t adEmpty = 0;
constexpr int32_t adSmallInt = 2;
constexpr int32_t adInteger = 3;
constexpr int32_t adSingle = 4;
constexpr int32_t adDouble = 5;
constexpr int32_t adDate = 7;
constexpr int32_t adBoolean = 11;
constexpr int32_t adVariant = 12;
constexpr int32_t adDecimal = 14;
constexpr int32_t adUnsignedTinyInt = 17;
constexpr int32_t adBigInt = 20;
constexpr int32_t adGUID = 72;
constexpr int32_t adBinary = 128;
constexpr int32_t adChar = 129;
constexpr int32_t adWChar = 130;
constexpr int32_t adNumeric = 131;
constexpr int32_t adDBDate = 133;
constexpr int32_t adDBTime = 134;
constexpr int32_t adDBTimeStamp = 135;
constexpr int32_t adVarChar = 200;
constexpr int32_t adLongVarChar = 201;
constexpr int32_t adVarWChar = 202;
constexpr int32_t adLongVarWChar = 203;
constexpr int32_t adVarBinary = 204;
constexpr int32_t adLongVarBinary = 205;

// ParameterDirectionEnum
constexpr int32_t adParamUnknown = 0;
constexpr int32_t adParamInput = 1;
constexpr int32_t adParamOutput = 2;
constexpr int32_t adParamInputOutput = 3;
constexpr int32_t adParamReturnValue = 4;

// CommandTypeEnum
constexpr int32_t adCmdUnspecified = -1;
constexpr int32_t adCmdText = 1;
constexpr int32_t adCmdTable = 2;
constexpr int32_t adCmdStoredProc = 4;
constexpr int32_t adCmdUnknown = 8;

// ExecuteOptionEnum (combined with a command type in the options argument)
constexpr int32_t adOptionUnspecified = -1;
constexpr int32_t adExecuteNoRecords = 128;

// CursorTypeEnum
constexpr int32_t adOpenUnspecified = -1;
constexpr int32_t adOpenForwardOnly = 0;
constexpr int32_t adOpenKeyset = 1;
constexpr int32_t adOpenDynamic = 2;
constexpr int32_t adOpenStatic = 3;

// CursorLocationEnum
constexpr int32_t adUseServer = 2;
constexpr int32_t adUseClient = 3;

// LockTypeEnum
constexpr int32_t adLockUnspecified = -1;
constexpr int32_t adLockReadOnly = 1;
constexpr int32_t adLockPessimistic = 2;
constexpr int32_t adLockOptimistic = 3;
constexpr int32_t adLockBatchOptimistic = 4;

// ObjectStateEnum
constexpr int32_t adStateClosed = 0;
constexpr int32_t adStateOpen = 1;

// ErrorValueEnum: the numbers of the object model's own errors (declared with the library's
// others, QuillData/contract/Error.h).
constexpr int32_t adErrInvalidArgument = ErrNo::AdoInvalidArgument;
constexpr int32_t adErrNoCurrentRecord = ErrNo::AdoNoCurrentRecord;
constexpr int32_t adErrFeatureNotAvailable = ErrNo::AdoFeatureNotAvailable;
constexpr int32_t adErrItemNotFound = ErrNo::AdoItemNotFound;
constexpr int32_t adErrDataConversion = ErrNo::AdoDataConversion;
constexpr int32_t adErrObjectClosed = ErrNo::AdoObjectClosed;
constexpr int32_t adErrObjectOpen = ErrNo::AdoObjectOpen;
constexpr int32_t adErrProviderNotFound = ErrNo::AdoProviderNotFound;
constexpr int32_t adErrInvalidParamInfo = ErrNo::AdoInvalidParamInfo;
constexpr int32_t adErrInvalidConnection = ErrNo::AdoInvalidConnection;
constexpr int32_t adErrDataOverflow = ErrNo::AdoDataOverflow;
// A failure reported by the data source (the platform's generic "unspecified error").
constexpr int32_t adErrDataSource = ErrNo::AdoDataSource;

}  // namespace QuillData::ado

QUILLDATA_API_END
