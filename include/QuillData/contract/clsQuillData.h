#pragma once
// The data-access interface: one connection property, OpenDB and 65 table operations, in
// the interface's slot order. The class itself is creatable and has no behaviour: every
// operation returns the zero value of its result and changes nothing. Backends derive from
// it and override the operations.
//
// Arguments that no operation writes are const references; lngRecordsAffected is the one
// argument operations write (ByRef: omitted, it is a temporary holding -1).
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "QuillData/contract/ByRef.h"
#include "QuillData/contract/Companions.h"
#include "QuillData/contract/Object.h"
#include "QuillData/contract/Tessera.h"
#include "QuillData/contract/Variant.h"

namespace QuillData {

namespace ado {
class Connection;
}

using CollectionPtr = std::shared_ptr<Tessera::Collection>;
using ConnectionPtr = std::shared_ptr<ado::Connection>;
using RecordsAffected = ByRef<int32_t>;

class clsQuillData : public Object {
 public:
  ~clsQuillData() override = default;

  // 1-2: a connection reference held for the host.
  virtual ConnectionPtr Conn() const;
  virtual void Conn(const ConnectionPtr& vData);
  // 3: stores the companions, opens the store; true when it is open. The companions and the
  // trace switch belong to the thread, not to this object: the last OpenDB on a thread
  // decides them for every object of that thread. ConnArgs: see the backend's class (narrow
  // text in it is UTF-8).
  virtual bool OpenDB(const std::shared_ptr<cSP>& cSP, const std::shared_ptr<cE>& cE,
                      const std::vector<Variant>& ConnArgs);

  // 4-16: deletes.
  virtual void DELFilter(const int32_t& lngPartType1, const int32_t& lngPartType2,
                         const std::wstring& strSubType1, const std::wstring& strSubType2,
                         RecordsAffected lngRecordsAffected = {});
  virtual int32_t DELGlobalContrFeatrPatterns(const int32_t& lngPartType,
                                              const std::wstring& strSubTypeID,
                                              const int32_t& lngFeatureKey,
                                              const int32_t& lngFeatureListID,
                                              RecordsAffected lngRecordsAffected = {});
  virtual int32_t DELGlobalFaceContourLinks(const int32_t& lngConstScenarioID,
                                            const int32_t& lngPartType,
                                            const std::wstring& strSubType,
                                            RecordsAffected lngRecordsAffected = {});
  virtual int32_t DELImprintAssignments(const int32_t& lngRelationPattern,
                                        RecordsAffected lngRecordsAffected = {});
  virtual int32_t DELLocalContrFeatrPatterns(const int32_t& lngPartType,
                                             const std::wstring& strSubTypeID,
                                             const int32_t& lngFeatureKey,
                                             RecordsAffected lngRecordsAffected = {});
  virtual int32_t DELLocalFaceContourLinks(
      const int32_t& lngConstScenarioID, const int32_t& lngPartType, const std::wstring& strSubType,
      const std::wstring& strRelation, const std::wstring& strPattType, const int32_t& lngDesignID,
      RecordsAffected lngRecordsAffected = {});
  virtual int32_t DELLocalMachiningLinks(const std::wstring& strPattType,
                                         const std::wstring& strRelation,
                                         RecordsAffected lngRecordsAffected = {});
  virtual int32_t DELMachining(const int32_t& MachID, RecordsAffected lngRecordsAffected = {});
  virtual int32_t DELMachLink(const int32_t& MachLinkID, RecordsAffected lngRecordsAffected = {});
  virtual int32_t DELMachiningScenario(const int32_t& lngMachScenarioID,
                                       RecordsAffected lngRecordsAffected = {});
  virtual int32_t DELMachRouting(const int32_t& MachRoutingID,
                                 RecordsAffected lngRecordsAffected = {});
  virtual int32_t DELMachVariable(const int32_t& MachVarID,
                                  RecordsAffected lngRecordsAffected = {});
  virtual int32_t DELMachVertical(const int32_t& MachVerticalID,
                                  RecordsAffected lngRecordsAffected = {});

