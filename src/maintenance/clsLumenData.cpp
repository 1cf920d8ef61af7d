#include "QuillData/maintenance/clsLumenData.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <utility>
#include <vector>

#include "QuillData/ado/Command.h"
#include "QuillData/ado/Enums.h"
#include "QuillData/contract/Error.h"
#include "QuillData/contract/Module.h"
#include "QuillData/contract/Text.h"
#include "QuillData/maintenance/ServerAdmin.h"
#include "contract/ModuleText.h"
#include "contract/Trap.h"
#include "platform/Files.h"

namespace QuillData {

namespace {

constexpr wchar_t kTraceModule[] = L"modDB";

template <class T>
T& Must(const std::shared_ptr<T>& object) {
  if (!object) throw QuillError(ErrNo::ObjectNotSet, L"clsLumenData");
  return *object;
}

bool IsPlainFileName(const std::wstring& name) {
  if (name.empty() || name == L"." || name == L"..") return false;
  for (wchar_t c : name) {
    if (c == L'/' || c == L'\\' || c < 0x20) return false;
  }
  return true;
}

std::wstring TrimSpaces(const std::wstring& s) {
  const size_t first = s.find_first_not_of(L' ');
  if (first == std::wstring::npos) return {};
  return s.substr(first, s.find_last_not_of(L' ') - first + 1);
}

// A file copy that never replaces a file: the copy of a database file must not destroy
// another database's file.
void CopyDatabaseFile(const std::wstring& from, const std::wstring& to) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (fs::exists(fs::symlink_status(to, ec))) {
    throw QuillError(ErrNo::FileAlreadyExists, L"MakeDetachCopy",
                     L"The file \"" + to + L"\" already exists; it was not overwritten.");
  }
  if (!fs::copy_file(from, to, fs::copy_options::none, ec) || ec) {
    // A half-written copy (a full disk) is this call's own file; one that appeared meanwhile
    // is not.
    if (ec != std::errc::file_exists) {
      std::error_code ignored;
      fs::remove(to, ignored);
    }
    throw QuillError(
        ErrNo::FileAccessError, L"MakeDetachCopy",
        L"Cannot copy \"" + from + L"\" to \"" + to + L"\": " + FromUtf8(ec.message()));
  }
}

// The source files are copied by this process, after the detach: one it cannot read would
// strand the database, so each is opened before anything happens.
void CheckReadable(const std::wstring& file) {
  if (const auto error = platform::ReadFirstByte(file)) {
    throw QuillError(ErrNo::FileAccessError, L"MakeDetachCopy",
                     L"This process cannot read the database file \"" + file + L"\" (" +
                         error.message + L"); the database was not detached.");
  }
}

// The copies go to folder: it must take a new file and have room for both copies.
void CheckWritable(const std::wstring& folder, const std::vector<std::wstring>& sources) {
  namespace fs = std::filesystem;
  if (const auto error = platform::ProbeWritable(folder)) {
    throw QuillError(ErrNo::FileAccessError, L"MakeDetachCopy",
                     L"This process cannot write to the folder \"" + folder + L"\" (" +
                         error.message + L"); the database was not detached.");
  }
  std::error_code ec;
  uintmax_t needed = 0;
  for (const auto& source : sources) {
    const uintmax_t size = fs::file_size(source, ec);
    if (!ec) needed += size;
  }
  const fs::space_info space = fs::space(folder, ec);
  if (!ec && space.available < needed) {
    throw QuillError(ErrNo::DiskFull, L"MakeDetachCopy",
                     L"The folder \"" + folder + L"\" has " + std::to_wstring(space.available) +
                         L" bytes free and the copies need " + std::to_wstring(needed) +
                         L"; the database was not detached.");
  }
}

}  // namespace

clsLumenData::~clsLumenData() {
  try {
    if (gSP && TracingOn()) gSP->TraceEnter(L"Class_Terminate", kTraceModule);
    m_Conn.reset();
    if (gSP && TracingOn()) gSP->TraceExit(L"Class_Terminate");
  } catch (...) {
    // A teardown has no trap and must not throw; the connection is released either way.
  }
}

bool clsLumenData::OpenDB(const std::wstring& strConn, const std::shared_ptr<cSP>& cSP,
                          const std::shared_ptr<cE>& cE) {
  bool result = false;
  // Entry is traced with the companion stored before this call, exit with the new one.
  Trap(L"clsQuillData", L"OpenDB", {.traced = true}).Run([&](Trap& t) {
    t.Step([&] {
      gSP = cSP;
      gE = cE;
    });
    t.Step([&] {
      if (!m_Conn) m_Conn = std::make_shared<ado::Connection>();
    });
    bool open = false;
    t.Step([&] { open = Must(m_Conn).State() == ado::adStateOpen; });
    if (!open) {
      t.Step([&] { Must(m_Conn).ConnectionString(strConn); });
      // A retried open waits for the server, up to the connect timeout.
      bool retry = false;
      t.Step([&] {
        if (std::exchange(retry, true)) return Must(m_Conn).Reconnect();
        Must(m_Conn).Open(L"", L"", L"", ado::adOptionUnspecified);
      });
    }
    // True only for an open connection, also when the companion let a failed Open go on.
    t.Step([&] { result = Must(m_Conn).State() == ado::adStateOpen; });
  });
  return result;
}

