#include "QuillData/contract/Error.h"

#include <new>
#include <stdexcept>

#include "QuillData/contract/Text.h"

namespace QuillData {

namespace {

// SQLite's primary result codes (the low byte of an extended one).
ErrorKind KindOfSqliteCode(int32_t code) {
  switch (code & 0xff) {
    case 5:  // SQLITE_BUSY
    case 6:  // SQLITE_LOCKED
      return ErrorKind::Busy;
    case 9:  // SQLITE_INTERRUPT
      return ErrorKind::Timeout;
    case 11:  // SQLITE_CORRUPT
    case 26:  // SQLITE_NOTADB
      return ErrorKind::Corrupt;
    case 13:  // SQLITE_FULL
      return ErrorKind::StoreFull;
    case 14:  // SQLITE_CANTOPEN
      return ErrorKind::NotFound;
    case 19:  // SQLITE_CONSTRAINT
      return ErrorKind::Constraint;
    case 20:  // SQLITE_MISMATCH
    case 25:  // SQLITE_RANGE
      return ErrorKind::Conversion;
    default:
      return ErrorKind::Other;
  }
}

// SQLSTATE classes and the states that say more than their class.
ErrorKind KindOfSqlState(const std::wstring& state) {
  if (state.size() != 5) return ErrorKind::Other;
  const std::wstring_view cls = std::wstring_view(state).substr(0, 2);
  if (state == L"HYT00" || state == L"HYT01" || state == L"57014") return ErrorKind::Timeout;
  if (state == L"40001" || state == L"40P01" || cls == L"25") return ErrorKind::TransactionAborted;
  if (state == L"53100") return ErrorKind::StoreFull;
  if (state == L"42P01" || state == L"42703" || state == L"42883" || state == L"3D000") {
    return ErrorKind::NotFound;
  }
  if (cls == L"08" || cls == L"57") return ErrorKind::ConnectionLost;
  if (cls == L"28") return ErrorKind::Login;
  if (cls == L"23") return ErrorKind::Constraint;
  if (cls == L"22") return ErrorKind::Conversion;
  if (cls == L"0A" || state == L"HYC00" || state == L"IM001") return ErrorKind::Unsupported;
  if (cls == L"55") return ErrorKind::Busy;  // object not in prerequisite state: lock not available
  return ErrorKind::Other;
}

std::string WhatText(int32_t number, const std::wstring& source, const std::wstring& description) {
  return ToUtf8(description) + " (" + std::to_string(number) + ", " + ToUtf8(source) + ")";
}

}  // namespace

ErrorKind KindOfNumber(int32_t number) {
  switch (number) {
    case ErrNo::InvalidProcedureCall:
    case ErrNo::FileAlreadyExists:
    case ErrNo::InvalidFileFormat:
    case ErrNo::InvalidPropertyValue:
    case ErrNo::AdoInvalidArgument:
    case ErrNo::AdoInvalidParamInfo:
      return ErrorKind::RefusedArgument;
    case ErrNo::Overflow:
    case ErrNo::TypeMismatch:
    case ErrNo::InvalidUseOfNull:
    case ErrNo::AdoDataConversion:
    case ErrNo::AdoDataOverflow:
      return ErrorKind::Conversion;
    case ErrNo::FileNotFound:
    case ErrNo::PathNotFound:
    case ErrNo::CannotCreateObject:
    case ErrNo::DllNotLoaded:
    case ErrNo::AdoItemNotFound:
    case ErrNo::AdoProviderNotFound:
    case ErrNo::AdoNoCurrentRecord:
      return ErrorKind::NotFound;
    case ErrNo::DiskFull:
      return ErrorKind::StoreFull;
    case ErrNo::ObjectDoesNotSupport:
    case ErrNo::FunctionNotFound:
    case ErrNo::AdoFeatureNotAvailable:
      return ErrorKind::Unsupported;
    default:
      return ErrorKind::Other;
  }
}

QuillError::QuillError(int32_t number, std::wstring source, std::wstring description)
    : number_(number),
      source_(std::move(source)),
      description_(std::move(description)),
      what_(WhatText(number_, source_, description_)),
      kind_(KindOfNumber(number_)) {}

QuillError::QuillError(int32_t number, std::wstring source)
    : QuillError(number, std::move(source), StandardDescription(number)) {}

QuillError QuillError::Described(std::wstring description) const {
  QuillError copy(number_, source_, std::move(description));
  copy.sqliteCode_ = sqliteCode_;
  copy.sqlState_ = sqlState_;
  copy.nativeError_ = nativeError_;
  copy.kind_ = kind_;
  copy.kindSet_ = kindSet_;
  return copy;
}

QuillError& QuillError::WithSqliteCode(int32_t code) {
  sqliteCode_ = code;
  if (!kindSet_) kind_ = KindOfSqliteCode(code);
  return *this;
}

QuillError& QuillError::WithSqlState(std::wstring state, int32_t nativeError) {
  sqlState_ = std::move(state);
  nativeError_ = nativeError;
  if (!kindSet_) kind_ = KindOfSqlState(sqlState_);
  return *this;
}

const wchar_t* KindName(ErrorKind kind) {
  switch (kind) {
    case ErrorKind::RefusedArgument:
      return L"refused argument";
    case ErrorKind::Conversion:
      return L"conversion";
    case ErrorKind::NotFound:
      return L"not found";
    case ErrorKind::Constraint:
      return L"constraint";
    case ErrorKind::Busy:
      return L"busy";
    case ErrorKind::Timeout:
      return L"timeout";
    case ErrorKind::ConnectionLost:
      return L"connection lost";
    case ErrorKind::OutcomeUnknown:
      return L"outcome unknown";
    case ErrorKind::TransactionAborted:
      return L"transaction aborted";
    case ErrorKind::Login:
      return L"login";
    case ErrorKind::Unsupported:
      return L"unsupported";
    case ErrorKind::StoreFull:
      return L"store full";
    case ErrorKind::Corrupt:
      return L"corrupt";
    case ErrorKind::Other:
      break;
  }
  return L"other";
}

std::wstring StandardDescription(int32_t number) {
  switch (number) {
    case ErrNo::InvalidProcedureCall:
      return L"Invalid procedure call or argument";
    case ErrNo::Overflow:
      return L"Overflow";
    case ErrNo::OutOfMemory:
      return L"Out of memory";
    case ErrNo::SubscriptOutOfRange:
      return L"Subscript out of range";
    case ErrNo::TypeMismatch:
      return L"Type mismatch";
    case ErrNo::InternalError:
      return L"Internal error";
    case ErrNo::FileNotFound:
      return L"File not found";
    case ErrNo::FileAlreadyExists:
      return L"File already exists";
    case ErrNo::DiskFull:
      return L"Disk full";
    case ErrNo::FileAccessError:
      return L"Path/File access error";
    case ErrNo::PathNotFound:
      return L"Path not found";
    case ErrNo::ObjectNotSet:
      return L"Object variable or With block variable not set";
    case ErrNo::InvalidUseOfNull:
      return L"Invalid use of Null";
    case ErrNo::InvalidFileFormat:
      return L"Invalid file format";
    case ErrNo::InvalidPropertyValue:
      return L"Invalid property value";
    case ErrNo::CannotCreateObject:
      return L"ActiveX component can't create object";
    case ErrNo::ObjectDoesNotSupport:
      return L"Object doesn't support this property or method";
    case ErrNo::DuplicateKey:
      return L"This key is already associated with an element of this collection";
    default:
      return L"Application-defined or object-defined error";
  }
}

QuillError CurrentError() {
  try {
    throw;
  } catch (const QuillError& e) {
    return e;
  } catch (const std::bad_alloc&) {
    return QuillError(ErrNo::OutOfMemory);
  } catch (const std::out_of_range& e) {
    return QuillError(ErrNo::SubscriptOutOfRange, L"QuillData", FromUtf8(e.what()));
  } catch (const std::exception& e) {
    return QuillError(ErrNo::InternalError, L"QuillData", FromUtf8(e.what()));
  } catch (...) {
    return QuillError(ErrNo::InternalError);
  }
}

}  // namespace QuillData
