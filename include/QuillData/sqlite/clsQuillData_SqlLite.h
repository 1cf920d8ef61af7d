#pragma once
// The data-access interface over one SQLite database file, reached through the binding
// clsSqlLite. Every statement is built by the backend, its arguments bound as values; every
// operation runs in an error trap (module "clsQuillData_SqlLite", procedure "clsQuillData_" +
// the member's name) that reports failures to the error companion stored by OpenDB.
//
//   auto db = std::make_shared<QuillData::clsQuillData_SqlLite>();
//   db->OpenDB(trace, errors, {L"", L"/path/to/file.db", L"0"});
//   auto rows = db->GETTblMachining();
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "QuillData/Export.h"
#include "QuillData/contract/clsQuillData.h"
#include "QuillData/sqlite/clsSqlLite.h"

QUILLDATA_API_BEGIN

namespace QuillData {

class QUILLDATA_API clsQuillData_SqlLite : public clsQuillData {
 public:
  // Receives the text of a failed OpenDB (the library's message, or why the library could
  // not be loaded).
  using MessageHook = std::function<void(const std::wstring&)>;

  // Reads the user's decimal separator into gDecSep / gDecSepDiffers for this thread.
  clsQuillData_SqlLite();
  clsQuillData_SqlLite(const clsQuillData_SqlLite&) = delete;
  clsQuillData_SqlLite& operator=(const clsQuillData_SqlLite&) = delete;
  // Closes the database and shuts the library down; traced as "Class_Terminate"; never
  // throws.
  ~clsQuillData_SqlLite() override;

  ConnectionPtr Conn() const override;
  void Conn(const ConnectionPtr& vData) override;
  // ConnArgs: [0] the folder holding libsqlite3.so.0 (empty: this component's folder, then
  // the system's search path), [1] the database file (which must exist: a missing file or one that
  // is not a database fails the open), [2] the trace switch stored in gTraceFlag. Stores the
  // companions first. On a failure the message hook gets the text and the result is false.
  // A file with a table of the schema declared WITHOUT ROWID is refused (its inserts could
  // not tell their new row's id) and closed: every later call reports why.
  bool OpenDB(const std::shared_ptr<cSP>& cSP, const std::shared_ptr<cE>& cE,
              const std::vector<Variant>& ConnArgs) override;

  // A transaction takes the database's write lock at once (BEGIN IMMEDIATE): another
  // connection's BeginTrans waits for it up to the busy timeout, then fails with "database is
  // locked" (ErrorKind::Busy), and two transactions never wait on each other. Inside it each
  // writer is a savepoint. When the database ends the transaction by itself (a full disk, an
  // I/O error), the failing writer, every later call and CommitTrans report
  // ErrorKind::TransactionAborted until RollbackTrans ends it.
  int32_t BeginTrans() override;
  bool CommitTrans() override;
  void RollbackTrans() override;
  bool InTransaction() const override;

  // The readers: one whole table each, one record per row, keyed as the table's reader says.
  CollectionPtr GETFilterScenariosCol(const bool& blnWithPartType2,
                                      RecordsAffected lngRecordsAffected = {}) override;
  // The table readers, one per QUILLDATA_TABLE_READER line of the operations.
#define QUILLDATA_OPERATION(Result, Name, Params, Args)
#define QUILLDATA_TABLE_READER(Name, Record, Table, Key, Unread) \
  CollectionPtr Name(RecordsAffected lngRecordsAffected = {}) override;
#include "QuillData/contract/Operations.inc"

  // The writers.
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
  int32_t INSERTConstructionScenario(const std::wstring& strConstScenarioType,
                                     const std::wstring& strConstScenarioDesc,
                                     RecordsAffected lngRecordsAffected = {}) override;
  Variant INSERTGlobalContrFeatrLists(const int32_t& lngFeatureID,
                                      const std::wstring& strNewFtrSandEPoints,
                                      const std::wstring& strLinkName,
                                      const std::wstring& strLinkDescription,
                                      const std::wstring& strLinkType,
                                      const std::wstring& strLinkVarSet) override;
  Variant INSERTGlobalContrFeatrPatterns(const int32_t& lngPartType, const std::wstring& strSubType,
                                         const int32_t& lngFeatureKey,
                                         const int32_t& lngFeatureListID) override;
  // A new construction scenario type with copies of every row of the old scenario, in one
  // transaction (see the README); always 0.
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
  // Arms no error trap: a failure reaches the caller as a QuillError.
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
  int32_t INSERTUPDATEGlobalImprintDefinitions(
      const int32_t& lngRelationPattern, const bool& blnMerge, const int32_t& lngBotPartType,
      const int32_t& lngBotOffset, const int32_t& lngBotSide, const bool& blnBotUnion,
      const int32_t& lngRightPartType, const int32_t& lngRightOffset, const int32_t& lngRightSide,
      const bool& blnRightUnion, const int32_t& lngTopPartType, const int32_t& lngTopOffset,
      const int32_t& lngTopSide, const bool& blnTopUnion, const int32_t& lngLeftPartType,
      const int32_t& lngLeftOffset, const int32_t& lngLeftSide, const bool& blnLeftUnion,
      RecordsAffected lngRecordsAffected = {}) override;
  // strPatternField: EE, EF, FE or FF (anything else is refused before anything is written).
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
  // The column (and UPDATEPropertyRelationshipPatterns' table) named by an argument must
  // exist in the live schema; otherwise the statement error names it and nothing runs.
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

 private:
  // A new relationship pattern for a new relation assignment; its id, 0 when none was
  // written. Trapped under their own names.
  int32_t INSERTGlobalRelationShipPattern(const int32_t& lngLinkIDEE, const int32_t& lngLinkIDEF,
                                          const int32_t& lngLinkIDFE, const int32_t& lngLinkIDFF);
  int32_t INSERTLocalRelationShipPattern(const int32_t& lngLinkIDEE, const int32_t& lngLinkIDEF,
                                         const int32_t& lngLinkIDFE, const int32_t& lngLinkIDFF,
                                         const std::wstring& strPattType,
                                         const std::wstring& strRelation);

 public:
  // Where the text of a failed OpenDB goes: this object's hook, else the thread's default
  // hook, else standard error.
  void SetMessageHook(MessageHook hook);
  static void SetDefaultMessageHook(MessageHook hook);

  // The binding (empty before OpenDB) and the database handle, for hosts that reach the
  // library directly.
  const std::shared_ptr<clsSqlLite>& Sqlite() const;
  intptr_t DatabaseHandle() const;

  // What the object holds between calls (its connection and statements, the state of its
  // units and transactions), defined inside the library.
  struct Impl;

 private:
  std::unique_ptr<Impl> m_impl;
};

}  // namespace QuillData

QUILLDATA_API_END