  // 17-40: readers. Each returns a new collection (the caller's from then on) of records of
  // one class, in the order the rows were read, each under a key built from its fields: the
  // key pattern below names the fields, joined by the characters shown, numbers as decimal
  // text ("fldPartID|fldSubTypeID" of 3 and "A" is "3|A"). A row whose key is already taken is
  // added without a key (the first row keeps it): it is still counted and reached by index and in
  // iteration. lngRecordsAffected becomes the number of records returned (a read that fails, and on
  // the server a table without rows, leave it as passed). On a failure the error goes to the error
  // companion and the reader returns what it had read before it: possibly an empty
  // collection, never an empty pointer. Item/ItemAs with a number take a 1-based index,
  // with text a key: ItemAs<tblMachining>(L"12") is MachID 12, ItemAs<tblMachining>(12) the
  // twelfth record read.
  //
  // tblFilter_Scenarios records: with blnWithPartType2 the rows whose fldPartType2 is not 0,
  // keyed "fldPartType1|fldSubType1#fldPartType2|fldSubType2"; without it the rows whose
  // fldPartType2 is 0, keyed "fldPartType1|fldSubType1"; lngRecordsAffected: their number.
  virtual CollectionPtr GETFilterScenariosCol(const bool& blnWithPartType2,
                                              RecordsAffected lngRecordsAffected = {});
  // tblConstruction_Scenario_Types records keyed by fldConstScenarioType; lngRecordsAffected:
  // their number.
  virtual CollectionPtr GETTblConstructionScenarioTypes(RecordsAffected lngRecordsAffected = {});
  // tblFilter_Scenarios records keyed "fldPartType1|fldSubType1#fldPartType2|fldSubType2" (e.g.
  // "2|A#3|B"); on the server a row whose fldPartType2 is 0 is keyed "fldPartType1|fldSubType1";
  // lngRecordsAffected: their number.
  virtual CollectionPtr GETTblFilterScenarios(RecordsAffected lngRecordsAffected = {});
  // tblGlobal_Contr_Featr_Lists records keyed "fldFeatureListID,fldFeatureID";
  // lngRecordsAffected: their number.
  virtual CollectionPtr GETTblGlobalContrFeatrLists(RecordsAffected lngRecordsAffected = {});
  // tblGlobal_Contr_Featr_Patterns records keyed "fldFeatureListID,fldPartTypeID,fldSubTypeID";
  // lngRecordsAffected: their number.
  virtual CollectionPtr GETTblGlobalContrFeatrPatterns(RecordsAffected lngRecordsAffected = {});
  // tblGlobal_Face_Contour_Links records keyed "fldConstScenarioID,fldPartTypeID,fldSubTypeID";
  // lngRecordsAffected: their number.
  virtual CollectionPtr GETTblGlobalFaceContourLinks(RecordsAffected lngRecordsAffected = {});
  // tblGlobal_Imprint_Assignments records keyed by fldlngRelationPattern; lngRecordsAffected:
  // their number.
  virtual CollectionPtr GETTblGlobalImprintAssignments(RecordsAffected lngRecordsAffected = {});
  // tblGlobal_Imprint_Definitions records keyed by fldlngRelationPattern; lngRecordsAffected:
  // their number.
  virtual CollectionPtr GETTblGlobalImprintDefinitions(RecordsAffected lngRecordsAffected = {});
  // tblGlobal_Machining_Links records keyed by fldLinkID; lngRecordsAffected: their number.
  virtual CollectionPtr GETTblGlobalMachiningLinks(RecordsAffected lngRecordsAffected = {});
  // tblGlobal_Relation_Assignments records keyed by fldPatternID; lngRecordsAffected: their
  // number.
  virtual CollectionPtr GETTblGlobalRelationAssignments(RecordsAffected lngRecordsAffected = {});
  // tblGlobal_Relationship_Patterns records keyed by fldPatternID; lngRecordsAffected: their
  // number.
  virtual CollectionPtr GETTblGlobalRelationshipPatterns(RecordsAffected lngRecordsAffected = {});
  // tblLocal_Contr_Featr_Lists records keyed by fldFeatureListID; lngRecordsAffected: their
  // number.
  virtual CollectionPtr GETTblLocalContrFeatrLists(RecordsAffected lngRecordsAffected = {});
  // tblLocal_Designs records keyed by fldDesignID; lngRecordsAffected: their number.
  virtual CollectionPtr GETTblLocalDesigns(RecordsAffected lngRecordsAffected = {});
  // tblLocal_Face_Contour_Links records keyed
  // "fldPartTypeID|fldSubTypeID|fldConstScenarioID|fldDesignID"; lngRecordsAffected: their
  // number.
  virtual CollectionPtr GETTblLocalFaceContourLinks(RecordsAffected lngRecordsAffected = {});
  // tblLocal_Machining_Links records keyed by fldLinkID; lngRecordsAffected: their number.
  virtual CollectionPtr GETTblLocalMachiningLinks(RecordsAffected lngRecordsAffected = {});
  // tblLocal_Relation_Assignments records keyed by fldPatternID; lngRecordsAffected: their
  // number.
  virtual CollectionPtr GETTblLocalRelationAssignments(RecordsAffected lngRecordsAffected = {});
  // tblLocal_Relationship_Patterns records keyed by fldPatternID; lngRecordsAffected: their
  // number.
  virtual CollectionPtr GETTblLocalRelationshipPatterns(RecordsAffected lngRecordsAffected = {});
  // tblMachining records keyed by MachID; lngRecordsAffected: their number.
  virtual CollectionPtr GETTblMachining(RecordsAffected lngRecordsAffected = {});
  // tblMachRouting records keyed by lngMachRoutingID; lngRecordsAffected: their number.
  virtual CollectionPtr GETTblMachRouting(RecordsAffected lngRecordsAffected = {});
  // tblMachLink records keyed by MachLinkID; lngRecordsAffected: their number.
  virtual CollectionPtr GETTblMachLink(RecordsAffected lngRecordsAffected = {});
  // tblMachVariable records keyed by Name; lngRecordsAffected: their number.
  virtual CollectionPtr GETTblMachVariable(RecordsAffected lngRecordsAffected = {});
  // tblMachVertical records keyed by MachVerticalID; lngRecordsAffected: their number.
  virtual CollectionPtr GETTblMachVertical(RecordsAffected lngRecordsAffected = {});
  // tblMFG_Part_Types records keyed "fldPartID|fldSubTypeID"; lngRecordsAffected: their number.
  virtual CollectionPtr GETTblMFGPartTypes(RecordsAffected lngRecordsAffected = {});
  // tblMFG_Scenario records keyed "fldMFGScenarioID,fldPartID,fldSubTypeID"; lngRecordsAffected:
  // their number.
  virtual CollectionPtr GETTblMFGScenario(RecordsAffected lngRecordsAffected = {});

