#include <algorithm>
#include <charconv>
#include <cwctype>
#include <mutex>
#include <unordered_map>

#include "QuillData/ado/ConnectionString.h"
#include "QuillData/ado/Enums.h"
#include "QuillData/ado/Provider.h"
#include "QuillData/contract/Error.h"
#include "QuillData/contract/Text.h"
#include "ado/Detail.h"

namespace QuillData::ado {

namespace detail {

void Raise(int32_t number, const std::wstring& description) {
  throw QuillError(number, kSource, description);
}

bool SameText(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i] &&
        std::towlower(static_cast<wint_t>(a[i])) != std::towlower(static_cast<wint_t>(b[i])))
      return false;
  }
  return true;
}

bool IsTextType(int32_t type) {
  switch (type) {
    case adChar:
    case adWChar:
    case adVarChar:
    case adVarWChar:
    case adLongVarChar:
    case adLongVarWChar:
    case adGUID:
      return true;
    default:
      return false;
  }
}

bool IsBinaryType(int32_t type) {
  return type == adBinary || type == adVarBinary || type == adLongVarBinary;
}

bool IsSupportedType(int32_t type) {
  switch (type) {
    case adSmallInt:
    case adInteger:
    case adSingle:
    case adDouble:
    case adDate:
    case adBoolean:
    case adDecimal:
    case adNumeric:
    case adDBDate:
    case adDBTime:
    case adDBTimeStamp:
      return true;
    default:
      return IsTextType(type) || IsBinaryType(type);
  }
}

}  // namespace detail

namespace {

std::wstring Folded(std::wstring_view name) {
  std::wstring key(name);
  for (auto& c : key) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
  return key;
}

struct Registry {
  std::mutex mutex;
  std::unordered_map<std::wstring, std::shared_ptr<Provider>> providers{
      {L"libpq", MakeLibpqProvider()}};
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

}  // namespace

void RegisterProvider(const std::wstring& name, std::shared_ptr<Provider> provider) {
  auto& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  if (provider) {
    r.providers[Folded(name)] = std::move(provider);
  } else {
    r.providers.erase(Folded(name));
  }
}

std::shared_ptr<Provider> FindProvider(const std::wstring& name) {
  auto& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  auto it = r.providers.find(Folded(name));
  return it == r.providers.end() ? nullptr : it->second;
}

std::shared_ptr<Provider> ProviderFor(const std::wstring& connectionString) {
  if (detail::IsPostgresUri(connectionString)) {
    auto provider = FindProvider(L"libpq");
    return provider ? provider : MakeLibpqProvider();
  }
  std::wstring name;
  try {
    name = ConnectionStringValue(ParseConnectionString(connectionString), L"Provider");
  } catch (const QuillError&) {
    // A malformed string is reported by the provider that has to read it.
  }
  std::shared_ptr<Provider> provider = name.empty() ? nullptr : FindProvider(name);
  return provider ? provider : MakeOdbcProvider();
}

}  // namespace QuillData::ado

namespace QuillData::ado::detail {

bool IsPostgresUri(std::wstring_view text) {
  const size_t start = text.find_first_not_of(L" \t\r\n");
  if (start == std::wstring_view::npos) return false;
  text.remove_prefix(start);
  return text.starts_with(L"postgresql://") || text.starts_with(L"postgres://");
}

int32_t CommandTypeFromOptions(int32_t options, int32_t fallback) {
  int32_t type = fallback;
  if (options != adOptionUnspecified) {
    const int32_t named = options & (adCmdText | adCmdTable | adCmdStoredProc | adCmdUnknown);
    if (named != 0) type = named;
  }
  if (type == adCmdUnknown || type == adCmdUnspecified) return adCmdText;
  if (type != adCmdText && type != adCmdTable && type != adCmdStoredProc) {
    Raise(adErrInvalidArgument,
          L"The options name no single command type (" + std::to_wstring(options) + L").");
  }
  return type;
}

bool WantsRows(int32_t options) {
  return options == adOptionUnspecified || (options & adExecuteNoRecords) == 0;
}

Variant NumberFromText(const std::wstring& text) {
  constexpr __int128 kMaxMantissa = (static_cast<__int128>(1) << 96) - 1;
  std::string ascii = ToUtf8(text);
  size_t i = 0;
  bool negative = false;
  if (i < ascii.size() && (ascii[i] == '-' || ascii[i] == '+')) negative = ascii[i++] == '-';
  __int128 mantissa = 0;
  int scale = 0;
  bool point = false, digits = false, exact = true;
  for (; i < ascii.size() && exact; ++i) {
    const char c = ascii[i];
    if (c == '.' && !point) {
      point = true;
    } else if (c >= '0' && c <= '9') {
      digits = true;
      mantissa = mantissa * 10 + (c - '0');
      if (point) ++scale;
      if (mantissa > kMaxMantissa || scale > 28) exact = false;
    } else {
      exact = false;
    }
  }
  if (exact && digits) {
    Decimal d;
    d.mantissa = negative ? -mantissa : mantissa;
    d.scale = static_cast<uint8_t>(scale);
    return Variant(d);
  }
  double value = 0;
  const char* first = ascii.data() + (!ascii.empty() && ascii[0] == '+' ? 1 : 0);
  auto [end, ec] = std::from_chars(first, ascii.data() + ascii.size(), value);
  if (ec != std::errc() || end != ascii.data() + ascii.size()) {
    throw QuillError(ErrNo::TypeMismatch, kSource,
                     L"The driver returned \"" + text + L"\" for a numeric column.");
  }
  return Variant(value);
}

void CheckProcedureName(const std::wstring& name) {
  const bool ok = !name.empty() && std::all_of(name.begin(), name.end(), [](wchar_t c) {
    return std::iswalnum(static_cast<wint_t>(c)) || c > 0x7F ||
           std::wstring_view(L"_.$#@[]\" ").find(c) != std::wstring_view::npos;
  });
  if (!ok) Raise(adErrInvalidArgument, L"\"" + name + L"\" is not a procedure name.");
}

void RaiseTimedOut(const QuillError& failure, const wchar_t* what, int32_t seconds,
                   const wchar_t* key) {
  QuillError timedOut = failure.Described(
      std::wstring(what) + L" was cancelled at its timeout of " + std::to_wstring(seconds) +
      L" seconds (" + key + L"): " + failure.Description());
  throw timedOut.WithKind(ErrorKind::Timeout);
}

}  // namespace QuillData::ado::detail
