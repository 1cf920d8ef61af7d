// The insert operations: look up a row holding the same values and insert one only when
// there is none, returning the identifier found or written; the insert-or-update operations
// and the two relationship-pattern writers they use. A look-up and the write it decides run as
// one unit (Operation::RunAtomic), so that two connections cannot both miss and both insert.
#include <cmath>
#include <optional>
#include <string>

#include "QuillData/contract/Coerce.h"
#include "QuillData/sqlite/clsQuillData_SqlLite.h"
#include "sqlite/Operation.h"
#include "sqlite/SqlText.h"
#include "sqlite/Writers.h"

namespace QuillData {

using sqlite_detail::Checked;
using sqlite_detail::InsertWithNewId;
using sqlite_detail::LookUp;
using sqlite_detail::NewImprintId;
using sqlite_detail::Operation;
using sqlite_detail::RequireFinite;
using sqlite_detail::SqlText;

namespace {

// The database's lower() folds ASCII letters only; folding more here would make a
// non-ASCII expression variable miss its own row.
std::wstring AsciiLower(std::wstring text) {
  for (wchar_t& c : text) {
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  }
  return text;
}

// A subtype compared as a number, and written as the number it was read as: text that is not
// a whole number, or a whole number written otherwise ("7,0"), would be stored as text the
// look-up could never find again.
int32_t WholeNumber(const Operation& op, const wchar_t* argument, const std::wstring& text) {
  auto mismatch = [&] {
    return QuillError(
        ErrNo::TypeMismatch, op.Procedure(),
        std::wstring(L"Type mismatch: ") + argument + L" '" + text + L"' is not a whole number");
  };
  double value = 0;
  try {
    value = CDbl(Variant(text));
  } catch (const QuillError& e) {
    if (e.Number() == ErrNo::TypeMismatch) throw mismatch();
    throw;
  }
  if (value != std::trunc(value)) throw mismatch();
  return CLng(Variant(value));
}

// The relationship-pattern column a relation assignment's link goes to. Anything else is
// refused: the text becomes part of a column name, and an assignment without its pattern
// could never be updated.
const wchar_t* PatternField(const Operation& op, const std::wstring& strPatternField) {
  // Column names ignore letter case, so "ee" names the same column as "EE".
  auto upper = [](wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - 32) : c; };
  for (const wchar_t* field : {L"EE", L"EF", L"FE", L"FF"}) {
    if (strPatternField.size() == 2 && upper(strPatternField[0]) == field[0] &&
        upper(strPatternField[1]) == field[1]) {
      return field;
    }
  }
  throw QuillError(ErrNo::InvalidProcedureCall, op.Procedure(),
                   L"strPatternField must be EE, EF, FE or FF, not '" + strPatternField + L"'");
}

// The four link values of a new pattern: `lngLinkID` in the field's place, 0 elsewhere.
struct PatternLinks {
  int32_t ee = 0, ef = 0, fe = 0, ff = 0;
};
PatternLinks LinksFor(const wchar_t* field, int32_t lngLinkID) {
  PatternLinks links;
  std::wstring_view f(field);
  if (f == L"EE") links.ee = lngLinkID;
  if (f == L"EF") links.ef = lngLinkID;
  if (f == L"FE") links.fe = lngLinkID;
  if (f == L"FF") links.ff = lngLinkID;
  return links;
}

}  // namespace

int32_t clsQuillData_SqlLite::INSERTConstructionScenario(const std::wstring& strConstScenarioType,
                                                         const std::wstring& strConstScenarioDesc,
                                                         RecordsAffected) {
  int32_t result = 0;
  Operation op(*this, L"clsQuillData_INSERTConstructionScenario");
  op.RunAtomic(result, [&](Trap& t) {
    if (auto found =
            LookUp(op, t,
                   SqlText(L" SELECT fldConstScenarioID FROM tblConstruction_Scenario_Types "
                           L" WHERE fldConstScenarioType = '")
                       << strConstScenarioType << L"'")) {
      result = *found;
      return;
    }
    InsertWithNewId(op, t,
                    SqlText(L" INSERT INTO tblConstruction_Scenario_Types (fldConstScenarioType, "
                            L"fldConstScenarioDesc) "
                            L" VALUES('")
                        << strConstScenarioType << L"','" << strConstScenarioDesc << L"')",
                    result);
  });
  return result;
}

