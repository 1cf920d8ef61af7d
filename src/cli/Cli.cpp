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
#include "cli/Batch.h"
#include "cli/Call.h"
#include "cli/Database.h"
#include "cli/Describe.h"
#include "cli/OperationDocs.h"
#include "cli/QueryCopy.h"
#include "cli/ServerCommands.h"
#include "cli/Suggest.h"

namespace QuillData::cli {

namespace {

constexpr const char* kValues =
    "Values on the command line are read the same under every locale: whole numbers as\n"
    "decimal text, real numbers with '.' as decimal point, booleans as true/false/1/0/-1,\n"
    "text as UTF-8.";
constexpr const char* kExitCodes =
    "Exit codes: 0 success, 1 an error was reported (see each command's --help) or the\n"
    "database did not open, 2 bad usage.";

// A usage line that names what follows the options, which the parser does not see (the
// operation and its arguments, the transfer's sides).
class UsageFormatter : public CLI::Formatter {
 public:
  explicit UsageFormatter(std::string tail) : tail_(std::move(tail)) {}
  std::string make_usage(const CLI::App* app, std::string name) const override {
    std::string usage = CLI::Formatter::make_usage(app, std::move(name));
    usage.insert(usage.find_last_not_of('\n') + 1, " " + tail_);
    return usage;
  }

