#include "QuillData/mssql/clsQuillData_MSSQL.h"

#include <functional>
#include <optional>
#include <type_traits>
#include <utility>

#include "Catalogue.h"
#include "QuillData/ado/Command.h"
#include "QuillData/ado/Connection.h"
#include "QuillData/ado/Enums.h"
#include "QuillData/ado/Recordset.h"
#include "QuillData/contract/Coerce.h"
#include "QuillData/contract/Error.h"
#include "QuillData/contract/Module.h"
#include "Readers.h"
#include "ado/Detail.h"
#include "contract/EveryOperation.h"
#include "contract/ModuleText.h"
#include "contract/Trap.h"
#include "mssql/ConnLayout.h"

namespace QuillData {

namespace {

constexpr wchar_t kModule[] = L"clsQuillData";

template <class T>
T& Must(const std::shared_ptr<T>& object) {
  if (!object) throw QuillError(ErrNo::ObjectNotSet, kModule);
  return *object;
}

// The connection values: the array itself, or the array wrapped as the first argument.
const std::vector<Variant>& ConnectionValues(const std::vector<Variant>& ConnArgs) {
  if (!ConnArgs.empty()) {
    if (const auto* inner = ConnArgs.front().Get<Variant::Array>()) return *inner;
  }
  return ConnArgs;
}

// The result of an entry as the interface member returns it.
template <class R>
R ResultAs(const Variant& result) {
  if constexpr (std::is_same_v<R, int32_t>) {
    const int32_t* value = result.Get<int32_t>();
    return value ? *value : 0;
  } else if constexpr (!std::is_void_v<R>) {
    return result;
  }
}

}  // namespace

namespace mssql {

// The object's state and the plumbing its operations share.
class Backend {
 public:
  std::shared_ptr<clsQuillData> base = std::make_shared<clsQuillData>();
  std::shared_ptr<ado::Connection> conn;
  // Whether the database holds the shipped schema; unknown until asked (ShippedSchema).
  std::optional<bool> shippedSchema;