Variant clsQuillData_SqlLite::INSERTGlobalContrFeatrLists(const int32_t& lngFeatureID,
                                                          const std::wstring& strNewFtrSandEPoints,
                                                          const std::wstring& strLinkName,
                                                          const std::wstring& strLinkDescription,
                                                          const std::wstring& strLinkType,
                                                          const std::wstring& strLinkVarSet) {
  Variant result;
  Operation op(*this, L"clsQuillData_INSERTGlobalContrFeatrLists");
  op.RunAtomic(result, [&](Trap& t) {
    if (auto found =
            LookUp(op, t,
                   SqlText(L" SELECT fldFeatureListID FROM tblGlobal_Contr_Featr_Lists "
                           L" WHERE fldFeatureID = ")
                       << lngFeatureID << L" AND fldNewFtrSandEPoints = '" << strNewFtrSandEPoints
                       << L"'"
                          L" AND fldLinkName = '"
                       << strLinkName << L"'" << L" AND fldLinkType = '" << strLinkType << L"'"
                       << L" AND fldLinkVarSet = '" << strLinkVarSet << L"'")) {
      result = Variant(*found);
      return;
    }
    InsertWithNewId(op, t,
                    SqlText(L" INSERT INTO tblGlobal_Contr_Featr_Lists (fldFeatureID, "
                            L"fldNewFtrSandEPoints,fldLinkName,fldLinkDescription,fldLinkType,"
                            L"fldLinkVarSet) "
                            L" VALUES(")
                        << lngFeatureID << L",'" << strNewFtrSandEPoints << L"','" << strLinkName
                        << L"','" << strLinkDescription << L"','" << strLinkType << L"','"
                        << strLinkVarSet << L"')",
                    result);
  });
  return result;
}

Variant clsQuillData_SqlLite::INSERTGlobalContrFeatrPatterns(const int32_t& lngPartType,
                                                             const std::wstring& strSubType,
                                                             const int32_t& lngFeatureKey,
                                                             const int32_t& lngFeatureListID) {
  Variant result;
  Operation op(*this, L"clsQuillData_INSERTGlobalContrFeatrPatterns");
  op.RunAtomic(result, [&](Trap& t) {
    // A found row answers with its first column, the part type.
    if (auto found = LookUp(op, t,
                            SqlText(L" SELECT * FROM tblGlobal_Contr_Featr_Patterns "
                                    L" WHERE fldPartTypeID = ")
                                << lngPartType << L" AND fldSubTypeID = '" << strSubType << L"'"
                                << L" AND fldFeatureKey = " << lngFeatureKey
                                << L" AND fldFeatureListID = " << lngFeatureListID)) {
      result = Variant(*found);
      return;
    }
    InsertWithNewId(op, t,
                    SqlText(L" INSERT INTO tblGlobal_Contr_Featr_Patterns (fldPartTypeID,"
                            L"fldSubTypeID,fldFeatureKey,fldFeatureListID) "
                            L" VALUES(")
                        << lngPartType << L",'" << strSubType << L"'," << lngFeatureKey << L","
                        << lngFeatureListID << L")",
                    result);
  });
  return result;
}

void clsQuillData_SqlLite::INSERTFilter(const int32_t& lngPartType1, const int32_t& lngPartType2,
                                        const std::wstring& strSubType1,
                                        const std::wstring& strSubType2, RecordsAffected) {
  Operation op(*this, L"clsQuillData_INSERTFilter");
  op.RunAtomic([&](Trap& t) {
    // The part types are text columns: compared as quoted text, written as numbers.
    if (LookUp(op, t,
               SqlText(L" SELECT * FROM tblFilter_Scenarios "
                       L" WHERE fldPartType1 = '")
                   << lngPartType1 << L"' AND fldPartType2 = '" << lngPartType2 << L"'"
                   << L" AND fldSubType1 = '" << strSubType1 << L"' AND fldSubType2 = '"
                   << strSubType2 << L"'")) {
      return;
    }
    t.Step([&] {
      op.Exec(SqlText(L" INSERT INTO tblFilter_Scenarios (fldFltrScenarioID,fldPartType1,"
                      L"fldPartType2,fldSubType1,fldSubType2) "
                      L" VALUES(0,")
              << lngPartType1 << L"," << lngPartType2 << L",'" << strSubType1 << L"','"
              << strSubType2 << L"')");
    });
  });
}

void clsQuillData_SqlLite::INSERTGlobalFaceContourLinks(
    const std::wstring& strLinkName, const std::wstring& strLinkDescription,
    const std::wstring& strLinkType, const std::wstring& strLinkVarSet, const int32_t& lngPartType,
    const std::wstring& strSubType, const int32_t& lngConstScenarioID) {
  Operation op(*this, L"clsQuillData_INSERTGlobalFaceContourLinks");
  op.RunWriter([&](Trap& t) {
    t.Step([&] {
      op.Exec(SqlText(L" INSERT INTO tblGlobal_Face_Contour_Links (fldLinkName, "
                      L"fldLinkDescription, fldLinkType,fldLinkVarSet,fldConstScenarioID,"
                      L"fldPartTypeID,fldSubTypeID) "
                      L" VALUES ('")
              << strLinkName << L"','" << strLinkDescription << L"','" << strLinkType << L"','"
              << strLinkVarSet << L"'," << lngConstScenarioID << L"," << lngPartType << L",'"
              << strSubType << L"')");
    });
  });
}

