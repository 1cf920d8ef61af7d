#pragma once
// `quilldata init` and `quilldata demo`: the commands that create an SQLite database.
#include <optional>
#include <ostream>
#include <string>

namespace QuillData::cli {

struct InitSettings {
  std::string db;
  bool sample = false;
  std::string sqliteLib;
};
int RunInit(const InitSettings& settings, std::ostream& out, std::ostream& err);

struct DemoSettings {
  std::optional<std::string> db;  // keep the database here; default: a temporary file
  std::string sqliteLib;
};
int RunDemo(const DemoSettings& settings, std::ostream& out, std::ostream& err);

}  // namespace QuillData::cli
