#include "cli/Database.h"

#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "QuillData/contract/Text.h"
#include "QuillData/contract/clsQuillData.h"
#include "cli/Call.h"
#include "cli/TextTable.h"
#include "platform/Files.h"

#include "QuillData/Config.h"
#if QUILLDATA_WITH_SQLITE
#include "QuillData/sqlite/Schema.h"
#endif

namespace QuillData::cli {

#if QUILLDATA_WITH_SQLITE

namespace {

namespace fs = std::filesystem;

// Claims `path` for a new database: creates it when missing (exclusively, so that two
// commands cannot both take it) or accepts an existing empty file. Anything else is
// refused with a message. `created` tells the caller whether to remove it after a failure.
bool ClaimNewDatabase(const std::string& path, bool& created, std::string& why) {
  created = false;
  const fs::path file = platform::Utf8Path(path);
  const platform::FileError error = platform::CreateNewFile(file);
  if (!error) {
    created = true;
    return true;
  }
  if (!error.exists) {
    why = "cannot create \"" + path + "\": " + ToUtf8(error.message);
    return false;
  }
  std::error_code ec;
  if (!fs::is_regular_file(fs::status(file, ec))) {
    why = "\"" + path + "\" exists and is not a regular file";
    return false;
  }
  if (fs::file_size(file, ec) != 0) {
    why = "\"" + path + "\" already exists and is not empty; it is left as it is";
    return false;
  }
  return true;
}

// A temporary folder removed with everything in it when the demo ends.
class TempDir {
 public:
  TempDir() { error_ = platform::MakeTemporaryFolder(L"quilldata-demo-", path_); }
  ~TempDir() {
    std::error_code ec;
    if (!path_.empty()) fs::remove_all(path_, ec);
  }
  const fs::path& Path() const { return path_; }
  const std::wstring& Error() const { return error_.message; }

