#pragma once
// The server commands: `quilldata server-init` (the schema into an empty PostgreSQL
// database) and `quilldata transfer FROM TO` (a shop's data between a file and a server).
#include <ostream>
#include <string>
#include <vector>

namespace QuillData::cli {

struct ServerInitSettings {
  std::string server;  // connection string
  bool json = false;
};
// Exit codes: 0 installed, or initialised before (nothing changed); 1 the connection or the
// script failed (nothing changed); 2 bad usage, or refused: the database holds tables of
// the schema's names.
int RunServerInit(const ServerInitSettings& settings, std::ostream& out, std::ostream& err);

// The transfer's words after `transfer`: two sides in order, each a database file or
// `--server CONN`, and the options --json and --sqlite-lib DIR anywhere. `progress` is where
// the progress bar goes (a terminal), or nullptr for none.
// Exit codes: 0 transferred and verified; 1 the transfer failed (the target is as it was);
// 2 bad usage, or refused (the target holds rows, a side lacks the schema, ...): nothing
// was written.
int RunTransfer(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                std::ostream* progress);

}  // namespace QuillData::cli
