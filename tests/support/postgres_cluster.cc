#include "support/postgres_cluster.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

#include <libpq-fe.h>

namespace zeftest {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr const char *kSuperuser = "zef";
constexpr const char *kDatabase = "zef";
constexpr const char *kFolderPrefix = "zef-pg-";

[[noreturn]] void fail(const std::string &what) { throw std::runtime_error("PostgresCluster: " + what); }

// Who initdb and postgres run as: this process, or nobody when this
// process is root.
struct ServerUser {
    bool switch_user = false;
    uid_t uid = 0;
    gid_t gid = 0;
};

ServerUser server_user() {
    ServerUser user;
    if (geteuid() != 0) return user;
    user.switch_user = true;
    user.uid = user.gid = 65534;
    if (const passwd *nobody = getpwnam("nobody")) {
        user.uid = nobody->pw_uid;
        user.gid = nobody->pw_gid;
    }
    return user;
}

bool has_server_binaries(const fs::path &bindir) {
    return access((bindir / "initdb").c_str(), X_OK) == 0 && access((bindir / "postgres").c_str(), X_OK) == 0;
}

// $ZEF_PG_BINDIR, then what pg_config said when the build was configured,
// then the Debian locations, newest version first.
fs::path find_server_binaries() {
    std::vector<fs::path> candidates;
    if (const char *chosen = std::getenv("ZEF_PG_BINDIR"); chosen && *chosen) candidates.emplace_back(chosen);
#ifdef ZEF_PG_CONFIG_BINDIR
    candidates.emplace_back(ZEF_PG_CONFIG_BINDIR);
#endif
    candidates.emplace_back("/usr/lib/postgresql/15/bin");
    std::vector<fs::path> versions;
    std::error_code ignored;
    for (const fs::directory_entry &entry : fs::directory_iterator("/usr/lib/postgresql", ignored))
        versions.push_back(entry.path() / "bin");
    std::sort(versions.begin(), versions.end(), [](const fs::path &a, const fs::path &b) {
        return std::atoi(a.parent_path().filename().c_str()) > std::atoi(b.parent_path().filename().c_str());
    });
    candidates.insert(candidates.end(), versions.begin(), versions.end());
    std::string looked;
    for (const fs::path &bindir : candidates) {
        if (has_server_binaries(bindir)) return bindir;
        looked += " " + bindir.string();
    }
    fail("the PostgreSQL server binaries (initdb, postgres) are not installed; looked in" + looked +
         ". Run scripts/install-deps (Debian package postgresql) or set ZEF_PG_BINDIR.");
}

// The socket path must fit in sun_path and go into a libpq URI unquoted, and
// the server user must be able to reach the folder.
bool usable_base(const fs::path &base, const ServerUser &user) {
    const std::string text = base.string();
    if (!base.is_absolute() || text.size() > 60) return false;
    for (char c : text)
        if (!std::isalnum(static_cast<unsigned char>(c)) && !std::strchr("/._-", c)) return false;
    struct stat status {};
    if (stat(text.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) return false;
    if (user.switch_user)
        for (fs::path at = base; at != at.root_path(); at = at.parent_path())
            if (stat(at.c_str(), &status) != 0 || !(status.st_mode & S_IXOTH)) return false;
    return true;
}

fs::path temp_base(const ServerUser &user) {
    if (const char *tmpdir = std::getenv("TMPDIR"); tmpdir && *tmpdir) {
        fs::path base = fs::path(tmpdir).lexically_normal();
        if (base.has_relative_path() && base.filename().empty()) base = base.parent_path();
        if (usable_base(base, user)) return base;
    }
    return "/tmp";
}

// Alive, and not a zombie nobody has reaped yet.
bool process_alive(pid_t pid) {
    if (pid <= 0) return false;
    if (kill(pid, 0) != 0 && errno == ESRCH) return false;
    std::ifstream stat_file("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat_file, line)) return true;
    size_t after_name = line.rfind(')');
    return after_name == std::string::npos || after_name + 2 >= line.size() || line[after_name + 2] != 'Z';
}

// Folders that test programs killed outright left behind (their watcher
// killed with them): the owner named in the folder is gone and so is the
// server its postmaster.pid names.
void remove_stale_folders(const fs::path &base) {
    std::error_code ignored;
    for (const fs::directory_entry &entry : fs::directory_iterator(base, ignored)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(kFolderPrefix, 0) != 0) continue;
        pid_t owner = std::atoi(name.c_str() + std::strlen(kFolderPrefix));
        if (owner <= 0 || process_alive(owner)) continue;
        std::ifstream pid_file(entry.path() / "data" / "postmaster.pid");
        pid_t server = 0;
        if (pid_file >> server && process_alive(server)) continue;
        fs::remove_all(entry.path(), ignored);
    }
}

std::string read_tail(const fs::path &file, size_t bytes = 3000) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    std::string all = text.str();
    return all.size() > bytes ? "..." + all.substr(all.size() - bytes) : all;
}

struct ChildIo {
    int stdin_fd = -1;  // /dev/null when -1
    fs::path output;    // stdout and stderr, appended
};

// The kernel sends the parent-death signal when the thread that forked
// ends, so only a child of the main thread may ask for it.
int death_signal_on_this_thread(int signal) { return gettid() == getpid() ? signal : 0; }

// Starts `args` in a child process with the given standard streams, no other
// inherited descriptor, in `cwd`, as `user`, sent `death_signal` (if not 0)
// when this thread ends. Everything the child calls between fork and exec
// is async-signal-safe.
pid_t spawn(const std::vector<std::string> &args, const ChildIo &io, const fs::path &cwd, const ServerUser &user,
            int death_signal = 0) {
    std::vector<char *> argv;
    for (const std::string &arg : args) argv.push_back(const_cast<char *>(arg.c_str()));
    argv.push_back(nullptr);
    const std::string output = io.output.string(), directory = cwd.string();
    const pid_t parent = getpid();
    pid_t child = fork();
    if (child < 0) fail(std::string("fork: ") + std::strerror(errno));
    if (child > 0) return child;
    int in = io.stdin_fd >= 0 ? io.stdin_fd : open("/dev/null", O_RDONLY);
    int out = open(output.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    if (in < 0 || out < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(out, 2) < 0) _exit(126);
    close_range(3, ~0U, 0);
    if (chdir(directory.c_str()) != 0) _exit(126);
    if (user.switch_user && (setgroups(0, nullptr) != 0 || setresgid(user.gid, user.gid, user.gid) != 0 ||
                             setresuid(user.uid, user.uid, user.uid) != 0))
        _exit(126);
    // After the change of user, which clears the setting; the parent may
    // have died before it took effect.
    if (death_signal && (prctl(PR_SET_PDEATHSIG, death_signal) != 0 || getppid() != parent)) _exit(126);
    execv(argv[0], argv.data());
    _exit(127);
}

// The exit status of `pid` once it has ended, or -1 if it is still running
// after `timeout`. A signal death counts as 128 + signal.
int wait_for_exit(pid_t pid, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        int status = 0;
        pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        if (done < 0 && errno != EINTR) return 0;  // not our child, or already reaped
        if (Clock::now() >= deadline) return -1;
        std::this_thread::sleep_for(10ms);
    }
}

// After the test program has gone, however it went, ends the server and
// removes the folder. It reads server pids from its standard input and acts
// on end of file, which comes when the last holder of the pipe's write end
// (the test program, O_CLOEXEC so nothing it executes) is gone. The owner
// kills it once it has stopped the server itself.
constexpr const char *kWatcherScript = R"(trap '' HUP INT TERM QUIT
server=
while read -r line; do server=$line; done
if [ -n "$server" ]; then
  kill -QUIT "$server" 2>/dev/null
  tries=0
  while kill -0 "$server" 2>/dev/null && [ $tries -lt 50 ]; do sleep 0.1; tries=$((tries + 1)); done
  kill -KILL "$server" 2>/dev/null
fi
rm -rf -- "$1"
)";