 private:
  std::string tail_;
};

// The first word that is not UTF-8 text (1-based), or 0. Text reaches the library as
// Unicode: invalid bytes would be stored as replacement characters.
int FirstInvalidUtf8(int argc, const char* const* argv) {
  for (int i = 1; i < argc; ++i) {
    std::string_view arg(argv[i]);
    if (!utf8::is_valid(arg.begin(), arg.end())) return i;
  }
  return 0;
}

bool IsUtf8(const std::string& text) {
  return utf8::is_valid(text.begin(), text.end());
}

std::vector<std::string> OptionNames(const CLI::App& app) {
  std::vector<std::string> names;
  for (const CLI::Option* opt : app.get_options()) {
    for (const std::string& name : opt->get_lnames()) names.push_back("--" + name);
    for (const std::string& name : opt->get_snames()) names.push_back("-" + name);
  }
  return names;
}

// A call option written after the operation, where it would be taken as an argument.
std::optional<std::string> MisplacedOption(const CLI::App& call,
                                           const std::vector<std::string>& args) {
  const std::vector<std::string> list = OptionNames(call);
  const std::set<std::string> names(list.begin(), list.end());
  for (const std::string& arg : args) {
    if (arg == "--") break;
    if (names.count(arg.substr(0, arg.find('=')))) return arg;
  }
  return std::nullopt;
}

// What is wrong with a word of `call` that is not UTF-8: the operation's argument counted
// from the operation, as its signature counts them.
std::string InvalidCallWord(const std::vector<std::string>& rest) {
  if (rest.empty()) return {};
  if (!IsUtf8(rest.front())) return "the operation's name is not valid UTF-8 text";
  const OperationEntry* op = FindOperation(rest.front());
  size_t n = 0;
  bool dashes = false;
  for (size_t i = 1; i < rest.size(); ++i) {
    if (rest[i] == "--" && !dashes) {
      dashes = true;
      continue;
    }
    ++n;
    if (IsUtf8(rest[i])) continue;
    std::string text = "argument " + std::to_string(n) + " of " + rest.front();
    if (op && n <= op->Args().size()) text += " (" + op->Args()[n - 1].name + ")";
    return text + " is not valid UTF-8 text";
  }
  return {};
}

// The help of one command, or of them all.
int Help(const CLI::App& app, const std::string& topic, std::ostream& out, std::ostream& err) {
  if (topic.empty()) {
    // app.help() would print the help of the command parsed last, `help` itself.
    out << app.get_formatter()->make_help(&app, app.get_name(), CLI::AppFormatMode::Normal);
    return kExitOk;
  }
  std::vector<std::string> names;
  for (const CLI::App* sub : app.get_subcommands({})) {
    if (sub->get_name() == topic) {
      out << sub->help("quilldata");
      return kExitOk;
    }
    names.push_back(sub->get_name());
  }
  err << "quilldata help: no command \"" << topic << "\"" << DidYouMean(topic, names)
      << " (`quilldata help` lists them)\n";
  return kExitUsage;
}

int Operations(const std::string& name, bool markdown, const std::string& doc, std::ostream& out,
               std::ostream& err) {
  if (markdown) {
    out << OperationsMarkdown();
    return kExitOk;
  }
  const std::string& wanted = doc.empty() ? name : doc;
  if (wanted.empty()) {
    out << Dump(OperationsToJson()) << '\n';
    return kExitOk;
  }
  const OperationEntry* op = FindOperation(wanted);
  if (!op) {
    err << "quilldata operations: " << UnknownOperation(wanted) << '\n';
    return kExitUsage;
  }
  if (doc.empty()) {
    out << Dump(OperationToJson(*op)) << '\n';
  } else {
    out << OperationDoc(*op);
  }
  return kExitOk;
}

int Run(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
  CLI::App app{"quilldata: reach a QuillData database from the command line", "quilldata"};
  app.footer(std::string(kValues) + "\n" + kExitCodes);
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

  std::string operationName, operationDoc;
  bool markdown = false;
  auto* operations = app.add_subcommand(
      "operations", "Print the interface's operations with their arguments as JSON");
  operations->add_option("NAME", operationName, "One operation (e.g. INSERTMachining)");
  auto* docOpt = operations->add_option(
      "--doc", operationDoc,
      "What one operation looks up, writes and returns, and when it fails, as text");
  operations->add_flag("--markdown", markdown, "All of them as docs/operations.md holds them")
      ->excludes(docOpt);

  CallSettings call;
  std::string onError = "leave";
  auto* callCmd = app.add_subcommand(
      "call", "Call one operation: quilldata call [OPTIONS] OPERATION [ARG ...]");
  auto storeOptions = [&](CLI::App* cmd, CallSettings& settings) {
    cmd->add_option("--db", settings.db, "SQLite database file (must exist)");
    cmd->add_option("--sqlite-lib", settings.sqliteLib,
                    "Folder holding libsqlite3.so.0 (default: the library's own folder, "
                    "then the system's search path)");
    cmd->add_option("--server", settings.server, "Connection string: use the server backend");
    cmd->add_option("--on-error", onError,
                    "What a failure does: leave, continue, retry:N or exit (default leave)");
    cmd->add_flag("--trace", settings.trace,
                  "Switch tracing on and list the trace (the server backend traces each "
                  "operation; the embedded one only its teardown)");
    cmd->add_flag("--summary", settings.summary, "Print a collection's count without its items");
  };
  storeOptions(callCmd, call);
  // Everything from the operation name on is the operation's: values such as -1 are not
  // options.
  callCmd->prefix_command();
  callCmd->formatter(std::make_shared<UsageFormatter>("OPERATION [ARG ...]"));
  callCmd->footer(
      std::string(
          "Options go before OPERATION. The ARGs follow the interface's order; optional\n"
          "ones may be left off at the end (`quilldata operations --doc OPERATION` shows them).\n"
          "An ARG written @FILE is the content of FILE, and - is standard input (without\n"
          "one final line break): for texts too long for the command line, or to pass a\n"
          "text that starts with @ or is -. After --, nothing is taken for an option.\n"
          "Exit codes: 0 the call ran and no error was reported, 1 an error was reported\n"
          "(even one the --on-error answer handled, exit included: the JSON lists them under\n"
          "\"errors\"), the database did not open, or an error reached the caller; 2 bad "
          "usage.\n") +
      kValues);

  BatchSettings batch;
  auto* batchCmd = app.add_subcommand(
      "batch", "Run many operations in one transaction: quilldata batch [OPTIONS] SCRIPT");
  storeOptions(batchCmd, batch.store);
  batchCmd->add_flag("--atomic", batch.atomic,
                     "Any reported error rolls everything back (and stops the script)");
  batchCmd->add_option("SCRIPT", batch.script, "The script file, or - for standard input")
      ->required();
  batchCmd->footer(
      std::string(
          "The script holds one operation per line, as `call` takes it or as a JSON object:\n"
          "  INSERTMachining \"Hinge 35\" D 1 12.5 37 0\n"
          "  {\"operation\": \"INSERTMachVariable\", \"args\": [\"Depth\", \"12.5\", 1, true]}\n"
          "Words are split at blanks; \"...\" and '...' quote, \\ escapes, @FILE is a file's\n"
          "content. JSON values are taken as they stand. Blank lines and lines starting with #\n"
          "are skipped. Every line is checked before anything is opened: a bad line is named\n"
          "by its number and nothing is written. Then all run in one transaction.\n"
          "Output: one JSON object per line, shaped as `call`'s with \"line\", then\n"
          "{\"summary\": {\"operations\", \"run\", \"succeeded\", \"failed\", \"failedLines\",\n"
          "\"errors\", \"committed\", \"seconds\"}}. A progress bar shows on a terminal when the\n"
          "output goes elsewhere. --on-error exit stops at the first error and rolls back.\n"
          "SIGINT or SIGTERM rolls back and ends with 128 + the signal.\n"
          "Exit codes: 0 everything ran and was committed; 1 errors were reported and the\n"
          "other lines' work was committed; 2 bad usage or a bad script (nothing written);\n"
          "3 nothing was committed (--atomic and an error, --on-error exit, a failed commit,\n"
          "or a transaction the store ended).\n") +
      kValues);

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
      "SRC is\nmissing or not a database): nothing was written. SIGINT or SIGTERM removes "
      "the partial copy.");

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
  // The sides are read in order by the command itself (a side may be --server CONN).
  transferCmd->prefix_command();
  transferCmd->formatter(std::make_shared<UsageFormatter>("FROM TO"));
  transferCmd->footer(
      "Positionals:\n"
      "  FROM                  The source: a database file, or --server CONNECTION\n"
      "  TO                    The target: a database file (created when missing), or\n"
      "                        --server CONNECTION; every table of it must be empty\n"
      "Options, before, between or after the sides:\n"
      "  --json                Print one summary object instead of the table\n"
      "  --sqlite-lib DIR      Folder holding libsqlite3.so.0\n"
      "A progress bar shows on a terminal. SIGINT or SIGTERM rolls back, removes the\n"
      "unfinished target file (NAME.transfer-PID) and ends with 128 + the signal; such a file\n"
      "that an earlier run left is named and removed. Exit codes: 0 copied and verified,\n"
      "1 failed (the target is as it was), 2 bad usage or refused (nothing written).");

