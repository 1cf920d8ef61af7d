// The delete and update operations. Deletes that span tables run one statement per step, so
// the error companion decides whether a failure half-way stops there or goes on. Column and
// table names taken from arguments are checked against the live schema before they enter a
// statement.
#include <algorithm>
#include <optional>
#include <string>

#include "QuillData/sqlite/clsQuillData_SqlLite.h"
#include "QuillData/sqlite/modMain.h"
#include "sqlite/Operation.h"
#include "sqlite/SqlText.h"
#include "sqlite/Writers.h"

namespace QuillData {

using sqlite_detail::Checked;
using sqlite_detail::Column;
using sqlite_detail::ColumnValue;
using sqlite_detail::LookUp;
using sqlite_detail::Name;
using sqlite_detail::Operation;
using sqlite_detail::RequireFinite;
using sqlite_detail::SqlText;

namespace {

// A writer made of one statement. The text is built inside the step: an argument it refuses
// is reported as the statement's failure.
template <class Build>
int32_t ExecOne(clsQuillData_SqlLite& db, const wchar_t* procedure, Build&& build) {
  Operation op(db, procedure);
  op.RunWriter([&](Trap& t) { t.Step([&] { op.Exec(build()); }); });
  return 0;
}

bool IsPatternTable(const std::wstring& table) {
  // Table names ignore ASCII letter case.
  auto lower = [](wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c + 32) : c; };
  auto same = [&](std::wstring_view name) {
    return table.size() == name.size() &&
           std::equal(name.begin(), name.end(), table.begin(),
                      [&](wchar_t a, wchar_t b) { return lower(a) == lower(b); });
  };
  return same(L"tblGlobal_Relationship_Patterns") || same(L"tblLocal_Relationship_Patterns");
}

}  // namespace

void clsQuillData_SqlLite::DELFilter(const int32_t& lngPartType1, const int32_t& lngPartType2,
                                     const std::wstring& strSubType1,
                                     const std::wstring& strSubType2, RecordsAffected) {
  ExecOne(*this, L"clsQuillData_DELFilter", [&] {
    return SqlText(
               L" DELETE FROM tblFilter_Scenarios "
               L" WHERE fldPartType1 = ")
           << lngPartType1 << L" AND fldPartType2 =" << lngPartType2 << L" AND fldSubType1 = '"
           << strSubType1 << L"' AND fldSubType2 ='" << strSubType2 << L"'";
  });
}

int32_t clsQuillData_SqlLite::DELGlobalContrFeatrPatterns(const int32_t& lngPartType,
                                                          const std::wstring& strSubTypeID,
                                                          const int32_t& lngFeatureKey,
                                                          const int32_t& lngFeatureListID,
                                                          RecordsAffected) {
  return ExecOne(*this, L"clsQuillData_DELGlobalContrFeatrPatterns", [&] {
    return SqlText(
               L" DELETE FROM tblGlobal_Contr_Featr_Patterns "
               L" WHERE fldPartTypeID = ")
           << lngPartType << L" AND fldSubTypeID = '" << strSubTypeID << L"' AND fldFeatureKey ="
           << lngFeatureKey << L" AND fldFeatureListID =" << lngFeatureListID;
  });
}

int32_t clsQuillData_SqlLite::DELGlobalFaceContourLinks(const int32_t& lngConstScenarioID,
                                                        const int32_t& lngPartType,
                                                        const std::wstring& strSubType,
                                                        RecordsAffected) {
  return ExecOne(*this, L"clsQuillData_DELGlobalFaceContourLinks", [&] {
    return SqlText(
               L" DELETE FROM tblGlobal_Face_Contour_Links "
               L" WHERE fldPartTypeID = ")
           << lngPartType << L" AND fldSubTypeID = '" << strSubType << L"' AND fldConstScenarioID ="
           << lngConstScenarioID;
  });
}

int32_t clsQuillData_SqlLite::DELImprintAssignments(const int32_t& lngRelationPattern,
                                                    RecordsAffected) {
  return ExecOne(*this, L"clsQuillData_DELImprintAssignments", [&] {
    return SqlText(
               L" DELETE FROM tblGlobal_Imprint_Assignments "
               L" WHERE fldlngRelationPattern = ")
           << lngRelationPattern;
  });
}

int32_t clsQuillData_SqlLite::DELLocalContrFeatrPatterns(const int32_t& lngPartType,
                                                         const std::wstring& strSubTypeID,
                                                         const int32_t& lngFeatureKey,
                                                         RecordsAffected) {
  return ExecOne(*this, L"clsQuillData_DELLocalContrFeatrPatterns", [&] {
    return SqlText(
               L" DELETE FROM tblLocal_Contr_Featr_Patterns "
               L" WHERE fldPartTypeID = ")
           << lngPartType << L" AND fldSubTypeID = '" << strSubTypeID << L"' AND fldFeatureKey ="
           << lngFeatureKey;
  });
}

