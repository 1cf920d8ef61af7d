#pragma once
// The 25 record classes: one public field per table column, named as the column, in the
// table's order. Each class is declared once, by its field list below; the same list gives
// its RecordType (RecordType.h).
//
// A field line is FIELD(declared type, name[, construction value]); declared types: Long
// (int32), String, Double, Bool, Date, Variant, Collection (a Tessera collection reference).
#include <cstdint>
#include <memory>
#include <string>

#include "QuillData/Export.h"
#include "QuillData/contract/RecordType.h"
#include "QuillData/contract/Tessera.h"
#include "QuillData/contract/Variant.h"

#define QUILLDATA_TBLCONSTRUCTION_SCENARIO_TYPES(FIELD) \
  FIELD(Long, fldConstScenarioID)                       \
  FIELD(String, fldConstScenarioType)                   \
  FIELD(String, fldConstScenarioDesc)

#define QUILLDATA_TBLFILTER_SCENARIOS(FIELD) \
  FIELD(String, fldFltrScenarioID)           \
  FIELD(String, fldPartType1)                \
  FIELD(String, fldPartType2)                \
  FIELD(String, fldSubType1)                 \
  FIELD(String, fldSubType2)

#define QUILLDATA_TBLGLOBAL_CONTR_FEATR_LISTS(FIELD) \
  FIELD(Long, fldFeatureListID)                      \
  FIELD(Long, fldFeatureID)                          \
  FIELD(String, fldNewFtrSandEPoints)                \
  FIELD(String, fldLinkName)                         \
  FIELD(String, fldLinkDescription)                  \
  FIELD(String, fldLinkType)                         \
  FIELD(String, fldLinkVarSet)

#define QUILLDATA_TBLGLOBAL_CONTR_FEATR_PATTERNS(FIELD) \
  FIELD(String, fldPartTypeID)                          \
  FIELD(String, fldSubTypeID)                           \
  FIELD(Long, fldFeatureKey)                            \
  FIELD(Long, fldFeatureListID)

#define QUILLDATA_TBLGLOBAL_FACE_CONTOUR_LINKS(FIELD) \
  FIELD(String, fldPartTypeID)                        \
  FIELD(String, fldSubTypeID)                         \
  FIELD(Long, fldConstScenarioID)                     \
  FIELD(String, fldLinkName)                          \
  FIELD(String, fldLinkDescription)                   \
  FIELD(String, fldLinkType)                          \
  FIELD(String, fldLinkVarSet)

#define QUILLDATA_TBLGLOBAL_IMPRINT_ASSIGNMENTS(FIELD) \
  FIELD(Long, fldlngRelationPattern)                   \
  FIELD(Long, fldlngConstScenarioID)                   \
  FIELD(String, fldstrUDI_Type)                        \
  FIELD(Long, fldstrPartType1)                         \
  FIELD(Long, fldstrPartType2)                         \
  FIELD(String, fldstrFeaturePattern1)                 \
  FIELD(String, fldstrFeaturePattern2)                 \
  FIELD(String, fldstrFaceNormal1)                     \
  FIELD(String, fldstrFaceNormal2)                     \
  FIELD(Long, fldSubType1)                             \
  FIELD(Long, fldSubType2)                             \
  FIELD(String, fldstrPart1FacesTypeOrient)            \
  FIELD(String, fldstrPart2FacesTypeOrient)            \
  FIELD(Bool, fldblnFront)

#define QUILLDATA_TBLGLOBAL_IMPRINT_DEFINITIONS(FIELD) \
  FIELD(Long, fldlngRelationPattern)                   \
  FIELD(String, fldstrName)                            \
  FIELD(String, fldstrDescription)                     \
  FIELD(Bool, fldMerge)                                \
  FIELD(Long, fldLngBotDist)                           \
  FIELD(Long, fldLngBotPartType)                       \
  FIELD(Long, fldLngBotOffset)                         \
  FIELD(Long, fldLngBotSide)                           \
  FIELD(Bool, fldblnBotUnion)                          \
  FIELD(Long, fldLngRightDist)                         \
  FIELD(Long, fldLngRightPartType)                     \
  FIELD(Long, fldLngRightOffset)                       \
  FIELD(Long, fldLngRightSide)                         \
  FIELD(Bool, fldblnRightUnion)                        \
  FIELD(Long, fldLngTopDist)                           \
  FIELD(Long, fldLngTopPartType)                       \
  FIELD(Long, fldLngTopOffset)                         \
  FIELD(Long, fldLngTopSide)                           \
  FIELD(Bool, fldblnTopUnion)                          \
  FIELD(Long, fldLngLeftDist)                          \
  FIELD(Long, fldLngLeftPartType)                      \
  FIELD(Long, fldLngLeftOffset)                        \
  FIELD(Long, fldLngLeftSide)                          \
  FIELD(Bool, fldblnLeftUnion)

