#pragma once
// `quilldata batch`: many operations in one transaction.
//
// The script holds one operation per line, in either of two forms:
//   INSERTMachining "Hinge 35" D 1 12.5 37 0           as `call` takes it: words split at
//                                                       blanks, "..." and '...' quote, \ escapes
//   {"operation": "INSERTMachining", "args": ["Hinge 35", "D", 1, 12.5, 37, 0]}
// Blank lines and lines that begin with # are skipped. In the first form an argument @FILE is
// the content of FILE, as in `call`; in the JSON form every value is taken as it stands.
//
// Every line is read and checked (operation, number and type of arguments) before anything
// is opened; a bad line is named by its number and nothing is written. Then the operations run
// in one transaction, each printing one JSON line shaped as `call`'s document plus "line",
// and a last line {"summary": {...}} follows.
#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "cli/Call.h"

namespace QuillData::cli {

// Exit code of a batch that committed nothing: rolled back after an error under --atomic or
// --on-error exit, a transaction the store ended, a commit that failed, or none that began.
constexpr int kExitRolledBack = 3;

struct BatchSettings {
  CallSettings store;  // --db/--server, --sqlite-lib, --on-error, --trace, --summary
  bool atomic = false;
  std::string script;  // a file, or "-" for standard input
};

// One line of a script, checked: the operation bound to its arguments.
struct BatchLine {
  int number;
  std::string operation;
  OperationEntry::Bound call;
};

// Reads and checks the whole script. False when any line is bad, each bad line named (up to a
// few) in `problems`.
bool ReadScript(std::istream& in, std::vector<BatchLine>& lines,
                std::vector<std::string>& problems);

// The words of one line in `call`'s syntax; false, with the reason, for an unclosed quote.
bool SplitWords(const std::string& line, std::vector<std::string>& words, std::string& why);

// Exit codes: 0 everything ran without a reported error and was committed; 1 errors were
// reported and the other operations' work was committed; 2 bad usage or a bad script
// (nothing opened); 3 nothing committed (kExitRolledBack); 128 + the signal when SIGINT or
// SIGTERM ended it (rolled back).
int RunBatch(const BatchSettings& settings, std::istream& in, std::ostream& out, std::ostream& err,
             std::ostream* progress, const BackendFactory& factory = CreateBackend);

}  // namespace QuillData::cli