int32_t clsQuillData_SqlLite::DELLocalFaceContourLinks(
    const int32_t& lngConstScenarioID, const int32_t& lngPartType, const std::wstring& strSubType,
    const std::wstring& strRelation, const std::wstring& strPattType, const int32_t& lngDesignID,
    RecordsAffected) {
  return ExecOne(*this, L"clsQuillData_DELLocalFaceContourLinks", [&] {
    return SqlText(
               L" DELETE FROM tblLocal_Face_Contour_Links "
               L" WHERE fldPartTypeID = ")
           << lngPartType << L" AND fldSubTypeID = '" << strSubType << L"' AND fldConstScenarioID ="
           << lngConstScenarioID << L" AND fldRelation = '" << strRelation
           << L"' AND fldPattType = '" << strPattType << L"' AND fldDesignID =" << lngDesignID;
  });
}

int32_t clsQuillData_SqlLite::DELLocalMachiningLinks(const std::wstring& strPattType,
                                                     const std::wstring& strRelation,
                                                     RecordsAffected) {
  return ExecOne(*this, L"clsQuillData_DELLocalMachiningLinks", [&] {
    return SqlText(
               L" DELETE FROM tblLocal_Machining_Links "
               L" WHERE fldRelation = '")
           << strRelation << L"' AND fldPattType = '" << strPattType << L"'";
  });
}

int32_t clsQuillData_SqlLite::DELMachining(const int32_t& MachID, RecordsAffected) {
  // The machining row first, then its drillings and routings; links and variables stay.
  Operation op(*this, L"clsQuillData_DELMachining");
  op.RunWriter([&](Trap& t) {
    t.Step([&] { op.Exec(SqlText(L" DELETE FROM Machining WHERE MachID = ") << MachID); });
    t.Step([&] { op.Exec(SqlText(L" DELETE FROM MachVertical WHERE MachID = ") << MachID); });
    t.Step([&] { op.Exec(SqlText(L" DELETE FROM MachRouting WHERE MachID = ") << MachID); });
  });
  return 0;
}

int32_t clsQuillData_SqlLite::DELMachLink(const int32_t& MachLinkID, RecordsAffected) {
  return ExecOne(*this, L"clsQuillData_DELMachLink", [&] {
    return SqlText(L" DELETE FROM MachLink WHERE MachLinkID = ") << MachLinkID;
  });
}

int32_t clsQuillData_SqlLite::DELMachiningScenario(const int32_t& lngMachScenarioID,
                                                   RecordsAffected) {
  // The scenario's rows table by table, the scenario type itself last. The relationship
  // patterns and imprint definitions stay.
  Operation op(*this, L"clsQuillData_DELMachiningScenario");
  op.RunWriter([&](Trap& t) {
    const int32_t id = lngMachScenarioID;
    t.Step([&] {
      op.Exec(SqlText(L" DELETE FROM tblGlobal_Relation_Assignments WHERE fldConstScenarioID = ")
              << id);
    });
    t.Step([&] {
      op.Exec(SqlText(L" DELETE FROM tblLocal_Relation_Assignments WHERE fldConstScenarioID = ")
              << id);
    });
    t.Step([&] {
      op.Exec(SqlText(L" DELETE FROM tblGlobal_Face_Contour_Links WHERE fldConstScenarioID = ")
              << id);
    });
    t.Step([&] {
      op.Exec(SqlText(L" DELETE FROM tblLocal_Face_Contour_Links WHERE fldConstScenarioID = ")
              << id);
    });
    t.Step([&] {
      op.Exec(SqlText(L" DELETE FROM tblGlobal_Imprint_Assignments "
                      L" WHERE fldlngConstScenarioID = ")
              << id);
    });
    t.Step([&] {
      op.Exec(SqlText(L" DELETE FROM tblConstruction_Scenario_Types WHERE fldConstScenarioID = ")
              << id);
    });
  });
  return 0;
}

int32_t clsQuillData_SqlLite::DELMachRouting(const int32_t& MachRoutingID, RecordsAffected) {
  return ExecOne(*this, L"clsQuillData_DELMachRouting", [&] {
    return SqlText(L" DELETE FROM MachRouting WHERE lngMachRoutingID = ") << MachRoutingID;
  });
}

int32_t clsQuillData_SqlLite::DELMachVariable(const int32_t& MachVarID, RecordsAffected) {
  return ExecOne(*this, L"clsQuillData_DELMachVariable", [&] {
    return SqlText(L" DELETE FROM MachVariable WHERE MachVarID = ") << MachVarID;
  });
}