using Connection = std::unique_ptr<PGconn, decltype(&PQfinish)>;
using Result = std::unique_ptr<PGresult, decltype(&PQclear)>;

Connection connect(const std::string &conninfo) {
    Connection connection(PQconnectdb(conninfo.c_str()), &PQfinish);
    if (!connection || PQstatus(connection.get()) != CONNECTION_OK)
        fail("cannot connect with '" + conninfo + "': " + (connection ? PQerrorMessage(connection.get()) : "no memory"));
    return connection;
}

// The first column of the first row of `statement` with text parameters.
std::string first_value(const std::string &conninfo, std::string_view statement,
                        const std::vector<std::string> &parameters = {}) {
    Connection connection = connect(conninfo);
    std::vector<const char *> values;
    for (const std::string &parameter : parameters) values.push_back(parameter.c_str());
    const std::string text(statement);
    Result result(PQexecParams(connection.get(), text.c_str(), static_cast<int>(values.size()), nullptr,
                               values.data(), nullptr, nullptr, 0),
                  &PQclear);
    ExecStatusType status = result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        fail("'" + text + "' failed: " + PQerrorMessage(connection.get()));
    if (PQntuples(result.get()) == 0 || PQnfields(result.get()) == 0 || PQgetisnull(result.get(), 0, 0)) return "";
    return PQgetvalue(result.get(), 0, 0);
}