int32_t clsQuillData_SqlLite::INSERTImprintAssignments(
    const int32_t& lngConstScenarioID, const std::wstring& strImprintType,
    const int32_t& lngPartType1, const int32_t& lngPartType2,
    const std::wstring& strFeaturePattern1, const std::wstring& strFeaturePattern2,
    const std::wstring& strFaceNormal1, const std::wstring& strFaceNormal2,
    const std::wstring& strSubType1, const std::wstring& strSubType2,
    const std::wstring& strPart1FacesTypeOrient, const std::wstring& strPart2FacesTypeOrient,
    const bool& blnFront) {
  int32_t result = 0;
  Operation op(*this, L"clsQuillData_INSERTImprintAssignments");
  op.RunAtomic(result, [&](Trap& t) {
    int32_t subType1 = 0, subType2 = 0;
    if (!Checked(t, [&] {
          subType1 = WholeNumber(op, L"strSubType1", strSubType1);
          subType2 = WholeNumber(op, L"strSubType2", strSubType2);
        })) {
      return;
    }
    SqlText lookUp(
        L" SELECT fldlngRelationPattern FROM tblGlobal_Imprint_Assignments "
        L" WHERE fldlngConstScenarioID = ");
    lookUp << lngConstScenarioID << L" AND fldstrUDI_Type = '" << strImprintType << L"'"
           << L" AND fldstrPartType1 = " << lngPartType1 << L" AND fldstrPartType2 = "
           << lngPartType2 << L" AND fldstrFeaturePattern1 = '" << strFeaturePattern1 << L"'"
           << L" AND fldstrFeaturePattern2 = '" << strFeaturePattern2 << L"'"
           << L" AND fldstrFaceNormal1 = '" << strFaceNormal1 << L"'"
           << L" AND fldstrFaceNormal2 = '" << strFaceNormal2 << L"'" << L" AND fldSubType1 = "
           << subType1 << L" AND fldSubType2 = " << subType2 << L" AND fldblnFront = " << blnFront;
    // The orientation texts are compared whole, as the insert stores them whole: a cut text
    // would never equal a stored one longer than the cut.
    if (!strPart1FacesTypeOrient.empty()) {
      lookUp << L" AND fldstrPart1FacesTypeOrient = '" << strPart1FacesTypeOrient << L"'"
             << L" AND fldstrPart2FacesTypeOrient = '" << strPart2FacesTypeOrient << L"'";
    }
    if (auto found = LookUp(op, t, lookUp)) {
      result = *found;
      return;
    }
    std::optional<sqlite_detail::Name> id;
    t.Step([&] { id = NewImprintId(op); });
    InsertWithNewId(
        op, t,
        SqlText(L" INSERT INTO tblGlobal_Imprint_Assignments (fldlngRelationPattern,"
                L"fldlngConstScenarioID,fldstrUDI_Type,"
                L"fldstrPartType1,fldstrPartType2,fldstrFeaturePattern1,fldstrFeaturePattern2,"
                L"fldstrFaceNormal1,fldstrFaceNormal2,fldSubType1,fldSubType2,"
                L"fldstrPart1FacesTypeOrient,fldstrPart2FacesTypeOrient,fldblnFront) "
                L" VALUES(")
            << *id << L"," << lngConstScenarioID << L",'" << strImprintType << L"'," << lngPartType1
            << L"," << lngPartType2 << L",'" << strFeaturePattern1 << L"','" << strFeaturePattern2
            << L"','" << strFaceNormal1 << L"','" << strFaceNormal2 << L"','" << subType1 << L"','"
            << subType2 << L"','" << strPart1FacesTypeOrient << L"','" << strPart2FacesTypeOrient
            << L"'," << blnFront << L")",
        result);
  });
  return result;
}

int32_t clsQuillData_SqlLite::INSERTMachining(const std::wstring& strMachName,
                                              const std::wstring& strMachGroup,
                                              const int32_t& MachLibID, const double& X,
                                              const double& Y, const double& Z, RecordsAffected) {
  int32_t result = 0;
  Operation op(*this, L"clsQuillData_INSERTMachining");
  op.RunAtomic(result, [&](Trap& t) {
    if (!Checked(t, [&] {
          RequireFinite(op, L"X", X);
          RequireFinite(op, L"Y", Y);
          RequireFinite(op, L"Z", Z);
        })) {
      return;
    }
    if (auto found = LookUp(op, t,
                            SqlText(L" SELECT MachID FROM Machining "
                                    L" WHERE [MachName] = '")
                                << strMachName << L"' AND MachLibID = " << MachLibID)) {
      result = *found;
      return;
    }
    InsertWithNewId(op, t,
                    SqlText(L" INSERT INTO Machining ([MachName], X, Y, Z, MachGroup, MachLibID) "
                            L" VALUES('")
                        << strMachName << L"'," << X << L"," << Y << L"," << Z << L",'"
                        << strMachGroup << L"'," << MachLibID << L")",
                    result);
  });
  return result;
}

