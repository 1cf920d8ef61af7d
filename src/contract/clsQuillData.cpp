#include "QuillData/contract/clsQuillData.h"

// The interface class itself has no behaviour: every operation returns the zero value of its
// result and touches nothing. Only the connection reference is kept.

namespace QuillData {

ConnectionPtr clsQuillData::Conn() const {
  return conn_;
}

void clsQuillData::Conn(const ConnectionPtr& vData) {
  conn_ = vData;
}

bool clsQuillData::OpenDB(const std::shared_ptr<cSP>&, const std::shared_ptr<cE>&,
                          const std::vector<Variant>&) {
  return false;
}

void clsQuillData::DELFilter(const int32_t&, const int32_t&, const std::wstring&,
                             const std::wstring&, RecordsAffected) {}

int32_t clsQuillData::DELGlobalContrFeatrPatterns(const int32_t&, const std::wstring&,
                                                  const int32_t&, const int32_t&, RecordsAffected) {
  return 0;
}

int32_t clsQuillData::DELGlobalFaceContourLinks(const int32_t&, const int32_t&, const std::wstring&,
                                                RecordsAffected) {
  return 0;
}

int32_t clsQuillData::DELImprintAssignments(const int32_t&, RecordsAffected) {
  return 0;
}

int32_t clsQuillData::DELLocalContrFeatrPatterns(const int32_t&, const std::wstring&,
                                                 const int32_t&, RecordsAffected) {
  return 0;
}

int32_t clsQuillData::DELLocalFaceContourLinks(const int32_t&, const int32_t&, const std::wstring&,
                                               const std::wstring&, const std::wstring&,
                                               const int32_t&, RecordsAffected) {
  return 0;
}

int32_t clsQuillData::DELLocalMachiningLinks(const std::wstring&, const std::wstring&,
                                             RecordsAffected) {
  return 0;
}

int32_t clsQuillData::DELMachining(const int32_t&, RecordsAffected) {
  return 0;
}

int32_t clsQuillData::DELMachLink(const int32_t&, RecordsAffected) {
  return 0;
}

int32_t clsQuillData::DELMachiningScenario(const int32_t&, RecordsAffected) {
  return 0;
}

int32_t clsQuillData::DELMachRouting(const int32_t&, RecordsAffected) {
  return 0;
}

int32_t clsQuillData::DELMachVariable(const int32_t&, RecordsAffected) {
  return 0;
}

int32_t clsQuillData::DELMachVertical(const int32_t&, RecordsAffected) {
  return 0;
}

CollectionPtr clsQuillData::GETFilterScenariosCol(const bool&, RecordsAffected) {
  return nullptr;
}

CollectionPtr clsQuillData::GETTblConstructionScenarioTypes(RecordsAffected) {
  return nullptr;
}

CollectionPtr clsQuillData::GETTblFilterScenarios(RecordsAffected) {
  return nullptr;
}

CollectionPtr clsQuillData::GETTblGlobalContrFeatrLists(RecordsAffected) {
  return nullptr;
}

CollectionPtr clsQuillData::GETTblGlobalContrFeatrPatterns(RecordsAffected) {
  return nullptr;
}

CollectionPtr clsQuillData::GETTblGlobalFaceContourLinks(RecordsAffected) {
  return nullptr;
}

CollectionPtr clsQuillData::GETTblGlobalImprintAssignments(RecordsAffected) {
  return nullptr;
}

CollectionPtr clsQuillData::GETTblGlobalImprintDefinitions(RecordsAffected) {
  return nullptr;
}

CollectionPtr clsQuillData::GETTblGlobalMachiningLinks(RecordsAffected) {
  return nullptr;
}

CollectionPtr clsQuillData::GETTblGlobalRelationAssignments(RecordsAffected) {
  return nullptr;
}

CollectionPtr clsQuillData::GETTblGlobalRelationshipPatterns(RecordsAffected) {
  return nullptr;
}

CollectionPtr clsQuillData::GETTblLocalContrFeatrLists(RecordsAffected) {
  return nullptr;
}

CollectionPtr clsQuillData::GETTblLocalDesigns(RecordsAffected) {
  return nullptr;
}

CollectionPtr clsQuillData::GETTblLocalFaceContourLinks(RecordsAffected) {
  return nullptr;
}

CollectionPtr clsQuillData::GETTblLocalMachiningLinks(RecordsAffected) {
  return nullptr;
}

CollectionPtr clsQuillData::GETTblLocalRelationAssignments(RecordsAffected) {
  return nullptr;
}

CollectionPtr clsQuillData::GETTblLocalRelationshipPatterns(RecordsAffected) {
  return nullptr;
}

CollectionPtr clsQuillData::GETTblMachining(RecordsAffected) {
  return nullptr;
}

CollectionPtr clsQuillData::GETTblMachRouting(RecordsAffected) {
  return nullptr;
}

CollectionPtr clsQuillData::GETTblMachLink(RecordsAffected) {
  return nullptr;
}

CollectionPtr clsQuillData::GETTblMachVariable(RecordsAffected) {
  return nullptr;
}

CollectionPtr clsQuillData::GETTblMachVertical(RecordsAffected) {
  return nullptr;
}

CollectionPtr clsQuillData::GETTblMFGPartTypes(RecordsAffected) {
  return nullptr;
}

CollectionPtr clsQuillData::GETTblMFGScenario(RecordsAffected) {
  return nullptr;
}

int32_t clsQuillData::INSERTConstructionScenario(const std::wstring&, const std::wstring&,
                                                 RecordsAffected) {
  return 0;
}

Variant clsQuillData::INSERTGlobalContrFeatrLists(const int32_t&, const std::wstring&,
                                                  const std::wstring&, const std::wstring&,
                                                  const std::wstring&, const std::wstring&) {
  return {};
}

Variant clsQuillData::INSERTGlobalContrFeatrPatterns(const int32_t&, const std::wstring&,
                                                     const int32_t&, const int32_t&) {
  return {};
}

int32_t clsQuillData::INSERTCopyMachiningScenario(const int32_t&, const std::wstring&,
                                                  RecordsAffected) {
  return 0;
}

void clsQuillData::INSERTFilter(const int32_t&, const int32_t&, const std::wstring&,
                                const std::wstring&, RecordsAffected) {}

void clsQuillData::INSERTGlobalFaceContourLinks(const std::wstring&, const std::wstring&,
                                                const std::wstring&, const std::wstring&,
                                                const int32_t&, const std::wstring&,
                                                const int32_t&) {}

int32_t clsQuillData::INSERTImprintAssignments(const int32_t&, const std::wstring&, const int32_t&,
                                               const int32_t&, const std::wstring&,
                                               const std::wstring&, const std::wstring&,
                                               const std::wstring&, const std::wstring&,
                                               const std::wstring&, const std::wstring&,
                                               const std::wstring&, const bool&) {
  return 0;
}

int32_t clsQuillData::INSERTMachining(const std::wstring&, const std::wstring&, const int32_t&,
                                      const double&, const double&, const double&,
                                      RecordsAffected) {
  return 0;
}

int32_t clsQuillData::INSERTMachLink(const int32_t&, const int32_t&, const std::wstring&,
                                     const std::wstring&, const bool&, const bool&,
                                     RecordsAffected) {
  return 0;
}

int32_t clsQuillData::INSERTMachRouting(const std::wstring&, const int32_t&, const int32_t&,
                                        RecordsAffected) {
  return 0;
}

int32_t clsQuillData::INSERTMachVariable(const std::wstring&, const std::wstring&, const int32_t&,
                                         const bool&, RecordsAffected) {
  return 0;
}

int32_t clsQuillData::INSERTMachVertical(const std::wstring&, const std::wstring&, const int32_t&,
                                         RecordsAffected) {
  return 0;
}

void clsQuillData::INSERTMFGPartTypes(const int32_t&, const int32_t&, const std::wstring&,
                                      const std::wstring&, const std::wstring&, const std::wstring&,
                                      const std::wstring&, const bool&, RecordsAffected) {}

int32_t clsQuillData::INSERTSELDesignIDFromLocalDesigns(const std::wstring&, const std::wstring&,
                                                        RecordsAffected) {
  return 0;
}

int32_t clsQuillData::INSERTSELLinkIDFromLocalMachiningLinks(
    const std::wstring&, const std::wstring&, const std::wstring&, const double&, const int32_t&,
    const int32_t&, const int32_t&, const std::wstring&, const std::wstring&, const std::wstring&,
    const std::wstring&, RecordsAffected) {
  return 0;
}

int32_t clsQuillData::INSERTSELLinkIDFromMachiningLinks(const std::wstring&, const std::wstring&,
                                                        const std::wstring&, const double&,
                                                        const int32_t&, const int32_t&,
                                                        const int32_t&, const std::wstring&,
                                                        const std::wstring&, RecordsAffected) {
  return 0;
}

int32_t clsQuillData::INSERTUPDATEGlobalImprintDefinitions(
    const int32_t&, const bool&, const int32_t&, const int32_t&, const int32_t&, const bool&,
    const int32_t&, const int32_t&, const int32_t&, const bool&, const int32_t&, const int32_t&,
    const int32_t&, const bool&, const int32_t&, const int32_t&, const int32_t&, const bool&,
    RecordsAffected) {
  return 0;
}

void clsQuillData::INSERTUPDATEGlobalRelationAssignments(const int32_t&, const int32_t&,
                                                         const int32_t&, const std::wstring&,
                                                         const std::wstring&, const std::wstring&,
                                                         const std::wstring&, const std::wstring&,
                                                         const std::wstring&, const int32_t&,
                                                         const std::wstring&, RecordsAffected) {}

void clsQuillData::INSERTUPDATELocalRelationAssignments(
    const int32_t&, const int32_t&, const int32_t&, const std::wstring&, const std::wstring&,
    const std::wstring&, const std::wstring&, const std::wstring&, const std::wstring&,
    const int32_t&, const std::wstring&, const std::wstring&, const std::wstring&, const int32_t&,
    RecordsAffected) {}

int32_t clsQuillData::UPDATEConstructionScenarioTypes(const int32_t&, const std::wstring&,
                                                      const std::wstring&, RecordsAffected) {
  return 0;
}

void clsQuillData::UPDATEGlobalFaceContourLinks(const std::wstring&, const std::wstring&,
                                                const std::wstring&, const std::wstring&,
                                                const int32_t&, const std::wstring&,
                                                const int32_t&) {}

void clsQuillData::UPDATEMachNameFromMachining(const std::wstring&, const int32_t&, const int32_t&,
                                               RecordsAffected) {}

void clsQuillData::UPDATEMachVariable(const std::wstring&, const std::wstring&, const int32_t&,
                                      const int32_t&, RecordsAffected) {}

void clsQuillData::UPDATEMachLink(const int32_t&, const int32_t&, const int32_t&,
                                  const std::wstring&, const std::wstring&, const bool&,
                                  const bool&, RecordsAffected) {}

void clsQuillData::UPDATEParaMachRouting(const std::wstring&, const std::wstring&, const int32_t&,
                                         RecordsAffected) {}

void clsQuillData::UPDATEParaMachVertical(const std::wstring&, const std::wstring&, const int32_t&,
                                          RecordsAffected) {}

void clsQuillData::UPDATEPropertyRelationshipPatterns(const std::wstring&, const std::wstring&,
                                                      const int32_t&, const std::wstring&,
                                                      RecordsAffected) {}

void clsQuillData::UPDATEVariableMachining(const int32_t&, const std::wstring&, const double&,
                                           RecordsAffected) {}

}  // namespace QuillData
