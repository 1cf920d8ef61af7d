#pragma once
// The server backend: every writer calls one stored procedure of the database, every reader
// but GETFilterScenariosCol reads a whole table, all on one ADO connection that OpenDB opens
// from a connection string.
//
//   auto db = QuillData::CreateObjectAs<QuillData::clsQuillData>(L"QuillData.clsQuillData_MSSQL");
//   db->OpenDB(trace, errors, {L"Driver={PostgreSQL Unicode};Server=...", L"0"});
//
// ConnArgs: [0] the connection string, assigned unchanged to the connection; [1] the trace
// switch. The array may also come wrapped as the first item of the arguments ({{str, "1"}}).
//
// The class has its own connection, separate from the interface's Conn: OwnConn() returns
// it (after OpenDB, the connection every operation runs on) and OwnConn(c) replaces it. The
// interface's Conn only holds what the host sets through it.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "QuillData/Export.h"
#include "QuillData/contract/clsQuillData.h"

QUILLDATA_API_BEGIN

namespace QuillData {

namespace ado {
class Connection;
class RowSink;
}  // namespace ado

namespace readers {
struct TableReader;
}

namespace mssql {
struct Procedure;
}

class QUILLDATA_API clsQuillData_MSSQL : public clsQuillData {
 public:
  clsQuillData_MSSQL();
  // Closes and releases the connection; traced as "Class_Terminate"; never throws.
  ~clsQuillData_MSSQL() override;
  clsQuillData_MSSQL(const clsQuillData_MSSQL&) = delete;
  clsQuillData_MSSQL& operator=(const clsQuillData_MSSQL&) = delete;

  // The class's own connection property.
  std::shared_ptr<ado::Connection> OwnConn() const { return m_oConn; }
  void OwnConn(const std::shared_ptr<ado::Connection>& vData) { m_oConn = vData; }

  ConnectionPtr Conn() const override;
  void Conn(const ConnectionPtr& vData) override;
  bool OpenDB(const std::shared_ptr<cSP>& cSP, const std::shared_ptr<cE>& cE,
              const std::vector<Variant>& ConnArgs) override;

  void DELFilter(const int32_t& lngPartType1, const int32_t& lngPartType2,
                 const std::wstring& strSubType1, const std::wstring& strSubType2,
                 RecordsAffected lngRecordsAffected = {}) override;
  int32_t DELGlobalContrFeatrPatterns(const int32_t& lngPartType, const std::wstring& strSubTypeID,
                                      const int32_t& lngFeatureKey, const int32_t& lngFeatureListID,
                                      RecordsAffected lngRecordsAffected = {}) override;
  int32_t DELGlobalFaceContourLinks(const int32_t& lngConstScenarioID, const int32_t& lngPartType,
                                    const std::wstring& strSubType,
                                    RecordsAffected lngRecordsAffected = {}) override;
  int32_t DELImprintAssignments(const int32_t& lngRelationPattern,
                                RecordsAffected lngRecordsAffected = {}) override;
  int32_t DELLocalContrFeatrPatterns(const int32_t& lngPartType, const std::wstring& strSubTypeID,
                                     const int32_t& lngFeatureKey,
                                     RecordsAffected lngRecordsAffected = {}) override;
  // The procedure's answer is not read: always 0.
  int32_t DELLocalFaceContourLinks(const int32_t& lngConstScenarioID, const int32_t& lngPartType,
                                   const std::wstring& strSubType, const std::wstring& strRelation,
                                   const std::wstring& strPattType, const int32_t& lngDesignID,
                                   RecordsAffected lngRecordsAffected = {}) override;
  int32_t DELLocalMachiningLinks(const std::wstring& strPattType, const std::wstring& strRelation,
                                 RecordsAffected lngRecordsAffected = {}) override;
  int32_t DELMachining(const int32_t& MachID, RecordsAffected lngRecordsAffected = {}) override;
  int32_t DELMachLink(const int32_t& MachLinkID, RecordsAffected lngRecordsAffected = {}) override;
  int32_t DELMachiningScenario(const int32_t& lngMachScenarioID,
                               RecordsAffected lngRecordsAffected = {}) override;
  int32_t DELMachRouting(const int32_t& MachRoutingID,
                         RecordsAffected lngRecordsAffected = {}) override;
  int32_t DELMachVariable(const int32_t& MachVarID,
                          RecordsAffected lngRecordsAffected = {}) override;
  int32_t DELMachVertical(const int32_t& MachVerticalID,
                          RecordsAffected lngRecordsAffected = {}) override;