int32_t clsQuillData_SqlLite::INSERTMachLink(const int32_t& MachID, const int32_t& MachRuleID,
                                             const std::wstring& MachListVar,
                                             const std::wstring& MachExprVar, const bool& MirrorX,
                                             const bool& MirrorY, RecordsAffected) {
  int32_t result = 0;
  Operation op(*this, L"clsQuillData_INSERTMachLink");
  op.RunAtomic(result, [&](Trap& t) {
    if (auto found =
            LookUp(op, t,
                   SqlText(L" SELECT MachLinkID FROM MachLink "
                           L" WHERE MachID = ")
                       << MachID << L" AND MachRuleID = " << MachRuleID
                       << L" AND lower(MachExprVar) = '" << AsciiLower(MachExprVar)
                       << L"' AND MirrorX = " << MirrorX << L" AND MirrorY = " << MirrorY)) {
      result = *found;
      return;
    }
    InsertWithNewId(op, t,
                    SqlText(L" INSERT INTO MachLink (MachID, MachRuleID, MachListVar, MachExprVar, "
                            L"MirrorX, MirrorY) "
                            L" VALUES(")
                        << MachID << L"," << MachRuleID << L",'" << MachListVar << L"','"
                        << MachExprVar << L"'," << MirrorX << L"," << MirrorY << L")",
                    result);
  });
  return result;
}

int32_t clsQuillData_SqlLite::INSERTMachRouting(const std::wstring& Name, const int32_t& MachID,
                                                const int32_t& lngPocket, RecordsAffected) {
  int32_t result = 0;
  Operation op(*this, L"clsQuillData_INSERTMachRouting");
  op.RunAtomic(result, [&](Trap& t) {
    if (!LookUp(op, t, SqlText(L" SELECT MachID FROM Machining WHERE MachID = ") << MachID)) {
      return;
    }
    // Every column but MachID gets the value of a new tblMachRouting record, as quoted text.
    InsertWithNewId(
        op, t,
        SqlText(L" INSERT INTO MachRouting ([strName],[MachDescription],[strActiveFlag] "
                L",[strDepthOption],[dblDepthValue],[dblDefaultToolDiameter],[lngToolType],"
                L"[strToolRotation],[lngToolRotationSpeed]"
                L",[lngToolPlungeFeedRate],[lngToolMiniFeedRate],[lngToolMaxiFeedRate],"
                L"[lngToolDefaultFeedRate]"
                L",[strOption],[lngOscillation],[lngGrain],[ToolCompensation]"
                L",[lngLeadInEgalLeadout],[lngLeadInL],[strLeadInType],[lngLeadInRamp],"
                L"[lngLeadInLength],[lngLeadInAngle]"
                L",[strLeadOutType],[lngLeadOutRamp],[lngLeadOutLength],[lngLeadOutAngle]"
                L",[dblXYOffsetDistance],[strOffsetDirection],[ZOffsetDistance]"
                L",[lngPocket],[strOptionValue],[dblToolLength],[dblToolCutLength],[ToolName]"
                L",[FeatLength],[FeatWidth],[FeatDepth],[FeatCornerRadius],[FeatCenterX],"
                L"[FeatCenterY],[FeatCenterZ]"
                L",[NormalX],[NormalY],[NormalZ],[MachID])"
                L" VALUES('")
            << Name << L"','" << Name
            << L"','A','dep_per_no','0','12','1','right'"
               L",'18000','100','50','90','90'"
               L",'nil','0','','0'"
               L",'1','0','lead_in_no','0','100','90'"
               L",'lead_out_no','0','100','90'"
               L",'0','cont_offset_right','0','"
            << lngPocket
            << L"','0','0','0','0'"
               L",'0','0','0','0','0','0','0'"
               L",'0','0','0',"
            << MachID << L")",
        result);
  });
  return result;
}

int32_t clsQuillData_SqlLite::INSERTMachVariable(const std::wstring& Name,
                                                 const std::wstring& Value,
                                                 const int32_t& MachLibID, const bool& Requested,
                                                 RecordsAffected) {
  int32_t result = 0;
  Operation op(*this, L"clsQuillData_INSERTMachVariable");
  op.RunAtomic(result, [&](Trap& t) {
    // A variable found by name keeps its old value.
    if (auto found = LookUp(op, t,
                            SqlText(L" SELECT MachVarID FROM MachVariable "
                                    L" WHERE [Name] = '")
                                << Name << L"' AND MachLibID = " << MachLibID)) {
      result = *found;
      return;
    }
    InsertWithNewId(op, t,
                    SqlText(L" INSERT INTO MachVariable ([Name], [Value], MachLibID, Requested) "
                            L" VALUES('")
                        << Name << L"','" << Value << L"'," << MachLibID << L"," << Requested
                        << L")",
                    result);
  });
  return result;
}

int32_t clsQuillData_SqlLite::INSERTMachVertical(const std::wstring& Name,
                                                 const std::wstring& Orientation,
                                                 const int32_t& MachID, RecordsAffected) {
  int32_t result = 0;
  Operation op(*this, L"clsQuillData_INSERTMachVertical");
  op.RunAtomic(result, [&](Trap& t) {
    if (!LookUp(op, t, SqlText(L" SELECT MachID FROM Machining WHERE MachID = ") << MachID)) {
      return;
    }
    // A vertical ("V", letter case counts) drills down from Z; any other orientation drills
    // along Y.
    const wchar_t* constants = Orientation == L"V"
                                   ? L"','0','0','0','Z', '0','0','-1','0','0','0','0','0',"
                                   : L"','0','0','0','0', '0','1','0','0','0','0','0','0',";
    InsertWithNewId(op, t,
                    SqlText(L" INSERT INTO MachVertical (MachDescription ,strName ,"
                            L"strMachOrientation,Condition,Xstart,Ystart,Zstart,NormalX,NormalY,"
                            L"NormalZ,DrillDepth,ToolDiameter,NumberOfHoles,"
                            L"OffsetDistancealongXaxis,OffsetDistancealongYaxis,MachID) "
                            L" VALUES('")
                        << Name << L"','" << Name << L"','" << Orientation << constants << MachID
                        << L")",
                    result);
  });
  return result;
}

