#include "tool/Database.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "QuillData/contract/Text.h"
#include "QuillData/contract/clsQuillData.h"
#include "tool/Call.h"
#include "tool/TextTable.h"

#if QUILLDATA_WITH_SQLITE
#include "QuillData/sqlite/Schema.h"
#endif

namespace QuillData::tool {

#if QUILLDATA_WITH_SQLITE

namespace {

namespace fs = std::filesystem;

// Claims `path` for a new database: creates it when missing (exclusively, so that two
// commands cannot both take it) or accepts an existing empty file. Anything else is
// refused with a message. `created` tells the caller whether to remove it after a failure.
bool ClaimNewDatabase(const std::string& path, bool& created, std::string& why) {
  created = false;
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd >= 0) {
    ::close(fd);
    created = true;
    return true;
  }
  if (errno != EEXIST) {
    why = "cannot create \"" + path + "\": " + std::strerror(errno);
    return false;
  }
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    why = "\"" + path + "\" exists and is not a regular file";
    return false;
  }
  if (st.st_size != 0) {
    why = "\"" + path + "\" already exists and is not empty; it is left as it is";
    return false;
  }
  return true;
}

// A temporary folder removed with everything in it when the demo ends.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "quilldata-demo-XXXXXX").string();
    if (::mkdtemp(pattern.data())) path_ = pattern;
  }
  ~TempDir() {
    std::error_code ec;
    if (!path_.empty()) fs::remove_all(path_, ec);
  }
  const fs::path& Path() const { return path_; }

 private:
  fs::path path_;
};

}  // namespace

int RunInit(const InitSettings& settings, std::ostream& out, std::ostream& err) {
  bool created = false;
  std::string why;
  if (!ClaimNewDatabase(settings.db, created, why)) {
    err << "quilldata init: " << why << '\n';
    return kExitUsage;
  }
  try {
    CreateDatabase(settings.db, settings.sample, FromUtf8(settings.sqliteLib));
  } catch (const QuillError& e) {
    std::error_code ec;
    if (created) fs::remove(settings.db, ec);
    err << "quilldata init: " << e.what() << '\n';
    return kExitFailed;
  }
  Json doc = {{"created", settings.db}, {"sample", settings.sample}};
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
      err << "quilldata demo: cannot create a temporary folder: " << std::strerror(errno) << '\n';
      return kExitFailed;
    }
    db = (temp.Path() / "demo.db").string();
  }

  try {
    CreateDatabase(db, true, FromUtf8(settings.sqliteLib));
  } catch (const QuillError& e) {
    std::error_code ec;
    if (created) fs::remove(db, ec);
    err << "quilldata demo: " << e.what() << '\n';
    return kExitFailed;
  }

  std::shared_ptr<clsQuillData> backend;
  try {
    backend = CreateBackend(L"QuillData.clsQuillData_SqlLite");
  } catch (const QuillError& e) {
    err << "quilldata demo: " << e.what() << '\n';
    return kExitFailed;
  }
  auto trace = std::make_shared<StreamTrace>();
  auto errors = std::make_shared<PolicyErrorHandler>(PolicyErrorHandler::Policy::Leave, 0, &err);
  if (!backend ||
      !backend->OpenDB(trace, errors, {FromUtf8(settings.sqliteLib), FromUtf8(db), L"0"})) {
    err << "quilldata demo: could not open " << db << '\n';
    return kExitFailed;
  }

  out << "QuillData demo: a new database with the sample data, "
      << (settings.db ? "kept in " + db : std::string("in a temporary file")) << ".\n"
      << "Every reader of the interface, called through clsQuillData:\n\n";
  for (const Operation& op : Operations()) {
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
  backend.reset();
  if (!errors->Reports().empty()) {
    err << "quilldata demo: " << errors->Reports().size() << " operation(s) failed\n";
    return kExitFailed;
  }
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

}  // namespace QuillData::tool