#define QUILLDATA_TBLGLOBAL_MACHINING_LINKS(FIELD) \
  FIELD(Long, fldLinkID)                           \
  FIELD(String, fldType)                           \
  FIELD(String, fldDescription)                    \
  FIELD(String, fldName)                           \
  FIELD(Long, fldMirrorX)                          \
  FIELD(Long, fldMirrorY)                          \
  FIELD(Double, fldAngle)                          \
  FIELD(String, fldVarSet)                         \
  FIELD(Long, fldIsPrimary)                        \
  FIELD(String, fldRefCorner)

#define QUILLDATA_TBLGLOBAL_RELATION_ASSIGNMENTS(FIELD) \
  FIELD(Long, fldPatternID)                             \
  FIELD(Long, fldConstScenarioID)                       \
  FIELD(String, fldPartType1)                           \
  FIELD(String, fldPartType2)                           \
  FIELD(String, fldFeaturePattern1)                     \
  FIELD(String, fldFeaturePattern2)                     \
  FIELD(String, fldFaceNormal1)                         \
  FIELD(String, fldFaceNormal2)                         \
  FIELD(String, fldSubType1)                            \
  FIELD(String, fldSubType2)

#define QUILLDATA_TBLGLOBAL_RELATIONSHIP_PATTERNS(FIELD) \
  FIELD(Long, fldPatternID)                              \
  FIELD(Long, fldLinkIDEE)                               \
  FIELD(Long, fldLinkIDEF)                               \
  FIELD(Long, fldLinkIDFE)                               \
  FIELD(Long, fldLinkIDFF)

#define QUILLDATA_TBLLOCAL_CONTR_FEATR_LISTS(FIELD) \
  FIELD(Long, fldFeatureListID)                     \
  FIELD(Long, fldFeatureID)                         \
  FIELD(String, fldNewFtrSandEPoints)               \
  FIELD(String, fldLinkName)                        \
  FIELD(String, fldLinkDescription)                 \
  FIELD(String, fldLinkType)                        \
  FIELD(String, fldLinkVarSet)                      \
  FIELD(String, fldPattType)                        \
  FIELD(String, fldRelation)                        \
  FIELD(Long, fldDesignID)

#define QUILLDATA_TBLLOCAL_DESIGNS(FIELD) \
  FIELD(Long, fldDesignID)                \
  FIELD(String, fldDesignName)            \
  FIELD(String, fldComputerName)          \
  FIELD(Long, fldCheckSum)                \
  FIELD(Date, fldCreated)                 \
  FIELD(Variant, fldData)

#define QUILLDATA_TBLLOCAL_FACE_CONTOUR_LINKS(FIELD) \
  FIELD(String, fldPartTypeID)                       \
  FIELD(String, fldSubTypeID)                        \
  FIELD(Long, fldConstScenarioID)                    \
  FIELD(String, fldLinkName)                         \
  FIELD(String, fldLinkDescription)                  \
  FIELD(String, fldLinkType)                         \
  FIELD(String, fldLinkVarSet)                       \
  FIELD(String, fldPattType)                         \
  FIELD(String, fldRelation)                         \
  FIELD(Long, fldDesignID)

#define QUILLDATA_TBLLOCAL_MACHINING_LINKS(FIELD) \
  FIELD(Long, fldLinkID)                          \
  FIELD(String, fldPattType)                      \
  FIELD(String, fldRelation)                      \
  FIELD(String, fldType)                          \
  FIELD(String, fldDescription)                   \
  FIELD(String, fldName)                          \
  FIELD(Long, fldMirrorX)                         \
  FIELD(Long, fldMirrorY)                         \
  FIELD(Double, fldAngle)                         \
  FIELD(String, fldVarSet)                        \
  FIELD(Long, fldIsPrimary)                       \
  FIELD(String, fldRefCorner)