void clsQuillData_SqlLite::INSERTMFGPartTypes(
    const int32_t& lngMFGScenarioID, const int32_t& lngPartType, const std::wstring& strSubTypeID,
    const std::wstring& strPartDesc, const std::wstring& strPartKind,
    const std::wstring& strPartGrain, const std::wstring& strSubtypeDesc, const bool&,
    RecordsAffected) {
  Operation op(*this, L"clsQuillData_INSERTMFGPartTypes");
  op.RunAtomic([&](Trap& t) {
    if (!LookUp(op, t,
                SqlText(L" SELECT fldPartID FROM tblMFG_Part_Types "
                        L" WHERE fldSubTypeID = '")
                    << strSubTypeID << L"' AND fldPartID = " << lngPartType)) {
      t.Step([&] {
        op.Exec(SqlText(L" INSERT INTO tblMFG_Part_Types (fldPartID,fldSubTypeID,"
                        L"fldPartDescription, fldPartKind, fldPartGrain,fldSubTypeDesc) "
                        L" VALUES(")
                << lngPartType << L",'" << strSubTypeID << L"','" << strPartDesc << L"','"
                << strPartKind << L"','" << strPartGrain << L"','" << strSubtypeDesc << L"')");
      });
    }
    // The scenario row is made whether the part type was found or not.
    if (!LookUp(op, t,
                SqlText(L" SELECT fldPartID,fldSubTypeID,fldMFGScenarioID FROM tblMFG_Scenario "
                        L" WHERE fldSubTypeID = '")
                    << strSubTypeID << L"' AND fldPartID = " << lngPartType
                    << L" AND fldMFGScenarioID = " << lngMFGScenarioID)) {
      t.Step([&] {
        op.Exec(SqlText(L" INSERT INTO tblMFG_Scenario (fldMFGScenarioID, fldMFGProcessID, "
                        L"fldPartID, fldSubTypeID, fldMachOrientAngle, fldVenLam, fldGrainDir, "
                        L"fldVLFrGrainDir, fldVLBkGrainDir, fldIsFlipped) "
                        L" VALUES(")
                << lngMFGScenarioID << L",0," << lngPartType << L",'" << strSubTypeID
                << L"','0',0,'None','None','None','No')");
      });
    }
  });
}

int32_t clsQuillData_SqlLite::INSERTSELDesignIDFromLocalDesigns(const std::wstring& strDesignName,
                                                                const std::wstring& strComputerName,
                                                                RecordsAffected) {
  // No trap: a failure reaches the caller as it is (after the unit is rolled back).
  int32_t result = 0;
  Operation op(*this, L"clsQuillData_INSERTSELDesignIDFromLocalDesigns");
  op.Atomically([&] {
    if (auto found = op.QueryInt(SqlText(L" SELECT fldDesignID FROM tblLocal_Designs "
                                         L" WHERE fldDesignName = '")
                                 << strDesignName << L"'" << L" AND fldComputerName = '"
                                 << strComputerName << L"'")) {
      result = *found;
      return;
    }
    if (!op.Insert(SqlText(L" INSERT INTO tblLocal_Designs "
                           L" (fldDesignName, fldComputerName) "
                           L" VALUES ( '")
                   << strDesignName << L"','" << strComputerName << L"')")) {
      return;
    }
    if (auto id = op.NewId()) result = *id;
  });
  return result;
}

int32_t clsQuillData_SqlLite::INSERTSELLinkIDFromLocalMachiningLinks(
    const std::wstring& strLinkType, const std::wstring& strLinkDesc,
    const std::wstring& strLinkName, const double& dblAngle, const int32_t& lngMirrorX,
    const int32_t& lngMirrorY, const int32_t& lngPrimary, const std::wstring& strVarSet,
    const std::wstring& strRefCorner, const std::wstring& strPattType,
    const std::wstring& strRelation, RecordsAffected) {
  int32_t result = 0;
  Operation op(*this, L"clsQuillData_INSERTSELLinkIDFromLocalMachiningLinks");
  op.RunAtomic(result, [&](Trap& t) {
    if (!Checked(t, [&] { RequireFinite(op, L"dblAngle", dblAngle); })) return;
    if (auto found =
            LookUp(op, t,
                   SqlText(L" SELECT fldLinkID FROM tblLocal_Machining_Links "
                           L" WHERE fldType = '")
                       << strLinkType << L"'" << L" AND fldDescription = '" << strLinkDesc << L"'"
                       << L" AND fldName = '" << strLinkName << L"'" << L" AND fldMirrorX = "
                       << lngMirrorX << L" AND fldMirrorY = " << lngMirrorY << L" AND fldAngle = "
                       << dblAngle << L" AND fldVarSet = '" << strVarSet << L"'"
                       << L" AND fldIsPrimary = " << lngPrimary << L" AND fldRefCorner = '"
                       << strRefCorner << L"'" << L" AND fldPattType = '" << strPattType << L"'"
                       << L" AND fldRelation = '" << strRelation << L"'")) {
      result = *found;
      return;
    }
    InsertWithNewId(op, t,
                    SqlText(L" INSERT INTO tblLocal_Machining_Links "
                            L" (fldPattType,fldRelation,fldType, fldDescription, fldName, "
                            L"fldMirrorX, fldMirrorY, fldAngle, fldVarSet, fldIsPrimary, "
                            L"fldRefCorner) "
                            L" VALUES ( '")
                        << strPattType << L"','" << strRelation << L"','" << strLinkType << L"','"
                        << strLinkDesc << L"','" << strLinkName << L"'," << lngMirrorX << L","
                        << lngMirrorY << L"," << dblAngle << L",'" << strVarSet << L"',"
                        << lngPrimary << L",'" << strRefCorner << L"')",
                    result);
  });
  return result;
}