  // Readers. The GETTbl… readers arm no trap: their failures reach the caller.
  CollectionPtr GETFilterScenariosCol(const bool& blnWithPartType2,
                                      RecordsAffected lngRecordsAffected = {}) override;
  // The table readers, one per QUILLDATA_TABLE_READER line of the operations.
#define QUILLDATA_OPERATION(Result, Name, Params, Args)
#define QUILLDATA_TABLE_READER(Name, Record, Table, Key, Unread) \
  CollectionPtr Name(RecordsAffected lngRecordsAffected = {}) override;
#include "QuillData/contract/Operations.inc"

  int32_t INSERTConstructionScenario(const std::wstring& strConstScenarioType,
                                     const std::wstring& strConstScenarioDesc,
                                     RecordsAffected lngRecordsAffected = {}) override;
  // The interface's form seeds @Return_Value with -1; the class's own form with the caller's
  // lngRecordsAffected.
  Variant INSERTGlobalContrFeatrLists(const int32_t& lngFeatureID,
                                      const std::wstring& strNewFtrSandEPoints,
                                      const std::wstring& strLinkName,
                                      const std::wstring& strLinkDescription,
                                      const std::wstring& strLinkType,
                                      const std::wstring& strLinkVarSet) override;
  Variant INSERTGlobalContrFeatrLists(const int32_t& lngFeatureID,
                                      const std::wstring& strNewFtrSandEPoints,
                                      const std::wstring& strLinkName,
                                      const std::wstring& strLinkDescription,
                                      const std::wstring& strLinkType,
                                      const std::wstring& strLinkVarSet,
                                      RecordsAffected lngRecordsAffected);
  // Always 0: the procedure's answer is not read.
  int32_t INSERTCopyMachiningScenario(const int32_t& lngOldMachiningScenarioID,
                                      const std::wstring& strNewMachiningScenarioType,
                                      RecordsAffected lngRecordsAffected = {}) override;
  void INSERTFilter(const int32_t& lngPartType1, const int32_t& lngPartType2,
                    const std::wstring& strSubType1, const std::wstring& strSubType2,
                    RecordsAffected lngRecordsAffected = {}) override;
  void INSERTGlobalFaceContourLinks(const std::wstring& strLinkName,
                                    const std::wstring& strLinkDescription,
                                    const std::wstring& strLinkType,
                                    const std::wstring& strLinkVarSet, const int32_t& lngPartType,
                                    const std::wstring& strSubType,
                                    const int32_t& lngConstScenarioID) override;
  int32_t INSERTImprintAssignments(
      const int32_t& lngConstScenarioID, const std::wstring& strImprintType,
      const int32_t& lngPartType1, const int32_t& lngPartType2,
      const std::wstring& strFeaturePattern1, const std::wstring& strFeaturePattern2,
      const std::wstring& strFaceNormal1, const std::wstring& strFaceNormal2,
      const std::wstring& strSubType1, const std::wstring& strSubType2,
      const std::wstring& strPart1FacesTypeOrient, const std::wstring& strPart2FacesTypeOrient,
      const bool& blnFront) override;
  int32_t INSERTMachining(const std::wstring& strMachName, const std::wstring& strMachGroup,
                          const int32_t& MachLibID, const double& X, const double& Y,
                          const double& Z, RecordsAffected lngRecordsAffected = {}) override;
  int32_t INSERTMachLink(const int32_t& MachID, const int32_t& MachRuleID,
                         const std::wstring& MachListVar, const std::wstring& MachExprVar,
                         const bool& MirrorX, const bool& MirrorY,
                         RecordsAffected lngRecordsAffected = {}) override;
  int32_t INSERTMachRouting(const std::wstring& Name, const int32_t& MachID,
                            const int32_t& lngPocket = 0,
                            RecordsAffected lngRecordsAffected = {}) override;
  int32_t INSERTMachVariable(const std::wstring& Name, const std::wstring& Value,
                             const int32_t& MachLibID, const bool& Requested,
                             RecordsAffected lngRecordsAffected = {}) override;
  int32_t INSERTMachVertical(const std::wstring& Name, const std::wstring& Orientation,
                             const int32_t& MachID,
                             RecordsAffected lngRecordsAffected = {}) override;
  void INSERTMFGPartTypes(const int32_t& lngMFGScenarioID, const int32_t& lngPartType,
                          const std::wstring& strSubTypeID, const std::wstring& strPartDesc,
                          const std::wstring& strPartKind, const std::wstring& strPartGrain,
                          const std::wstring& strSubtypeDesc, const bool& blnSubtypeName = false,
                          RecordsAffected lngRecordsAffected = {}) override;
  int32_t INSERTSELDesignIDFromLocalDesigns(const std::wstring& strDesignName,
                                            const std::wstring& strComputerName,
                                            RecordsAffected lngRecordsAffected = {}) override;
  int32_t INSERTSELLinkIDFromLocalMachiningLinks(
      const std::wstring& strLinkType, const std::wstring& strLinkDesc,
      const std::wstring& strLinkName, const double& dblAngle, const int32_t& lngMirrorX,
      const int32_t& lngMirrorY, const int32_t& lngPrimary, const std::wstring& strVarSet,
      const std::wstring& strRefCorner, const std::wstring& strPattType,
      const std::wstring& strRelation, RecordsAffected lngRecordsAffected = {}) override;
  int32_t INSERTSELLinkIDFromMachiningLinks(
      const std::wstring& strLinkType, const std::wstring& strLinkDesc,
      const std::wstring& strLinkName, const double& dblAngle, const int32_t& lngMirrorX,
      const int32_t& lngMirrorY, const int32_t& lngPrimary, const std::wstring& strVarSet,
      const std::wstring& strRefCorner, RecordsAffected lngRecordsAffected = {}) override;
  // The procedure's answer is not read: always 0.
  int32_t INSERTUPDATEGlobalImprintDefinitions(
      const int32_t& lngRelationPattern, const bool& blnMerge, const int32_t& lngBotPartType,
      const int32_t& lngBotOffset, const int32_t& lngBotSide, const bool& blnBotUnion,
      const int32_t& lngRightPartType, const int32_t& lngRightOffset, const int32_t& lngRightSide,
      const bool& blnRightUnion, const int32_t& lngTopPartType, const int32_t& lngTopOffset,
      const int32_t& lngTopSide, const bool& blnTopUnion, const int32_t& lngLeftPartType,
      const int32_t& lngLeftOffset, const int32_t& lngLeftSide, const bool& blnLeftUnion,
      RecordsAffected lngRecordsAffected = {}) override;
  void INSERTUPDATEGlobalRelationAssignments(
      const int32_t& lngMachScenarioID, const int32_t& lngPartType1, const int32_t& lngPartType2,
      const std::wstring& strSubType1, const std::wstring& strSubType2,
      const std::wstring& strFeaturePattern1, const std::wstring& strFeaturePattern2,
      const std::wstring& strFaceNormal1, const std::wstring& strFaceNormal2,
      const int32_t& lngLinkID, const std::wstring& strPatternField,
      RecordsAffected lngRecordsAffected = {}) override;
  void INSERTUPDATELocalRelationAssignments(
      const int32_t& lngMachScenarioID, const int32_t& lngPartType1, const int32_t& lngPartType2,
      const std::wstring& strSubType1, const std::wstring& strSubType2,
      const std::wstring& strFeaturePattern1, const std::wstring& strFeaturePattern2,
      const std::wstring& strFaceNormal1, const std::wstring& strFaceNormal2,
      const int32_t& lngLinkID, const std::wstring& strPatternField,
      const std::wstring& strPattType, const std::wstring& strRelation, const int32_t& lngDesignID,
      RecordsAffected lngRecordsAffected = {}) override;