#define QUILLDATA_TBLLOCAL_RELATION_ASSIGNMENTS(FIELD) \
  FIELD(Long, fldItemID)                               \
  FIELD(Long, fldPatternID)                            \
  FIELD(Long, fldDesignID)                             \
  FIELD(String, fldPattType)                           \
  FIELD(String, fldRelation)                           \
  FIELD(Long, fldConstScenarioID)                      \
  FIELD(String, fldPartType1)                          \
  FIELD(String, fldPartType2)                          \
  FIELD(String, fldFeaturePattern1)                    \
  FIELD(String, fldFeaturePattern2)                    \
  FIELD(String, fldFaceNormal1)                        \
  FIELD(String, fldFaceNormal2)                        \
  FIELD(String, fldSubType1)                           \
  FIELD(String, fldSubType2)

#define QUILLDATA_TBLLOCAL_RELATIONSHIP_PATTERNS(FIELD) \
  FIELD(Long, fldPatternID)                             \
  FIELD(String, fldPattType)                            \
  FIELD(String, fldRelation)                            \
  FIELD(Long, fldLinkIDEE)                              \
  FIELD(Long, fldLinkIDEF)                              \
  FIELD(Long, fldLinkIDFE)                              \
  FIELD(Long, fldLinkIDFF)

#define QUILLDATA_TBLMACHINING(FIELD) \
  FIELD(Long, MachID)                 \
  FIELD(String, MachName)             \
  FIELD(String, MachGroup)            \
  FIELD(Double, X)                    \
  FIELD(Double, Y)                    \
  FIELD(Double, Z)                    \
  FIELD(Long, MachLibID)

#define QUILLDATA_TBLMACHLINK(FIELD) \
  FIELD(Long, MachLinkID)            \
  FIELD(Long, MachID)                \
  FIELD(Long, MachRuleID)            \
  FIELD(String, MachListVar)         \
  FIELD(String, MachExprVar)         \
  FIELD(Bool, MirrorX)               \
  FIELD(Bool, MirrorY)               \
  FIELD(Collection, VarList)

// Every string field but the name and description starts with its machine default.
#define QUILLDATA_TBLMACHROUTING(FIELD)                   \
  FIELD(Long, lngMachRoutingID)                           \
  FIELD(String, strName)                                  \
  FIELD(String, MachDescription)                          \
  FIELD(String, strActiveFlag, L"A")                      \
  FIELD(String, strDepthOption, L"dep_per_no")            \
  FIELD(String, dblDepthValue, L"0")                      \
  FIELD(String, dblDefaultToolDiameter, L"12")            \
  FIELD(String, lngToolType, L"1")                        \
  FIELD(String, strToolRotation, L"right")                \
  FIELD(String, lngToolRotationSpeed, L"18000")           \
  FIELD(String, lngToolPlungeFeedRate, L"100")            \
  FIELD(String, lngToolMiniFeedRate, L"50")               \
  FIELD(String, lngToolMaxiFeedRate, L"90")               \
  FIELD(String, lngToolDefaultFeedRate, L"90")            \
  FIELD(String, strOption, L"nil")                        \
  FIELD(String, lngOscillation, L"0")                     \
  FIELD(String, lngGrain)                                 \
  FIELD(String, ToolCompensation, L"0")                   \
  FIELD(String, lngLeadInEgalLeadout, L"1")               \
  FIELD(String, lngLeadInL, L"0")                         \
  FIELD(String, strLeadInType, L"lead_in_no")             \
  FIELD(String, lngLeadInRamp, L"0")                      \
  FIELD(String, lngLeadInLength, L"100")                  \
  FIELD(String, lngLeadInAngle, L"90")                    \
  FIELD(String, strLeadOutType, L"lead_out_no")           \
  FIELD(String, lngLeadOutRamp, L"0")                     \
  FIELD(String, lngLeadOutLength, L"100")                 \
  FIELD(String, lngLeadOutAngle, L"90")                   \
  FIELD(String, dblXYOffsetDistance, L"0")                \
  FIELD(String, strOffsetDirection, L"cont_offset_right") \
  FIELD(String, ZOffsetDistance, L"0")                    \
  FIELD(String, lngPocket, L"0")                          \
  FIELD(String, strOptionValue, L"0")                     \
  FIELD(String, dblToolLength, L"0")                      \
  FIELD(String, dblToolCutLength, L"0")                   \
  FIELD(String, ToolName, L"0")                           \
  FIELD(Long, MachID)                                     \
  FIELD(String, FeatLength, L"0")                         \
  FIELD(String, FeatWidth, L"0")                          \
  FIELD(String, FeatDepth, L"0")                          \
  FIELD(String, FeatCornerRadius, L"0")                   \
  FIELD(String, FeatCenterX, L"0")                        \
  FIELD(String, FeatCenterY, L"0")                        \
  FIELD(String, FeatCenterZ, L"0")                        \
  FIELD(String, NormalX, L"0")                            \
  FIELD(String, NormalY, L"0")                            \
  FIELD(String, NormalZ, L"0")