int next_port() {
    static std::atomic<int> clusters_made = 0;
    return 20000 + (getpid() * 7 + clusters_made++ * 131) % 40000;
}

}  // namespace

PostgresCluster::PostgresCluster() : PostgresCluster(find_server_binaries()) {}

PostgresCluster::PostgresCluster(Settings settings) : PostgresCluster(find_server_binaries(), std::move(settings)) {}

PostgresCluster::PostgresCluster(const fs::path &bindir, Settings settings) : owner_pid_(getpid()) {
    try {
        start(bindir, settings);
    } catch (...) {
        stop();
        throw;
    }
}

PostgresCluster::~PostgresCluster() { stop(); }

void PostgresCluster::start(const fs::path &bindir, const Settings &settings) {
    if (!has_server_binaries(bindir))
        fail("no executable initdb and postgres in " + bindir.string() +
             ". Run scripts/install-deps (Debian package postgresql) or set ZEF_PG_BINDIR.");
    const ServerUser user = server_user();
    const fs::path base = temp_base(user);
    remove_stale_folders(base);

    std::string pattern = (base / (kFolderPrefix + std::to_string(getpid()) + "-XXXXXX")).string();
    if (!mkdtemp(pattern.data())) fail("mkdtemp in " + base.string() + ": " + std::strerror(errno));
    folder_ = pattern;
    if (user.switch_user && chown(folder_.c_str(), user.uid, user.gid) != 0)
        fail("chown " + folder_.string() + ": " + std::strerror(errno));

    int watch_pipe[2];
    if (pipe2(watch_pipe, O_CLOEXEC) != 0) fail(std::string("pipe: ") + std::strerror(errno));
    watcher_pid_ = spawn({"/bin/sh", "-c", kWatcherScript, "zef-pg-watcher", folder_.string()},
                         {watch_pipe[0], "/dev/null"}, "/", ServerUser{});
    close(watch_pipe[0]);
    watch_fd_ = watch_pipe[1];

    const fs::path data = folder_ / "data";
    pid_t initdb = spawn({(bindir / "initdb").string(), "--pgdata=" + data.string(), std::string("--username=") + kSuperuser,
                          "--auth=trust", "--locale=C", "--encoding=UTF8", "--no-sync"},
                         {-1, folder_ / "initdb.log"}, folder_, user, death_signal_on_this_thread(SIGKILL));
    if (int status = wait_for_exit(initdb, 10min); status != 0)
        fail("initdb failed (exit status " + std::to_string(status) + "):\n" + read_tail(folder_ / "initdb.log"));

    port_ = next_port();
    std::vector<std::string> command = {(bindir / "postgres").string(), "-D", data.string(), "-c", "listen_addresses=",
                                        "-c", "unix_socket_directories=" + folder_.string(), "-c",
                                        "port=" + std::to_string(port_), "-c", "shared_buffers=" + settings.shared_buffers};
    for (const std::string &setting : settings.more) command.insert(command.end(), {"-c", setting});
    server_pid_ = spawn(command, {-1, folder_ / "server.log"}, folder_, user, death_signal_on_this_thread(SIGQUIT));
    const std::string pid_line = std::to_string(server_pid_) + "\n";
    if (write(watch_fd_, pid_line.data(), pid_line.size()) != static_cast<ssize_t>(pid_line.size()))
        fail(std::string("telling the watcher the server's pid: ") + std::strerror(errno));

    const std::string probe = keyword_string("postgres");
    for (const auto deadline = Clock::now() + 60s; PQping(probe.c_str()) != PQPING_OK;) {
        if (int status = wait_for_exit(server_pid_, 0ms); status >= 0) {
            server_pid_ = -1;
            fail("postgres exited with status " + std::to_string(status) + " before accepting connections:\n" +
                 read_tail(folder_ / "server.log"));
        }
        if (Clock::now() >= deadline)
            fail("postgres did not accept connections within 60 s:\n" + read_tail(folder_ / "server.log"));
        std::this_thread::sleep_for(20ms);
    }
    first_value(probe, std::string("CREATE DATABASE ") + kDatabase);
}