int32_t clsQuillData_SqlLite::DELMachVertical(const int32_t& MachVerticalID, RecordsAffected) {
  return ExecOne(*this, L"clsQuillData_DELMachVertical", [&] {
    return SqlText(L" DELETE FROM MachVertical WHERE MachVerticalID = ") << MachVerticalID;
  });
}

int32_t clsQuillData_SqlLite::UPDATEConstructionScenarioTypes(
    const int32_t& lngConstScenarioID, const std::wstring& strConstScenarioType,
    const std::wstring& strConstScenarioDesc, RecordsAffected) {
  // Only the row that already carries this type text changes: in effect, its description.
  Operation op(*this, L"clsQuillData_UPDATEConstructionScenarioTypes");
  op.RunAtomic([&](Trap& t) {
    if (!LookUp(op, t,
                SqlText(L" SELECT fldConstScenarioType FROM tblConstruction_Scenario_Types "
                        L" WHERE fldConstScenarioType = '")
                    << strConstScenarioType << L"'" << L" AND fldConstScenarioID = "
                    << lngConstScenarioID)) {
      return;
    }
    t.Step([&] {
      op.Exec(SqlText(L" UPDATE tblConstruction_Scenario_Types "
                      L" SET fldConstScenarioType = '")
              << strConstScenarioType << L"',fldConstScenarioDesc = '" << strConstScenarioDesc
              << L"'" << L" WHERE fldConstScenarioID = " << lngConstScenarioID);
    });
  });
  return 0;
}

void clsQuillData_SqlLite::UPDATEGlobalFaceContourLinks(
    const std::wstring& strLinkName, const std::wstring& strLinkDescription,
    const std::wstring& strLinkType, const std::wstring& strLinkVarSet, const int32_t& lngPartType,
    const std::wstring& strSubType, const int32_t& lngConstScenarioID) {
  ExecOne(*this, L"clsQuillData_UPDATEGlobalFaceContourLinks", [&] {
    return SqlText(
               L" UPDATE tblGlobal_Face_Contour_Links "
               L" SET fldLinkName = '")
           << strLinkName << L"', fldLinkDescription = '" << strLinkDescription << L"',"
           << L" fldLinkType = '" << strLinkType << L"', fldLinkVarSet = '" << strLinkVarSet << L"'"
           << L" WHERE fldPartTypeID = " << lngPartType << L" AND fldSubTypeID = '" << strSubType
           << L"' AND fldConstScenarioID =" << lngConstScenarioID;
  });
}

void clsQuillData_SqlLite::UPDATEMachNameFromMachining(const std::wstring& strMachNewName,
                                                       const int32_t& MachLibID,
                                                       const int32_t& MachID, RecordsAffected) {
  // A name stays unique within its library: the rename happens only when no machining of the
  // library bears the new name yet.
  Operation op(*this, L"clsQuillData_UPDATEMachNameFromMachining");
  op.RunAtomic([&](Trap& t) {
    if (LookUp(op, t,
               SqlText(L" SELECT MachID FROM Machining "
                       L" WHERE MachName = '")
                   << strMachNewName << L"'" << L" AND MachLibID = " << MachLibID)) {
      return;
    }
    t.Step([&] {
      op.Exec(SqlText(L" UPDATE Machining "
                      L" SET MachName = '")
              << strMachNewName << L"'" << L" WHERE MachLibID = " << MachLibID << L" AND MachID = "
              << MachID);
    });
  });
}

void clsQuillData_SqlLite::UPDATEMachVariable(const std::wstring& Name, const std::wstring& Value,
                                              const int32_t& MachLibID, const int32_t& MachVarID,
                                              RecordsAffected) {
  Operation op(*this, L"clsQuillData_UPDATEMachVariable");
  op.RunAtomic([&](Trap& t) {
    if (!LookUp(op, t,
                SqlText(L" SELECT MachVarID FROM MachVariable "
                        L" WHERE MachVarID = ")
                    << MachVarID << L" AND MachLibID = " << MachLibID)) {
      return;
    }
    t.Step([&] {
      op.Exec(SqlText(L" UPDATE MachVariable "
                      L" SET Name = '")
              << Name << L"', Value = '" << TextToSql(Value) << L"'" << L" WHERE MachLibID = "
              << MachLibID << L" AND MachVarID = " << MachVarID);
    });
  });
}

