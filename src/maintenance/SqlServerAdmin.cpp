// The server administration for SQL Server: T-SQL on the master database over the ODBC
// provider. Names enter statements only quoted: identifiers as [name] with "]" doubled,
// text as N'text' with "'" doubled.
#include <algorithm>
#include <cwctype>
#include <initializer_list>
#include <string_view>
#include <utility>
#include <vector>

#include "QuillData/ado/Connection.h"
#include "QuillData/ado/ConnectionString.h"
#include "QuillData/ado/Enums.h"
#include "QuillData/ado/Recordset.h"
#include "QuillData/contract/Coerce.h"
#include "QuillData/contract/Error.h"
#include "QuillData/maintenance/ServerAdmin.h"

namespace QuillData {

namespace {

constexpr wchar_t kSource[] = L"SQLDMO.SQLServer";

std::wstring Doubled(std::wstring_view text, wchar_t quote) {
  std::wstring out;
  out.reserve(text.size() + 2);
  for (wchar_t c : text) {
    out += c;
    if (c == quote) out += quote;
  }
  return out;
}

std::wstring SqlText(std::wstring_view text) {
  return L"N'" + Doubled(text, L'\'') + L"'";
}

std::wstring SqlName(std::wstring_view name) {
  return L"[" + Doubled(name, L']') + L"]";
}

// A value of an ADO-style connection string, quoted so that ";" and "=" stay inside it.
std::wstring ConnectionValue(std::wstring_view value) {
  return L"\"" + Doubled(value, L'"') + L"\"";
}

bool SameText(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::towlower(static_cast<wint_t>(a[i])) != std::towlower(static_cast<wint_t>(b[i]))) {
      return false;
    }
  }
  return true;
}

[[noreturn]] void NotFound(const std::wstring& what) {
  throw QuillError(ado::adErrItemNotFound, kSource, what);
}

// The first value of the first row as text; `found` tells whether there was a row.
std::wstring FirstValue(ado::Connection& conn, const std::wstring& sql, bool& found) {
  auto rows = conn.Execute(sql);
  found = rows && rows->State() == ado::adStateOpen && !rows->Eof();
  if (!found) return {};
  return CStr(rows->Fields()->Item(0)->Value());
}

class SqlServerDatabase : public AdminDatabase {
 public:
  SqlServerDatabase(std::shared_ptr<ado::Connection> conn, std::wstring name)
      : conn_(std::move(conn)), name_(std::move(name)) {}

  std::wstring PrimaryFilePath() override {
    const std::wstring file = FileName(L"file_id = 1", L"primary data file");
    const size_t slash = file.find_last_of(L"\\/");
    if (slash == std::wstring::npos) {
      NotFound(L"The primary data file \"" + file + L"\" of the database \"" + name_ +
               L"\" names no folder.");
    }
    return file.substr(0, slash + 1);
  }
  std::wstring DataFilePhysicalName() override {
    return FileName(L"type = 0 AND data_space_id = 1", L"data file");
  }
  std::wstring LogFilePhysicalName() override { return FileName(L"type = 1", L"log file"); }

 private:
  std::wstring FileName(const wchar_t* condition, const wchar_t* what) {
    bool found = false;
    std::wstring file =
        FirstValue(*conn_,
                   L"SELECT TOP (1) physical_name FROM sys.master_files"
                   L" WHERE database_id = DB_ID(" +
                       SqlText(name_) + L") AND " + condition + L" ORDER BY file_id;",
                   found);
    if (!found) NotFound(L"The database \"" + name_ + L"\" has no " + what + L".");
    return file;
  }

  std::shared_ptr<ado::Connection> conn_;
  std::wstring name_;
};

class SqlServerAdmin : public ServerAdmin {
 public:
  explicit SqlServerAdmin(std::shared_ptr<ado::Provider> provider)
      : provider_(std::move(provider)) {}

  void Connect(const std::wstring& server, const std::wstring& login,
               const std::wstring& password) override {
    auto conn =
        provider_ ? ado::Connection::WithProvider(provider_) : std::make_shared<ado::Connection>();
    conn->ConnectionString(AdminConnectionString(BaseConnectionString(), server, login, password));
    conn->Open();
    conn_ = std::move(conn);  // a new connection replaces the old one only once it is open
  }