  // Options a command does not know are collected, so that the nearest one can be named.
  for (CLI::App* sub : app.get_subcommands({}))
    if (!sub->get_prefix_command()) sub->allow_extras();

  if (argc > 1 && IsUtf8(argv[1])) {
    const std::string first = argv[1];
    std::vector<std::string> names;
    if (first.starts_with("-")) {
      names = OptionNames(app);
    } else {
      for (const CLI::App* sub : app.get_subcommands({})) names.push_back(sub->get_name());
    }
    if (std::find(names.begin(), names.end(), first) == names.end()) {
      err << "quilldata: " << (first.starts_with("-") ? "unknown option " : "no command \"")
          << first << (first.starts_with("-") ? "" : "\"") << DidYouMean(first, names)
          << " (`quilldata help` lists the commands)\n";
      return kExitUsage;
    }
  }
  const int invalid = FirstInvalidUtf8(argc, argv);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    if (!invalid) {
      int code = app.exit(e, out, err);
      return code == 0 ? kExitOk : kExitUsage;
    }
  }
  if (invalid) {
    std::string why = callCmd->parsed() ? InvalidCallWord(callCmd->remaining()) : "";
    if (why.empty())
      why = "word " + std::to_string(invalid) + " of the command line is not valid UTF-8 text";
    err << "quilldata: " << why << '\n';
    return kExitUsage;
  }
  for (CLI::App* sub : app.get_subcommands()) {
    if (sub->get_prefix_command() || sub->remaining().empty()) continue;
    const std::string word = sub->remaining().front();
    err << "quilldata " << sub->get_name() << ": "
        << (word.starts_with("-") ? "unknown option " : "unexpected argument ") << word
        << (word.starts_with("-") ? DidYouMean(word.substr(0, word.find('=')), OptionNames(*sub))
                                  : "")
        << " (`quilldata " << sub->get_name() << " --help` lists what it takes)\n";
    return kExitUsage;
  }

  if (helpCmd->parsed()) return Help(app, helpTopic, out, err);

  if (records->parsed()) {
    if (recordName.empty()) {
      out << Dump(RecordTypesToJson()) << '\n';
      return kExitOk;
    }
    const RecordType* type = RecordType::Find(FromUtf8(recordName));
    if (!type) {
      std::vector<std::string> names;
      for (const RecordType* t : RecordType::All()) names.push_back(ToUtf8(t->Name()));
      err << "quilldata records: no record type \"" << recordName << "\""
          << DidYouMean(recordName, names) << " (`quilldata records` lists them)\n";
      return kExitUsage;
    }
    out << Dump(RecordTypeToJson(*type)) << '\n';
    return kExitOk;
  }
  if (operations->parsed()) return Operations(operationName, markdown, operationDoc, out, err);
  if (callCmd->parsed() || batchCmd->parsed()) {
    const char* command = callCmd->parsed() ? "call" : "batch";
    auto policy = ParseErrorPolicy(onError);
    if (!policy) {
      err << "quilldata " << command
          << ": --on-error takes leave, continue, retry:N or exit, not \"" << onError << "\"\n";
      return kExitUsage;
    }
    if (batchCmd->parsed()) {
      batch.store.onError = *policy;
      const bool terminal = ::isatty(STDERR_FILENO) && !::isatty(STDOUT_FILENO);
      return RunBatch(batch, std::cin, out, err, terminal ? &err : nullptr);
    }
    call.onError = *policy;
    std::vector<std::string> rest = callCmd->remaining();
    if (rest.empty()) {
      err << "quilldata call: name the operation (`quilldata operations` lists them)\n";
      return kExitUsage;
    }
    std::string name = rest.front();
    if (name.starts_with("-")) {
      err << "quilldata call: unknown option " << name
          << DidYouMean(name.substr(0, name.find('=')), OptionNames(*callCmd))
          << " (options go before the operation)\n";
      return kExitUsage;
    }
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
  if (transferCmd->parsed()) {
    return RunTransfer(transferCmd->remaining(), out, err,
                       ::isatty(STDERR_FILENO) ? &err : nullptr);
  }
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