int32_t clsQuillData_SqlLite::INSERTSELLinkIDFromMachiningLinks(
    const std::wstring& strLinkType, const std::wstring& strLinkDesc,
    const std::wstring& strLinkName, const double& dblAngle, const int32_t& lngMirrorX,
    const int32_t& lngMirrorY, const int32_t& lngPrimary, const std::wstring& strVarSet,
    const std::wstring& strRefCorner, RecordsAffected) {
  int32_t result = 0;
  Operation op(*this, L"clsQuillData_INSERTSELLinkIDFromMachiningLinks");
  op.RunAtomic(result, [&](Trap& t) {
    if (!Checked(t, [&] { RequireFinite(op, L"dblAngle", dblAngle); })) return;
    if (auto found = LookUp(
            op, t,
            SqlText(L" SELECT fldLinkID FROM tblGlobal_Machining_Links "
                    L" WHERE fldType = '")
                << strLinkType << L"'" << L" AND fldDescription = '" << strLinkDesc << L"'"
                << L" AND fldName = '" << strLinkName << L"'" << L" AND fldMirrorX = " << lngMirrorX
                << L" AND fldMirrorY = " << lngMirrorY << L" AND fldAngle = " << dblAngle
                << L" AND fldVarSet = '" << strVarSet << L"'" << L" AND fldIsPrimary = "
                << lngPrimary << L" AND fldRefCorner = '" << strRefCorner << L"'")) {
      result = *found;
      return;
    }
    InsertWithNewId(op, t,
                    SqlText(L" INSERT INTO tblGlobal_Machining_Links "
                            L" (fldType, fldDescription, fldName, fldMirrorX, fldMirrorY, "
                            L"fldAngle, fldVarSet, fldIsPrimary, fldRefCorner) "
                            L" VALUES ( '")
                        << strLinkType << L"','" << strLinkDesc << L"','" << strLinkName << L"',"
                        << lngMirrorX << L"," << lngMirrorY << L"," << dblAngle << L",'"
                        << strVarSet << L"'," << lngPrimary << L",'" << strRefCorner << L"')",
                    result);
  });
  return result;
}

