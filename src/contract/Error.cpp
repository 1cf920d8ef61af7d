#include "QuillData/contract/Error.h"

#include <new>
#include <stdexcept>

#include "QuillData/contract/Text.h"

namespace QuillData {

namespace {

std::string WhatText(int32_t number, const std::wstring& source, const std::wstring& description) {
  return ToUtf8(description) + " (" + std::to_string(number) + ", " + ToUtf8(source) + ")";
}

}  // namespace

QuillError::QuillError(int32_t number, std::wstring source, std::wstring description)
    : number_(number),
      source_(std::move(source)),
      description_(std::move(description)),
      what_(WhatText(number_, source_, description_)) {}

QuillError::QuillError(int32_t number, std::wstring source)
    : QuillError(number, std::move(source), StandardDescription(number)) {}

QuillError QuillError::Described(std::wstring description) const {
  QuillError copy(number_, source_, std::move(description));
  copy.sqliteCode_ = sqliteCode_;
  copy.sqlState_ = sqlState_;
  copy.nativeError_ = nativeError_;
  return copy;
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
    case ErrNo::ObjectNotSet:
      return L"Object variable or With block variable not set";
    case ErrNo::InvalidUseOfNull:
      return L"Invalid use of Null";
    case ErrNo::CannotCreateObject:
      return L"ActiveX component can't create object";
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
