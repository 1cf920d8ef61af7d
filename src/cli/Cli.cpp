#include "cli/Cli.h"

#include <unistd.h>
#include <CLI/CLI.hpp>

#include <utf8.h>

#include <algorithm>
#include <iostream>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "QuillData/contract/Text.h"
#include "cli/Call.h"
#include "cli/Database.h"
#include "cli/Describe.h"
#include "cli/QueryCopy.h"
#include "cli/ServerCommands.h"

namespace QuillData::cli {

namespace {

constexpr const char* kFooter =
    "Values on the command line are read the same under every locale: whole numbers as\n"
    "decimal text, real numbers with '.' as decimal point, booleans as true/false/1/0/-1,\n"
    "text as UTF-8. Exit codes: 0 success, 1 an error was reported (see each command's\n"
    "--help) or the database did not open, 2 bad usage.";

// The call command's usage line names what follows its options, which the parser does not
// see: everything from the operation on is the operation's.
class CallFormatter : public CLI::Formatter {
 public:
  std::string make_usage(const CLI::App* app, std::string name) const override {
    std::string usage = CLI::Formatter::make_usage(app, std::move(name));
    usage.insert(usage.find_last_not_of('\n') + 1, " OPERATION [ARG ...]");
    return usage;
  }
};

// The first argument that is not UTF-8 text (1-based), or 0. Text reaches the library as
// Unicode: invalid bytes would be stored as replacement characters.
int FirstInvalidUtf8(int argc, const char* const* argv) {
  for (int i = 1; i < argc; ++i) {
    std::string_view arg(argv[i]);
    if (!utf8::is_valid(arg.begin(), arg.end())) return i;
  }
  return 0;
}

// A call option written after the operation, where it would be taken as an argument.
std::optional<std::string> MisplacedOption(const CLI::App& call,
                                           const std::vector<std::string>& args) {
  std::set<std::string> names;
  for (const CLI::Option* opt : call.get_options()) {
    for (const std::string& name : opt->get_lnames()) names.insert("--" + name);
    for (const std::string& name : opt->get_snames()) names.insert("-" + name);
  }
  for (const std::string& arg : args) {
    if (arg == "--") break;
    if (names.count(arg.substr(0, arg.find('=')))) return arg;
  }
  return std::nullopt;
}

int Run(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
  CLI::App app{"quilldata: reach a QuillData database from the command line", "quilldata"};
  app.footer(kFooter);
  // "/x" is a path everywhere, never an option (as CLI11 reads it on Windows by default).
  app.allow_windows_style_options(false);
  app.require_subcommand(1);
  app.set_version_flag("--version", std::string("quilldata ") + QUILLDATA_VERSION);

  std::string helpTopic;
  auto* helpCmd = app.add_subcommand("help", "Print this help, or one command's");
  helpCmd->add_option("COMMAND", helpTopic, "The command (e.g. call)");

  std::string recordName;
  auto* records = app.add_subcommand(
      "records", "Print the record types with their fields, types and defaults as JSON");
  records->add_option("NAME", recordName, "One record type (e.g. tblMachRouting)");

  std::string operationName;
  auto* operations = app.add_subcommand(
      "operations", "Print the interface's operations with their arguments as JSON");
  operations->add_option("NAME", operationName, "One operation (e.g. INSERTMachining)");

  CallSettings call;
  std::string onError = "leave";
  auto* callCmd = app.add_subcommand(
      "call", "Call one operation: quilldata call [OPTIONS] OPERATION [ARG ...]");
  callCmd->add_option("--db", call.db, "SQLite database file (must exist)");
  callCmd->add_option("--sqlite-lib", call.sqliteLib,
                      "Folder holding libsqlite3.so.0 (default: the library's own folder, "
                      "then the system's search path)");
  callCmd->add_option("--server", call.server, "Connection string: use the server backend");
  callCmd->add_option("--on-error", onError,
                      "What a failure does: leave, continue, retry:N or exit (default leave)");
  callCmd->add_flag("--trace", call.trace, "Switch tracing on and print the trace");
  callCmd->add_flag("--summary", call.summary, "Print a collection's count without its items");
  // Everything from the operation name on is the operation's: values such as -1 are not
  // options.
  callCmd->prefix_command();
  callCmd->formatter(std::make_shared<CallFormatter>());
  callCmd->footer(
      std::string(
          "Options go before OPERATION. The ARGs follow the interface's order; optional\n"
          "ones may be left off at the end (`quilldata operations OPERATION` shows them).\n"
          "An ARG written @FILE is the content of FILE, and - is standard input (without\n"
          "one final line break): for texts too long for the command line, or to pass a\n"
          "text that starts with @ or is -. After --, nothing is taken for an option.\n"
          "Exit codes: 0 the call ran and no error was reported, 1 an error was reported\n"
          "(even one the --on-error answer handled: the JSON lists them under \"errors\"),\n"
          "the database did not open, or an error reached the caller; 2 bad usage.\n") +
      kFooter);

  InitSettings init;
  auto* initCmd = app.add_subcommand("init", "Create a database with the full schema");
  initCmd->add_option("DB", init.db, "The database file to create")->required();
  initCmd->add_flag("--sample", init.sample, "Also load the sample data");
  initCmd->add_option("--sqlite-lib", init.sqliteLib, "Folder holding libsqlite3.so.0");

  DemoSettings demo;
  std::string demoDb;
  auto* demoCmd = app.add_subcommand(
      "demo", "Create a sample database, show every reader, then write through the interface");
  demoCmd->add_option("DB", demoDb, "Keep the database in this file (default: temporary)");
  demoCmd->add_option("--sqlite-lib", demo.sqliteLib, "Folder holding libsqlite3.so.0");

  QuerySettings query;
  auto* queryCmd =
      app.add_subcommand("query", "Run any SQL text and print the rows as JSON (or a table)");
  queryCmd->add_option("SQL", query.sql, "The SQL text (@FILE: from a file, -: standard input)")
      ->required();
  queryCmd->add_option("--db", query.db, "SQLite database file (must exist)");
  queryCmd->add_option("--server", query.server, "Connection string of a database server");
  queryCmd->add_option("--sqlite-lib", query.sqliteLib, "Folder holding libsqlite3.so.0");
  queryCmd->add_flag("--table", query.table, "An aligned table for people instead of JSON");
  queryCmd->footer(
      "JSON: {\"recordCount\": n, \"columns\": [names], \"rows\": [[values in column "
      "order], ...]}.\nExit codes: 0 rows printed, 1 the SQL or the connection failed, 2 bad "
      "usage or no such file.");

  CopySettings copy;
  auto* copyCmd = app.add_subcommand(
      "copy", "Copy an SQLite database consistently, even while others write to it");
  copyCmd->add_option("SRC", copy.source, "The database to copy")->required();
  copyCmd->add_option("DST", copy.destination, "The new file (never overwritten)")->required();
  copyCmd->add_option("--sqlite-lib", copy.sqliteLib, "Folder holding libsqlite3.so.0");
  copyCmd->footer(
      "Exit codes: 0 copied, 1 the copy failed, 2 refused (DST exists, its folder does not, "
      "SRC is\nmissing or not a database): nothing was written.");

  DetachCopySettings detach;
  bool passwordFromStdin = false;
  auto* detachCmd = app.add_subcommand(
      "detach-copy", "Copy a SQL Server database's files under a new name (detach, copy, attach)");
  detachCmd->add_option("--server-name", detach.serverName, "The server (host[\\instance])")
      ->required();
  detachCmd->add_option("--login", detach.login,
                        "SQL Server login (default: the operating system's identity)");
  auto* passwordOpt = detachCmd->add_option("--password", detach.password, "The login's password");
  detachCmd
      ->add_flag("--password-stdin", passwordFromStdin,
                 "Read the password from the first line of standard input (keeps it out of "
                 "the process list)")
      ->excludes(passwordOpt);
  detachCmd->add_option("DATABASE", detach.database, "The database to copy")->required();
  detachCmd->add_option("NEWNAME", detach.newName, "The copies' name: NEWNAME.mdf, NEWNAME_log.ldf")
      ->required();
  detachCmd->footer(
      "The files are copied by this process: run it where the server's file paths can be "
      "reached.\nThe database is detached while its files are copied.");

  ServerInitSettings serverInit;
  auto* serverInitCmd =
      app.add_subcommand("server-init", "Install the schema into an empty PostgreSQL database");
  serverInitCmd->add_option("--server", serverInit.server, "Connection string")->required();
  serverInitCmd->add_flag("--json", serverInit.json, "Print the result as JSON");

  auto* transferCmd = app.add_subcommand(
      "transfer", "Copy every table between a database file and a server: transfer FROM TO");
  transferCmd->prefix_command();
  transferCmd->footer(
      "FROM and TO are each a database file or --server CONNECTION, in that order. A file\n"
      "target is created; every table of the target must be empty. --json prints one summary\n"
      "object; --sqlite-lib DIR names the folder of libsqlite3.so.0. Exit codes: 0 copied and\n"
      "verified, 1 failed (the target is as it was), 2 bad usage or refused (nothing written).");

  if (int bad = FirstInvalidUtf8(argc, argv)) {
    err << "quilldata: argument " << bad << " is not valid UTF-8 text\n";
    return kExitUsage;
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    int code = app.exit(e, out, err);
    return code == 0 ? kExitOk : kExitUsage;
  }

  if (helpCmd->parsed()) {
    if (helpTopic.empty()) {
      // app.help() would print the help of the command parsed last, `help` itself.
      out << app.get_formatter()->make_help(&app, app.get_name(), CLI::AppFormatMode::Normal);
      return kExitOk;
    }
    for (const CLI::App* sub : app.get_subcommands({})) {
      if (sub->get_name() == helpTopic) {
        out << sub->help("quilldata");
        return kExitOk;
      }
    }
    err << "quilldata help: no command \"" << helpTopic << "\" (`quilldata help` lists them)\n";
    return kExitUsage;
  }

  if (records->parsed()) {
    if (recordName.empty()) {
      out << Dump(RecordTypesToJson()) << '\n';
      return kExitOk;
    }
    const RecordType* type = RecordType::Find(FromUtf8(recordName));
    if (!type) {
      err << "quilldata records: no record type \"" << recordName
          << "\" (`quilldata records` lists them)\n";
      return kExitUsage;
    }
    out << Dump(RecordTypeToJson(*type)) << '\n';
    return kExitOk;
  }
  if (operations->parsed()) {
    if (operationName.empty()) {
      out << Dump(OperationsToJson()) << '\n';
      return kExitOk;
    }
    const OperationEntry* op = FindOperation(operationName);
    if (!op) {
      err << "quilldata operations: no operation \"" << operationName << "\"\n";
      return kExitUsage;
    }
    out << Dump(OperationToJson(*op)) << '\n';
    return kExitOk;
  }
  if (callCmd->parsed()) {
    auto policy = ParseErrorPolicy(onError);
    if (!policy) {
      err << "quilldata call: --on-error takes leave, continue, retry:N or exit, not \"" << onError
          << "\"\n";
      return kExitUsage;
    }
    call.onError = *policy;
    std::vector<std::string> rest = callCmd->remaining();
    if (rest.empty()) {
      err << "quilldata call: name the operation (`quilldata operations` lists them)\n";
      return kExitUsage;
    }
    std::string name = rest.front();
    rest.erase(rest.begin());
    if (auto option = MisplacedOption(*callCmd, rest)) {
      err << "quilldata call: " << *option << " comes after the operation, where it would be read "
          << "as an argument: put options before " << name
          << " (or write -- before it to pass it as text)\n";
      return kExitUsage;
    }
    if (auto dashes = std::find(rest.begin(), rest.end(), "--"); dashes != rest.end())
      rest.erase(dashes);
    std::string why;
    if (!ExpandArguments(rest, std::cin, why)) {
      err << "quilldata call: " << why << '\n';
      return kExitUsage;
    }
    return RunCall(call, name, rest, out, err);
  }
  if (initCmd->parsed()) return RunInit(init, out, err);
  if (serverInitCmd->parsed()) return RunServerInit(serverInit, out, err);
  if (transferCmd->parsed())
    return RunTransfer(transferCmd->remaining(), out, err,
                       ::isatty(STDERR_FILENO) ? &err : nullptr);
  if (queryCmd->parsed()) {
    std::vector<std::string> sql{query.sql};
    std::string why;
    if (!ExpandArguments(sql, std::cin, why)) {
      err << "quilldata query: " << why << '\n';
      return kExitUsage;
    }
    query.sql = sql.front();
    return RunQuery(query, out, err);
  }
  if (copyCmd->parsed()) return RunCopy(copy, out, err);
  if (detachCmd->parsed()) {
    if (passwordFromStdin) {
      std::getline(std::cin, detach.password);
      if (!detach.password.empty() && detach.password.back() == '\r') detach.password.pop_back();
    }
    return RunDetachCopy(detach, out, err);
  }
  if (demoCmd->parsed()) {
    if (!demoDb.empty()) demo.db = demoDb;
    return RunDemo(demo, out, err);
  }
  return kExitUsage;
}

}  // namespace

int Main(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
  try {
    return Run(argc, argv, out, err);
  } catch (const std::exception& e) {
    // Whatever escaped the commands' own handling (out of memory, an unexpected failure).
    err << "quilldata: " << e.what() << '\n';
    return kExitFailed;
  }
}

}  // namespace QuillData::cli