 private:
  fs::path path_;
  platform::FileError error_;
};

// The whole-table readers, from the one list of operations: their table and member.
struct TableReader {
  std::string_view name;
  std::wstring_view table;
  CollectionPtr (clsQuillData::*read)(RecordsAffected);
};
#define QUILLDATA_OPERATION(...)
#define QUILLDATA_TABLE_READER(Name, Record, Table, Key, Unread) \
  {#Name, Table, &clsQuillData::Name},
constexpr TableReader kTableReaders[] = {
#include "QuillData/contract/Operations.inc"
};

// A table as the demo shows it: the reader that returns it and the fields worth seeing
// (empty: all of them).
struct View {
  const TableReader& reader;
  std::vector<std::wstring> fields;
};

const TableReader& Reader(std::string_view name) {
  for (const TableReader& reader : kTableReaders) {
    if (reader.name == name) return reader;
  }
  throw std::logic_error("no table reader " + std::string(name));
}

const View kMachining{Reader("GETTblMachining"), {}};
const View kRouting{Reader("GETTblMachRouting"),
                    {L"lngMachRoutingID", L"strName", L"strToolRotation", L"lngToolRotationSpeed",
                     L"lngPocket", L"MachID"}};
const View kVertical{Reader("GETTblMachVertical"),
                     {L"MachVerticalID", L"strName", L"strMachOrientation", L"Zstart", L"NormalX",
                      L"NormalY", L"NormalZ", L"MachID"}};
const View kLink{Reader("GETTblMachLink"),
                 {L"MachLinkID", L"MachID", L"MachRuleID", L"MachListVar", L"MachExprVar",
                  L"MirrorX", L"MirrorY"}};
const View kVariable{Reader("GETTblMachVariable"), {}};
const View kScenarios{Reader("GETTblConstructionScenarioTypes"), {}};
const View kGlobalAssignments{Reader("GETTblGlobalRelationAssignments"),
                              {L"fldPatternID", L"fldConstScenarioID", L"fldPartType1",
                               L"fldPartType2", L"fldSubType1", L"fldSubType2"}};
const View kGlobalPatterns{Reader("GETTblGlobalRelationshipPatterns"), {}};
const View kLocalAssignments{
    Reader("GETTblLocalRelationAssignments"),
    {L"fldItemID", L"fldPatternID", L"fldConstScenarioID", L"fldPattType", L"fldRelation"}};
const View kLocalPatterns{Reader("GETTblLocalRelationshipPatterns"), {}};
const View kFaceContours{
    Reader("GETTblGlobalFaceContourLinks"),
    {L"fldConstScenarioID", L"fldPartTypeID", L"fldSubTypeID", L"fldLinkName"}};
const View kLocalFaceContours{
    Reader("GETTblLocalFaceContourLinks"),
    {L"fldConstScenarioID", L"fldPartTypeID", L"fldSubTypeID", L"fldLinkName", L"fldDesignID"}};
const View kImprints{Reader("GETTblGlobalImprintAssignments"),
                     {L"fldlngRelationPattern", L"fldlngConstScenarioID", L"fldstrUDI_Type",
                      L"fldstrPartType1", L"fldstrPartType2"}};

void Show(std::ostream& out, clsQuillData& db, const View& view, const char* when) {
  std::string title =
      ToUtf8(view.reader.table) + " " + when + " (" + std::string(view.reader.name) + ")";
  if (auto c = (db.*view.reader.read)(RecordsAffected()))
    PrintCollection(out, title, *c, 120, view.fields);
  else
    out << title << ": nothing returned\n\n";
}

// One step of the write tour: what it does, the operations it calls, the tables it touches
// (shown before and after), and the calls themselves, which describe what came back.
struct WriteStep {
  std::string what;
  std::string calls;
  std::vector<const View*> tables;
  std::function<void(clsQuillData&, std::ostream&)> run;
};

// Adds, changes, copies and deletes rows through the interface, one step at a time; stops
// at the first step the error companion heard of. False when a step failed.
bool WriteTour(std::ostream& out, std::ostream& err, clsQuillData& db,
               const PolicyErrorHandler& errors) {
  int32_t machId = 0, routingId = 0;
  const std::wstring copyType = L"Standard (copy)";
  const std::vector<WriteStep> steps{
      {"add a machining",
       "INSERTMachining",
       {&kMachining},
       [&](clsQuillData& q, std::ostream& o) {
         machId = q.INSERTMachining(L"Cable grommet 60", L"Grommets", 1, 300.0, 250.0, 19.0);
         o << "INSERTMachining(\"Cable grommet 60\", \"Grommets\", MachLibID 1, X 300, Y 250, "
              "Z 19) returned MachID "
           << machId << ".\n";
         int32_t again = q.INSERTMachining(L"Cable grommet 60", L"Grommets", 1, 300.0, 250.0, 19.0);
         o << "Called again with the same name and library it returned " << again
           << ": the row is looked up first, so it is not written twice.\n";
       }},
      {"give it a routing (a pocket)",
       "INSERTMachRouting",
       {&kRouting},
       [&](clsQuillData& q, std::ostream& o) {
         routingId = q.INSERTMachRouting(L"Grommet pocket", machId, 1);
         o << "INSERTMachRouting(\"Grommet pocket\", MachID " << machId
           << ", lngPocket 1) returned " << routingId
           << ". The other columns get the defaults of a new tblMachRouting.\n";
       }},
      {"give it a vertical drilling",
       "INSERTMachVertical",
       {&kVertical},
       [&](clsQuillData& q, std::ostream& o) {
         int32_t id = q.INSERTMachVertical(L"Grommet pilot hole", L"V", machId);
         o << "INSERTMachVertical(\"Grommet pilot hole\", orientation \"V\", MachID " << machId
           << ") returned " << id << ". \"V\" drills from above: Zstart Z, normal (0, 0, -1).\n";
       }},
      {"link it to a rule",
       "INSERTMachLink",
       {&kLink},
       [&](clsQuillData& q, std::ostream& o) {
         int32_t id = q.INSERTMachLink(machId, 40, L"GrommetCount", L"GrommetDist", false, false);
         o << "INSERTMachLink(MachID " << machId
           << ", rule 40, \"GrommetCount\", \"GrommetDist\", no mirroring) returned " << id
           << ".\n";
       }},
      {"add the variables the link uses",
       "INSERTMachVariable",
       {&kVariable},
       [&](clsQuillData& q, std::ostream& o) {
         int32_t dist = q.INSERTMachVariable(L"GrommetDist", L"250", 1, true);
         int32_t count = q.INSERTMachVariable(L"GrommetCount", L"2", 1, false);
         o << "INSERTMachVariable(\"GrommetDist\", \"250\", MachLibID 1, requested) returned "
           << dist << ";\nINSERTMachVariable(\"GrommetCount\", \"2\", MachLibID 1, not requested) "
           << "returned " << count << ".\n";
       }},
      {"change one routing parameter",
       "UPDATEParaMachRouting",
       {&kRouting},
       [&](clsQuillData& q, std::ostream& o) {
         q.UPDATEParaMachRouting(L"strToolRotation", L"left", routingId);
         o << "UPDATEParaMachRouting(\"strToolRotation\", \"left\", routing " << routingId
           << "): the column name is checked against the table before it is used.\n";
       }},
      {"copy construction scenario 1 (\"Standard\")",
       "INSERTCopyMachiningScenario",
       {&kScenarios, &kGlobalAssignments, &kGlobalPatterns, &kLocalAssignments, &kLocalPatterns,
        &kFaceContours, &kLocalFaceContours, &kImprints},
       [&](clsQuillData& q, std::ostream& o) {
         int32_t r = q.INSERTCopyMachiningScenario(1, copyType);
         o << "INSERTCopyMachiningScenario(1, \"" << ToUtf8(copyType) << "\") returned " << r
           << ".\nIn one transaction it made the new scenario type and copied every row of "
              "scenario 1 to it:\nrelation assignments (each with a fresh copy of its "
              "relationship pattern), face-contour\nlinks and imprint assignments.\n";
       }},
      {"delete the machining",
       "DELMachining",
       {&kMachining, &kRouting, &kVertical, &kLink, &kVariable},
       [&](clsQuillData& q, std::ostream& o) {
         int32_t r = q.DELMachining(machId);
         o << "DELMachining(" << machId << ") returned " << r
           << ". It deletes the machining with its routing and drilling rows;\nits links and "
              "the library's variables stay.\n";
       }},
  };

  out << "Then writing through the interface, in " << steps.size()
      << " steps; each shows the tables it changes before and after.\n\n";
  for (size_t i = 0; i < steps.size(); ++i) {
    const WriteStep& step = steps[i];
    std::string heading = "Step " + std::to_string(i + 1) + " of " + std::to_string(steps.size()) +
                          ": " + step.what + " (" + step.calls + ")";
    out << heading << '\n' << std::string(heading.size(), '=') << "\n\n";
    for (const View* v : step.tables) Show(out, db, *v, "before");
    const size_t reported = errors.Reports().size();
    step.run(db, out);
    out << '\n';
    if (errors.Reports().size() != reported) {
      err << "quilldata demo: step " << i + 1 << " (" << step.calls
          << ") failed; the error is above\n";
      return false;
    }
    for (const View* v : step.tables) Show(out, db, *v, "after");
  }
  return errors.Reports().empty();
}

// A file that holds a database of an older schema is upgraded; one of the current schema,
// or anything else, is left as it is.
int UpgradeDatabase(const InitSettings& settings, std::ostream& out, std::ostream& err) {
  const fs::path file = platform::Utf8Path(settings.db);
  const std::string left =
      "\"" + settings.db + "\" already exists and is not empty; it is left as it is";
  int32_t version = 0;
  try {
    version = SqliteSchemaVersion(file, FromUtf8(settings.sqliteLib));
  } catch (const QuillError& e) {
    err << "quilldata init: " << left << " (" << ToUtf8(e.Description()) << ")\n";
    return kExitUsage;
  }
  if (version == 0 || version == kSqliteSchemaVersion) {
    err << "quilldata init: " << left;
    if (version != 0) err << " (it holds the schema, version " << version << ")";
    err << '\n';
    return kExitUsage;
  }
  try {
    CreateDatabase(file, false, FromUtf8(settings.sqliteLib));
  } catch (const QuillError& e) {
    err << "quilldata init: " << ToUtf8(e.Description()) << '\n';
    return e.Kind() == ErrorKind::RefusedArgument ? kExitUsage : kExitFailed;
  }
  out << Dump(Json{{"upgraded", settings.db}, {"from", version}, {"version", kSqliteSchemaVersion}})
      << '\n';
  return kExitOk;
}

}  // namespace

int RunInit(const InitSettings& settings, std::ostream& out, std::ostream& err) {
  std::error_code ec;
  const fs::path file = platform::Utf8Path(settings.db);
  if (fs::is_regular_file(file, ec) && fs::file_size(file, ec) > 0)
    return UpgradeDatabase(settings, out, err);
  bool created = false;
  std::string why;
  if (!ClaimNewDatabase(settings.db, created, why)) {
    err << "quilldata init: " << why << '\n';
    return kExitUsage;
  }
  try {
    CreateDatabase(platform::Utf8Path(settings.db), settings.sample, FromUtf8(settings.sqliteLib));
  } catch (const QuillError& e) {
    std::error_code ec;
    if (created) fs::remove(platform::Utf8Path(settings.db), ec);
    err << "quilldata init: " << e.what() << '\n';
    return kExitFailed;
  }
  Json doc = {
      {"created", settings.db}, {"sample", settings.sample}, {"version", kSqliteSchemaVersion}};
  out << Dump(doc) << '\n';
  return kExitOk;
}

int RunDemo(const DemoSettings& settings, std::ostream& out, std::ostream& err) {
  TempDir temp;
  std::string db;
  bool created = false;
  if (settings.db) {
    std::string why;
    if (!ClaimNewDatabase(*settings.db, created, why)) {
      err << "quilldata demo: " << why << '\n';
      return kExitUsage;
    }
    db = *settings.db;
  } else {
    if (temp.Path().empty()) {
      err << "quilldata demo: cannot create a temporary folder: " << ToUtf8(temp.Error()) << '\n';
      return kExitFailed;
    }
    db = (temp.Path() / "demo.db").string();
  }

  try {
    CreateDatabase(platform::Utf8Path(db), true, FromUtf8(settings.sqliteLib));
  } catch (const QuillError& e) {
    std::error_code ec;
    if (created) fs::remove(platform::Utf8Path(db), ec);
    err << "quilldata demo: " << e.what() << '\n';
    return kExitFailed;
  }

  CallSettings store;
  store.db = db;
  store.sqliteLib = settings.sqliteLib;
  std::shared_ptr<clsQuillData> backend;
  try {
    backend = CreateBackend(BackendClass(store));
  } catch (const QuillError& e) {
    err << "quilldata demo: " << e.what() << '\n';
    return kExitFailed;
  }
  auto trace = std::make_shared<StreamTrace>();
  auto errors = std::make_shared<PolicyErrorHandler>(PolicyErrorHandler::Policy::Leave, 0, &err);
  if (!backend || !backend->OpenDB(trace, errors, ConnArgsFor(store))) {
    err << "quilldata demo: could not open " << db << '\n';
    return kExitFailed;
  }

  out << "QuillData demo: a new database with the sample data, "
      << (settings.db ? "kept in " + db : std::string("in a temporary file")) << ".\n"
      << "First every reader of the interface, called through clsQuillData.\n\n";
  for (const OperationEntry& op : Operations()) {
    if (op.Result() != ResultType::Collection) continue;
    // Readers take nothing but the count, except the filter reader's selection flag.
    std::vector<std::vector<std::string>> calls{{}};
    if (op.RequiredCount() == 1 && op.Args()[0].type == ArgType::Bool)
      calls = {{"true"}, {"false"}};
    for (const auto& args : calls) {
      std::string title = op.NameUtf8() + (args.empty() ? "" : "(" + args[0] + ")");
      CallResult r = op.Bind(args)(*backend);
      if (auto c = r.result.ObjectAs<Tessera::Collection>())
        PrintCollection(out, title, *c);
      else
        out << title << ": nothing returned\n\n";
    }
  }
  if (!errors->Reports().empty()) {
    err << "quilldata demo: " << errors->Reports().size() << " reader(s) failed\n";
    return kExitFailed;
  }
  const bool wrote = WriteTour(out, err, *backend, *errors);
  backend.reset();
  if (!wrote) return kExitFailed;
  out << "Every step ran through clsQuillData on "
      << (settings.db ? db : std::string("a temporary file, now removed")) << ".\n";
  return kExitOk;
}

#else

int RunInit(const InitSettings&, std::ostream&, std::ostream& err) {
  err << "quilldata init: this build has no SQLite backend\n";
  return kExitUsage;
}

int RunDemo(const DemoSettings&, std::ostream&, std::ostream& err) {
  err << "quilldata demo: this build has no SQLite backend\n";
  return kExitUsage;
}

#endif

}  // namespace QuillData::cli
