#include "QuillData/mssql/clsQuillData_MSSQL.h"

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

}  // namespace

clsQuillData_MSSQL::clsQuillData_MSSQL() : m_oBase(std::make_shared<clsQuillData>()) {
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
  CloseDatabase();
  m_oBase.reset();
  try {
    if (traced && gSP) gSP->TraceExit(L"Class_Terminate");
  } catch (...) {
  }
}

void clsQuillData_MSSQL::CloseDatabase() noexcept {
  if (!m_oConn) return;
  try {
    // A connection that never opened, or was closed already, has nothing to close.
    if (m_oConn->State() > 0) m_oConn->Close();
  } catch (...) {
  }
  m_oConn.reset();
}

ConnectionPtr clsQuillData_MSSQL::Conn() const {
  return m_oBase->Conn();
}

void clsQuillData_MSSQL::Conn(const ConnectionPtr& vData) {
  m_oBase->Conn(vData);
}

bool clsQuillData_MSSQL::OpenDB(const std::shared_ptr<cSP>& cSP, const std::shared_ptr<cE>& cE,
                                const std::vector<Variant>& ConnArgs) {
  gSP = cSP;
  gE = cE;
  bool result = false;
  m_shippedSchema.reset();
  Trap(kModule, L"OpenDB", {.flag = 2}).Run([&](Trap& t) {
    const std::vector<Variant>& values = ConnectionValues(ConnArgs);
    bool laidOut = false;
    t.Step([&] {
      RequireConnArgs(mssql::kConnLayout, values);
      laidOut = true;
    });
    if (!laidOut) return;  // nothing sensible to open
    t.Step([&] { m_oConn.reset(); });
    t.Step([&] { m_oConn = std::make_shared<ado::Connection>(); });
    t.Step([&] { Must(m_oConn).ConnectionString(CStr(values.at(0))); });
    // A retried open waits for the server, up to the connect timeout.
    bool retry = false;
    t.Step([&] {
      if (std::exchange(retry, true)) return Must(m_oConn).Reconnect();
      Must(m_oConn).Open(L"", L"", L"", ado::adOptionUnspecified);
    });
    t.Step([&] { result = Must(m_oConn).State() > 0; });
    t.Step([&] { gTraceFlag = CStr(values.at(1)); });
  });
  return result;
}

bool clsQuillData_MSSQL::GetTable(const std::wstring& strTable, ado::RowSink& rows) {
  bool read = false;
  Trap(kModule, L"GetTable", {.traced = true}).Run([&](Trap& t) {
    ado::CommandPtr command;
    t.Step([&] {
      command = std::make_shared<ado::Command>();
      command->ActiveConnection(m_oConn);
      command->CommandText(L"SELECT * FROM " + strTable + L";");
      command->CommandType(ado::adCmdText);
    });
    // A read may always be sent again: a lost connection is opened again first, and the
    // rows begin again.
    ado::ResendGuard guard(m_oConn, true);
    t.Step([&] {
      guard.Attempt([&] { Must(command).Stream(rows); });
      read = true;
    });
  });
  return read;
}

CollectionPtr clsQuillData_MSSQL::ReadTable(const readers::TableReader& reader,
                                            RecordsAffected& lngRecordsAffected) {
  mssql::RecordFiller filler(reader, mssql::KeyRuleOf(reader));
  // A GetTable that failed has reported it: no rows.
  if (!GetTable(std::wstring(reader.table), filler)) {
    return std::make_shared<Tessera::Collection>();
  }
  CollectionPtr collection = filler.Result();
  if (collection->Count() > 0) lngRecordsAffected = collection->Count();
  return collection;
}

std::function<bool()> clsQuillData_MSSQL::ResendRule(const mssql::Procedure& procedure) {
  switch (procedure.resend) {
    case mssql::Resend::ReadsOnly:
      return [] { return true; };
    case mssql::Resend::LooksUpFirst:
      return [this] { return ShippedSchema(); };
    default:
      return [] { return false; };
  }
}