#define QUILLDATA_TBLMACHVARIABLE(FIELD) \
  FIELD(Long, MachVarID)                 \
  FIELD(String, Name)                    \
  FIELD(String, Value)                   \
  FIELD(Bool, Requested)                 \
  FIELD(Long, MachLibID)

#define QUILLDATA_TBLMACHVERTICAL(FIELD)  \
  FIELD(Long, MachVerticalID)             \
  FIELD(String, MachDescription)          \
  FIELD(String, strName)                  \
  FIELD(String, strMachOrientation)       \
  FIELD(String, Condition)                \
  FIELD(String, Xstart)                   \
  FIELD(String, Ystart)                   \
  FIELD(String, DrillDepth)               \
  FIELD(String, ToolDiameter)             \
  FIELD(String, NumberOfHoles)            \
  FIELD(String, OffsetDistancealongXaxis) \
  FIELD(String, OffsetDistancealongYaxis) \
  FIELD(Long, MachID)                     \
  FIELD(String, Zstart)                   \
  FIELD(String, NormalX)                  \
  FIELD(String, NormalY)                  \
  FIELD(String, NormalZ)

#define QUILLDATA_TBLMFG_PART_TYPES(FIELD) \
  FIELD(String, fldPartID)                 \
  FIELD(String, fldPartDescription)        \
  FIELD(String, fldSubTypeID)              \
  FIELD(String, fldSubTypeDesc)            \
  FIELD(Bool, fldVenLam)                   \
  FIELD(String, fldPartKind)               \
  FIELD(String, fldPartGrain)

#define QUILLDATA_TBLMFG_SCENARIO(FIELD) \
  FIELD(Long, fldMFGScenarioID)          \
  FIELD(Long, fldMFGProcessID)           \
  FIELD(Long, fldPartID)                 \
  FIELD(String, fldSubTypeID)            \
  FIELD(Bool, fldIsDefaultRouting)       \
  FIELD(Long, fldRotRouting)             \
  FIELD(String, fldMachOrientAngle)      \
  FIELD(Bool, fldVenLam)                 \
  FIELD(String, fldGrainDir)             \
  FIELD(String, fldVLFrGrainDir)         \
  FIELD(String, fldVLBkGrainDir)         \
  FIELD(String, fldIsFlipped)

#define QUILLDATA_TBLMATERIAL_BOARD_ASSIGNMENTS(FIELD) \
  FIELD(Long, fldMaterialAssociationID)                \
  FIELD(String, fldAssignmentType)                     \
  FIELD(String, fldMernOutsideMat)                     \
  FIELD(String, fldMernInsideMat)                      \
  FIELD(Long, fldMernThickness)                        \
  FIELD(Long, fldPartTagID)                            \
  FIELD(Long, fldSubTypeID)                            \
  FIELD(String, fldCRBoardMaterialCode)                \
  FIELD(String, fldCRDescription)                      \
  FIELD(Double, fldCRThickness)                        \
  FIELD(String, fldCRMaterialCost)                     \
  FIELD(String, fldCRLibraryPath)                      \
  FIELD(Bool, fldMatCodeInCRLib)                       \
  FIELD(Long, fldMatScenarioID)

#define QUILLDATA_TBLSCENARIO(FIELD) \
  FIELD(Long, fldScenarioID)         \
  FIELD(String, fldScenarioType)     \
  FIELD(String, fldScenarioDesc)

