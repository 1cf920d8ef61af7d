#include "support/PgServer.h"

#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "QuillData/contract/Text.h"
#include "support/TestSupport.h"

namespace QuillData::test {

namespace fs = std::filesystem;

namespace {

constexpr const char* kDriverName = "PostgreSQL Unicode";

// Runs a program (argv[0] is a path or a name on PATH) in cwd and waits; its standard
// output and error go to a file (a pipe would stay open in a server the program leaves
// running). Returns the exit status and the output.
int Run(const std::vector<std::string>& argv, const std::string& cwd, std::string* output) {
  std::string outName = (fs::temp_directory_path() / "quilldata-run-XXXXXX").string();
  close(mkstemp(outName.data()));
  // Appended piece by piece: g++ 12 at -O3 takes "literal" + std::string for an overlapping
  // copy (a false -Wrestrict).
  std::string command = "cd ";
  command += Quote(cwd);
  command += " && exec";
  for (const auto& a : argv) {
    command += ' ';
    command += Quote(a);
  }
  command += " </dev/null >";
  command += Quote(outName);
  command += " 2>&1";
  const int status = std::system(command.c_str());
  if (output) *output = ReadFile(outName);
  unlink(outName.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string RunOrThrow(const std::vector<std::string>& argv, const std::string& cwd,
                       const std::string& what) {
  std::string output;
  const int status = Run(argv, cwd, &output);
  if (status != 0) {
    throw std::runtime_error(what + " failed (exit " + std::to_string(status) + "):\n" + output);
  }
  return output;
}

// The server refuses to run as root: as root, its programs run as the postgres user.
std::vector<std::string> AsServerUser(std::vector<std::string> argv) {
  if (geteuid() != 0) return argv;
  std::string runuser = "runuser";
  for (const char* candidate : {"/usr/sbin/runuser", "/sbin/runuser", "/usr/bin/runuser"}) {
    if (access(candidate, X_OK) == 0) runuser = candidate;
  }
  argv.insert(argv.begin(), {runuser, "-u", "postgres", "--"});
  return argv;
}

int FreePort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) throw std::runtime_error("socket failed");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof address;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    close(fd);
    throw std::runtime_error("no free loopback port");
  }
  close(fd);
  return ntohs(address.sin_port);
}

std::string DriverFile() {
  for (const char* candidate : {"/usr/lib/x86_64-linux-gnu/odbc/psqlodbcw.so",
                                "/usr/lib/aarch64-linux-gnu/odbc/psqlodbcw.so",
                                "/usr/lib64/psqlodbcw.so", "/usr/lib/psqlodbcw.so"}) {
    if (access(candidate, R_OK) == 0) return candidate;
  }
  throw std::runtime_error(
      "the PostgreSQL ODBC driver psqlodbcw.so is not installed (package odbc-postgresql)");
}

// One private driver list per process: ODBCSYSINI must name a folder that outlives every
// server, since the driver manager reads it at each connect.
struct OdbcConfig {
  fs::path folder;
  OdbcConfig() {
    std::string pattern = (fs::temp_directory_path() / "quilldata-odbc-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed for the ODBC folder");
    folder = pattern;
    std::ofstream ini(folder / "odbcinst.ini");
    ini << "[" << kDriverName << "]\n"
        << "Description=PostgreSQL ODBC driver (Unicode)\n"
        << "Driver=" << DriverFile() << "\n"
        << "Debug=0\nCommLog=0\nUsageCount=1\n";
    std::ofstream(folder / "odbc.ini").flush();
    setenv("ODBCSYSINI", folder.c_str(), 1);
    setenv("ODBCINI", (folder / "odbc.ini").c_str(), 1);
  }
  ~OdbcConfig() {
    std::error_code ec;
    fs::remove_all(folder, ec);
  }
};

void PrepareOdbc() {
  static OdbcConfig config;
}

std::mutex gSharedMutex;
std::unique_ptr<PgServer> gShared;
std::string gSharedError;
bool gSharedTried = false;
std::unique_ptr<PgBouncer> gSharedPooler;
std::string gSharedPoolerError;
bool gSharedPoolerTried = false;

// Stops the shared server when the tests end.
class SharedServerEnvironment : public ::testing::Environment {
 public:
  void TearDown() override {
    std::lock_guard lock(gSharedMutex);
    gSharedPooler.reset();  // before the server it stands in front of
    gShared.reset();
  }
};

[[maybe_unused]] const auto* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new SharedServerEnvironment);

}  // namespace

