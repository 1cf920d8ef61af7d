#pragma once
// What a backend needs to make its members from the one list of operations.
#include <cstddef>
#include <tuple>
#include <type_traits>

#include "QuillData/contract/OperationSet.h"
#include "QuillData/contract/clsQuillData.h"

// A backend's proof that it overrides every operation of the interface: an operation it
// forgot would silently answer with the interface's empty body. Expand the check inside one
// of the backend's own members (so that private overrides count too):
//
//   #define QUILLDATA_OPERATION(Result, Name, Params, Args) QUILLDATA_REQUIRE_OVERRIDE(X, Name)
//   #include "QuillData/contract/Operations.inc"
//
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

// The parameter list of the interface's member Name without its default arguments, each
// parameter named as in Args, for a definition outside the class (which may not repeat the
// list's defaults):
//
//   Result X::Name(QUILLDATA_PARAMETERS(Name, Args)) { ... }
//
// Each parameter's type is the interface's own, by its position; the position is counted
// as "0 + 1 + 1 ...", one step of the expansion per parameter.
#define QUILLDATA_PARAMETERS(Name, Args) \
  QUILLDATA_PP_SCAN(QUILLDATA_PP_PARAMETERS_FROM(Name, QUILLDATA_PP_UNPAREN Args))
#define QUILLDATA_PP_PARAMETERS_FROM(Name, ...) QUILLDATA_PP_PARAMETER(Name, 0, __VA_ARGS__)
#define QUILLDATA_PP_PARAMETER(Name, Index, Arg, ...)                                      \
  ::QuillData::OperationParameter<&::QuillData::clsQuillData::Name, Index> Arg __VA_OPT__( \
      , QUILLDATA_PP_PARAMETER_AGAIN QUILLDATA_PP_PARENS(Name, Index + 1, __VA_ARGS__))
#define QUILLDATA_PP_PARAMETER_AGAIN() QUILLDATA_PP_PARAMETER
#define QUILLDATA_PP_PARENS ()
// 27 scans and more: enough for the longest parameter list (19).
#define QUILLDATA_PP_SCAN(...) \
  QUILLDATA_PP_SCAN3(QUILLDATA_PP_SCAN3(QUILLDATA_PP_SCAN3(__VA_ARGS__)))
#define QUILLDATA_PP_SCAN3(...) \
  QUILLDATA_PP_SCAN1(QUILLDATA_PP_SCAN1(QUILLDATA_PP_SCAN1(__VA_ARGS__)))
#define QUILLDATA_PP_SCAN1(...) __VA_ARGS__

namespace QuillData {

template <class Member>
struct OperationParameters;
template <class R, class... P>
struct OperationParameters<R (clsQuillData::*)(P...)> {
  using type = std::tuple<P...>;
};
// The type of parameter Index of the interface's member Member.
template <auto Member, std::size_t Index>
using OperationParameter =
    std::tuple_element_t<Index, typename OperationParameters<decltype(Member)>::type>;

}  // namespace QuillData
