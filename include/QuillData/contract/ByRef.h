#pragma once
// An optional in/out argument. Omitted, it is a temporary holding the default (-1 for
// lngRecordsAffected); given a variable, the callee reads and writes the caller's variable.

#include "QuillData/Export.h"

QUILLDATA_API_BEGIN

namespace QuillData {

template <class T>
class ByRef {
 public:
  ByRef() : own_(T(-1)), ref_(&own_) {}
  ByRef(T& variable) : own_(), ref_(&variable) {}
  ByRef(const ByRef& other) : own_(*other.ref_), ref_(other.Shares() ? other.ref_ : &own_) {}
  ByRef& operator=(const ByRef&) = delete;

  T& operator*() const { return *ref_; }
  T* operator->() const { return ref_; }
  ByRef& operator=(const T& value) {
    *ref_ = value;
    return *this;
  }
  operator T() const { return *ref_; }

 private:
  bool Shares() const { return ref_ != &own_; }
  T own_;
  T* ref_;
};

}  // namespace QuillData

QUILLDATA_API_END