  // 41-59: inserts.
  virtual int32_t INSERTConstructionScenario(const std::wstring& strConstScenarioType,
                                             const std::wstring& strConstScenarioDesc,
                                             RecordsAffected lngRecordsAffected = {});
  virtual Variant INSERTGlobalContrFeatrLists(const int32_t& lngFeatureID,
                                              const std::wstring& strNewFtrSandEPoints,
                                              const std::wstring& strLinkName,
                                              const std::wstring& strLinkDescription,
                                              const std::wstring& strLinkType,
                                              const std::wstring& strLinkVarSet);
  virtual Variant INSERTGlobalContrFeatrPatterns(const int32_t& lngPartType,
                                                 const std::wstring& strSubType,
                                                 const int32_t& lngFeatureKey,
                                                 const int32_t& lngFeatureListID);
  virtual int32_t INSERTCopyMachiningScenario(const int32_t& lngOldMachiningScenarioID,
                                              const std::wstring& strNewMachiningScenarioType,
                                              RecordsAffected lngRecordsAffected = {});
  virtual void INSERTFilter(const int32_t& lngPartType1, const int32_t& lngPartType2,
                            const std::wstring& strSubType1, const std::wstring& strSubType2,
                            RecordsAffected lngRecordsAffected = {});
  virtual void INSERTGlobalFaceContourLinks(const std::wstring& strLinkName,
                                            const std::wstring& strLinkDescription,
                                            const std::wstring& strLinkType,
                                            const std::wstring& strLinkVarSet,
                                            const int32_t& lngPartType,
                                            const std::wstring& strSubType,
                                            const int32_t& lngConstScenarioID);
  virtual int32_t INSERTImprintAssignments(
      const int32_t& lngConstScenarioID, const std::wstring& strImprintType,
      const int32_t& lngPartType1, const int32_t& lngPartType2,
      const std::wstring& strFeaturePattern1, const std::wstring& strFeaturePattern2,
      const std::wstring& strFaceNormal1, const std::wstring& strFaceNormal2,
      const std::wstring& strSubType1, const std::wstring& strSubType2,
      const std::wstring& strPart1FacesTypeOrient, const std::wstring& strPart2FacesTypeOrient,
      const bool& blnFront);
  virtual int32_t INSERTMachining(const std::wstring& strMachName, const std::wstring& strMachGroup,
                                  const int32_t& MachLibID, const double& X, const double& Y,
                                  const double& Z, RecordsAffected lngRecordsAffected = {});
  virtual int32_t INSERTMachLink(const int32_t& MachID, const int32_t& MachRuleID,
                                 const std::wstring& MachListVar, const std::wstring& MachExprVar,
                                 const bool& MirrorX, const bool& MirrorY,
                                 RecordsAffected lngRecordsAffected = {});
  virtual int32_t INSERTMachRouting(const std::wstring& Name, const int32_t& MachID,
                                    const int32_t& lngPocket = 0,
                                    RecordsAffected lngRecordsAffected = {});
  virtual int32_t INSERTMachVariable(const std::wstring& Name, const std::wstring& Value,
                                     const int32_t& MachLibID, const bool& Requested,
                                     RecordsAffected lngRecordsAffected = {});
  virtual int32_t INSERTMachVertical(const std::wstring& Name, const std::wstring& Orientation,
                                     const int32_t& MachID,
                                     RecordsAffected lngRecordsAffected = {});
  virtual void INSERTMFGPartTypes(const int32_t& lngMFGScenarioID, const int32_t& lngPartType,
                                  const std::wstring& strSubTypeID, const std::wstring& strPartDesc,
                                  const std::wstring& strPartKind, const std::wstring& strPartGrain,
                                  const std::wstring& strSubtypeDesc,
                                  const bool& blnSubtypeName = false,
                                  RecordsAffected lngRecordsAffected = {});
  virtual int32_t INSERTSELDesignIDFromLocalDesigns(const std::wstring& strDesignName,
                                                    const std::wstring& strComputerName,
                                                    RecordsAffected lngRecordsAffected = {});
  virtual int32_t INSERTSELLinkIDFromLocalMachiningLinks(
      const std::wstring& strLinkType, const std::wstring& strLinkDesc,
      const std::wstring& strLinkName, const double& dblAngle, const int32_t& lngMirrorX,
      const int32_t& lngMirrorY, const int32_t& lngPrimary, const std::wstring& strVarSet,
      const std::wstring& strRefCorner, const std::wstring& strPattType,
      const std::wstring& strRelation, RecordsAffected lngRecordsAffected = {});
  virtual int32_t INSERTSELLinkIDFromMachiningLinks(
      const std::wstring& strLinkType, const std::wstring& strLinkDesc,
      const std::wstring& strLinkName, const double& dblAngle, const int32_t& lngMirrorX,
      const int32_t& lngMirrorY, const int32_t& lngPrimary, const std::wstring& strVarSet,
      const std::wstring& strRefCorner, RecordsAffected lngRecordsAffected = {});
  virtual int32_t INSERTUPDATEGlobalImprintDefinitions(
      const int32_t& lngRelationPattern, const bool& blnMerge, const int32_t& lngBotPartType,
      const int32_t& lngBotOffset, const int32_t& lngBotSide, const bool& blnBotUnion,
      const int32_t& lngRightPartType, const int32_t& lngRightOffset, const int32_t& lngRightSide,
      const bool& blnRightUnion, const int32_t& lngTopPartType, const int32_t& lngTopOffset,
      const int32_t& lngTopSide, const bool& blnTopUnion, const int32_t& lngLeftPartType,
      const int32_t& lngLeftOffset, const int32_t& lngLeftSide, const bool& blnLeftUnion,
      RecordsAffected lngRecordsAffected = {});
  virtual void INSERTUPDATEGlobalRelationAssignments(
      const int32_t& lngMachScenarioID, const int32_t& lngPartType1, const int32_t& lngPartType2,
      const std::wstring& strSubType1, const std::wstring& strSubType2,
      const std::wstring& strFeaturePattern1, const std::wstring& strFeaturePattern2,
      const std::wstring& strFaceNormal1, const std::wstring& strFaceNormal2,
      const int32_t& lngLinkID, const std::wstring& strPatternField,
      RecordsAffected lngRecordsAffected = {});
  virtual void INSERTUPDATELocalRelationAssignments(
      const int32_t& lngMachScenarioID, const int32_t& lngPartType1, const int32_t& lngPartType2,
      const std::wstring& strSubType1, const std::wstring& strSubType2,
      const std::wstring& strFeaturePattern1, const std::wstring& strFeaturePattern2,
      const std::wstring& strFaceNormal1, const std::wstring& strFaceNormal2,
      const int32_t& lngLinkID, const std::wstring& strPatternField,
      const std::wstring& strPattType, const std::wstring& strRelation, const int32_t& lngDesignID,
      RecordsAffected lngRecordsAffected = {});

