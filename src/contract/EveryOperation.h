#pragma once
// A backend's proof that it overrides every operation of the interface: an operation it
// forgot would silently answer with the interface's empty body. Expand the check inside one
// of the backend's own members (so that private overrides count too):
//
//   #define QUILLDATA_OPERATION(Result, Name, Params, Args) QUILLDATA_REQUIRE_OVERRIDE(X, Name)
//   #include "QuillData/contract/Operations.inc"
#include <type_traits>

#include "QuillData/contract/clsQuillData.h"

// Backend inherits Name when &Backend::Name is the interface's own member; a member of
// that name declared by Backend (an override, or overloads beside it) is never that.
#define QUILLDATA_REQUIRE_OVERRIDE(Backend, Name)                               \
  static_assert(                                                                \
      ![]<class B>(B*) {                                                        \
        return requires(decltype(&::QuillData::clsQuillData::Name) inherited) { \
          inherited = &B::Name;                                                 \
        };                                                                      \
      }(static_cast<Backend*>(nullptr)),                                        \
      #Backend " does not override " #Name);