  int32_t UPDATEConstructionScenarioTypes(const int32_t& lngConstScenarioID,
                                          const std::wstring& strConstScenarioType,
                                          const std::wstring& strConstScenarioDesc,
                                          RecordsAffected lngRecordsAffected = {}) override;
  void UPDATEGlobalFaceContourLinks(const std::wstring& strLinkName,
                                    const std::wstring& strLinkDescription,
                                    const std::wstring& strLinkType,
                                    const std::wstring& strLinkVarSet, const int32_t& lngPartType,
                                    const std::wstring& strSubType,
                                    const int32_t& lngConstScenarioID) override;
  void UPDATEMachNameFromMachining(const std::wstring& strMachNewName, const int32_t& MachLibID,
                                   const int32_t& MachID,
                                   RecordsAffected lngRecordsAffected = {}) override;
  void UPDATEMachVariable(const std::wstring& Name, const std::wstring& Value,
                          const int32_t& MachLibID, const int32_t& MachVarID,
                          RecordsAffected lngRecordsAffected = {}) override;
  void UPDATEMachLink(const int32_t& MachLinkID, const int32_t& MachID, const int32_t& MachRuleID,
                      const std::wstring& MachListVar, const std::wstring& MachExprVar,
                      const bool& MirrorX, const bool& MirrorY,
                      RecordsAffected lngRecordsAffected = {}) override;
  void UPDATEParaMachRouting(const std::wstring& ParaToUpdate, const std::wstring& NewValue,
                             const int32_t& MachRoutingID,
                             RecordsAffected lngRecordsAffected = {}) override;
  void UPDATEParaMachVertical(const std::wstring& ParaToUpdate, const std::wstring& NewValue,
                              const int32_t& MachVerticalID,
                              RecordsAffected lngRecordsAffected = {}) override;
  void UPDATEPropertyRelationshipPatterns(const std::wstring& strTableToUpdate,
                                          const std::wstring& strPropertyToUpdate,
                                          const int32_t& lngPatternID,
                                          const std::wstring& strNewValue,
                                          RecordsAffected lngRecordsAffected = {}) override;
  void UPDATEVariableMachining(const int32_t& MachID, const std::wstring& VariableToUpdate,
                               const double& NewValue,
                               RecordsAffected lngRecordsAffected = {}) override;

