#include "Catalogue.h"

#include <memory>

#include "QuillData/ado/Enums.h"
#include "QuillData/ado/Parameter.h"
#include "QuillData/contract/Coerce.h"
#include "QuillData/contract/Error.h"
#include "contract/ModuleText.h"

namespace QuillData::mssql {

namespace {

using namespace QuillData::ado;

constexpr int32_t kNoRecords = adExecuteNoRecords;
constexpr int32_t kUnspecified = adOptionUnspecified;
constexpr Resend kReadsOnly = Resend::ReadsOnly;
constexpr Resend kLooksUpFirst = Resend::LooksUpFirst;

Param Ret(int32_t size, From from) {
  return {L"@Return_Value", adInteger, adParamReturnValue, size, from, -1, 0, 0};
}
Param Int(std::wstring_view name, int32_t size, int arg, From from = From::Long) {
  return {name, adInteger, adParamInput, size, from, arg, 0, 0};
}
Param Chr(std::wstring_view name, int32_t size, int arg, From from = From::Text) {
  return {name, adVarChar, adParamInput, size, from, arg, 0, 0};
}
Param LongText(std::wstring_view name, int arg) {
  return {name, adLongVarWChar, adParamInput, -1, From::Text, arg, 0, 0};
}
Param Bit(std::wstring_view name, int32_t size, int arg, From from = From::Boolean) {
  return {name, adBoolean, adParamInput, size, from, arg, 0, 0};
}
Param Num(std::wstring_view name, int arg) {
  return {name, adNumeric, adParamInput, 0, From::Decimal, arg, 7, 2};
}

// The seven parameters shared by the insert and the update of a global face-contour link.
std::vector<Param> FaceContourLink() {
  return {Chr(L"@LinkName", 50, 0),      Chr(L"@LinkDescription", 254, 1), Chr(L"@LinkType", 50, 2),
          Chr(L"@LinkVarSet", 254, 3),   Int(L"@PartType", 8, 4),          Chr(L"@SubType", 50, 5),
          Int(L"@ConstScenarioID", 8, 6)};
}

// The parameters shared by the two link look-ups, in the procedures' order.
std::vector<Param> MachiningLink() {
  return {Ret(0, From::RecordsAffected),
          Chr(L"@LinkType", 50, 0),
          Chr(L"@LinkDesc", 254, 1),
          Chr(L"@LinkName", 50, 2),
          Int(L"@MirrorX", 8, 4),
          Int(L"@MirrorY", 8, 5),
          Int(L"@Angle", 50, 3, From::WholeNumber),
          Chr(L"@Varset", 255, 7),
          Int(L"@Primary", 8, 6),
          Chr(L"@RefCorner", 2, 8)};
}

// The parameters shared by the two relation-assignment writers.
std::vector<Param> RelationAssignment() {
  return {Int(L"@MachScenarioID", 8, 0),   Int(L"@PartType1", 8, 1),
          Int(L"@PartType2", 8, 2),        Chr(L"@SubType1", 10, 3),
          Chr(L"@SubType2", 10, 4),        Chr(L"@FeaturePattern1", 50, 5),
          Chr(L"@FeaturePattern2", 50, 6), Chr(L"@FaceNormal1", 20, 7),
          Chr(L"@FaceNormal2", 20, 8),     Int(L"@LinkID", 8, 9),
          Chr(L"@PatternField", 20, 10)};
}

template <class... Lists>
std::vector<Param> Join(std::vector<Param> first, Lists... rest) {
  (first.insert(first.end(), rest.begin(), rest.end()), ...);
  return first;
}

std::vector<Procedure> Build() {
  using R = Result;
  const From RA = From::RecordsAffected;
  return {
      // Deletes.
      {Op::DELFilter,
       L"P_D_Filter",
       L"DelFilter",
       kNoRecords,
       R::None,
       {Ret(8, RA), Int(L"@PartType1", 10, 0), Int(L"@PartType2", 10, 1), Chr(L"@SubType1", 10, 2),
        Chr(L"@SubType2", 10, 3)}},
      {Op::DELGlobalContrFeatrPatterns,
       L"P_D_Global_Contr_Featr_Patterns",
       L"DelGlobalContrFeatrPatterns",
       kNoRecords,
       R::Long,
       {Ret(0, RA), Int(L"@PartType", 8, 0), Chr(L"@SubType", 50, 1), Int(L"@FeatureKey", 8, 2),
        Int(L"@FeatureListID", 8, 3)}},
      {Op::DELGlobalFaceContourLinks,
       L"P_D_Global_Face_Contour_Links",
       L"DelGlobalFaceContourLinks",
       kUnspecified,
       R::Long,
       {Ret(0, RA), Int(L"@PartType", 8, 1), Chr(L"@SubType", 50, 2),
        Int(L"@ConstScenarioID", 8, 0)}},
      {Op::DELImprintAssignments,
       L"P_D_ImprintAssignments",
       L"DelImprintAssignments",
       kNoRecords,
       R::Long,
       {Ret(8, RA), Int(L"@RelationPattern", 10, 0)}},
      {Op::DELLocalContrFeatrPatterns,
       L"P_D_Local_Contr_Featr_Patterns",
       L"DELLocalContrFeatrPatterns",
       kNoRecords,
       R::Long,
       {Ret(0, RA), Int(L"@PartType", 8, 0), Chr(L"@SubType", 50, 1), Int(L"@FeatureKey", 8, 2)}},
      {Op::DELLocalFaceContourLinks,
       L"P_D_Local_Face_Contour_Links",
       L"DelLocalFaceContourLinks",
       kUnspecified,
       R::Empty,
       {Int(L"@PartType", 8, 1), Chr(L"@SubType", 50, 2), Int(L"@ConstScenarioID", 8, 0),
        Chr(L"@Relation", 150, 3), Chr(L"@PattType", 10, 4), Int(L"@DesignID", 8, 5)}},
      {Op::DELLocalMachiningLinks,
       L"P_D_Local_Machining_Links",
       L"DelLocalMachiningLinks",
       kNoRecords,
       R::Long,
       {Ret(8, RA), Chr(L"@PattType", 10, 0), Chr(L"@Relation", 255, 1)}},
      {Op::DELMachining,
       L"P_D_Machining",
       L"DelMachining",
       kNoRecords,
       R::Long,
       {Ret(8, RA), Int(L"@MachID", 8, 0)}},
      {Op::DELMachLink,
       L"P_D_MachLink",
       L"DELMachLink",
       kNoRecords,
       R::Long,
       {Ret(8, RA), Int(L"@MachLinkID", 8, 0)}},
      {Op::DELMachiningScenario,
       L"P_D_Machining_Scenario",
       L"DelMachiningScenario",
       kNoRecords,
       R::Long,
       {Ret(8, RA), Int(L"@MatScenarioID", 8, 0)}},
      {Op::DELMachRouting,
       L"P_D_MachRouting",
       L"DelMachRouting",
       kNoRecords,
       R::Long,
       {Ret(8, RA), Int(L"@MachRoutingID", 8, 0)}},
      {Op::DELMachVariable,
       L"P_D_MachVariable",
       L"DelMachVariable",
       kNoRecords,
       R::Long,
       {Ret(8, RA), Int(L"@MachVarID", 8, 0)}},
      {Op::DELMachVertical,
       L"P_D_MachVertical",
       L"DelMachVertical",
       kNoRecords,
       R::Long,
       {Ret(8, RA), Int(L"@MachVerticalID", 8, 0)}},

      // The one reader that calls a procedure.
      {Op::GETFilterScenariosCol,
       L"P_Filter_Scenarios_Set",
       L"GetFilterScenariosCol",
       kUnspecified,
       R::Rows,
       {Bit(L"@WithPartType2", 8, 0, From::OneOrZero)},
       kReadsOnly},

      // Inserts.
      {Op::INSERTConstructionScenario,
       L"P_I_ConstructionScenario",
       L"InsertConstructionScenario",
       kNoRecords,
       R::Long,
       {Ret(8, RA), Chr(L"@ConstScenarioType", 50, 0), Chr(L"@ConstScenarioDesc", 100, 1)},
       kLooksUpFirst},
      {Op::INSERTGlobalContrFeatrLists,
       L"P_IS_Global_Contr_Featr_Lists",
       L"INSERTGlobalContrFeatrLists",
       kNoRecords,
       R::Variant,
       {Ret(8, RA), Int(L"@FeatureID", 8, 0), Chr(L"@NewFtrSandEPoints", 50, 1),
        Chr(L"@LinkName", 50, 2), Chr(L"@LinkDescription", 254, 3), Chr(L"@LinkType", 50, 4),
        Chr(L"@LinkVarSet", 254, 5)},
       kLooksUpFirst},
      {Op::INSERTGlobalContrFeatrPatterns,
       L"P_I_Global_Contr_Featr_Patterns",
       L"INSERTGlobalContrFeatrPatterns",
       kNoRecords,
       R::Empty,
       {Int(L"@PartType", 8, 0), Chr(L"@SubType", 50, 1), Int(L"@FeatureKey", 8, 2),
        Int(L"@FeatureListID", 8, 3)},
       kLooksUpFirst},
      {Op::INSERTCopyMachiningScenario,
       L"P_I_CopyMachiningScenario",
       L"INSERTCopyMachiningScenario",
       kNoRecords,
       R::Zero,
       {Int(L"@OldMachiningScenarioID", 8, 0), Chr(L"@NewMachiningScenarioType", 100, 1)}},
      {Op::INSERTFilter,
       L"P_I_Filter",
       L"INSERTFilter",
       kNoRecords,
       R::None,
       {Ret(8, RA), Int(L"@PartType1", 10, 0), Int(L"@PartType2", 10, 1), Chr(L"@SubType1", 10, 2),
        Chr(L"@SubType2", 10, 3)},
       kLooksUpFirst},
      {Op::INSERTGlobalFaceContourLinks, L"P_I_Global_Face_Contour_Links",
       L"INSERTGlobalFaceContourLinks", kNoRecords, R::None, FaceContourLink()},
      {Op::INSERTImprintAssignments,
       L"P_I_ImprintAssignments",
       L"INSERTImprintAssignments",
       kNoRecords,
       R::Long,
       {Ret(0, From::LeftOut), Int(L"@ConstScenarioID", 8, 0), Chr(L"@ImprintType", 10, 1),
        Int(L"@PartType1", 8, 2), Int(L"@PartType2", 8, 3), Chr(L"@FeaturePattern1", 50, 4),
        Chr(L"@FeaturePattern2", 50, 5), Chr(L"@FaceNormal1", 15, 6), Chr(L"@FaceNormal2", 15, 7),
        Int(L"@SubType1", 8, 8, From::Text), Int(L"@SubType2", 8, 9, From::Text),
        Chr(L"@Part1FacesTypeOrient", 800, 10), Chr(L"@Part2FacesTypeOrient", 800, 11),
        Bit(L"@OnFront", 1, 12)},
       kLooksUpFirst},
      {Op::INSERTMachining,
       L"P_I_Machining",
       L"INSERTMachining",
       kNoRecords,
       R::Long,
       {Ret(0, From::LeftOut), Chr(L"@MachName", 20, 0), Chr(L"@MachGroup", 1, 1), Num(L"@X", 3),
        Num(L"@Y", 4), Num(L"@Z", 5), Int(L"@MachLibID", 8, 2)},
       kLooksUpFirst},
      {Op::INSERTMachLink,
       L"P_I_MachLink",
       L"INSERTMachLink",
       kNoRecords,
       R::Long,
       {Ret(0, From::LeftOut), Int(L"@MachID", 8, 0), Int(L"@MachRuleID", 8, 1),
        LongText(L"@MachListVar", 2), LongText(L"@MachExprVar", 3), Bit(L"@MirrorX", 1, 4),
        Bit(L"@MirrorY", 1, 5)},
       kLooksUpFirst},
      {Op::INSERTMachRouting,
       L"P_I_MachRouting",
       L"INSERTMachRouting",
       kNoRecords,
       R::Long,
       {Ret(0, From::LeftOut), Chr(L"@Name", 50, 0), Int(L"@MachID", 8, 1), Int(L"@Pocket", 8, 2)}},
      {Op::INSERTMachVariable,
       L"P_I_MachVariable",
       L"INSERTMachVariable",
       kNoRecords,
       R::Long,
       {Ret(0, From::LeftOut), Chr(L"@Name", 50, 0, From::First50), Chr(L"@Value", 100, 1),
        Bit(L"@Requested", 1, 3, From::OneOrZero), Int(L"@MachLibID", 8, 2)},
       kLooksUpFirst},
      {Op::INSERTMachVertical,
       L"P_I_MachVertical",
       L"INSERTMachVertical",
       kNoRecords,
       R::Long,
       {Ret(0, From::LeftOut), Chr(L"@Name", 50, 0), Chr(L"@Orientation", 1, 1),
        Int(L"@MachID", 8, 2)}},
      {Op::INSERTMFGPartTypes,
       L"P_I_MFG_Part_Types",
       L"INSERTMFGPartTypes",
       kNoRecords,
       R::None,
       {Int(L"@MFGScenarioID", 8, 0), Int(L"@PartType", 8, 1), Chr(L"@SubTypeID", 50, 2),
        Chr(L"@PartDesc", 30, 3), Chr(L"@PartKind", 30, 4), Chr(L"@PartGrain", 10, 5),
        Chr(L"@SubTypeDesc", 50, 6)},
       kLooksUpFirst},
      {Op::INSERTSELDesignIDFromLocalDesigns,
       L"P_IS_DesignIDFromLocal_Designs",
       L"INSERTSELDesignIDFromLocalDesigns",
       kNoRecords,
       R::Long,
       {Ret(0, RA), Chr(L"@DesignName", 254, 0), Chr(L"@ComputerName", 254, 1)},
       kLooksUpFirst},
      {Op::INSERTSELLinkIDFromLocalMachiningLinks, L"P_IS_LinkIDFromLocalMachiningLinks",
       L"INSERTSELLinkIDFromLocalMachiningLinks", kNoRecords, R::Long,
       Join(MachiningLink(),
            std::vector<Param>{Chr(L"@PattType", 10, 9), Chr(L"@Relation", 255, 10)}),
       kLooksUpFirst},
      {Op::INSERTSELLinkIDFromMachiningLinks, L"P_IS_LinkIDFromMachiningLinks",
       L"INSERTSELLinkIDFromMachiningLinks", kNoRecords, R::Long, MachiningLink(), kLooksUpFirst},
      {Op::INSERTUPDATEGlobalImprintDefinitions,
       L"P_UI_GlobalImprintDefinitions",
       L"INSERTUPDATEGlobalImprintDefinitions",
       kUnspecified,
       R::Empty,
       {Int(L"@RelationPattern", 8, 0), Bit(L"@Merge", 1, 1), Int(L"@BotPartType", 8, 2),
        Int(L"@BotOffset", 8, 3), Int(L"@BotSide", 8, 4), Bit(L"@BotUnion", 1, 5),
        Int(L"@RightPartType", 8, 6), Int(L"@RightOffset", 8, 7), Int(L"@RightSide", 8, 8),
        Bit(L"@RightUnion", 1, 9), Int(L"@TopPartType", 8, 10), Int(L"@TopOffset", 8, 11),
        Int(L"@TopSide", 8, 12), Bit(L"@TopUnion", 1, 13), Int(L"@LeftPartType", 8, 14),
        Int(L"@LeftOffset", 8, 15), Int(L"@LeftSide", 8, 16), Bit(L"@LeftUnion", 1, 17)},
       kLooksUpFirst},
      {Op::INSERTUPDATEGlobalRelationAssignments, L"P_UI_GlobalRelationAssignments",
       L"INSERTUPDATEGlobalRelationAssignments", kNoRecords, R::None, RelationAssignment(),
       kLooksUpFirst},
      {Op::INSERTUPDATELocalRelationAssignments, L"P_UI_LocalRelationAssignments",
       L"INSERTUPDATELocalRelationAssignments", kNoRecords, R::None,
       Join(RelationAssignment(),
            std::vector<Param>{Chr(L"@PattType", 10, 11), Chr(L"@Relation", 255, 12),
                               Int(L"@DesignID", 8, 13)}),
       kLooksUpFirst},

      // Updates.
      {Op::UPDATEConstructionScenarioTypes,
       L"P_U_Construction_Scenario_Types",
       L"UPDATEConstructionScenarioTypes",
       kNoRecords,
       R::Long,
       {Ret(8, RA), Int(L"@ConstScenarioID", 8, 0), Chr(L"@ConstScenarioType", 30, 1),
        Chr(L"@ConstScenarioDesc", 50, 2)}},
      {Op::UPDATEGlobalFaceContourLinks, L"P_U_Global_Face_Contour_Links",
       L"UPDATEGlobalFaceContourLinks", kNoRecords, R::None, FaceContourLink()},
      {Op::UPDATEMachNameFromMachining,
       L"P_U_MachNameFromMachining",
       L"UPDATEMachNameFromMachining",
       kNoRecords,
       R::None,
       {Int(L"@MachID", 8, 2), Chr(L"@MachNewName", 20, 0), Int(L"@MachLibID", 8, 1)}},
      {Op::UPDATEMachVariable,
       L"P_U_MachVariable",
       L"UPDATEMachVariable",
       kNoRecords,
       R::None,
       {Int(L"@MachVarID", 8, 3), Chr(L"@Name", 20, 0), Chr(L"@Value", 100, 1, From::DecimalText),
        Int(L"@MachLibID", 8, 2)}},
      {Op::UPDATEMachLink,
       L"P_U_MachLink",
       L"UPDATEMachLink",
       kNoRecords,
       R::None,
       {Int(L"@MachLinkID", 8, 0), Int(L"@MachID", 8, 1), Int(L"@MachRuleID", 8, 2),
        LongText(L"@MachListVar", 3), LongText(L"@MachExprVar", 4),
        Bit(L"@MirrorX", 1, 5, From::OneOrZero), Bit(L"@MirrorY", 1, 6, From::OneOrZero)}},
      {Op::UPDATEParaMachRouting,
       L"P_U_ParaMachRouting",
       L"UPDATEParaMachRouting",
       kNoRecords,
       R::None,
       {Ret(0, From::LeftOut), Int(L"@MachRoutingID", 8, 2), Chr(L"@ParaToUpdate", 50, 0),
        Chr(L"@NewValue", 100, 1, From::DecimalText)}},
      {Op::UPDATEParaMachVertical,
       L"P_U_ParaMachVertical",
       L"UPDATEParaMachVertical",
       kNoRecords,
       R::None,
       {Ret(0, From::LeftOut), Int(L"@MachVerticalID", 8, 2), Chr(L"@ParaToUpdate", 50, 0),
        Chr(L"@NewValue", 100, 1, From::DecimalText)}},
      {Op::UPDATEPropertyRelationshipPatterns,
       L"P_U_PropertyRelationship_Patterns",
       L"UPDATEPropertyRelationshipPatterns",
       kNoRecords,
       R::None,
       {Chr(L"@TableToUpdate", 40, 0), Chr(L"@PropertyToUpdate", 30, 1), Chr(L"@NewValue", 50, 3),
        Int(L"@PatternID", 8, 2)}},
      {Op::UPDATEVariableMachining,
       L"P_U_VariableMachining",
       L"UPDATEVariableMachining",
       kNoRecords,
       R::None,
       {Int(L"@MachID", 8, 0), Chr(L"@VariableToUpdate", 10, 1), Num(L"@NewValue", 2)}},
  };
}

// The variant type a binding must give for each kind of source: a writer that binds the
// wrong argument to a position is caught here, not on the server.
VarType ExpectedArgument(From from) {
  switch (from) {
    case From::Text:
    case From::First50:
    case From::DecimalText:
      return VarType::String;
    case From::Long:
      return VarType::Long;
    case From::Boolean:
    case From::OneOrZero:
      return VarType::Boolean;
    case From::Decimal:
    case From::WholeNumber:
      return VarType::Double;
    default:
      return VarType::Empty;
  }
}

Variant Convert(From from, const Variant& arg) {
  switch (from) {
    case From::First50:
      return CStr(arg).substr(0, 50);
    case From::DecimalText:
      // Stored as the embedded backend stores it.
      return DecimalTextToDot(CStr(arg));
    case From::OneOrZero:
      return static_cast<int16_t>(CBool(arg) ? 1 : 0);
    case From::Decimal:
      // A double goes to the server as the shortest decimal that reads back as it; the
      // parameter's precision and scale then round it as the server does.
      if (const auto* value = arg.Get<double>()) return Decimal::FromShortestDouble(*value);
      return ChangeType(arg, VarType::Decimal);
    case From::WholeNumber:
      return CLng(arg);
    default:
      return arg;
  }
}

template <class T>
T& Must(const std::shared_ptr<T>& object) {
  if (!object) throw QuillError(ErrNo::ObjectNotSet, L"clsQuillData");
  return *object;
}

}  // namespace

std::span<const Procedure> Catalogue() {
  static const std::vector<Procedure> entries = Build();
  return entries;
}

std::wstring_view OperationName(Op op) {
  static constexpr std::wstring_view kNames[] = {
#define QUILLDATA_OPERATION(Result, Name, Params, Args) L## #Name,
#define QUILLDATA_TABLE_READER(Name, Record, Table, Key, Unread)
#include "QuillData/contract/Operations.inc"
  };
  return kNames[static_cast<size_t>(op)];
}

const Procedure& Entry(Op op) {
  auto all = Catalogue();
  const auto at = static_cast<size_t>(op);
  if (at >= all.size() || all[at].op != op) {
    throw QuillError(ErrNo::InternalError, L"clsQuillData",
                     L"No stored procedure is catalogued for " + std::wstring(OperationName(op)));
  }
  return all[at];
}

Variant ParameterValue(const Procedure& procedure, const Param& param,
                       std::span<const Variant> args, int32_t recordsAffected) {
  if (param.from == From::LeftOut) return {};
  if (param.from == From::RecordsAffected) return recordsAffected;
  auto where = [&] {
    return L" (parameter " + std::wstring(param.name) + L" of " + std::wstring(procedure.name) +
           L")";
  };
  if (param.arg < 0 || static_cast<size_t>(param.arg) >= args.size() ||
      args[param.arg].Type() != ExpectedArgument(param.from)) {
    throw QuillError(ErrNo::InternalError, L"clsQuillData",
                     L"The operation bound no argument of the catalogued type" + where());
  }
  try {
    return Convert(param.from, args[param.arg]);
  } catch (const QuillError& e) {
    throw e.Described(e.Description() + where());
  }
}

Variant InitialResult(const Procedure& procedure) {
  if (procedure.result == Result::Long || procedure.result == Result::Zero) return int32_t{0};
  return {};
}

bool Call(Trap& trap, const ado::ConnectionPtr& connection, const Procedure& procedure,
          std::span<const Variant> args, int32_t recordsAffected, Variant& result,
          std::function<bool()> resendSafe, ado::RowSink* rows) {
  ado::CommandPtr command;
  trap.Step([&] {
    command = std::make_shared<ado::Command>();
    command->ActiveConnection(connection);
  });
  trap.Step([&] {
    Must(command).CommandText(std::wstring(procedure.name));
    Must(command).CommandType(adCmdStoredProc);
  });
  for (const Param& param : procedure.params) {
    trap.Step([&] {
      Variant value = ParameterValue(procedure, param, args, recordsAffected);
      auto created = Must(command).CreateParameter(std::wstring(param.name), param.type,
                                                   param.direction, param.size, value);
      Must(Must(command).Parameters()).Append(created);
    });
    if (param.type == adNumeric) {
      trap.Step([&] {
        auto appended = Must(Must(command).Parameters()).Item(std::wstring(param.name));
        Must(appended).Precision(param.precision);
        Must(appended).NumericScale(param.scale);
      });
    }
  }
  // With -1 the recordset stays referenced until the call is over, and is never read.
  ado::RecordsetPtr returned;
  ado::ResendGuard guard(connection, std::move(resendSafe));
  bool executed = false;
  trap.Step([&] {
    guard.Attempt([&] {
      if (rows && procedure.result == Result::Rows) {
        Must(command).Stream(*rows, procedure.options);
      } else {
        returned = Must(command).Execute(procedure.options);
      }
    });
    executed = true;
  });
  // A call that did not run has no result: the return parameter still holds what was bound
  // into it (the caller's lngRecordsAffected, or -1), never an identifier.
  if (!executed) {
    command.reset();
    return false;
  }
  switch (procedure.result) {
    case Result::Long:
      trap.Step([&] {
        result = CLng(Must(Must(Must(command).Parameters()).Item(L"@Return_Value")).Value());
      });
      break;
    case Result::Variant:
      trap.Step(
          [&] { result = Must(Must(Must(command).Parameters()).Item(L"@Return_Value")).Value(); });
      break;
    default:
      break;
  }
  command.reset();
  return true;
}

}  // namespace QuillData::mssql