int32_t clsQuillData_SqlLite::INSERTUPDATEGlobalImprintDefinitions(
    const int32_t& lngRelationPattern, const bool& blnMerge, const int32_t& lngBotPartType,
    const int32_t& lngBotOffset, const int32_t& lngBotSide, const bool& blnBotUnion,
    const int32_t& lngRightPartType, const int32_t& lngRightOffset, const int32_t& lngRightSide,
    const bool& blnRightUnion, const int32_t& lngTopPartType, const int32_t& lngTopOffset,
    const int32_t& lngTopSide, const bool& blnTopUnion, const int32_t& lngLeftPartType,
    const int32_t& lngLeftOffset, const int32_t& lngLeftSide, const bool& blnLeftUnion,
    RecordsAffected) {
  int32_t result = 0;
  Operation op(*this, L"clsQuillData_INSERTUPDATEGlobalImprintDefinitions");
  op.RunAtomic(result, [&](Trap& t) {
    if (auto found = LookUp(op, t,
                            SqlText(L" SELECT fldlngRelationPattern FROM "
                                    L"tblGlobal_Imprint_Definitions "
                                    L" WHERE fldlngRelationPattern = ")
                                << lngRelationPattern)) {
      result = *found;
      t.Step([&] {
        op.Exec(SqlText(L" UPDATE tblGlobal_Imprint_Definitions SET fldLngBotPartType = ")
                << lngBotPartType << L", fldLngBotOffset = " << lngBotOffset
                << L", fldLngBotSide = " << lngBotSide << L", fldblnBotUnion = " << blnBotUnion
                << L", fldLngRightPartType = " << lngRightPartType << L", fldLngRightOffset = "
                << lngRightOffset << L", fldLngRightSide = " << lngRightSide
                << L", fldblnRightUnion = " << blnRightUnion << L", fldLngTopPartType = "
                << lngTopPartType << L", fldLngTopOffset = " << lngTopOffset
                << L", fldLngTopSide = " << lngTopSide << L", fldblnTopUnion = " << blnTopUnion
                << L", fldLngLeftPartType = " << lngLeftPartType << L", fldLngLeftOffset = "
                << lngLeftOffset << L", fldLngLeftSide = " << lngLeftSide << L", fldblnLeftUnion = "
                << blnLeftUnion << L",fldMerge = " << blnMerge << L" WHERE fldlngRelationPattern = "
                << lngRelationPattern);
      });
      return;
    }
    InsertWithNewId(
        op, t,
        SqlText(L" INSERT INTO tblGlobal_Imprint_Definitions (fldlngRelationPattern, "
                L"fldLngBotPartType, fldLngBotOffset, fldLngBotSide, fldblnBotUnion, "
                L"fldLngRightPartType, fldLngRightOffset, fldLngRightSide, fldblnRightUnion, "
                L"fldLngTopPartType, fldLngTopOffset, fldLngTopSide, fldblnTopUnion, "
                L"fldLngLeftPartType, fldLngLeftOffset, fldLngLeftSide, fldblnLeftUnion,fldMerge) "
                L" VALUES(")
            << lngRelationPattern << L"," << lngBotPartType << L"," << lngBotOffset << L","
            << lngBotSide << L"," << blnBotUnion << L"," << lngRightPartType << L","
            << lngRightOffset << L"," << lngRightSide << L"," << blnRightUnion << L","
            << lngTopPartType << L"," << lngTopOffset << L"," << lngTopSide << L"," << blnTopUnion
            << L"," << lngLeftPartType << L"," << lngLeftOffset << L"," << lngLeftSide << L","
            << blnLeftUnion << L"," << blnMerge << L")",
        result);
  });
  return result;
}

void clsQuillData_SqlLite::INSERTUPDATEGlobalRelationAssignments(
    const int32_t& lngMachScenarioID, const int32_t& lngPartType1, const int32_t& lngPartType2,
    const std::wstring& strSubType1, const std::wstring& strSubType2,
    const std::wstring& strFeaturePattern1, const std::wstring& strFeaturePattern2,
    const std::wstring& strFaceNormal1, const std::wstring& strFaceNormal2,
    const int32_t& lngLinkID, const std::wstring& strPatternField, RecordsAffected) {
  Operation op(*this, L"clsQuillData_INSERTUPDATEGlobalRelationAssignments");
  op.RunAtomic([&](Trap& t) {
    const wchar_t* field = nullptr;
    if (!Checked(t, [&] { field = PatternField(op, strPatternField); })) return;
    if (auto pattern = LookUp(
            op, t,
            SqlText(L" SELECT fldPatternID FROM tblGlobal_Relation_Assignments "
                    L" WHERE fldConstScenarioID = ")
                << lngMachScenarioID << L" AND fldPartType1 = " << lngPartType1
                << L" AND fldPartType2 = " << lngPartType2 << L" AND fldSubType1 = '" << strSubType1
                << L"' AND fldSubType2 = '" << strSubType2 << L"'" << L" AND fldFeaturePattern1 = '"
                << strFeaturePattern1 << L"' AND fldFeaturePattern2 = '" << strFeaturePattern2
                << L"'" << L" AND fldFaceNormal1 = '" << strFaceNormal1
                << L"' AND fldFaceNormal2 = '" << strFaceNormal2 << L"'")) {
      t.Step([&] {
        op.Exec(SqlText(L" UPDATE tblGlobal_Relationship_Patterns "
                        L" SET fldLinkID")
                << field << L" = " << lngLinkID << L" WHERE fldPatternID = " << *pattern);
      });
      return;
    }
    const PatternLinks links = LinksFor(field, lngLinkID);
    const int32_t patternId =
        INSERTGlobalRelationShipPattern(links.ee, links.ef, links.fe, links.ff);
    // The pattern writer is part of this unit: its failure is the unit's. No pattern without
    // a failure (a trigger dropped the row): an assignment pointing at no pattern could never
    // be updated, so none is written.
    if (patternId == 0) return;
    t.Step([&] {
      op.Exec(SqlText(L" INSERT INTO tblGlobal_Relation_Assignments (fldPatternID, "
                      L"fldConstScenarioID, fldPartType1, fldPartType2, fldFeaturePattern1, "
                      L"fldFeaturePattern2, fldFaceNormal1, fldFaceNormal2, fldSubType1, "
                      L"fldSubType2) "
                      L" VALUES(")
              << patternId << L"," << lngMachScenarioID << L"," << lngPartType1 << L","
              << lngPartType2 << L",'" << strFeaturePattern1 << L"','" << strFeaturePattern2
              << L"','" << strFaceNormal1 << L"','" << strFaceNormal2 << L"','" << strSubType1
              << L"','" << strSubType2 << L"')");
    });
  });
}

