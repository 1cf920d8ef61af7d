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
  // 3: stores the companions, opens the store; true when it is open.
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

  // 17-40: readers.
  virtual CollectionPtr GETFilterScenariosCol(const bool& blnWithPartType2,
                                              RecordsAffected lngRecordsAffected = {});
  virtual CollectionPtr GETTblConstructionScenarioTypes(RecordsAffected lngRecordsAffected = {});
  virtual CollectionPtr GETTblFilterScenarios(RecordsAffected lngRecordsAffected = {});
  virtual CollectionPtr GETTblGlobalContrFeatrLists(RecordsAffected lngRecordsAffected = {});
  virtual CollectionPtr GETTblGlobalContrFeatrPatterns(RecordsAffected lngRecordsAffected = {});
  virtual CollectionPtr GETTblGlobalFaceContourLinks(RecordsAffected lngRecordsAffected = {});
  virtual CollectionPtr GETTblGlobalImprintAssignments(RecordsAffected lngRecordsAffected = {});
  virtual CollectionPtr GETTblGlobalImprintDefinitions(RecordsAffected lngRecordsAffected = {});
  virtual CollectionPtr GETTblGlobalMachiningLinks(RecordsAffected lngRecordsAffected = {});
  virtual CollectionPtr GETTblGlobalRelationAssignments(RecordsAffected lngRecordsAffected = {});
  virtual CollectionPtr GETTblGlobalRelationshipPatterns(RecordsAffected lngRecordsAffected = {});
  virtual CollectionPtr GETTblLocalContrFeatrLists(RecordsAffected lngRecordsAffected = {});
  virtual CollectionPtr GETTblLocalDesigns(RecordsAffected lngRecordsAffected = {});
  virtual CollectionPtr GETTblLocalFaceContourLinks(RecordsAffected lngRecordsAffected = {});
  virtual CollectionPtr GETTblLocalMachiningLinks(RecordsAffected lngRecordsAffected = {});
  virtual CollectionPtr GETTblLocalRelationAssignments(RecordsAffected lngRecordsAffected = {});
  virtual CollectionPtr GETTblLocalRelationshipPatterns(RecordsAffected lngRecordsAffected = {});
  virtual CollectionPtr GETTblMachining(RecordsAffected lngRecordsAffected = {});
  virtual CollectionPtr GETTblMachRouting(RecordsAffected lngRecordsAffected = {});
  virtual CollectionPtr GETTblMachLink(RecordsAffected lngRecordsAffected = {});
  virtual CollectionPtr GETTblMachVariable(RecordsAffected lngRecordsAffected = {});
  virtual CollectionPtr GETTblMachVertical(RecordsAffected lngRecordsAffected = {});
  virtual CollectionPtr GETTblMFGPartTypes(RecordsAffected lngRecordsAffected = {});
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