std::shared_ptr<ado::Recordset> clsLumenData::Get_Lumen_Set(const std::wstring& SQLString,
                                                            ByRef<int32_t> lngRecordsAffected) {
  std::shared_ptr<ado::Recordset> result;
  Trap(L"clsLumenData", L"Get_Lumen_Set", {.traced = true, .traceModule = kTraceModule})
      .Run([&](Trap& t) {
        ado::CommandPtr command;
        t.Step([&] { command = std::make_shared<ado::Command>(); });
        t.Step([&] { Must(command).ActiveConnection(m_Conn); });
        t.Step([&] { Must(command).CommandText(SQLString); });
        t.Step([&] { Must(command).CommandType(ado::adCmdText); });

        std::shared_ptr<ado::Recordset> rows;
        // Any SQL text may write, so one whose answer was lost is not sent again; one that
        // surely did not run (the connection was gone before it left) runs on a new one.
        ado::ResendGuard guard(m_Conn, false);
        t.Step([&] { rows = std::make_shared<ado::Recordset>(); });
        t.Step([&] { Must(rows).CursorType(ado::adOpenStatic); });
        t.Step([&] { Must(rows).LockType(ado::adLockReadOnly); });
        t.Step([&] { Must(rows).CursorLocation(ado::adUseClient); });
        t.Step([&] {
          guard.Attempt([&] {
            Must(rows).Open(command, nullptr, ado::adOpenUnspecified, ado::adLockUnspecified,
                            ado::adOptionUnspecified);
          });
          // A statement without rows leaves the recordset closed, and a closed recordset cannot
          // be counted or read: the caller gets an open, empty one instead.
          if (rows->State() != ado::adStateOpen) {
            rows = ado::Recordset::FromRows(std::make_shared<ado::RowSet>());
          }
        });
        t.Step([&] { lngRecordsAffected = Must(rows).RecordCount(); });
        t.Step([&] { result = rows; });
      });
  return result;
}

Variant clsLumenData::MakeDetachCopy(const std::wstring& strLogin, const std::wstring& strPwd,
                                     const std::wstring& strSrv, const std::wstring& strDatabase,
                                     const std::wstring& strNewName) {
  std::shared_ptr<ServerAdmin> server;
  std::shared_ptr<AdminDatabase> database;
  // The answer 0 goes to the clean-up instead of running the failed statement again.
  Trap(L"frmMain", L"MakeDetachCopy",
       {.traced = true, .traceModule = kTraceModule, .retryFinishes = true})
      .Run([&](Trap& steps) {
        // The new name is glued to the database's folder: a path in it would write elsewhere.
        steps.Step([&] {
          if (!IsPlainFileName(strNewName)) {
            throw QuillError(ErrNo::InvalidProcedureCall, L"MakeDetachCopy",
                             L"The new name \"" + strNewName +
                                 L"\" must be a plain file name (no folder, no '.' or '..').");
          }
        });
        steps.Step([&] { server = CreateServerAdmin(kSqlServerAdminId); });
        steps.Step([&] {
          // The user's own settings (encryption, certificate trust) hold for this one too.
          if (m_Conn) Must(server).BaseConnectionString(m_Conn->ConnectionString());
          Must(server).Connect(strSrv, strLogin, strPwd);
        });
        steps.Step([&] { database = Must(server).Databases(strDatabase, L"dbo"); });

        std::wstring folder, dataFile, logFile;
        steps.Step([&] { folder = Must(database).PrimaryFilePath(); });
        steps.Step([&] { dataFile = TrimSpaces(Must(database).DataFilePhysicalName()); });
        steps.Step([&] { logFile = TrimSpaces(Must(database).LogFilePhysicalName()); });
        // Plain concatenation: the folder ends in a separator.
        const std::wstring dataCopy = folder + strNewName + L".mdf";
        const std::wstring logCopy = folder + strNewName + L"_log.ldf";

        // Whatever can be found out before the detach is: a copy refused for an existing file,
        // a source this process cannot read, a folder it cannot write or that is too full.
        steps.Step([&] {
          for (const std::wstring* copy : {&dataCopy, &logCopy}) {
            std::error_code ec;
            if (std::filesystem::exists(std::filesystem::symlink_status(*copy, ec))) {
              throw QuillError(
                  ErrNo::FileAlreadyExists, L"MakeDetachCopy",
                  L"The file \"" + *copy + L"\" already exists; the database was not detached.");
            }
          }
        });
        steps.Step([&] {
          CheckReadable(dataFile);
          CheckReadable(logFile);
        });
        steps.Step([&] { CheckWritable(folder, {dataFile, logFile}); });

        steps.Step([&] { database.reset(); });
        steps.Step([&] { Must(server).DetachDB(strDatabase); });
        // From here on the database is detached: whatever fails, it is attached again from its
        // own files (and the copies made so far removed) before the failure is reported.
        steps.Step([&] {
          const std::wstring files = AttachFileList({dataFile, logFile});
          std::vector<std::wstring> made;
          try {
            for (const auto& [from, to] : {std::pair{&dataFile, &dataCopy}, {&logFile, &logCopy}}) {
              CopyDatabaseFile(*from, *to);
              made.push_back(*to);
            }
            Must(server).AttachDB(strDatabase, files);
          } catch (...) {
            const QuillError failure = CurrentError();
            for (const auto& copy : made) {
              std::error_code ec;
              std::filesystem::remove(copy, ec);
            }
            try {
              Must(server).AttachDB(strDatabase, files);
            } catch (...) {
              throw failure.Described(failure.Description() +
                                      L" Attaching the database again failed too (" +
                                      CurrentError().Description() +
                                      L"); it is detached, its files are " + files + L".");
            }
            throw failure.Described(failure.Description() + L" The database was attached again.");
          }
        });
      });
  // The clean-up: also where the answer 0 leads.
  database.reset();
  server.reset();
  return Variant();
}

}  // namespace QuillData