void clsQuillData_SqlLite::UPDATEMachLink(const int32_t& MachLinkID, const int32_t& MachID,
                                          const int32_t& MachRuleID,
                                          const std::wstring& MachListVar,
                                          const std::wstring& MachExprVar, const bool& MirrorX,
                                          const bool& MirrorY, RecordsAffected) {
  Operation op(*this, L"clsQuillData_UPDATEMachLink");
  op.RunAtomic([&](Trap& t) {
    if (!LookUp(op, t,
                SqlText(L" SELECT MachLinkID FROM MachLink "
                        L" WHERE MachLinkID = ")
                    << MachLinkID)) {
      return;
    }
    t.Step([&] {
      op.Exec(SqlText(L" UPDATE MachLink "
                      L" SET MachID = ")
              << MachID << L", MachRuleID = " << MachRuleID << L"," << L" MachListVar = '"
              << MachListVar << L"', MachExprVar = '" << MachExprVar << L"'," << L" MirrorX = "
              << MirrorX << L", MirrorY = " << MirrorY << L" WHERE MachLinkID = " << MachLinkID);
    });
  });
}

void clsQuillData_SqlLite::UPDATEParaMachRouting(const std::wstring& ParaToUpdate,
                                                 const std::wstring& NewValue,
                                                 const int32_t& MachRoutingID, RecordsAffected) {
  Operation op(*this, L"clsQuillData_UPDATEParaMachRouting");
  op.RunWriter([&](Trap& t) {
    std::optional<Column> column;
    if (!Checked(t, [&] { column = op.CheckedColumn(L"MachRouting", ParaToUpdate); })) return;
    t.Step([&] {
      op.Exec(SqlText(L" UPDATE MachRouting "
                      L" SET ")
              << column->name << L" = " << ColumnValue(*column, TextToSql(NewValue))
              << L" WHERE lngMachRoutingID = " << MachRoutingID);
    });
  });
}

void clsQuillData_SqlLite::UPDATEParaMachVertical(const std::wstring& ParaToUpdate,
                                                  const std::wstring& NewValue,
                                                  const int32_t& MachVerticalID, RecordsAffected) {
  Operation op(*this, L"clsQuillData_UPDATEParaMachVertical");
  op.RunWriter([&](Trap& t) {
    std::optional<Column> column;
    if (!Checked(t, [&] { column = op.CheckedColumn(L"MachVertical", ParaToUpdate); })) return;
    t.Step([&] {
      op.Exec(SqlText(L" UPDATE MachVertical "
                      L" SET ")
              << column->name << L" = " << ColumnValue(*column, TextToSql(NewValue))
              << L" WHERE MachVerticalID = " << MachVerticalID);
    });
  });
}

void clsQuillData_SqlLite::UPDATEPropertyRelationshipPatterns(
    const std::wstring& strTableToUpdate, const std::wstring& strPropertyToUpdate,
    const int32_t& lngPatternID, const std::wstring& strNewValue, RecordsAffected) {
  Operation op(*this, L"clsQuillData_UPDATEPropertyRelationshipPatterns");
  op.RunWriter([&](Trap& t) {
    std::optional<Name> table;
    std::optional<Column> column;
    if (!Checked(t, [&] {
          // Only the two pattern tables: other tables have a fldPatternID too (the relation
          // assignments), and a change there would move an assignment to another pattern.
          if (!IsPatternTable(strTableToUpdate)) {
            op.RaiseStatementError(L"table " + strTableToUpdate +
                                   L" is not a relationship-pattern table");
          }
          table = op.CheckedTable(strTableToUpdate);
          column = op.CheckedColumn(strTableToUpdate, strPropertyToUpdate);
        })) {
      return;
    }
    t.Step([&] {
      op.Exec(SqlText(L" UPDATE ")
              << *table << L" SET " << column->name << L" = " << ColumnValue(*column, strNewValue)
              << L" WHERE fldPatternID = " << lngPatternID);
    });
  });
}

void clsQuillData_SqlLite::UPDATEVariableMachining(const int32_t& MachID,
                                                   const std::wstring& VariableToUpdate,
                                                   const double& NewValue, RecordsAffected) {
  Operation op(*this, L"clsQuillData_UPDATEVariableMachining");
  op.RunWriter([&](Trap& t) {
    std::optional<Column> column;
    if (!Checked(t, [&] {
          RequireFinite(op, L"NewValue", NewValue);
          column = op.CheckedColumn(L"Machining", VariableToUpdate);
        })) {
      return;
    }
    // The number goes in as its text; the column's affinity decides how it is stored (a
    // number column holds the double itself).
    t.Step([&] {
      op.Exec(SqlText(L" UPDATE Machining "
                      L" SET ")
              << column->name << L" = " << ColumnValue(*column, NumberToSql(NewValue))
              << L" WHERE MachID = " << MachID);
    });
  });
}

}  // namespace QuillData
