#pragma once
// A backend makes its members from the one list of operations (Operations.inc); the few it
// declares or defines on its own terms it leaves out of the expansion. Define
// QUILLDATA_OWN_<Name> as a comma for each of those, then QUILLDATA_UNLESS_OWN(Name, code)
// gives `code` for every other operation and nothing for those:
//
//   #define QUILLDATA_OWN_GETFilterScenariosCol ,
//   #define QUILLDATA_OPERATION(Result, Name, Params, Args) QUILLDATA_UNLESS_OWN(Name, code)
//   #include "QuillData/contract/Operations.inc"
//   #undef QUILLDATA_OWN_GETFilterScenariosCol

// The marker of an own operation becomes a comma before the third argument is picked: the
// empty code then, the code itself for any other name.
#define QUILLDATA_UNLESS_OWN(Name, ...) \
  QUILLDATA_PP_EXPAND(                  \
      QUILLDATA_PP_UNPAREN QUILLDATA_PP_PICK(QUILLDATA_OWN_##Name, (), (__VA_ARGS__), ~))
#define QUILLDATA_PP_PICK(...) QUILLDATA_PP_THIRD(__VA_ARGS__)
#define QUILLDATA_PP_THIRD(first, second, third, ...) third
#define QUILLDATA_PP_UNPAREN(...) __VA_ARGS__
#define QUILLDATA_PP_EXPAND(...) __VA_ARGS__
