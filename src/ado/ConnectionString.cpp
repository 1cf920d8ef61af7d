#include "QuillData/ado/ConnectionString.h"

#include <algorithm>
#include <cwctype>

#include "QuillData/ado/Enums.h"
#include "ado/Detail.h"

namespace QuillData::ado {

using detail::Raise;
using detail::SameText;

namespace {

std::wstring_view Trim(std::wstring_view s) {
  while (!s.empty() && std::iswspace(static_cast<wint_t>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::iswspace(static_cast<wint_t>(s.back()))) s.remove_suffix(1);
  return s;
}

bool IsAny(std::wstring_view key, std::initializer_list<std::wstring_view> names) {
  return std::any_of(names.begin(), names.end(),
                     [&](std::wstring_view n) { return SameText(key, n); });
}

bool IsTrue(std::wstring_view value) {
  return IsAny(Trim(value), {L"true", L"yes", L"sspi", L"1"});
}

// SQLOLEDB.1 names the same provider as SQLOLEDB.
std::wstring_view WithoutVersion(std::wstring_view provider) {
  const size_t dot = provider.rfind(L'.');
  if (dot != std::wstring_view::npos && dot + 1 < provider.size() &&
      std::all_of(provider.begin() + static_cast<ptrdiff_t>(dot) + 1, provider.end(),
                  [](wchar_t c) { return c >= L'0' && c <= L'9'; })) {
    return provider.substr(0, dot);
  }
  return provider;
}

bool IsSqlServerProvider(std::wstring_view provider) {
  return IsAny(WithoutVersion(Trim(provider)), {L"SQLOLEDB", L"SQLNCLI", L"SQLNCLI10", L"SQLNCLI11",
                                                L"MSOLEDBSQL", L"MSOLEDBSQL19"});
}

bool IsConnectTimeout(std::wstring_view key) {
  return IsAny(key, {L"Connect Timeout", L"Connection Timeout", L"LoginTimeout"});
}

bool IsCommandTimeout(std::wstring_view key) {
  return IsAny(key, {L"Command Timeout", L"QueryTimeout"});
}

// Keys of the ADO string that mean nothing to an ODBC driver. The timeouts reach it as
// statement and connection attributes instead.
bool IsDropped(std::wstring_view key) {
  return IsConnectTimeout(key) || IsCommandTimeout(key) ||
         IsAny(key, {L"Provider", L"Persist Security Info", L"Packet Size", L"Auto Translate",
                     L"Use Procedure for Prepare", L"Tag with column collation when possible",
                     L"DataTypeCompatibility", L"OLE DB Services", L"General Timeout"});
}

}  // namespace

std::vector<ConnectionStringItem> ParseConnectionString(std::wstring_view text) {
  std::vector<ConnectionStringItem> items;
  size_t i = 0;
  const size_t n = text.size();
  while (i < n) {
    const size_t keyStart = i;
    while (i < n && text[i] != L'=' && text[i] != L';') ++i;
    std::wstring key(Trim(text.substr(keyStart, i - keyStart)));
    std::wstring value;
    if (i < n && text[i] == L'=') {
      ++i;
      while (i < n && text[i] != L';' && std::iswspace(static_cast<wint_t>(text[i]))) ++i;
      if (i < n && (text[i] == L'"' || text[i] == L'\'' || text[i] == L'{')) {
        const wchar_t close = text[i] == L'{' ? L'}' : text[i];
        const size_t quoteAt = i++;
        for (;;) {
          if (i >= n) {
            Raise(adErrInvalidArgument,
                  L"The connection string has an unterminated value after \"" + key +
                      L"=\" (from position " + std::to_wstring(quoteAt + 1) + L").");
          }
          if (text[i] == close) {
            if (i + 1 < n && text[i + 1] == close) {  // doubled: the character itself
              value += close;
              i += 2;
              continue;
            }
            ++i;
            break;
          }
          value += text[i++];
        }
        while (i < n && text[i] != L';') ++i;  // blanks after the closing quote
      } else {
        const size_t valueStart = i;
        while (i < n && text[i] != L';') ++i;
        value = std::wstring(Trim(text.substr(valueStart, i - valueStart)));
      }
    }
    if (i < n && text[i] == L';') ++i;
    if (!key.empty() || !value.empty()) items.push_back({std::move(key), std::move(value)});
  }
  return items;
}

std::wstring ConnectionStringValue(const std::vector<ConnectionStringItem>& items,
                                   std::wstring_view key) {
  for (const auto& item : items) {
    if (SameText(item.key, key)) return item.value;
  }
  return {};
}

std::wstring OdbcPair(std::wstring_view key, std::wstring_view value) {
  const bool braces = value.find_first_of(L";{}") != std::wstring_view::npos ||
                      (!value.empty() && (std::iswspace(static_cast<wint_t>(value.front())) ||
                                          std::iswspace(static_cast<wint_t>(value.back()))));
  std::wstring out(key);
  out += L'=';
  if (!braces) return out.append(value);
  out += L'{';
  for (wchar_t c : value) {
    out += c;
    if (c == L'}') out += L'}';
  }
  out += L'}';
  return out;
}

ConnectionTimeouts TimeoutsOf(const std::vector<ConnectionStringItem>& items) {
  ConnectionTimeouts timeouts;
  for (const auto& [key, value] : items) {
    int32_t* target = IsConnectTimeout(key)   ? &timeouts.connect
                      : IsCommandTimeout(key) ? &timeouts.command
                                              : nullptr;
    if (!target) continue;
    const std::wstring_view text = Trim(value);
    int64_t seconds = 0;
    bool ok = !text.empty() && text.size() <= 9;
    for (wchar_t c : text) {
      ok = ok && c >= L'0' && c <= L'9';
      seconds = seconds * 10 + (c - L'0');
    }
    if (!ok) {
      Raise(adErrInvalidArgument, L"The connection string's \"" + key + L"=" + value +
                                      L"\" is not a number of seconds (0 waits without limit).");
    }
    *target = static_cast<int32_t>(seconds);
  }
  return timeouts;
}

const std::vector<std::wstring>& SqlServerOdbcDrivers() {
  static const std::vector<std::wstring> drivers = {L"ODBC Driver 18 for SQL Server",
                                                    L"ODBC Driver 17 for SQL Server", L"FreeTDS"};
  return drivers;
}

std::wstring TranslateConnectionString(std::wstring_view text,
                                       const std::vector<std::wstring>& installedDrivers) {
  const auto items = ParseConnectionString(text);
  for (const auto& item : items) {
    if (IsAny(item.key, {L"Driver", L"DSN", L"FileDSN"})) return std::wstring(text);
  }
  const std::wstring provider = ConnectionStringValue(items, L"Provider");
  if (provider.empty()) {
    Raise(adErrProviderNotFound, L"The connection string names no Provider, Driver or DSN.");
  }
  if (!IsSqlServerProvider(provider)) {
    Raise(adErrProviderNotFound, L"The provider \"" + provider +
                                     L"\" is not available; use an ODBC connection string "
                                     L"(Driver=... or DSN=...).");
  }
  std::wstring driver;
  for (const auto& wanted : SqlServerOdbcDrivers()) {
    if (std::any_of(installedDrivers.begin(), installedDrivers.end(),
                    [&](const std::wstring& d) { return SameText(d, wanted); })) {
      driver = wanted;
      break;
    }
  }
  if (driver.empty()) {
    std::wstring looked;
    for (const auto& d : SqlServerOdbcDrivers()) {
      looked += (looked.empty() ? L"\"" : L", \"") + d + L"\"";
    }
    Raise(adErrProviderNotFound, L"No SQL Server ODBC driver is installed for the provider \"" +
                                     provider + L"\" (looked for " + looked + L").");
  }
  const bool freeTds = SameText(driver, L"FreeTDS");

  std::wstring server, database, user, password;
  bool trusted = false;
  std::vector<std::wstring> rest;
  for (const auto& [key, value] : items) {
    if (IsAny(key, {L"Data Source", L"Server", L"Address", L"Addr", L"Network Address"})) {
      server = value;
    } else if (IsAny(key, {L"Initial Catalog", L"Database"})) {
      database = value;
    } else if (IsAny(key, {L"User ID", L"UID", L"User"})) {
      user = value;
    } else if (IsAny(key, {L"Password", L"PWD"})) {
      password = value;
    } else if (IsAny(key, {L"Integrated Security", L"Trusted_Connection"})) {
      trusted = IsTrue(value);
    } else if (IsAny(key, {L"Application Name", L"APP"})) {
      rest.push_back(OdbcPair(L"APP", value));
    } else if (IsAny(key, {L"Workstation ID", L"WSID"})) {
      rest.push_back(OdbcPair(L"WSID", value));
    } else if (IsAny(key, {L"Encrypt", L"Use Encryption for Data"})) {
      rest.push_back(OdbcPair(L"Encrypt", IsTrue(value) ? L"yes" : L"no"));
    } else if (IsAny(key, {L"TrustServerCertificate", L"Trust Server Certificate"})) {
      rest.push_back(OdbcPair(L"TrustServerCertificate", IsTrue(value) ? L"yes" : L"no"));
    } else if (!IsDropped(key)) {
      rest.push_back(OdbcPair(key, value));  // unknown to us: the driver may know it
    }
  }
  if (server.empty()) {
    Raise(adErrInvalidArgument, L"The connection string names no server (Data Source).");
  }
  // "(local)" and "." are the local default instance, which the Linux drivers call localhost.
  for (std::wstring_view local : {L"(local)", L"."}) {
    if (server.size() >= local.size() && SameText(server.substr(0, local.size()), local) &&
        (server.size() == local.size() || server[local.size()] == L'\\' ||
         server[local.size()] == L',')) {
      server = L"localhost" + server.substr(local.size());
    }
  }
  std::wstring port;
  if (const size_t comma = server.find(L','); freeTds && comma != std::wstring::npos) {
    port = std::wstring(Trim(std::wstring_view(server).substr(comma + 1)));
    server = std::wstring(Trim(std::wstring_view(server).substr(0, comma)));
  }

  std::wstring out = L"Driver={" + driver + L"};" + OdbcPair(L"Server", server);
  if (!port.empty()) out += L";" + OdbcPair(L"Port", port);
  if (!database.empty()) out += L";" + OdbcPair(L"Database", database);
  if (trusted) {
    out += L";Trusted_Connection=yes";
  } else {
    if (!user.empty()) out += L";" + OdbcPair(L"UID", user);
    if (!password.empty()) out += L";" + OdbcPair(L"PWD", password);
  }
  for (const auto& pair : rest) out += L";" + pair;
  return out;
}

}  // namespace QuillData::ado