// Every record class: X(class name, field list).
#define QUILLDATA_RECORDS(X)                                                    \
  X(tblConstruction_Scenario_Types, QUILLDATA_TBLCONSTRUCTION_SCENARIO_TYPES)   \
  X(tblFilter_Scenarios, QUILLDATA_TBLFILTER_SCENARIOS)                         \
  X(tblGlobal_Contr_Featr_Lists, QUILLDATA_TBLGLOBAL_CONTR_FEATR_LISTS)         \
  X(tblGlobal_Contr_Featr_Patterns, QUILLDATA_TBLGLOBAL_CONTR_FEATR_PATTERNS)   \
  X(tblGlobal_Face_Contour_Links, QUILLDATA_TBLGLOBAL_FACE_CONTOUR_LINKS)       \
  X(tblGlobal_Imprint_Assignments, QUILLDATA_TBLGLOBAL_IMPRINT_ASSIGNMENTS)     \
  X(tblGlobal_Imprint_Definitions, QUILLDATA_TBLGLOBAL_IMPRINT_DEFINITIONS)     \
  X(tblGlobal_Machining_Links, QUILLDATA_TBLGLOBAL_MACHINING_LINKS)             \
  X(tblGlobal_Relation_Assignments, QUILLDATA_TBLGLOBAL_RELATION_ASSIGNMENTS)   \
  X(tblGlobal_Relationship_Patterns, QUILLDATA_TBLGLOBAL_RELATIONSHIP_PATTERNS) \
  X(tblLocal_Contr_Featr_Lists, QUILLDATA_TBLLOCAL_CONTR_FEATR_LISTS)           \
  X(tblLocal_Designs, QUILLDATA_TBLLOCAL_DESIGNS)                               \
  X(tblLocal_Face_Contour_Links, QUILLDATA_TBLLOCAL_FACE_CONTOUR_LINKS)         \
  X(tblLocal_Machining_Links, QUILLDATA_TBLLOCAL_MACHINING_LINKS)               \
  X(tblLocal_Relation_Assignments, QUILLDATA_TBLLOCAL_RELATION_ASSIGNMENTS)     \
  X(tblLocal_Relationship_Patterns, QUILLDATA_TBLLOCAL_RELATIONSHIP_PATTERNS)   \
  X(tblMachining, QUILLDATA_TBLMACHINING)                                       \
  X(tblMachLink, QUILLDATA_TBLMACHLINK)                                         \
  X(tblMachRouting, QUILLDATA_TBLMACHROUTING)                                   \
  X(tblMachVariable, QUILLDATA_TBLMACHVARIABLE)                                 \
  X(tblMachVertical, QUILLDATA_TBLMACHVERTICAL)                                 \
  X(tblMFG_Part_Types, QUILLDATA_TBLMFG_PART_TYPES)                             \
  X(tblMFG_Scenario, QUILLDATA_TBLMFG_SCENARIO)                                 \
  X(tblMaterial_Board_Assignments, QUILLDATA_TBLMATERIAL_BOARD_ASSIGNMENTS)     \
  X(tblScenario, QUILLDATA_TBLSCENARIO)

QUILLDATA_API_BEGIN

namespace QuillData {

namespace detail {
template <FieldType>
struct CxxType;
template <>
struct CxxType<FieldType::Long> {
  using type = int32_t;
};
template <>
struct CxxType<FieldType::String> {
  using type = std::wstring;
};
template <>
struct CxxType<FieldType::Double> {
  using type = double;
};
template <>
struct CxxType<FieldType::Bool> {
  using type = bool;
};
template <>
struct CxxType<FieldType::Date> {
  using type = QuillData::Date;
};
template <>
struct CxxType<FieldType::Variant> {
  using type = QuillData::Variant;
};
template <>
struct CxxType<FieldType::Collection> {
  using type = std::shared_ptr<Tessera::Collection>;
};
}  // namespace detail

#define QUILLDATA_MEMBER_(kind, name, ...) \
  typename detail::CxxType<FieldType::kind>::type name{__VA_ARGS__};
#define QUILLDATA_DECLARE_RECORD_(cls, FIELDS)                       \
  class cls : public Record {                                        \
   public:                                                           \
    FIELDS(QUILLDATA_MEMBER_)                                        \
    static const RecordType& Descriptor();                           \
    const RecordType& Type() const override { return Descriptor(); } \
  };
QUILLDATA_RECORDS(QUILLDATA_DECLARE_RECORD_)
#undef QUILLDATA_DECLARE_RECORD_
#undef QUILLDATA_MEMBER_

}  // namespace QuillData

QUILLDATA_API_END
