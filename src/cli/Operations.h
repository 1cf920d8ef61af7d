#pragma once
// The 65 table operations of clsQuillData as one table. Each entry is built from the
// member function pointer and the argument names alone; the argument and result types come
// from the pointer's signature, so the table cannot drift from the interface. The same
// entry parses command-line text into the member's arguments and calls the member.
//
// Command-line values are read the same way under every locale: whole numbers as strict
// decimal text ("-12"), real numbers with "." as decimal point ("2.5", "1e-3"), booleans as
// true/false/1/0/-1, text as given (UTF-8).
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "QuillData/contract/Variant.h"

namespace QuillData {
class clsQuillData;
}

namespace QuillData::cli {

enum class ArgType { Int32, Double, Bool, String };
enum class ResultType { None, Int32, Variant, Collection };
const char* ArgTypeName(ArgType type);        // "int32", "double", "bool", "string"
const char* ResultTypeName(ResultType type);  // "none", "int32", "variant", "collection"

struct ArgSpec {
  std::string name;
  ArgType type;
  bool optional = false;
  bool byRef = false;       // lngRecordsAffected: the operation may write it back
  std::string defaultText;  // the value an omitted optional argument has
};

// Bad usage of an operation: unknown name, a missing, malformed or surplus argument.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct CallResult {
  Variant result;  // Empty for an operation without a result, or a reader returning nothing
  std::optional<int32_t> recordsAffected;  // after the call; none if the member has none
};

class OperationEntry {
 public:
  // The member bound to its parsed arguments; each call starts from the parsed values.
  using Bound = std::function<CallResult(clsQuillData&)>;
  using Binder = std::function<Bound(const OperationEntry&, const std::vector<std::string>&)>;

  OperationEntry(std::wstring name, int slot, std::vector<ArgSpec> args, ResultType result,
                 Binder binder);

  const std::wstring& Name() const { return name_; }
  std::string NameUtf8() const;
  int Slot() const { return slot_; }  // the member's place in the interface (4..68)
  const std::vector<ArgSpec>& Args() const { return args_; }
  ResultType Result() const { return result_; }
  size_t RequiredCount() const;
  // "INSERTMachRouting(Name string, MachID int32[, lngPocket int32 = 0[, lngRecordsAffected
  // int32 = -1]]) -> int32"
  std::string Signature() const;

  // Parses the values (UTF-8, positional, optional ones may be left off at the end).
  // Throws UsageError naming the signature.
  Bound Bind(const std::vector<std::string>& values) const;

 private:
  friend std::span<const OperationEntry> Operations();
  std::wstring name_;
  int slot_;
  std::vector<ArgSpec> args_;
  ResultType result_;
  Binder binder_;
};

// Every operation, in the interface's order.
std::span<const OperationEntry> Operations();
const OperationEntry* FindOperation(std::string_view name);  // exact name; nullptr if none

// The command line's value parsers; nullopt for text that is not such a value.
std::optional<int32_t> ParseInt32(std::string_view text);
std::optional<double> ParseDouble(std::string_view text);
std::optional<bool> ParseBool(std::string_view text);

}  // namespace QuillData::cli