std::string PgServer::Binaries() {
  if (const char* bin = std::getenv("QUILLDATA_PG_BIN"); bin && *bin) {
    return access((fs::path(bin) / "pg_ctl").c_str(), X_OK) == 0 ? bin : "";
  }
  std::error_code ec;
  std::string best;
  int bestVersion = -1;
  for (const auto& entry : fs::directory_iterator("/usr/lib/postgresql", ec)) {
    const fs::path bin = entry.path() / "bin";
    if (access((bin / "pg_ctl").c_str(), X_OK) != 0 || access((bin / "initdb").c_str(), X_OK) != 0)
      continue;
    const int version = std::atoi(entry.path().filename().c_str());
    if (version > bestVersion) {
      bestVersion = version;
      best = bin.string();
    }
  }
  return best;
}

PgServer::PgServer(std::string binaries) : binaries_(std::move(binaries)) {
  PrepareOdbc();
  std::string pattern = (fs::temp_directory_path() / "quilldata-pg-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed for the server folder");
  folder_ = pattern;
  try {
    if (geteuid() == 0) {
      const passwd* pw = getpwnam("postgres");
      if (!pw) throw std::runtime_error("running as root, but there is no postgres user");
      if (chown(folder_.c_str(), pw->pw_uid, pw->pw_gid) != 0) {
        throw std::runtime_error("cannot hand " + folder_ + " to the postgres user");
      }
    }
    chmod(folder_.c_str(), 0700);
    RunOrThrow(AsServerUser({binaries_ + "/initdb", "-D", folder_ + "/data", "-U", "postgres", "-A",
                             "trust", "-E", "UTF8", "--locale=C", "--no-sync"}),
               folder_, "initdb");
    // The port may be taken between choosing and binding it: try a few.
    for (int attempt = 0;; ++attempt) {
      port_ = FreePort();
      try {
        Start();
        break;
      } catch (const std::runtime_error&) {
        if (attempt == 4) throw;
      }
    }
  } catch (...) {
    std::error_code ec;
    fs::remove_all(folder_, ec);
    throw;
  }
}

PgServer::~PgServer() {
  try {
    Stop();
  } catch (...) {
    // Teardown goes on: the folder is removed below whatever the server said.
  }
  std::error_code ec;
  fs::remove_all(folder_, ec);
}

void PgServer::Start() {
  if (running_) return;
  const std::string options =
      "-c fsync=off -c full_page_writes=off -c listen_addresses=127.0.0.1"
      " -p " +
      std::to_string(port_) + " -k " + folder_;
  std::string output;
  const int status =
      Run(AsServerUser({binaries_ + "/pg_ctl", "-D", folder_ + "/data", "-l",
                        folder_ + "/server.log", "-w", "-t", "60", "-o", options, "start"}),
          folder_, &output);
  if (status != 0) {
    throw std::runtime_error("the PostgreSQL server did not start (exit " + std::to_string(status) +
                             "):\n" + output + "\n" + ReadFile(folder_ + "/server.log"));
  }
  running_ = true;
}

void PgServer::Stop() {
  if (!running_) return;
  RunOrThrow(AsServerUser({binaries_ + "/pg_ctl", "-D", folder_ + "/data", "-m", "fast", "-w", "-t",
                           "60", "stop"}),
             folder_, "pg_ctl stop");
  running_ = false;
}

std::wstring PgServer::ConnectionString(const std::string& database) const {
  return FromUtf8(std::string("Driver={") + kDriverName +
                  "};Server=127.0.0.1;Port=" + std::to_string(port_) + ";Database=" + database +
                  ";UID=postgres;PWD=;SSLMode=disable;BoolsAsChar=0;Debug=0;CommLog=0");
}

std::wstring PgServer::LibpqConnectionString(const std::string& database) const {
  return FromUtf8("Provider=libpq;Host=127.0.0.1;Port=" + std::to_string(port_) +
                  ";Database=" + database + ";User=postgres;SSLMode=disable");
}

std::string PgServer::Psql(const std::string& sql, const std::string& database,
                           const char* option) const {
  return RunOrThrow({binaries_ + "/psql", "-X", "-q", "-v", "ON_ERROR_STOP=1", "-h", "127.0.0.1",
                     "-p", std::to_string(port_), "-U", "postgres", "-d", database, option, sql},
                    folder_, std::string("psql ") + option + " " + sql.substr(0, 200));
}

PgServer* PgServer::Shared() {
  std::lock_guard lock(gSharedMutex);
  if (!gSharedTried) {
    gSharedTried = true;
    const std::string binaries = Binaries();
    if (!binaries.empty()) {
      try {
        gShared = std::make_unique<PgServer>(binaries);
      } catch (const std::exception& e) {
        gSharedError = e.what();
      }
    }
  }
  if (!gSharedError.empty()) throw std::runtime_error(gSharedError);
  return gShared.get();
}

