// A throwaway PostgreSQL server for tests: a private folder, initdb into it,
// a postmaster that listens only on a Unix socket in that folder, and a
// database `zef` owned by the superuser `zef` (trust authentication).
//
// A root process runs the server as the user nobody, since PostgreSQL
// refuses to run as root. The server is stopped and the folder removed when
// the object is destroyed. If the test program dies first, however it dies,
// a small watcher process started with the cluster does both. In case the
// watcher is killed too, a cluster started on the main thread has the
// kernel send its postmaster SIGQUIT when the program ends, and the next
// cluster made on this machine removes folders left behind.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace zeftest {

// The server's buffer cache: 16MB for tests (many servers at once); a
// benchmark sets what a site would. `more` holds further settings, each
// "name=value" as the server's -c takes it.
struct PostgresSettings {
    std::string shared_buffers = "16MB";
    std::vector<std::string> more = {};
};

class PostgresCluster {
  public:
    // Makes and starts a cluster with the server binaries found on this
    // machine ($ZEF_PG_BINDIR, pg_config --bindir, /usr/lib/postgresql/*/bin).
    // Throws std::runtime_error saying what failed (with the server's log).
    PostgresCluster();
    using Settings = PostgresSettings;
    explicit PostgresCluster(Settings settings);
    // The same with the server binaries of `bindir`.
    explicit PostgresCluster(const std::filesystem::path &bindir, Settings settings = {});
    // Stops the server (fast shutdown, then SIGQUIT, then SIGKILL) and
    // removes the folder. Does nothing in a forked child of the owner.
    ~PostgresCluster();
    PostgresCluster(const PostgresCluster &) = delete;
    PostgresCluster &operator=(const PostgresCluster &) = delete;

    // One cluster for the whole test program, started on first use and
    // stopped at exit. If it could not start, every call throws the same
    // error again, without another attempt.
    static PostgresCluster &shared();

    // The folder: the socket lives here, the data in data/, the server's
    // output in server.log.
    const std::filesystem::path &socket_dir() const { return folder_; }
    int port() const { return port_; }
    pid_t server_pid() const { return server_pid_; }

    // postgresql:///zef?host=<dir>&port=<port>&user=zef
    std::string uri(std::string_view database = "zef") const;
    // host=<dir> port=<port> user=zef dbname=zef
    std::string keyword_string(std::string_view database = "zef") const;

    // Runs `statement` as the superuser on its own connection to `zef` and
    // returns the first column of the first row ("" when there is none or
    // it is NULL). Throws std::runtime_error with the server's message.
    std::string sql(std::string_view statement) const;

    // Ends every session whose application_name is `application_name`
    // (pg_terminate_backend, waiting until each has gone) and returns how
    // many there were.
    int terminate_backends(std::string_view application_name) const;

  private:
    void start(const std::filesystem::path &bindir, const Settings &settings);
    void stop();

    std::filesystem::path folder_;
    int port_ = 0;
    pid_t server_pid_ = -1;
    pid_t watcher_pid_ = -1;
    int watch_fd_ = -1;  // the write end of the watcher's pipe
    pid_t owner_pid_ = -1;
};

}  // namespace zeftest