  // Runs the operation's catalogued procedure in its trap; the result as the entry says.
  Variant Run(Op op, const Arguments& args);
  // Streams the whole table's rows into `rows`; traced and trapped as "GetTable". False when
  // the query failed (it was reported).
  bool GetTable(const std::wstring& strTable, ado::RowSink& rows);
  CollectionPtr ReadTable(const readers::TableReader& reader, RecordsAffected& lngRecordsAffected);
  void CloseDatabase() noexcept;
  // Whether a call of the entry whose outcome is unknown may be sent again: one that only
  // reads always; one that looks its row up first when the database holds the shipped
  // schema (ShippedSchema); any other never.
  std::function<bool()> ResendRule(const Procedure& procedure);
  // True when the database carries the shipped schema's version table: its look-up-first
  // procedures then find on a second run what the first one wrote. Asked once per OpenDB,
  // when a call's outcome is first unknown.
  bool ShippedSchema();
};

}  // namespace mssql

clsQuillData_MSSQL::clsQuillData_MSSQL() : m_impl(std::make_unique<mssql::Backend>()) {
#define QUILLDATA_OPERATION(Result, Name, Params, Args) \
  QUILLDATA_REQUIRE_OVERRIDE(clsQuillData_MSSQL, Name)
#include "QuillData/contract/Operations.inc"
}

clsQuillData_MSSQL::~clsQuillData_MSSQL() {
  // No trap is armed here: a failing companion or Close must not escape a destructor.
  const bool traced = gSP && TracingOn();
  try {
    if (traced) gSP->TraceEnter(L"Class_Terminate", kModule);
  } catch (...) {
  }
  m_impl->CloseDatabase();
  m_impl->base.reset();
  try {
    if (traced && gSP) gSP->TraceExit(L"Class_Terminate");
  } catch (...) {
  }
}

std::shared_ptr<ado::Connection> clsQuillData_MSSQL::OwnConn() const {
  return m_impl->conn;
}

void clsQuillData_MSSQL::OwnConn(const std::shared_ptr<ado::Connection>& vData) {
  m_impl->conn = vData;
}

ConnectionPtr clsQuillData_MSSQL::Conn() const {
  return m_impl->base->Conn();
}

void clsQuillData_MSSQL::Conn(const ConnectionPtr& vData) {
  m_impl->base->Conn(vData);
}

bool clsQuillData_MSSQL::OpenDB(const std::shared_ptr<cSP>& cSP, const std::shared_ptr<cE>& cE,
                                const std::vector<Variant>& ConnArgs) {
  gSP = cSP;
  gE = cE;
  bool result = false;
  std::shared_ptr<ado::Connection>& conn = m_impl->conn;
  m_impl->shippedSchema.reset();
  Trap(kModule, L"OpenDB", {.flag = 2}).Run([&](Trap& t) {
    const std::vector<Variant>& values = ConnectionValues(ConnArgs);
    bool laidOut = false;
    t.Step([&] {
      RequireConnArgs(mssql::kConnLayout, values);
      laidOut = true;
    });
    if (!laidOut) return;  // nothing sensible to open
    t.Step([&] { conn.reset(); });
    t.Step([&] { conn = std::make_shared<ado::Connection>(); });
    t.Step([&] { Must(conn).ConnectionString(CStr(values.at(0))); });
    // A retried open waits for the server, up to the connect timeout.
    bool retry = false;
    t.Step([&] {
      if (std::exchange(retry, true)) return Must(conn).Reconnect();
      Must(conn).Open(L"", L"", L"", ado::adOptionUnspecified);
    });
    t.Step([&] { result = Must(conn).State() > 0; });
    t.Step([&] { gTraceFlag = CStr(values.at(1)); });
  });
  return result;
}

// The plumbing ------------------------------------------------------------------------------

namespace mssql {

void Backend::CloseDatabase() noexcept {
  if (!conn) return;
  try {
    // A connection that never opened, or was closed already, has nothing to close.
    if (conn->State() > 0) conn->Close();
  } catch (...) {
  }
  conn.reset();
}

bool Backend::GetTable(const std::wstring& strTable, ado::RowSink& rows) {
  bool read = false;
  Trap(kModule, L"GetTable", {.traced = true}).Run([&](Trap& t) {
    ado::CommandPtr command;
    t.Step([&] {
      command = std::make_shared<ado::Command>();
      command->ActiveConnection(conn);
      command->CommandText(L"SELECT * FROM " + strTable + L";");
      command->CommandType(ado::adCmdText);
    });
    // A read may always be sent again: a lost connection is opened again first, and the
    // rows begin again.
    ado::ResendGuard guard(conn, true);
    t.Step([&] {
      guard.Attempt([&] { Must(command).Stream(rows); });
      read = true;
    });
  });
  return read;
}

CollectionPtr Backend::ReadTable(const readers::TableReader& reader,
                                 RecordsAffected& lngRecordsAffected) {
  RecordFiller filler(reader, KeyRuleOf(reader));
  // A GetTable that failed has reported it: no rows.
  if (!GetTable(std::wstring(reader.table), filler)) {
    return std::make_shared<Tessera::Collection>();
  }
  CollectionPtr collection = filler.Result();
  if (collection->Count() > 0) lngRecordsAffected = collection->Count();
  return collection;
}

std::function<bool()> Backend::ResendRule(const Procedure& procedure) {
  switch (procedure.resend) {
    case Resend::ReadsOnly:
      return [] { return true; };
    case Resend::LooksUpFirst:
      return [this] { return ShippedSchema(); };
    default:
      return [] { return false; };
  }
}

bool Backend::ShippedSchema() {
  if (shippedSchema) return *shippedSchema;
  try {
    // Version 2 made the look-up-first functions one step for concurrent callers.
    auto rows =
        Must(conn).Execute(L"SELECT count(*) FROM tblSchema_Version WHERE \"fldVersion\" >= 2");
    shippedSchema = rows && !rows->Eof() && CLng(rows->Fields()->Item(0)->Value()) > 0;
  } catch (const QuillError&) {
    // A connection lost on the way proves nothing either way: asked again next time.
    if (!conn || conn->Lost()) return false;
    shippedSchema = false;
  }
  return *shippedSchema;
}

Variant Backend::Run(Op op, const Arguments& args) {
  const Procedure& procedure = Entry(op);
  Variant result = InitialResult(procedure);
  Trap(kModule, procedure.trace, {.traced = true}).Run([&](Trap& t) {
    Call(t, conn, procedure, args.values, args.recordsAffected, result, ResendRule(procedure));
  });
  return result;
}

}  // namespace mssql

// Transactions ---------------------------------------------------------------------------

int32_t clsQuillData_MSSQL::BeginTrans() {
  int32_t level = 0;
  std::shared_ptr<ado::Connection>& conn = m_impl->conn;
  Trap(kModule, L"BeginTrans", {.traced = true}).Run([&](Trap& t) {
    // Nothing is lost yet: a connection to be opened again is opened first.
    ado::ResendGuard guard(conn, true);
    t.Step([&] {
      if (InTransaction()) {
        throw QuillError(ErrNo::InvalidProcedureCall, kModule,
                         L"A transaction is open already: transactions do not nest");
      }
      guard.Attempt([&] { level = Must(conn).BeginTrans(); });
    });
  });
  return level;
}

bool clsQuillData_MSSQL::CommitTrans() {
  bool committed = false;
  // A commit that failed has ended the transaction: a retry reports the same failure.
  std::optional<QuillError> failed;
  Trap(kModule, L"CommitTrans", {.traced = true}).Run([&](Trap& t) {
    t.Step([&] {
      if (failed) throw *failed;
      if (!InTransaction()) {
        throw QuillError(ErrNo::InvalidProcedureCall, kModule,
                         L"No transaction is open: BeginTrans first");
      }
      try {
        m_impl->conn->CommitTrans();
      } catch (const QuillError& failure) {
        failed = failure;
        throw;
      }
      committed = true;
    });
  });
  return committed;
}

void clsQuillData_MSSQL::RollbackTrans() {
  if (!InTransaction()) return;
  Trap(kModule, L"RollbackTrans", {.traced = true}).Run([&](Trap& t) {
    t.Step([&] { Must(m_impl->conn).RollbackTrans(); });
  });
}

bool clsQuillData_MSSQL::InTransaction() const {
  return m_impl->conn && m_impl->conn->InTransaction();
}

// The operations ---------------------------------------------------------------------------

// Each writer sends its arguments to its catalogue entry, which says what goes where and
// what comes back.
#define QUILLDATA_OWN_GETFilterScenariosCol ,
#define QUILLDATA_TABLE_READER(Name, Record, Table, Key, Unread)
#define QUILLDATA_OPERATION(Result, Name, Params, Args)                          \
  QUILLDATA_UNLESS_OWN(                                                          \
      Name, Result clsQuillData_MSSQL::Name(QUILLDATA_PARAMETERS(Name, Args)) {  \
        return ResultAs<Result>(m_impl->Run(mssql::Op::Name, mssql::Bind Args)); \
      })
#include "QuillData/contract/Operations.inc"
#undef QUILLDATA_OWN_GETFilterScenariosCol

Variant clsQuillData_MSSQL::INSERTGlobalContrFeatrLists(const int32_t& lngFeatureID,
                                                        const std::wstring& strNewFtrSandEPoints,
                                                        const std::wstring& strLinkName,
                                                        const std::wstring& strLinkDescription,
                                                        const std::wstring& strLinkType,
                                                        const std::wstring& strLinkVarSet,
                                                        RecordsAffected lngRecordsAffected) {
  return m_impl->Run(
      mssql::Op::INSERTGlobalContrFeatrLists,
      mssql::Bind(lngFeatureID, strNewFtrSandEPoints, strLinkName, strLinkDescription, strLinkType,
                  strLinkVarSet, lngRecordsAffected));
}

CollectionPtr clsQuillData_MSSQL::GETFilterScenariosCol(const bool& blnWithPartType2,
                                                        RecordsAffected lngRecordsAffected) {
  const mssql::Procedure& procedure = mssql::Entry(mssql::Op::GETFilterScenariosCol);
  readers::TableReader reader = readers::Find(L"GETTblFilterScenarios");
  reader.operation = L"GETFilterScenariosCol";
  mssql::KeyRule key{
      readers::PlanKey(reader.recordType(),
                       blnWithPartType2 ? reader.key : readers::FirstPart(reader.key)),
      {},
      -1};
  mssql::RecordFiller filler(reader, std::move(key));
  // The caller gets a collection whatever happens; an empty one after a failed call.
  auto collection = std::make_shared<Tessera::Collection>();
  Trap(kModule, procedure.trace, {.traced = true}).Run([&](Trap& t) {
    Variant unused;
    if (!mssql::Call(t, m_impl->conn, procedure, std::vector<Variant>{blnWithPartType2}, -1, unused,
                     m_impl->ResendRule(procedure), &filler)) {
      return;  // the call failed and was reported
    }
    t.Step([&] {
      // A procedure that returned no result set leaves nothing to walk.
      if (!filler.Begun()) ado::detail::Raise(ado::adErrObjectClosed, L"The recordset is closed.");
      collection = filler.Result();
      lngRecordsAffected = collection->Count();
    });
  });
  return collection;
}

#define QUILLDATA_OPERATION(Result, Name, Params, Args)
#define QUILLDATA_TABLE_READER(Name, Record, Table, Key, Unread)               \
  CollectionPtr clsQuillData_MSSQL::Name(RecordsAffected lngRecordsAffected) { \
    return m_impl->ReadTable(readers::Find(L## #Name), lngRecordsAffected);    \
  }
#include "QuillData/contract/Operations.inc"

}  // namespace QuillData