std::string PgServer::SkipReason() {
  return "PostgreSQL server binaries not found (/usr/lib/postgresql/<version>/bin or "
         "$QUILLDATA_PG_BIN): install the postgresql package";
}

std::wstring ConnectionStringVia(const PgServer& server, const std::string& database, Via via,
                                 const PgBouncer* pooler) {
  if (!IsPooled(via)) return server.ConnectionString(database, IsLibpq(via));
  return (pooler ? pooler : PgBouncer::Shared())->ConnectionString(database, IsLibpq(via));
}

std::string PgBouncer::Program() {
  if (const char* program = std::getenv("QUILLDATA_PGBOUNCER"); program && *program) {
    return access(program, X_OK) == 0 ? program : "";
  }
  return access("/usr/sbin/pgbouncer", X_OK) == 0 ? "/usr/sbin/pgbouncer" : "";
}

std::string PgBouncer::SkipReason() {
  return "PgBouncer not found (/usr/sbin/pgbouncer or $QUILLDATA_PGBOUNCER): install the "
         "pgbouncer package";
}

PgBouncer::PgBouncer(const PgServer& server, const std::string& poolMode) : server_(server) {
  std::string pattern = (fs::temp_directory_path() / "quilldata-pooler-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed for the pooler folder");
  folder_ = pattern;
  // The pooler refuses to run as root: as root, its files belong to the server's user.
  const passwd* pw = geteuid() == 0 ? getpwnam("postgres") : nullptr;
  auto own = [&](const std::string& path) {
    if (pw && chown(path.c_str(), pw->pw_uid, pw->pw_gid) != 0)
      throw std::runtime_error("cannot hand " + path + " to the postgres user");
  };
  own(folder_);
  std::ofstream(folder_ + "/users.txt") << "\"postgres\" \"\"\n";
  own(folder_ + "/users.txt");
  std::string log;
  for (int attempt = 0;; ++attempt) {
    port_ = FreePort();
    // Idle server connections go soon, and the user's total is capped, so that the pools of
    // the many test databases never exhaust the server's connections.
    std::ofstream(folder_ + "/pgbouncer.ini")
        << "[databases]\n* = host=127.0.0.1 port=" << server.Port() << "\n"
        << "[pgbouncer]\nlisten_addr = 127.0.0.1\nlisten_port = " << port_ << "\n"
        << "unix_socket_dir =\nauth_type = trust\nauth_file = " << folder_ << "/users.txt\n"
        << "pool_mode = " << poolMode << "\ndefault_pool_size = 4\nmax_client_conn = 200\n"
        << "max_user_connections = 40\nserver_idle_timeout = 5\nserver_login_retry = 1\n"
        << "logfile = " << folder_ << "/pgbouncer.log\npidfile = " << folder_ << "/pgbouncer.pid\n";
    own(folder_ + "/pgbouncer.ini");
    const int status =
        Run(AsServerUser({Program(), "-d", folder_ + "/pgbouncer.ini"}), folder_, &log);
    // It listens once its pid file is written; the port may have been taken meanwhile.
    for (int wait = 0; status == 0 && wait < 100 && pid_ == 0; ++wait) {
      pid_ = std::atoi(ReadFile(folder_ + "/pgbouncer.pid").c_str());
      if (pid_ == 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (pid_ > 0) break;
    if (attempt == 4) {
      std::error_code ec;
      const std::string pooled = ReadFile(folder_ + "/pgbouncer.log");
      fs::remove_all(folder_, ec);
      throw std::runtime_error("PgBouncer did not start:\n" + log + "\n" + pooled);
    }
  }
}

PgBouncer::~PgBouncer() {
  // Immediate shutdown; then wait for the process to be gone before its folder goes.
  if (pid_ > 0 && kill(pid_, SIGTERM) == 0) {
    for (int wait = 0; wait < 100 && kill(pid_, 0) == 0; ++wait)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  std::error_code ec;
  fs::remove_all(folder_, ec);
}

PgBouncer* PgBouncer::Shared() {
  PgServer* server = PgServer::Shared();
  std::lock_guard lock(gSharedMutex);
  if (!gSharedPoolerTried) {
    gSharedPoolerTried = true;
    if (server && !Program().empty()) {
      try {
        gSharedPooler = std::make_unique<PgBouncer>(*server);
      } catch (const std::exception& e) {
        gSharedPoolerError = e.what();
      }
    }
  }
  if (!gSharedPoolerError.empty()) throw std::runtime_error(gSharedPoolerError);
  return gSharedPooler.get();
}

}  // namespace QuillData::test
