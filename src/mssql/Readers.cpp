#include "Readers.h"

#include <algorithm>

#include "QuillData/ado/Recordset.h"
#include "QuillData/contract/Coerce.h"
#include "QuillData/contract/Error.h"
#include "QuillData/contract/Records.h"
#include "QuillData/contract/Trap.h"

namespace QuillData::mssql {

namespace {

template <class R>
const RecordType& TypeOf() {
  return R::Descriptor();
}

const std::vector<Reader>& Readers() {
  static const std::vector<Reader> readers = {
      // operation, table, record type, key[, key with part type 2[, unfilled]]
      {L"GETTblConstructionScenarioTypes", L"tblConstruction_Scenario_Types",
       TypeOf<tblConstruction_Scenario_Types>, L"{fldConstScenarioType}"},
      {L"GETTblFilterScenarios", L"tblFilter_Scenarios", TypeOf<tblFilter_Scenarios>,
       L"{fldPartType1}|{fldSubType1}",
       L"{fldPartType1}|{fldSubType1}#{fldPartType2}|{fldSubType2}"},
      {L"GETTblGlobalContrFeatrLists", L"tblGlobal_Contr_Featr_Lists",
       TypeOf<tblGlobal_Contr_Featr_Lists>, L"{fldFeatureListID},{fldFeatureID}"},
      {L"GETTblGlobalContrFeatrPatterns", L"tblGlobal_Contr_Featr_Patterns",
       TypeOf<tblGlobal_Contr_Featr_Patterns>,
       L"{fldFeatureListID},{fldPartTypeID},{fldSubTypeID}"},
      {L"GETTblGlobalFaceContourLinks", L"tblGlobal_Face_Contour_Links",
       TypeOf<tblGlobal_Face_Contour_Links>,
       L"{fldConstScenarioID},{fldPartTypeID},{fldSubTypeID}"},
      {L"GETTblGlobalImprintAssignments", L"tblGlobal_Imprint_Assignments",
       TypeOf<tblGlobal_Imprint_Assignments>, L"{fldlngRelationPattern}"},
      {L"GETTblGlobalImprintDefinitions", L"tblGlobal_Imprint_Definitions",
       TypeOf<tblGlobal_Imprint_Definitions>, L"{fldlngRelationPattern}"},
      {L"GETTblGlobalMachiningLinks", L"tblGlobal_Machining_Links",
       TypeOf<tblGlobal_Machining_Links>, L"{fldLinkID}"},
      {L"GETTblGlobalRelationAssignments", L"tblGlobal_Relation_Assignments",
       TypeOf<tblGlobal_Relation_Assignments>, L"{fldPatternID}"},
      {L"GETTblGlobalRelationshipPatterns", L"tblGlobal_Relationship_Patterns",
       TypeOf<tblGlobal_Relationship_Patterns>, L"{fldPatternID}"},
      {L"GETTblLocalContrFeatrLists", L"tblLocal_Contr_Featr_Lists",
       TypeOf<tblLocal_Contr_Featr_Lists>, L"{fldFeatureListID}"},
      {L"GETTblLocalDesigns", L"tblLocal_Designs", TypeOf<tblLocal_Designs>, L"{fldDesignID}"},
      {L"GETTblLocalFaceContourLinks", L"tblLocal_Face_Contour_Links",
       TypeOf<tblLocal_Face_Contour_Links>,
       L"{fldPartTypeID}|{fldSubTypeID}|{fldConstScenarioID}|{fldDesignID}"},
      {L"GETTblLocalMachiningLinks", L"tblLocal_Machining_Links", TypeOf<tblLocal_Machining_Links>,
       L"{fldLinkID}"},
      {L"GETTblLocalRelationAssignments",
       L"tblLocal_Relation_Assignments",
       TypeOf<tblLocal_Relation_Assignments>,
       L"{fldPatternID}",
       {},
       {L"fldItemID"}},
      {L"GETTblLocalRelationshipPatterns", L"tblLocal_Relationship_Patterns",
       TypeOf<tblLocal_Relationship_Patterns>, L"{fldPatternID}"},
      {L"GETTblMachining", L"Machining", TypeOf<tblMachining>, L"{MachID}"},
      {L"GETTblMachLink", L"MachLink", TypeOf<tblMachLink>, L"{MachLinkID}", {}, {L"VarList"}},
      {L"GETTblMachRouting",
       L"MachRouting",
       TypeOf<tblMachRouting>,
       L"{lngMachRoutingID}",
       {},
       {L"MachDescription"}},
      {L"GETTblMachVariable", L"MachVariable", TypeOf<tblMachVariable>, L"{Name}"},
      {L"GETTblMachVertical", L"MachVertical", TypeOf<tblMachVertical>, L"{MachVerticalID}"},
      {L"GETTblMFGPartTypes", L"tblMFG_Part_Types", TypeOf<tblMFG_Part_Types>,
       L"{fldPartID}|{fldSubTypeID}"},
      {L"GETTblMFGScenario", L"tblMFG_Scenario", TypeOf<tblMFG_Scenario>,
       L"{fldMFGScenarioID},{fldPartID},{fldSubTypeID}"},
  };
  return readers;
}

bool Listed(const std::vector<std::wstring_view>& names, std::wstring_view name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace

const Reader& TableReader(std::wstring_view operation) {
  for (const Reader& r : Readers()) {
    if (r.operation == operation) return r;
  }
  throw QuillError(ErrNo::InternalError, L"clsQuillData",
                   L"No table reader is defined for " + std::wstring(operation));
}

const Reader& FilterScenarioRows() {
  static const Reader reader{L"GETFilterScenariosCol", L"", TypeOf<tblFilter_Scenarios>,
                             L"{fldPartType1}|{fldSubType1}",
                             L"{fldPartType1}|{fldSubType1}#{fldPartType2}|{fldSubType2}"};
  return reader;
}

std::wstring KeyOf(const RecordType& type, const Record& record, std::wstring_view pattern) {
  std::wstring key;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != L'{') {
      key += pattern[i];
      continue;
    }
    size_t close = pattern.find(L'}', i);
    std::wstring_view name = pattern.substr(i + 1, close - i - 1);
    int field = type.FieldIndex(name);
    if (field < 0) {
      throw QuillError(
          ErrNo::InternalError, L"clsQuillData",
          L"The key names no field of " + std::wstring(type.Name()) + L": " + std::wstring(name));
    }
    key += CStr(type.Get(record, static_cast<size_t>(field)));
    i = close;
  }
  return key;
}

void Fill(ado::Recordset& rows, const Reader& reader, const RecordType& type, Record& record,
          const std::function<std::wstring()>& keyOf) {
  const auto& fields = type.Fields();
  auto fill = [&](size_t i) {
    auto column = rows.Fields()->Item(std::wstring(fields[i].name));
    const Variant& value = column->Value();
    if (!value.IsNull()) type.Set(record, i, value);
  };
  std::vector<size_t> failed;
  for (size_t i = 0; i < fields.size(); ++i) {
    if (Listed(reader.unfilled, fields[i].name)) continue;
    try {
      fill(i);
    } catch (const QuillError&) {
      failed.push_back(i);
    }
  }
  if (failed.empty()) return;
  const std::wstring key = keyOf();
  const std::wstring table =
      reader.table.empty() ? std::wstring(type.Name()) : std::wstring(reader.table);
  Trap(L"clsQuillData", reader.operation).Run([&](Trap& t) {
    for (size_t i : failed) {
      t.Step([&] {
        try {
          fill(i);
        } catch (const QuillError& e) {
          throw e.Described(e.Description() + L" (" + table + L"." + std::wstring(fields[i].name) +
                            L", row with key '" + key + L"')");
        }
      });
    }
  });
}

}  // namespace QuillData::mssql