bool clsQuillData_MSSQL::ShippedSchema() {
  if (m_shippedSchema) return *m_shippedSchema;
  try {
    // Version 2 made the look-up-first functions one step for concurrent callers.
    auto rows =
        Must(m_oConn).Execute(L"SELECT count(*) FROM tblSchema_Version WHERE \"fldVersion\" >= 2");
    m_shippedSchema = rows && !rows->Eof() && CLng(rows->Fields()->Item(0)->Value()) > 0;
  } catch (const QuillError&) {
    // A connection lost on the way proves nothing either way: asked again next time.
    if (!m_oConn || m_oConn->Lost()) return false;
    m_shippedSchema = false;
  }
  return *m_shippedSchema;
}

Variant clsQuillData_MSSQL::Run(const wchar_t* operation, std::vector<Variant> args,
                                int32_t recordsAffected) {
  const mssql::Procedure& procedure = mssql::Entry(operation);
  Variant result = mssql::InitialResult(procedure);
  Trap(kModule, procedure.trace, {.traced = true}).Run([&](Trap& t) {
    mssql::Call(t, m_oConn, procedure, args, recordsAffected, result, ResendRule(procedure));
  });
  return result;
}

// Transactions ---------------------------------------------------------------------------

int32_t clsQuillData_MSSQL::BeginTrans() {
  int32_t level = 0;
  Trap(kModule, L"BeginTrans", {.traced = true}).Run([&](Trap& t) {
    // Nothing is lost yet: a connection to be opened again is opened first.
    ado::ResendGuard guard(m_oConn, true);
    t.Step([&] {
      if (InTransaction()) {
        throw QuillError(ErrNo::InvalidProcedureCall, kModule,
                         L"A transaction is open already: transactions do not nest");
      }
      guard.Attempt([&] { level = Must(m_oConn).BeginTrans(); });
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
        m_oConn->CommitTrans();
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
    t.Step([&] { Must(m_oConn).RollbackTrans(); });
  });
}

bool clsQuillData_MSSQL::InTransaction() const {
  return m_oConn && m_oConn->InTransaction();
}

int32_t clsQuillData_MSSQL::RunLong(const wchar_t* operation, std::vector<Variant> args,
                                    int32_t recordsAffected) {
  Variant result = Run(operation, std::move(args), recordsAffected);
  const int32_t* value = result.Get<int32_t>();
  return value ? *value : 0;
}

// Deletes --------------------------------------------------------------------------------

void clsQuillData_MSSQL::DELFilter(const int32_t& lngPartType1, const int32_t& lngPartType2,
                                   const std::wstring& strSubType1, const std::wstring& strSubType2,
                                   RecordsAffected lngRecordsAffected) {
  Run(L"DELFilter", {lngPartType1, lngPartType2, strSubType1, strSubType2}, lngRecordsAffected);
}

int32_t clsQuillData_MSSQL::DELGlobalContrFeatrPatterns(const int32_t& lngPartType,
                                                        const std::wstring& strSubTypeID,
                                                        const int32_t& lngFeatureKey,
                                                        const int32_t& lngFeatureListID,
                                                        RecordsAffected lngRecordsAffected) {
  return RunLong(L"DELGlobalContrFeatrPatterns",
                 {lngPartType, strSubTypeID, lngFeatureKey, lngFeatureListID}, lngRecordsAffected);
}

int32_t clsQuillData_MSSQL::DELGlobalFaceContourLinks(const int32_t& lngConstScenarioID,
                                                      const int32_t& lngPartType,
                                                      const std::wstring& strSubType,
                                                      RecordsAffected lngRecordsAffected) {
  return RunLong(L"DELGlobalFaceContourLinks", {lngConstScenarioID, lngPartType, strSubType},
                 lngRecordsAffected);
}

int32_t clsQuillData_MSSQL::DELImprintAssignments(const int32_t& lngRelationPattern,
                                                  RecordsAffected lngRecordsAffected) {
  return RunLong(L"DELImprintAssignments", {lngRelationPattern}, lngRecordsAffected);
}

int32_t clsQuillData_MSSQL::DELLocalContrFeatrPatterns(const int32_t& lngPartType,
                                                       const std::wstring& strSubTypeID,
                                                       const int32_t& lngFeatureKey,
                                                       RecordsAffected lngRecordsAffected) {
  return RunLong(L"DELLocalContrFeatrPatterns", {lngPartType, strSubTypeID, lngFeatureKey},
                 lngRecordsAffected);
}

int32_t clsQuillData_MSSQL::DELLocalFaceContourLinks(
    const int32_t& lngConstScenarioID, const int32_t& lngPartType, const std::wstring& strSubType,
    const std::wstring& strRelation, const std::wstring& strPattType, const int32_t& lngDesignID,
    RecordsAffected /*lngRecordsAffected*/) {
  return RunLong(L"DELLocalFaceContourLinks", {lngConstScenarioID, lngPartType, strSubType,
                                               strRelation, strPattType, lngDesignID});
}

int32_t clsQuillData_MSSQL::DELLocalMachiningLinks(const std::wstring& strPattType,
                                                   const std::wstring& strRelation,
                                                   RecordsAffected lngRecordsAffected) {
  return RunLong(L"DELLocalMachiningLinks", {strPattType, strRelation}, lngRecordsAffected);
}

int32_t clsQuillData_MSSQL::DELMachining(const int32_t& MachID,
                                         RecordsAffected lngRecordsAffected) {
  return RunLong(L"DELMachining", {MachID}, lngRecordsAffected);
}

int32_t clsQuillData_MSSQL::DELMachLink(const int32_t& MachLinkID,
                                        RecordsAffected lngRecordsAffected) {
  return RunLong(L"DELMachLink", {MachLinkID}, lngRecordsAffected);
}

int32_t clsQuillData_MSSQL::DELMachiningScenario(const int32_t& lngMachScenarioID,
                                                 RecordsAffected lngRecordsAffected) {
  return RunLong(L"DELMachiningScenario", {lngMachScenarioID}, lngRecordsAffected);
}

int32_t clsQuillData_MSSQL::DELMachRouting(const int32_t& MachRoutingID,
                                           RecordsAffected lngRecordsAffected) {
  return RunLong(L"DELMachRouting", {MachRoutingID}, lngRecordsAffected);
}

int32_t clsQuillData_MSSQL::DELMachVariable(const int32_t& MachVarID,
                                            RecordsAffected lngRecordsAffected) {
  return RunLong(L"DELMachVariable", {MachVarID}, lngRecordsAffected);
}

int32_t clsQuillData_MSSQL::DELMachVertical(const int32_t& MachVerticalID,
                                            RecordsAffected lngRecordsAffected) {
  return RunLong(L"DELMachVertical", {MachVerticalID}, lngRecordsAffected);
}

// Readers --------------------------------------------------------------------------------

CollectionPtr clsQuillData_MSSQL::GETFilterScenariosCol(const bool& blnWithPartType2,
                                                        RecordsAffected lngRecordsAffected) {
  const mssql::Procedure& procedure = mssql::Entry(L"GETFilterScenariosCol");
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
    if (!mssql::Call(t, m_oConn, procedure, std::vector<Variant>{blnWithPartType2}, -1, unused,
                     ResendRule(procedure), &filler)) {
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
    return ReadTable(readers::Find(L## #Name), lngRecordsAffected);            \
  }
#include "QuillData/contract/Operations.inc"

// Inserts --------------------------------------------------------------------------------

int32_t clsQuillData_MSSQL::INSERTConstructionScenario(const std::wstring& strConstScenarioType,
                                                       const std::wstring& strConstScenarioDesc,
                                                       RecordsAffected lngRecordsAffected) {
  return RunLong(L"INSERTConstructionScenario", {strConstScenarioType, strConstScenarioDesc},
                 lngRecordsAffected);
}

Variant clsQuillData_MSSQL::INSERTGlobalContrFeatrLists(const int32_t& lngFeatureID,
                                                        const std::wstring& strNewFtrSandEPoints,
                                                        const std::wstring& strLinkName,
                                                        const std::wstring& strLinkDescription,
                                                        const std::wstring& strLinkType,
                                                        const std::wstring& strLinkVarSet) {
  int32_t seed = -1;
  return INSERTGlobalContrFeatrLists(lngFeatureID, strNewFtrSandEPoints, strLinkName,
                                     strLinkDescription, strLinkType, strLinkVarSet, seed);
}

Variant clsQuillData_MSSQL::INSERTGlobalContrFeatrLists(const int32_t& lngFeatureID,
                                                        const std::wstring& strNewFtrSandEPoints,
                                                        const std::wstring& strLinkName,
                                                        const std::wstring& strLinkDescription,
                                                        const std::wstring& strLinkType,
                                                        const std::wstring& strLinkVarSet,
                                                        RecordsAffected lngRecordsAffected) {
  return Run(L"INSERTGlobalContrFeatrLists",
             {lngFeatureID, strNewFtrSandEPoints, strLinkName, strLinkDescription, strLinkType,
              strLinkVarSet},
             lngRecordsAffected);
}

Variant clsQuillData_MSSQL::INSERTGlobalContrFeatrPatterns(const int32_t& lngPartType,
                                                           const std::wstring& strSubType,
                                                           const int32_t& lngFeatureKey,
                                                           const int32_t& lngFeatureListID) {
  return Run(L"INSERTGlobalContrFeatrPatterns",
             {lngPartType, strSubType, lngFeatureKey, lngFeatureListID});
}

int32_t clsQuillData_MSSQL::INSERTCopyMachiningScenario(
    const int32_t& lngOldMachiningScenarioID, const std::wstring& strNewMachiningScenarioType,
    RecordsAffected /*lngRecordsAffected*/) {
  return RunLong(L"INSERTCopyMachiningScenario",
                 {lngOldMachiningScenarioID, strNewMachiningScenarioType});
}

void clsQuillData_MSSQL::INSERTFilter(const int32_t& lngPartType1, const int32_t& lngPartType2,
                                      const std::wstring& strSubType1,
                                      const std::wstring& strSubType2,
                                      RecordsAffected lngRecordsAffected) {
  Run(L"INSERTFilter", {lngPartType1, lngPartType2, strSubType1, strSubType2}, lngRecordsAffected);
}

void clsQuillData_MSSQL::INSERTGlobalFaceContourLinks(
    const std::wstring& strLinkName, const std::wstring& strLinkDescription,
    const std::wstring& strLinkType, const std::wstring& strLinkVarSet, const int32_t& lngPartType,
    const std::wstring& strSubType, const int32_t& lngConstScenarioID) {
  Run(L"INSERTGlobalFaceContourLinks", {strLinkName, strLinkDescription, strLinkType, strLinkVarSet,
                                        lngPartType, strSubType, lngConstScenarioID});
}

int32_t clsQuillData_MSSQL::INSERTImprintAssignments(
    const int32_t& lngConstScenarioID, const std::wstring& strImprintType,
    const int32_t& lngPartType1, const int32_t& lngPartType2,
    const std::wstring& strFeaturePattern1, const std::wstring& strFeaturePattern2,
    const std::wstring& strFaceNormal1, const std::wstring& strFaceNormal2,
    const std::wstring& strSubType1, const std::wstring& strSubType2,
    const std::wstring& strPart1FacesTypeOrient, const std::wstring& strPart2FacesTypeOrient,
    const bool& blnFront) {
  return RunLong(
      L"INSERTImprintAssignments",
      {lngConstScenarioID, strImprintType, lngPartType1, lngPartType2, strFeaturePattern1,
       strFeaturePattern2, strFaceNormal1, strFaceNormal2, strSubType1, strSubType2,
       strPart1FacesTypeOrient, strPart2FacesTypeOrient, blnFront});
}

int32_t clsQuillData_MSSQL::INSERTMachining(const std::wstring& strMachName,
                                            const std::wstring& strMachGroup,
                                            const int32_t& MachLibID, const double& X,
                                            const double& Y, const double& Z,
                                            RecordsAffected /*lngRecordsAffected*/) {
  return RunLong(L"INSERTMachining", {strMachName, strMachGroup, MachLibID, X, Y, Z});
}

int32_t clsQuillData_MSSQL::INSERTMachLink(const int32_t& MachID, const int32_t& MachRuleID,
                                           const std::wstring& MachListVar,
                                           const std::wstring& MachExprVar, const bool& MirrorX,
                                           const bool& MirrorY,
                                           RecordsAffected /*lngRecordsAffected*/) {
  return RunLong(L"INSERTMachLink",
                 {MachID, MachRuleID, MachListVar, MachExprVar, MirrorX, MirrorY});
}

int32_t clsQuillData_MSSQL::INSERTMachRouting(const std::wstring& Name, const int32_t& MachID,
                                              const int32_t& lngPocket,
                                              RecordsAffected /*lngRecordsAffected*/) {
  return RunLong(L"INSERTMachRouting", {Name, MachID, lngPocket});
}

int32_t clsQuillData_MSSQL::INSERTMachVariable(const std::wstring& Name, const std::wstring& Value,
                                               const int32_t& MachLibID, const bool& Requested,
                                               RecordsAffected /*lngRecordsAffected*/) {
  return RunLong(L"INSERTMachVariable", {Name, Value, MachLibID, Requested});
}

int32_t clsQuillData_MSSQL::INSERTMachVertical(const std::wstring& Name,
                                               const std::wstring& Orientation,
                                               const int32_t& MachID,
                                               RecordsAffected /*lngRecordsAffected*/) {
  return RunLong(L"INSERTMachVertical", {Name, Orientation, MachID});
}

void clsQuillData_MSSQL::INSERTMFGPartTypes(
    const int32_t& lngMFGScenarioID, const int32_t& lngPartType, const std::wstring& strSubTypeID,
    const std::wstring& strPartDesc, const std::wstring& strPartKind,
    const std::wstring& strPartGrain, const std::wstring& strSubtypeDesc,
    const bool& /*blnSubtypeName*/, RecordsAffected /*lngRecordsAffected*/) {
  Run(L"INSERTMFGPartTypes", {lngMFGScenarioID, lngPartType, strSubTypeID, strPartDesc, strPartKind,
                              strPartGrain, strSubtypeDesc});
}

int32_t clsQuillData_MSSQL::INSERTSELDesignIDFromLocalDesigns(const std::wstring& strDesignName,
                                                              const std::wstring& strComputerName,
                                                              RecordsAffected lngRecordsAffected) {
  return RunLong(L"INSERTSELDesignIDFromLocalDesigns", {strDesignName, strComputerName},
                 lngRecordsAffected);
}

int32_t clsQuillData_MSSQL::INSERTSELLinkIDFromLocalMachiningLinks(
    const std::wstring& strLinkType, const std::wstring& strLinkDesc,
    const std::wstring& strLinkName, const double& dblAngle, const int32_t& lngMirrorX,
    const int32_t& lngMirrorY, const int32_t& lngPrimary, const std::wstring& strVarSet,
    const std::wstring& strRefCorner, const std::wstring& strPattType,
    const std::wstring& strRelation, RecordsAffected lngRecordsAffected) {
  return RunLong(L"INSERTSELLinkIDFromLocalMachiningLinks",
                 {strLinkType, strLinkDesc, strLinkName, dblAngle, lngMirrorX, lngMirrorY,
                  lngPrimary, strVarSet, strRefCorner, strPattType, strRelation},
                 lngRecordsAffected);
}

int32_t clsQuillData_MSSQL::INSERTSELLinkIDFromMachiningLinks(
    const std::wstring& strLinkType, const std::wstring& strLinkDesc,
    const std::wstring& strLinkName, const double& dblAngle, const int32_t& lngMirrorX,
    const int32_t& lngMirrorY, const int32_t& lngPrimary, const std::wstring& strVarSet,
    const std::wstring& strRefCorner, RecordsAffected lngRecordsAffected) {
  return RunLong(L"INSERTSELLinkIDFromMachiningLinks",
                 {strLinkType, strLinkDesc, strLinkName, dblAngle, lngMirrorX, lngMirrorY,
                  lngPrimary, strVarSet, strRefCorner},
                 lngRecordsAffected);
}

int32_t clsQuillData_MSSQL::INSERTUPDATEGlobalImprintDefinitions(
    const int32_t& lngRelationPattern, const bool& blnMerge, const int32_t& lngBotPartType,
    const int32_t& lngBotOffset, const int32_t& lngBotSide, const bool& blnBotUnion,
    const int32_t& lngRightPartType, const int32_t& lngRightOffset, const int32_t& lngRightSide,
    const bool& blnRightUnion, const int32_t& lngTopPartType, const int32_t& lngTopOffset,
    const int32_t& lngTopSide, const bool& blnTopUnion, const int32_t& lngLeftPartType,
    const int32_t& lngLeftOffset, const int32_t& lngLeftSide, const bool& blnLeftUnion,
    RecordsAffected /*lngRecordsAffected*/) {
  return RunLong(
      L"INSERTUPDATEGlobalImprintDefinitions",
      {lngRelationPattern, blnMerge, lngBotPartType, lngBotOffset, lngBotSide, blnBotUnion,
       lngRightPartType, lngRightOffset, lngRightSide, blnRightUnion, lngTopPartType, lngTopOffset,
       lngTopSide, blnTopUnion, lngLeftPartType, lngLeftOffset, lngLeftSide, blnLeftUnion});
}

void clsQuillData_MSSQL::INSERTUPDATEGlobalRelationAssignments(
    const int32_t& lngMachScenarioID, const int32_t& lngPartType1, const int32_t& lngPartType2,
    const std::wstring& strSubType1, const std::wstring& strSubType2,
    const std::wstring& strFeaturePattern1, const std::wstring& strFeaturePattern2,
    const std::wstring& strFaceNormal1, const std::wstring& strFaceNormal2,
    const int32_t& lngLinkID, const std::wstring& strPatternField,
    RecordsAffected /*lngRecordsAffected*/) {
  Run(L"INSERTUPDATEGlobalRelationAssignments",
      {lngMachScenarioID, lngPartType1, lngPartType2, strSubType1, strSubType2, strFeaturePattern1,
       strFeaturePattern2, strFaceNormal1, strFaceNormal2, lngLinkID, strPatternField});
}

void clsQuillData_MSSQL::INSERTUPDATELocalRelationAssignments(
    const int32_t& lngMachScenarioID, const int32_t& lngPartType1, const int32_t& lngPartType2,
    const std::wstring& strSubType1, const std::wstring& strSubType2,
    const std::wstring& strFeaturePattern1, const std::wstring& strFeaturePattern2,
    const std::wstring& strFaceNormal1, const std::wstring& strFaceNormal2,
    const int32_t& lngLinkID, const std::wstring& strPatternField, const std::wstring& strPattType,
    const std::wstring& strRelation, const int32_t& lngDesignID,
    RecordsAffected /*lngRecordsAffected*/) {
  Run(L"INSERTUPDATELocalRelationAssignments",
      {lngMachScenarioID, lngPartType1, lngPartType2, strSubType1, strSubType2, strFeaturePattern1,
       strFeaturePattern2, strFaceNormal1, strFaceNormal2, lngLinkID, strPatternField, strPattType,
       strRelation, lngDesignID});
}

// Updates --------------------------------------------------------------------------------

int32_t clsQuillData_MSSQL::UPDATEConstructionScenarioTypes(
    const int32_t& lngConstScenarioID, const std::wstring& strConstScenarioType,
    const std::wstring& strConstScenarioDesc, RecordsAffected lngRecordsAffected) {
  return RunLong(L"UPDATEConstructionScenarioTypes",
                 {lngConstScenarioID, strConstScenarioType, strConstScenarioDesc},
                 lngRecordsAffected);
}

void clsQuillData_MSSQL::UPDATEGlobalFaceContourLinks(
    const std::wstring& strLinkName, const std::wstring& strLinkDescription,
    const std::wstring& strLinkType, const std::wstring& strLinkVarSet, const int32_t& lngPartType,
    const std::wstring& strSubType, const int32_t& lngConstScenarioID) {
  Run(L"UPDATEGlobalFaceContourLinks", {strLinkName, strLinkDescription, strLinkType, strLinkVarSet,
                                        lngPartType, strSubType, lngConstScenarioID});
}

void clsQuillData_MSSQL::UPDATEMachNameFromMachining(const std::wstring& strMachNewName,
                                                     const int32_t& MachLibID,
                                                     const int32_t& MachID,
                                                     RecordsAffected /*lngRecordsAffected*/) {
  Run(L"UPDATEMachNameFromMachining", {strMachNewName, MachLibID, MachID});
}

void clsQuillData_MSSQL::UPDATEMachVariable(const std::wstring& Name, const std::wstring& Value,
                                            const int32_t& MachLibID, const int32_t& MachVarID,
                                            RecordsAffected /*lngRecordsAffected*/) {
  // A value that is one decimal number is stored with "." as the embedded backend stores it.
  Run(L"UPDATEMachVariable", {Name, DecimalTextToDot(Value), MachLibID, MachVarID});
}

void clsQuillData_MSSQL::UPDATEMachLink(const int32_t& MachLinkID, const int32_t& MachID,
                                        const int32_t& MachRuleID, const std::wstring& MachListVar,
                                        const std::wstring& MachExprVar, const bool& MirrorX,
                                        const bool& MirrorY,
                                        RecordsAffected /*lngRecordsAffected*/) {
  Run(L"UPDATEMachLink",
      {MachLinkID, MachID, MachRuleID, MachListVar, MachExprVar, MirrorX, MirrorY});
}

void clsQuillData_MSSQL::UPDATEParaMachRouting(const std::wstring& ParaToUpdate,
                                               const std::wstring& NewValue,
                                               const int32_t& MachRoutingID,
                                               RecordsAffected /*lngRecordsAffected*/) {
  Run(L"UPDATEParaMachRouting", {ParaToUpdate, DecimalTextToDot(NewValue), MachRoutingID});
}

void clsQuillData_MSSQL::UPDATEParaMachVertical(const std::wstring& ParaToUpdate,
                                                const std::wstring& NewValue,
                                                const int32_t& MachVerticalID,
                                                RecordsAffected /*lngRecordsAffected*/) {
  Run(L"UPDATEParaMachVertical", {ParaToUpdate, DecimalTextToDot(NewValue), MachVerticalID});
}

void clsQuillData_MSSQL::UPDATEPropertyRelationshipPatterns(
    const std::wstring& strTableToUpdate, const std::wstring& strPropertyToUpdate,
    const int32_t& lngPatternID, const std::wstring& strNewValue,
    RecordsAffected /*lngRecordsAffected*/) {
  Run(L"UPDATEPropertyRelationshipPatterns",
      {strTableToUpdate, strPropertyToUpdate, lngPatternID, strNewValue});
}

void clsQuillData_MSSQL::UPDATEVariableMachining(const int32_t& MachID,
                                                 const std::wstring& VariableToUpdate,
                                                 const double& NewValue,
                                                 RecordsAffected /*lngRecordsAffected*/) {
  Run(L"UPDATEVariableMachining", {MachID, VariableToUpdate, NewValue});
}

}  // namespace QuillData