  std::shared_ptr<AdminDatabase> Databases(const std::wstring& name,
                                           const std::wstring& owner) override {
    auto rows = Connected().Execute(
        L"SELECT name, SUSER_SNAME(owner_sid) FROM sys.databases WHERE name = " + SqlText(name) +
        L";");
    if (!rows || rows->State() != ado::adStateOpen || rows->Eof()) {
      NotFound(L"The server has no database \"" + name + L"\".");
    }
    // Inside its database the owner is always "dbo"; another owner is the owning login.
    if (!owner.empty() && !SameText(owner, L"dbo")) {
      const Variant& login = rows->Fields()->Item(1)->Value();
      if (login.IsNull() || !SameText(CStr(login), owner)) {
        NotFound(L"The server has no database \"" + name + L"\" owned by \"" + owner + L"\".");
      }
    }
    return std::make_shared<SqlServerDatabase>(conn_, name);
  }

  void DetachDB(const std::wstring& name) override {
    Connected().Execute(L"EXEC master.dbo.sp_detach_db @dbname = " + SqlText(name) + L";",
                        ado::adExecuteNoRecords);
  }

  void AttachDB(const std::wstring& name, const std::wstring& files) override {
    std::wstring sql = L"CREATE DATABASE " + SqlName(name) + L" ON ";
    bool first = true;
    for (const auto& file : ParseAttachFileList(files)) {
      if (!first) sql += L", ";
      first = false;
      sql += L"(FILENAME = " + SqlText(file) + L")";
    }
    sql += L" FOR ATTACH;";
    Connected().Execute(sql, ado::adExecuteNoRecords);
  }

 private:
  ado::Connection& Connected() {
    if (!conn_ || conn_->State() != ado::adStateOpen) {
      throw QuillError(ado::adErrInvalidConnection, kSource,
                       L"The server administration is not connected (call Connect first).");
    }
    return *conn_;
  }

  std::shared_ptr<ado::Provider> provider_;
  std::shared_ptr<ado::Connection> conn_;
};

}  // namespace

std::wstring AdminConnectionString(std::wstring_view userString, const std::wstring& server,
                                   const std::wstring& login, const std::wstring& password) {
  const auto items = ado::ParseConnectionString(userString);
  auto isAny = [](std::wstring_view key, std::initializer_list<std::wstring_view> names) {
    return std::any_of(names.begin(), names.end(),
                       [&](std::wstring_view name) { return SameText(key, name); });
  };
  const bool odbc = std::any_of(items.begin(), items.end(), [&](const auto& item) {
    return isAny(item.key, {L"Driver", L"DSN", L"FileDSN"});
  });
  // What this connection sets itself; everything else is the user's.
  auto replaced = [&](std::wstring_view key) {
    return isAny(key, {L"Data Source", L"Server", L"Address", L"Addr", L"Network Address",
                       L"Initial Catalog", L"Database", L"User ID", L"UID", L"User", L"Password",
                       L"PWD", L"Integrated Security", L"Trusted_Connection"});
  };
  std::vector<std::wstring> pairs;
  auto add = [&](std::wstring_view key, std::wstring_view value) {
    pairs.push_back(odbc ? ado::OdbcPair(key, value)
                         : std::wstring(key) + L"=" + ConnectionValue(value));
  };
  std::wstring provider = L"Provider=SQLOLEDB";
  for (const auto& [key, value] : items) {
    if (odbc && isAny(key, {L"Driver"})) {
      provider = L"Driver={" + Doubled(value, L'}') + L"}";
    } else if (!odbc && isAny(key, {L"Provider"})) {
      provider = L"Provider=" + ConnectionValue(value);
    }
  }
  if (!odbc || std::any_of(items.begin(), items.end(),
                           [&](const auto& item) { return isAny(item.key, {L"Driver"}); })) {
    pairs.push_back(provider);
  }
  add(odbc ? L"Server" : L"Data Source", server);
  pairs.push_back(odbc ? L"Database=master" : L"Initial Catalog=master");
  if (login.empty()) {
    pairs.push_back(odbc ? L"Trusted_Connection=yes" : L"Integrated Security=SSPI");
  } else {
    add(odbc ? L"UID" : L"User ID", login);
    add(odbc ? L"PWD" : L"Password", password);
  }
  for (const auto& [key, value] : items) {
    if (replaced(key) || isAny(key, {L"Provider", L"Driver"})) continue;
    add(key, value);
  }
  std::wstring out;
  for (const auto& pair : pairs) out += (out.empty() ? L"" : L";") + pair;
  return out;
}

std::shared_ptr<ServerAdmin> MakeSqlServerAdmin(std::shared_ptr<ado::Provider> provider) {
  return std::make_shared<SqlServerAdmin>(std::move(provider));
}

}  // namespace QuillData