  // Transactions on the server (module "clsQuillData", procedures "BeginTrans", "CommitTrans"
  // and "RollbackTrans"), as the interface describes them. Inside one, each operation is a
  // unit under a savepoint of its own. A connection lost inside one is not replaced: the
  // scope reports ErrorKind::TransactionAborted until CommitTrans (false) or RollbackTrans
  // ends it, and the next operation after that opens a new connection. A CommitTrans whose
  // answer was lost reports ErrorKind::OutcomeUnknown.
  int32_t BeginTrans() override;
  bool CommitTrans() override;
  void RollbackTrans() override;
  bool InTransaction() const override;

 private:
  // Reached through the interface only: the class keeps it out of its own public members.
  Variant INSERTGlobalContrFeatrPatterns(const int32_t& lngPartType, const std::wstring& strSubType,
                                         const int32_t& lngFeatureKey,
                                         const int32_t& lngFeatureListID) override;

  // Runs the operation's catalogued procedure in its trap; the result as the entry says.
  Variant Run(const wchar_t* operation, std::vector<Variant> args, int32_t recordsAffected = -1);
  int32_t RunLong(const wchar_t* operation, std::vector<Variant> args,
                  int32_t recordsAffected = -1);
  // Streams the whole table's rows into `rows`; traced and trapped as "GetTable". False when
  // the query failed (it was reported).
  bool GetTable(const std::wstring& strTable, ado::RowSink& rows);
  CollectionPtr ReadTable(const readers::TableReader& reader, RecordsAffected& lngRecordsAffected);
  void CloseDatabase() noexcept;
  // Whether a call of the entry whose outcome is unknown may be sent again: one that only
  // reads always; one that looks its row up first when the database holds the shipped
  // schema (ShippedSchema); any other never.
  std::function<bool()> ResendRule(const mssql::Procedure& procedure);
  // True when the database carries the shipped schema's version table: its look-up-first
  // procedures then find on a second run what the first one wrote. Asked once per OpenDB,
  // when a call's outcome is first unknown.
  bool ShippedSchema();

  std::shared_ptr<clsQuillData> m_oBase;
  std::shared_ptr<ado::Connection> m_oConn;
  std::optional<bool> m_shippedSchema;
};

}  // namespace QuillData

QUILLDATA_API_END
