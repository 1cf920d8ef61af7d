#include "cli/Operations.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <memory>
#include <tuple>
#include <type_traits>
#include <utility>

#include "QuillData/contract/Text.h"
#include "QuillData/contract/clsQuillData.h"

namespace QuillData::cli {

const char* ArgTypeName(ArgType type) {
  switch (type) {
    case ArgType::Int32:
      return "int32";
    case ArgType::Double:
      return "double";
    case ArgType::Bool:
      return "bool";
    case ArgType::String:
      return "string";
  }
  return "?";
}

const char* ResultTypeName(ResultType type) {
  switch (type) {
    case ResultType::None:
      return "none";
    case ResultType::Int32:
      return "int32";
    case ResultType::Variant:
      return "variant";
    case ResultType::Collection:
      return "collection";
  }
  return "?";
}

std::optional<int32_t> ParseInt32(std::string_view text) {
  // from_chars takes no '+' and no blanks; we accept the sign and nothing else.
  std::string_view digits = text;
  bool negative = false;
  if (!digits.empty() && (digits[0] == '+' || digits[0] == '-')) {
    negative = digits[0] == '-';
    digits.remove_prefix(1);
  }
  if (digits.empty() ||
      !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return std::nullopt;
  int64_t magnitude = 0;
  auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), magnitude);
  if (ec != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
  int64_t value = negative ? -magnitude : magnitude;
  if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(value);
}

std::optional<double> ParseDouble(std::string_view text) {
  // from_chars ignores the global and the user's locale: "." is the decimal point everywhere.
  // "inf" and "nan" pass as such: the operation decides what it does with them.
  std::string_view body = text;
  if (!body.empty() && body[0] == '+') body.remove_prefix(1);
  if (body.empty() || body[0] == '+' || body[0] == ' ') return std::nullopt;
  double value = 0;
  auto [end, ec] = std::from_chars(body.data(), body.data() + body.size(), value);
  if (ec != std::errc() || end != body.data() + body.size()) return std::nullopt;
  return value;
}

std::optional<bool> ParseBool(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (lower == "true" || lower == "1" || lower == "-1") return true;
  if (lower == "false" || lower == "0") return false;
  return std::nullopt;
}

namespace {

// How each parameter type of the interface is read from the command line, held while the
// call is bound, and handed to the member. A parameter type not listed here does not
// compile, so the table cannot take a member it cannot call.
template <class P>
struct Param {
  static_assert(sizeof(P) == 0, "the command line cannot pass this parameter type");
};
template <>
struct Param<const int32_t&> {
  static constexpr ArgType kType = ArgType::Int32;
  static constexpr bool kByRef = false;
  using Holder = int32_t;
  static std::optional<Holder> Parse(std::string_view t) { return ParseInt32(t); }
  static const int32_t& Pass(Holder& h) { return h; }
};
template <>
struct Param<const double&> {
  static constexpr ArgType kType = ArgType::Double;
  static constexpr bool kByRef = false;
  using Holder = double;
  static std::optional<Holder> Parse(std::string_view t) { return ParseDouble(t); }
  static const double& Pass(Holder& h) { return h; }
};
template <>
struct Param<const bool&> {
  static constexpr ArgType kType = ArgType::Bool;
  static constexpr bool kByRef = false;
  using Holder = bool;
  static std::optional<Holder> Parse(std::string_view t) { return ParseBool(t); }
  static const bool& Pass(Holder& h) { return h; }
};
template <>
struct Param<const std::wstring&> {
  static constexpr ArgType kType = ArgType::String;
  static constexpr bool kByRef = false;
  using Holder = std::wstring;
  static std::optional<Holder> Parse(std::string_view t) { return FromUtf8(t); }
  static const std::wstring& Pass(Holder& h) { return h; }
};
template <>
struct Param<RecordsAffected> {
  static constexpr ArgType kType = ArgType::Int32;
  static constexpr bool kByRef = true;
  using Holder = int32_t;
  static std::optional<Holder> Parse(std::string_view t) { return ParseInt32(t); }
  // Shares the holder, so what the member writes is read back after the call.
  static RecordsAffected Pass(Holder& h) { return RecordsAffected(h); }
};

template <class R>
struct Result {
  static_assert(sizeof(R) == 0, "the command line cannot print this result type");
};
template <>
struct Result<void> {
  static constexpr ResultType kType = ResultType::None;
};
template <>
struct Result<int32_t> {
  static constexpr ResultType kType = ResultType::Int32;
  static Variant ToVariant(int32_t v) { return v; }
};
template <>
struct Result<Variant> {
  static constexpr ResultType kType = ResultType::Variant;
  static Variant ToVariant(Variant v) { return v; }
};
template <>
struct Result<CollectionPtr> {
  static constexpr ResultType kType = ResultType::Collection;
  static Variant ToVariant(CollectionPtr c) { return c ? Variant(std::move(c)) : Variant(); }
};

template <class... P>
using Holders = std::tuple<typename Param<P>::Holder...>;

template <class... P, size_t... I>
void Fill(const OperationEntry& op, Holders<P...>& holders, const std::vector<std::string>& values,
          std::index_sequence<I...>) {
  auto one = [&]<class Q>(std::type_identity<Q>, auto& holder, size_t index) {
    const ArgSpec& argument = op.Args()[index];
    const bool given = index < values.size();
    const std::string& text = given ? values[index] : argument.defaultText;
    auto parsed = Param<Q>::Parse(text);
    if (!parsed) {
      throw UsageError(op.NameUtf8() + ": argument " + std::to_string(index + 1) + " (" +
                       argument.name + ") must be " +
                       (argument.type == ArgType::Bool ? "a bool (true, false, 1, 0 or -1)"
                        : argument.type == ArgType::Int32
                            ? "a whole number from -2147483648 to 2147483647"
                            : "a number with '.' as decimal point") +
                       ", not \"" + text + "\"\nusage: " + op.Signature());
    }
    holder = std::move(*parsed);
  };
  (one(std::type_identity<P>{}, std::get<I>(holders), I), ...);
}

template <class R, class... P, size_t... I>
CallResult Invoke(R (clsQuillData::*fn)(P...), clsQuillData& db, Holders<P...> h,
                  std::index_sequence<I...>) {
  CallResult out;
  if constexpr (std::is_void_v<R>) {
    (db.*fn)(Param<P>::Pass(std::get<I>(h))...);
  } else {
    out.result = Result<R>::ToVariant((db.*fn)(Param<P>::Pass(std::get<I>(h))...));
  }
  // The by-reference argument after the call: what the member wrote, or what was passed.
  (
      [&] {
        if constexpr (Param<P>::kByRef) out.recordsAffected = std::get<I>(h);
      }(),
      ...);
  return out;
}

// One argument as the interface declares it, from the parameter's text: "const int32_t&
// lngPocket = 0" is lngPocket, optional, default "0".
ArgSpec ArgumentOf(std::string_view declaration, ArgType type, bool byRef) {
  auto trim = [](std::string_view t) {
    while (!t.empty() && t.front() == ' ') t.remove_prefix(1);
    while (!t.empty() && t.back() == ' ') t.remove_suffix(1);
    return t;
  };
  std::string_view head = declaration;
  ArgSpec argument{"", type, false, false, ""};
  if (auto eq = declaration.find('='); eq != std::string_view::npos) {
    head = declaration.substr(0, eq);
    argument.optional = true;
    argument.defaultText = std::string(trim(declaration.substr(eq + 1)));
  }
  head = trim(head);
  argument.name = std::string(head.substr(head.find_last_of(" &*") + 1));
  if (byRef) {
    argument.byRef = true;
    argument.optional = true;
    argument.defaultText = "-1";  // what an omitted ByRef holds
  }
  return argument;
}

// One table entry: the member and its parameter list as the interface declares it
// ("(const int32_t& MachID, RecordsAffected lngRecordsAffected = {})").
template <class R, class... P>
OperationEntry Op(std::wstring name, R (clsQuillData::*fn)(P...), std::string_view params) {
  constexpr ArgType types[] = {Param<P>::kType..., ArgType::Int32};
  constexpr bool byRef[] = {Param<P>::kByRef..., false};
  params = params.substr(1, params.size() - 2);  // the parentheses
  std::vector<ArgSpec> args;
  while (!params.empty()) {
    const size_t comma = params.find(',');
    if (args.size() == sizeof...(P)) break;
    args.push_back(ArgumentOf(params.substr(0, comma), types[args.size()], byRef[args.size()]));
    params = comma == std::string_view::npos ? std::string_view() : params.substr(comma + 1);
  }
  if (args.size() != sizeof...(P) || !params.empty()) {
    throw std::logic_error(ToUtf8(name) + ": the parameter list does not match the member");
  }
  OperationEntry::Binder binder = [fn](const OperationEntry& op,
                                       const std::vector<std::string>& values) {
    auto holders = std::make_shared<Holders<P...>>();
    Fill<P...>(op, *holders, values, std::index_sequence_for<P...>{});
    return OperationEntry::Bound([fn, holders](clsQuillData& db) {
      return Invoke(fn, db, *holders, std::index_sequence_for<P...>{});
    });
  };
  return OperationEntry(std::move(name), 0, std::move(args), Result<R>::kType, std::move(binder));
}

std::vector<OperationEntry> BuildTable() {
  std::vector<OperationEntry> t;
#define QUILLDATA_OPERATION(Result, Name, Params, Args) \
  t.push_back(Op(L## #Name, &clsQuillData::Name, #Params));
#include "QuillData/contract/Operations.inc"
  return t;
}

}  // namespace

OperationEntry::OperationEntry(std::wstring name, int slot, std::vector<ArgSpec> args,
                               ResultType result, Binder binder)
    : name_(std::move(name)),
      slot_(slot),
      args_(std::move(args)),
      result_(result),
      binder_(std::move(binder)) {
  // An optional argument may only be followed by optional ones: the values are positional.
  bool optionalSeen = false;
  for (const ArgSpec& a : args_) {
    if (optionalSeen && !a.optional)
      throw std::logic_error(NameUtf8() + ": required argument " + a.name +
                             " after an optional one");
    optionalSeen = optionalSeen || a.optional;
  }
}

std::string OperationEntry::NameUtf8() const {
  return ToUtf8(name_);
}

size_t OperationEntry::RequiredCount() const {
  size_t n = 0;
  while (n < args_.size() && !args_[n].optional) ++n;
  return n;
}

std::string OperationEntry::Signature() const {
  std::string s = NameUtf8() + "(";
  size_t open = 0;
  for (size_t i = 0; i < args_.size(); ++i) {
    const ArgSpec& a = args_[i];
    if (a.optional) {
      s += "[";
      ++open;
    }
    if (i > 0) s += ", ";
    s += a.name + " " + ArgTypeName(a.type);
    if (a.optional) s += " = " + a.defaultText;
  }
  s += std::string(open, ']') + ") -> " + ResultTypeName(result_);
  return s;
}

OperationEntry::Bound OperationEntry::Bind(const std::vector<std::string>& values) const {
  if (values.size() < RequiredCount()) {
    const ArgSpec& missing = args_[values.size()];
    throw UsageError(NameUtf8() + ": missing argument " + std::to_string(values.size() + 1) + " (" +
                     missing.name + ", " + ArgTypeName(missing.type) + ")\nusage: " + Signature());
  }
  if (values.size() > args_.size()) {
    throw UsageError(NameUtf8() + ": takes at most " + std::to_string(args_.size()) + " argument" +
                     (args_.size() == 1 ? "" : "s") + ", got " + std::to_string(values.size()) +
                     "\nusage: " + Signature());
  }
  return binder_(*this, values);
}

std::span<const OperationEntry> Operations() {
  static const std::vector<OperationEntry> table = [] {
    std::vector<OperationEntry> t = BuildTable();
    // The table operations follow Conn (get, set) and OpenDB in the interface.
    int slot = 4;
    for (auto& op : t) op.slot_ = slot++;
    return t;
  }();
  return table;
}

const OperationEntry* FindOperation(std::string_view name) {
  for (const OperationEntry& op : Operations())
    if (op.NameUtf8() == name) return &op;
  return nullptr;
}

}  // namespace QuillData::cli