  // 60-68: updates.
  virtual int32_t UPDATEConstructionScenarioTypes(const int32_t& lngConstScenarioID,
                                                  const std::wstring& strConstScenarioType,
                                                  const std::wstring& strConstScenarioDesc,
                                                  RecordsAffected lngRecordsAffected = {});
  virtual void UPDATEGlobalFaceContourLinks(const std::wstring& strLinkName,
                                            const std::wstring& strLinkDescription,
                                            const std::wstring& strLinkType,
                                            const std::wstring& strLinkVarSet,
                                            const int32_t& lngPartType,
                                            const std::wstring& strSubType,
                                            const int32_t& lngConstScenarioID);
  virtual void UPDATEMachNameFromMachining(const std::wstring& strMachNewName,
                                           const int32_t& MachLibID, const int32_t& MachID,
                                           RecordsAffected lngRecordsAffected = {});
  virtual void UPDATEMachVariable(const std::wstring& Name, const std::wstring& Value,
                                  const int32_t& MachLibID, const int32_t& MachVarID,
                                  RecordsAffected lngRecordsAffected = {});
  virtual void UPDATEMachLink(const int32_t& MachLinkID, const int32_t& MachID,
                              const int32_t& MachRuleID, const std::wstring& MachListVar,
                              const std::wstring& MachExprVar, const bool& MirrorX,
                              const bool& MirrorY, RecordsAffected lngRecordsAffected = {});
  virtual void UPDATEParaMachRouting(const std::wstring& ParaToUpdate, const std::wstring& NewValue,
                                     const int32_t& MachRoutingID,
                                     RecordsAffected lngRecordsAffected = {});
  virtual void UPDATEParaMachVertical(const std::wstring& ParaToUpdate,
                                      const std::wstring& NewValue, const int32_t& MachVerticalID,
                                      RecordsAffected lngRecordsAffected = {});
  virtual void UPDATEPropertyRelationshipPatterns(const std::wstring& strTableToUpdate,
                                                  const std::wstring& strPropertyToUpdate,
                                                  const int32_t& lngPatternID,
                                                  const std::wstring& strNewValue,
                                                  RecordsAffected lngRecordsAffected = {});
  virtual void UPDATEVariableMachining(const int32_t& MachID, const std::wstring& VariableToUpdate,
                                       const double& NewValue,
                                       RecordsAffected lngRecordsAffected = {});

 private:
  ConnectionPtr conn_;
};

}  // namespace QuillData