void clsQuillData_SqlLite::INSERTUPDATELocalRelationAssignments(
    const int32_t& lngMachScenarioID, const int32_t& lngPartType1, const int32_t& lngPartType2,
    const std::wstring& strSubType1, const std::wstring& strSubType2,
    const std::wstring& strFeaturePattern1, const std::wstring& strFeaturePattern2,
    const std::wstring& strFaceNormal1, const std::wstring& strFaceNormal2,
    const int32_t& lngLinkID, const std::wstring& strPatternField, const std::wstring& strPattType,
    const std::wstring& strRelation, const int32_t& lngDesignID, RecordsAffected) {
  Operation op(*this, L"clsQuillData_INSERTUPDATELocalRelationAssignments");
  op.RunAtomic([&](Trap& t) {
    const wchar_t* field = nullptr;
    if (!Checked(t, [&] { field = PatternField(op, strPatternField); })) return;
    if (auto pattern = LookUp(
            op, t,
            SqlText(L" SELECT fldPatternID FROM tblLocal_Relation_Assignments "
                    L" WHERE fldConstScenarioID = ")
                << lngMachScenarioID << L" AND fldPartType1 = " << lngPartType1
                << L" AND fldPartType2 = " << lngPartType2 << L" AND fldSubType1 = '" << strSubType1
                << L"' AND fldSubType2 = '" << strSubType2 << L"'" << L" AND fldFeaturePattern1 = '"
                << strFeaturePattern1 << L"' AND fldFeaturePattern2 = '" << strFeaturePattern2
                << L"'" << L" AND fldFaceNormal1 = '" << strFaceNormal1
                << L"' AND fldFaceNormal2 = '" << strFaceNormal2 << L"'" << L" AND fldDesignID = "
                << lngDesignID << L" AND fldPattType = '" << strPattType << L"' AND fldRelation = '"
                << strRelation << L"'")) {
      t.Step([&] {
        op.Exec(SqlText(L" UPDATE tblLocal_Relationship_Patterns "
                        L" SET fldLinkID")
                << field << L" = " << lngLinkID << L" WHERE fldPatternID = " << *pattern);
      });
      return;
    }
    const PatternLinks links = LinksFor(field, lngLinkID);
    const int32_t patternId = INSERTLocalRelationShipPattern(links.ee, links.ef, links.fe, links.ff,
                                                             strPattType, strRelation);
    if (patternId == 0) return;  // see the global one
    t.Step([&] {
      op.Exec(SqlText(L" INSERT INTO tblLocal_Relation_Assignments (fldDesignID, fldPattType, "
                      L"fldRelation, fldPatternID, fldConstScenarioID, fldPartType1, "
                      L"fldPartType2, fldFeaturePattern1, fldFeaturePattern2, fldFaceNormal1, "
                      L"fldFaceNormal2, fldSubType1, fldSubType2) "
                      L" VALUES(")
              << lngDesignID << L",'" << strPattType << L"','" << strRelation << L"'," << patternId
              << L"," << lngMachScenarioID << L"," << lngPartType1 << L"," << lngPartType2 << L",'"
              << strFeaturePattern1 << L"','" << strFeaturePattern2 << L"','" << strFaceNormal1
              << L"','" << strFaceNormal2 << L"','" << strSubType1 << L"','" << strSubType2
              << L"')");
    });
  });
}

int32_t clsQuillData_SqlLite::INSERTGlobalRelationShipPattern(const int32_t& lngLinkIDEE,
                                                              const int32_t& lngLinkIDEF,
                                                              const int32_t& lngLinkIDFE,
                                                              const int32_t& lngLinkIDFF) {
  int32_t result = 0;
  Operation op(*this, L"INSERTGlobalRelationShipPattern");
  op.RunWriter([&](Trap& t) {
    InsertWithNewId(op, t,
                    SqlText(L" INSERT INTO tblGlobal_Relationship_Patterns (fldLinkIDEE,"
                            L"fldLinkIDEF,fldLinkIDFE,fldLinkIDFF) "
                            L" VALUES(")
                        << lngLinkIDEE << L"," << lngLinkIDEF << L"," << lngLinkIDFE << L","
                        << lngLinkIDFF << L")",
                    result);
  });
  return result;
}

int32_t clsQuillData_SqlLite::INSERTLocalRelationShipPattern(
    const int32_t& lngLinkIDEE, const int32_t& lngLinkIDEF, const int32_t& lngLinkIDFE,
    const int32_t& lngLinkIDFF, const std::wstring& strPattType, const std::wstring& strRelation) {
  int32_t result = 0;
  Operation op(*this, L"INSERTLocalRelationShipPattern");
  op.RunWriter([&](Trap& t) {
    InsertWithNewId(op, t,
                    SqlText(L" INSERT INTO tblLocal_Relationship_Patterns (fldLinkIDEE,"
                            L"fldLinkIDEF,fldLinkIDFE,fldLinkIDFF,fldPattType,fldRelation) "
                            L" VALUES(")
                        << lngLinkIDEE << L"," << lngLinkIDEF << L"," << lngLinkIDFE << L","
                        << lngLinkIDFF << L",'" << strPattType << L"','" << strRelation << L"')",
                    result);
  });
  return result;
}

}  // namespace QuillData
