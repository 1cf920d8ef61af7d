// INSERTCopyMachiningScenario: a new construction scenario type holding copies of every row
// that belongs to an existing one, written in one transaction.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "QuillData/sqlite/clsQuillData_SqlLite.h"
#include "sqlite/Operation.h"
#include "sqlite/SqlText.h"
#include "sqlite/Writers.h"

namespace QuillData {

using sqlite_detail::Name;
using sqlite_detail::NewImprintId;
using sqlite_detail::Operation;
using sqlite_detail::SqlText;

namespace {

[[noreturn]] void Refuse(const Operation& op, const std::wstring& why) {
  throw QuillError(ErrNo::InvalidProcedureCall, op.Procedure(), why + L"; nothing was copied");
}

// Columns 0 and 1 of every row of a query, as whole numbers; a NULL second column is told
// apart from 0.
struct IdPair {
  int64_t first = 0;
  int64_t second = 0;
  bool secondIsNull = false;
};
std::vector<IdPair> IdPairs(Operation& op, const SqlText& sql) {
  std::vector<IdPair> rows;
  op.Prepare(sql);
  const sqlite_detail::Statement& stmt = op.Slot();
  while (op.Step()) {
    IdPair row;
    row.first = stmt.Int64(0);
    row.secondIsNull = stmt.Type(1) == sqlite_detail::kSqliteNull;
    row.second = stmt.Int64(1);
    rows.push_back(row);
  }
  op.Finalize();
  return rows;
}

// Runs an INSERT that must write one row, and returns the row's identifier.
int32_t InsertOne(Operation& op, const SqlText& sql) {
  if (!op.Insert(sql)) op.RaiseStatementError(L"no row was written");
  auto id = op.NewId();
  if (!id) op.RaiseStatementError(L"the new row's identifier could not be read");
  return *id;
}

// One kind of relation assignment: its table, the pattern table it points into, and the
// columns copied unchanged (everything but the row's own identifier, the pattern and the
// scenario).
struct AssignmentTables {
  const wchar_t* assignments;
  const wchar_t* patterns;
  const wchar_t* assignmentColumns;
  const wchar_t* patternColumns;
};

constexpr AssignmentTables kGlobalAssignments{
    L"tblGlobal_Relation_Assignments", L"tblGlobal_Relationship_Patterns",
    L"fldPartType1, fldPartType2, fldFeaturePattern1, fldFeaturePattern2, fldFaceNormal1, "
    L"fldFaceNormal2, fldSubType1, fldSubType2",
    L"fldLinkIDEE, fldLinkIDEF, fldLinkIDFE, fldLinkIDFF"};
constexpr AssignmentTables kLocalAssignments{
    L"tblLocal_Relation_Assignments", L"tblLocal_Relationship_Patterns",
    L"fldDesignID, fldPattType, fldRelation, fldPartType1, fldPartType2, fldFeaturePattern1, "
    L"fldFeaturePattern2, fldFaceNormal1, fldFaceNormal2, fldSubType1, fldSubType2",
    L"fldPattType, fldRelation, fldLinkIDEE, fldLinkIDEF, fldLinkIDFE, fldLinkIDFF"};

// Each assignment of the old scenario gets a copy pointing at the new one, and at a fresh
// copy of its relationship pattern, so that changing the copy's links leaves the original's
// alone. Assignments that shared a pattern share its copy; a pattern id with no pattern row
// is kept as it is.
void CopyAssignments(Operation& op, const AssignmentTables& tables, int32_t oldId, int32_t newId) {
  const Name assignments{tables.assignments};
  const Name patterns{tables.patterns};
  const Name assignmentColumns{tables.assignmentColumns};
  const Name patternColumns{tables.patternColumns};
  auto rows = IdPairs(op, SqlText(L"SELECT rowid, fldPatternID FROM ")
                              << assignments << L" WHERE fldConstScenarioID = " << oldId
                              << L" ORDER BY rowid");
  std::map<int64_t, int32_t> patternCopies;
  for (const IdPair& row : rows) {
    std::optional<int32_t> pattern;
    if (!row.secondIsNull) {
      auto copied = patternCopies.find(row.second);
      if (copied != patternCopies.end()) {
        pattern = copied->second;
      } else if (op.QueryInt(SqlText(L"SELECT 1 FROM ") << patterns << L" WHERE fldPatternID = "
                                                        << static_cast<int32_t>(row.second))) {
        pattern =
            InsertOne(op, SqlText(L"INSERT INTO ")
                              << patterns << L" (" << patternColumns << L") SELECT "
                              << patternColumns << L" FROM " << patterns
                              << L" WHERE fldPatternID = " << static_cast<int32_t>(row.second));
        patternCopies.emplace(row.second, *pattern);
      }
    }
    SqlText copy(L"INSERT INTO ");
    copy << assignments << L" (fldPatternID, fldConstScenarioID, " << assignmentColumns
         << L") SELECT ";
    if (pattern) {
      copy << *pattern;
    } else {
      copy << L"fldPatternID";
    }
    copy << L", " << newId << L", " << assignmentColumns << L" FROM " << assignments
         << L" WHERE rowid = " << static_cast<int32_t>(row.first);
    op.Exec(copy);
  }
}

// The face-contour links of the old scenario, pointing at the new one.
void CopyFaceContourLinks(Operation& op, int32_t oldId, int32_t newId) {
  op.Exec(SqlText(L"INSERT INTO tblGlobal_Face_Contour_Links (fldConstScenarioID, fldPartTypeID, "
                  L"fldSubTypeID, fldLinkName, fldLinkDescription, fldLinkType, fldLinkVarSet) "
                  L"SELECT ")
          << newId
          << L", fldPartTypeID, fldSubTypeID, fldLinkName, fldLinkDescription, fldLinkType, "
             L"fldLinkVarSet FROM tblGlobal_Face_Contour_Links WHERE fldConstScenarioID = "
          << oldId << L" ORDER BY rowid");
  op.Exec(SqlText(L"INSERT INTO tblLocal_Face_Contour_Links (fldConstScenarioID, fldPartTypeID, "
                  L"fldSubTypeID, fldLinkName, fldLinkDescription, fldLinkType, fldLinkVarSet, "
                  L"fldPattType, fldRelation, fldDesignID) "
                  L"SELECT ")
          << newId
          << L", fldPartTypeID, fldSubTypeID, fldLinkName, fldLinkDescription, fldLinkType, "
             L"fldLinkVarSet, fldPattType, fldRelation, fldDesignID "
             L"FROM tblLocal_Face_Contour_Links WHERE fldConstScenarioID = "
          << oldId << L" ORDER BY rowid");
}

// The imprint assignments of the old scenario get new identifiers (never one a definition is
// kept under); the imprint definition kept under an assignment's identifier is copied under
// the copy's.
void CopyImprints(Operation& op, int32_t oldId, int32_t newId) {
  auto rows = IdPairs(op, SqlText(L"SELECT fldlngRelationPattern, 0 FROM "
                                  L"tblGlobal_Imprint_Assignments WHERE fldlngConstScenarioID = ")
                              << oldId << L" ORDER BY fldlngRelationPattern");
  for (const IdPair& row : rows) {
    const auto oldImprint = static_cast<int32_t>(row.first);
    const int32_t newImprint = InsertOne(
        op, SqlText(L"INSERT INTO tblGlobal_Imprint_Assignments (fldlngRelationPattern, "
                    L"fldlngConstScenarioID, fldstrUDI_Type, fldstrPartType1, fldstrPartType2, "
                    L"fldstrFeaturePattern1, "
                    L"fldstrFeaturePattern2, fldstrFaceNormal1, fldstrFaceNormal2, fldSubType1, "
                    L"fldSubType2, fldstrPart1FacesTypeOrient, fldstrPart2FacesTypeOrient, "
                    L"fldblnFront) SELECT ")
                << NewImprintId(op) << L", " << newId
                << L", fldstrUDI_Type, fldstrPartType1, fldstrPartType2, fldstrFeaturePattern1, "
                   L"fldstrFeaturePattern2, fldstrFaceNormal1, fldstrFaceNormal2, fldSubType1, "
                   L"fldSubType2, fldstrPart1FacesTypeOrient, fldstrPart2FacesTypeOrient, "
                   L"fldblnFront FROM tblGlobal_Imprint_Assignments WHERE fldlngRelationPattern = "
                << oldImprint);
    op.Exec(SqlText(L"INSERT INTO tblGlobal_Imprint_Definitions (fldlngRelationPattern, "
                    L"fldstrName, fldstrDescription, fldMerge, "
                    L"fldLngBotDist, fldLngBotPartType, fldLngBotOffset, fldLngBotSide, "
                    L"fldblnBotUnion, "
                    L"fldLngRightDist, fldLngRightPartType, fldLngRightOffset, fldLngRightSide, "
                    L"fldblnRightUnion, "
                    L"fldLngTopDist, fldLngTopPartType, fldLngTopOffset, fldLngTopSide, "
                    L"fldblnTopUnion, "
                    L"fldLngLeftDist, fldLngLeftPartType, fldLngLeftOffset, fldLngLeftSide, "
                    L"fldblnLeftUnion) SELECT ")
            << newImprint
            << L", fldstrName, fldstrDescription, fldMerge, "
               L"fldLngBotDist, fldLngBotPartType, fldLngBotOffset, fldLngBotSide, "
               L"fldblnBotUnion, "
               L"fldLngRightDist, fldLngRightPartType, fldLngRightOffset, fldLngRightSide, "
               L"fldblnRightUnion, "
               L"fldLngTopDist, fldLngTopPartType, fldLngTopOffset, fldLngTopSide, "
               L"fldblnTopUnion, "
               L"fldLngLeftDist, fldLngLeftPartType, fldLngLeftOffset, fldLngLeftSide, "
               L"fldblnLeftUnion FROM tblGlobal_Imprint_Definitions "
               L"WHERE fldlngRelationPattern = "
            << oldImprint);
  }
}

void CopyScenario(Operation& op, int32_t oldId, const std::wstring& newType) {
  if (newType.empty()) Refuse(op, L"the new construction scenario type is empty");
  if (!op.QueryInt(SqlText(L"SELECT fldConstScenarioID FROM tblConstruction_Scenario_Types "
                           L"WHERE fldConstScenarioID = ")
                   << oldId)) {
    Refuse(op, L"construction scenario " + std::to_wstring(oldId) + L" does not exist");
  }
  if (op.QueryInt(SqlText(L"SELECT fldConstScenarioID FROM tblConstruction_Scenario_Types "
                          L"WHERE fldConstScenarioType = '")
                  << newType << L"'")) {
    Refuse(op, L"construction scenario type '" + newType + L"' is already in use");
  }
  const int32_t newId =
      InsertOne(op, SqlText(L"INSERT INTO tblConstruction_Scenario_Types (fldConstScenarioType, "
                            L"fldConstScenarioDesc) SELECT '")
                        << newType
                        << L"', fldConstScenarioDesc FROM tblConstruction_Scenario_Types "
                           L"WHERE fldConstScenarioID = "
                        << oldId);
  CopyAssignments(op, kGlobalAssignments, oldId, newId);
  CopyAssignments(op, kLocalAssignments, oldId, newId);
  CopyFaceContourLinks(op, oldId, newId);
  CopyImprints(op, oldId, newId);
}

}  // namespace

int32_t clsQuillData_SqlLite::INSERTCopyMachiningScenario(
    const int32_t& lngOldMachiningScenarioID, const std::wstring& strNewMachiningScenarioType,
    RecordsAffected) {
  Operation op(*this, L"clsQuillData_INSERTCopyMachiningScenario");
  // One unit: the checks hold until the copy is committed, and a failure anywhere rolls the
  // whole copy back.
  op.RunAtomic(
      [&](Trap&) { CopyScenario(op, lngOldMachiningScenarioID, strNewMachiningScenarioType); });
  return 0;
}

}  // namespace QuillData