void PostgresCluster::stop() {
    if (getpid() != owner_pid_) return;
    if (server_pid_ > 0) {
        // Fast shutdown ends the sessions and checkpoints; immediate
        // shutdown if that hangs; SIGKILL as the last word.
        kill(server_pid_, SIGINT);
        if (wait_for_exit(server_pid_, 30s) < 0) {
            kill(server_pid_, SIGQUIT);
            if (wait_for_exit(server_pid_, 5s) < 0) {
                kill(server_pid_, SIGKILL);
                wait_for_exit(server_pid_, 1h);
            }
        }
        server_pid_ = -1;
    }
    if (!folder_.empty()) {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }
    if (watcher_pid_ > 0) {
        kill(watcher_pid_, SIGKILL);
        wait_for_exit(watcher_pid_, 1h);
        watcher_pid_ = -1;
    }
    if (watch_fd_ >= 0) {
        close(watch_fd_);
        watch_fd_ = -1;
    }
}

PostgresCluster &PostgresCluster::shared() {
    static std::mutex starting;
    static std::unique_ptr<PostgresCluster> cluster;
    static std::string failure;
    std::lock_guard<std::mutex> lock(starting);
    if (!cluster && failure.empty()) {
        try {
            cluster = std::make_unique<PostgresCluster>();
        } catch (const std::exception &error) {
            failure = error.what();
        }
    }
    if (!cluster) throw std::runtime_error(failure);
    return *cluster;
}

std::string PostgresCluster::uri(std::string_view database) const {
    return "postgresql:///" + std::string(database) + "?host=" + folder_.string() + "&port=" + std::to_string(port_) +
           "&user=" + kSuperuser;
}

std::string PostgresCluster::keyword_string(std::string_view database) const {
    return "host=" + folder_.string() + " port=" + std::to_string(port_) + " user=" + kSuperuser +
           " dbname=" + std::string(database);
}

std::string PostgresCluster::sql(std::string_view statement) const {
    return first_value(keyword_string() + " application_name=zef_test_admin", statement);
}

int PostgresCluster::terminate_backends(std::string_view application_name) const {
    // pg_terminate_backend with a timeout returns once the session has gone.
    return std::stoi(first_value(keyword_string() + " application_name=zef_test_admin",
                                 "WITH victims AS MATERIALIZED (SELECT pid FROM pg_stat_activity "
                                 "WHERE application_name = $1 AND pid <> pg_backend_pid()) "
                                 "SELECT count(*) FROM victims WHERE pg_terminate_backend(pid, 10000)",
                                 {std::string(application_name)}));
}

}  // namespace zeftest
