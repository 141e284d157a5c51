// The throwaway PostgreSQL server: sessions over its socket, ending the
// sessions of one application, and what is left (nothing) after the
// cluster is destroyed, after its program is killed, and after broken
// server binaries.
#include "support/postgres_cluster.h"

#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <stdexcept>
#include <thread>

#include <gtest/gtest.h>
#include <libpq-fe.h>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using zeftest::PostgresCluster;

using Connection = std::unique_ptr<PGconn, decltype(&PQfinish)>;

Connection connect(const std::string &conninfo) { return Connection(PQconnectdb(conninfo.c_str()), &PQfinish); }

// The first value `statement` gives on `connection`, or "error: <message>".
std::string query(PGconn *connection, const char *statement) {
    PGresult *result = PQexec(connection, statement);
    ExecStatusType status = PQresultStatus(result);
    std::string value = status == PGRES_TUPLES_OK && PQntuples(result) > 0 ? PQgetvalue(result, 0, 0)
                        : status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK
                            ? ""
                            : std::string("error: ") + PQerrorMessage(connection);
    PQclear(result);
    return value;
}

std::string thrown_by(const std::function<void()> &action) {
    try {
        action();
    } catch (const std::runtime_error &error) {
        return error.what();
    }
    return "(nothing thrown)";
}

// Running, as opposed to gone or a zombie nobody has reaped.
bool running(pid_t pid) {
    std::ifstream stat_file("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat_file, line)) return false;
    return line[line.rfind(')') + 2] != 'Z';
}

bool ends_within(const std::function<bool()> &condition, std::chrono::seconds limit) {
    for (auto deadline = std::chrono::steady_clock::now() + limit; !condition();) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

std::set<pid_t> children_of(pid_t pid) {
    std::ifstream list("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children");
    std::set<pid_t> children;
    for (pid_t child; list >> child;) children.insert(child);
    return children;
}

// The folders of this program's clusters.
std::set<fs::path> cluster_folders() {
    const fs::path base = PostgresCluster::shared().socket_dir().parent_path();
    const std::string prefix = "zef-pg-" + std::to_string(getpid()) + "-";
    std::set<fs::path> folders;
    for (const fs::directory_entry &entry : fs::directory_iterator(base))
        if (entry.path().filename().string().rfind(prefix, 0) == 0) folders.insert(entry.path());
    return folders;
}

// A child that makes a cluster with `make` and reports "<server pid>
// <folder>" to the parent, then waits to be killed.
struct ClusterChild {
    pid_t pid = -1;
    pid_t server = -1;
    fs::path folder;
};

ClusterChild start_cluster_child(const std::function<std::unique_ptr<PostgresCluster>()> &make) {
    int report[2];
    EXPECT_EQ(pipe(report), 0);
    ClusterChild child;
    child.pid = fork();
    if (child.pid == 0) {
        close(report[0]);
        std::string line;
        try {
            std::unique_ptr<PostgresCluster> cluster = make();
            line = std::to_string(cluster->server_pid()) + " " + cluster->socket_dir().string() + " " +
                   cluster->sql("SELECT 'serving'") + "\n";
            cluster.release();
        } catch (const std::exception &error) {
            line = std::string("-1 failed: ") + error.what() + "\n";
        }
        if (write(report[1], line.data(), line.size()) < 0) _exit(2);
        for (;;) pause();
    }
    close(report[1]);
    std::string text;
    pollfd ready{report[0], POLLIN, 0};
    char buffer[4096];
    while (text.find('\n') == std::string::npos && poll(&ready, 1, 120000) == 1) {
        ssize_t got = read(report[0], buffer, sizeof buffer);
        if (got <= 0) break;
        text.append(buffer, got);
    }
    close(report[0]);
    std::istringstream fields(text);
    std::string serving;
    fields >> child.server >> child.folder >> serving;
    EXPECT_EQ(serving, "serving") << text;
    return child;
}

void kill_and_reap(pid_t pid) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

TEST(PostgresCluster, SessionsMeetOverTheSocketInItsOwnFolder) {
    PostgresCluster &cluster = PostgresCluster::shared();
    struct stat folder {};
    ASSERT_EQ(stat(cluster.socket_dir().c_str(), &folder), 0);
    EXPECT_EQ(folder.st_mode & 0777, 0700u);
    EXPECT_TRUE(fs::is_socket(cluster.socket_dir() / (".s.PGSQL." + std::to_string(cluster.port()))));
    EXPECT_EQ(cluster.sql("SHOW listen_addresses"), "");

    Connection writer = connect(cluster.uri() + "&application_name=writer");
    ASSERT_EQ(PQstatus(writer.get()), CONNECTION_OK) << PQerrorMessage(writer.get());
    EXPECT_EQ(query(writer.get(), "SELECT current_database() || ' ' || current_user"), "zef zef");
    EXPECT_EQ(query(writer.get(), "CREATE TABLE notes (line text)"), "");
    EXPECT_EQ(query(writer.get(), "INSERT INTO notes VALUES ('written')"), "");

    Connection reader = connect(cluster.keyword_string() + " application_name=reader");
    ASSERT_EQ(PQstatus(reader.get()), CONNECTION_OK) << PQerrorMessage(reader.get());
    EXPECT_EQ(query(reader.get(), "SELECT line FROM notes"), "written");

    EXPECT_EQ(cluster.sql("SELECT count(*) FROM notes"), "1");
    EXPECT_EQ(cluster.sql("SELECT NULL"), "");
    EXPECT_EQ(cluster.sql("SELECT rolsuper FROM pg_roles WHERE rolname = current_user"), "t");
    EXPECT_EQ(cluster.sql("SELECT count(*) FROM pg_stat_activity WHERE application_name IN ('writer', 'reader')"),
              "2");
    EXPECT_NE(thrown_by([&] { cluster.sql("SELECT * FROM missing"); }).find("relation \"missing\" does not exist"),
              std::string::npos);
}

TEST(PostgresCluster, TerminatingBackendsEndsOnlyThatApplication) {
    PostgresCluster &cluster = PostgresCluster::shared();
    Connection victim = connect(cluster.keyword_string() + " application_name=victim");
    Connection second_victim = connect(cluster.keyword_string() + " application_name=victim");
    Connection bystander = connect(cluster.keyword_string() + " application_name=bystander");
    for (PGconn *session : {victim.get(), second_victim.get(), bystander.get()})
        ASSERT_EQ(PQstatus(session), CONNECTION_OK) << PQerrorMessage(session);

    EXPECT_EQ(cluster.terminate_backends("victim"), 2);
    for (PGconn *session : {victim.get(), second_victim.get()}) {
        std::string outcome = query(session, "SELECT 1");
        EXPECT_EQ(outcome.rfind("error: ", 0), 0u) << outcome;
        EXPECT_EQ(PQstatus(session), CONNECTION_BAD);
    }
    EXPECT_EQ(query(bystander.get(), "SELECT 1"), "1");
    EXPECT_EQ(cluster.terminate_backends("victim"), 0);
    EXPECT_EQ(cluster.terminate_backends("o'neil"), 0);
}

// A cluster of its own beside the shared one: another folder and port; once
// destroyed, with a session still open, its server and folder are gone.
TEST(PostgresCluster, ADestroyedClusterLeavesNothing) {
    PostgresCluster &shared = PostgresCluster::shared();
    auto own = std::make_unique<PostgresCluster>();
    EXPECT_NE(own->socket_dir(), shared.socket_dir());
    EXPECT_NE(own->port(), shared.port());
    Connection session = connect(own->uri());
    ASSERT_EQ(PQstatus(session.get()), CONNECTION_OK) << PQerrorMessage(session.get());
    const pid_t server = own->server_pid();
    const fs::path folder = own->socket_dir();
    const std::set<pid_t> children_before = children_of(getpid());
    EXPECT_TRUE(children_before.count(server));

    own.reset();
    EXPECT_FALSE(fs::exists(folder));
    EXPECT_FALSE(running(server));
    EXPECT_FALSE(children_of(getpid()).count(server));
    EXPECT_EQ(children_of(getpid()).size(), children_before.size() - 2) << "server and watcher reaped";
    EXPECT_EQ(query(session.get(), "SELECT 1").rfind("error: ", 0), 0u);
    EXPECT_EQ(shared.sql("SELECT 1"), "1");
}

// Made on a thread that has since ended, the server outlives the thread;
// when the program is killed, the watcher stops the server and removes
// the folder.
TEST(PostgresCluster, AKilledProgramsWatcherStopsTheServer) {
    ClusterChild child = start_cluster_child([] {
        std::unique_ptr<PostgresCluster> cluster;
        std::thread([&] { cluster = std::make_unique<PostgresCluster>(); }).join();
        return cluster;
    });
    ASSERT_GT(child.server, 0);
    EXPECT_TRUE(running(child.server));
    kill_and_reap(child.pid);
    EXPECT_TRUE(ends_within([&] { return !running(child.server); }, 20s));
    EXPECT_TRUE(ends_within([&] { return !fs::exists(child.folder); }, 20s));
}

// Program and watcher killed: the kernel ends the server, and the next
// cluster made removes the folder left behind.
TEST(PostgresCluster, WithoutTheWatcherTheServerStillEnds) {
    ClusterChild child = start_cluster_child([] { return std::make_unique<PostgresCluster>(); });
    ASSERT_GT(child.server, 0);
    std::set<pid_t> helpers = children_of(child.pid);
    ASSERT_EQ(helpers.size(), 2u) << "watcher and server";
    for (pid_t helper : helpers)
        if (helper != child.server) kill(helper, SIGKILL);
    kill_and_reap(child.pid);
    EXPECT_TRUE(ends_within([&] { return !running(child.server); }, 20s));
    EXPECT_TRUE(fs::exists(child.folder));

    PostgresCluster next;
    EXPECT_FALSE(fs::exists(child.folder));
}

// A forked child that exits through exit() runs the static destructors;
// the shared server must stay up for the parent.
TEST(PostgresCluster, AForkedChildLeavesTheSharedServerRunning) {
    PostgresCluster &cluster = PostgresCluster::shared();
    pid_t child = fork();
    if (child == 0) std::exit(0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(running(cluster.server_pid()));
    EXPECT_TRUE(fs::exists(cluster.socket_dir()));
    EXPECT_EQ(cluster.sql("SELECT 1"), "1");
}

// Broken server binaries: the error says what failed with the program's
// own words, and no folder or process is left.
TEST(PostgresCluster, BrokenServerBinariesFailClearly) {
    struct Case {
        const char *initdb;    // script body, or nullptr for no program
        const char *postgres;  // likewise
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {nullptr, nullptr, {"no executable initdb and postgres in "}},
        {"echo initdb broke on purpose >&2; exit 3", "exit 0",
         {"initdb failed (exit status 3)", "initdb broke on purpose"}},
        {"mkdir \"${1#--pgdata=}\"", "echo postgres broke on purpose >&2; exit 1",
         {"postgres exited with status 1 before accepting connections", "postgres broke on purpose"}},
    };
    const std::set<fs::path> folders_before = cluster_folders();
    const std::set<pid_t> children_before = children_of(getpid());
    // Beside the clusters, where the server user can reach it.
    std::string pattern = (PostgresCluster::shared().socket_dir().parent_path() / "zef-fake-bin-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    const fs::path bindir = pattern;
    fs::permissions(bindir, fs::perms(0755));
    for (const Case &c : cases) {
        for (const auto &[name, body] : {std::pair{"initdb", c.initdb}, std::pair{"postgres", c.postgres}}) {
            fs::remove(bindir / name);
            if (!body) continue;
            std::ofstream(bindir / name) << "#!/bin/sh\n" << body << "\n";
            fs::permissions(bindir / name, fs::perms(0755));
        }
        std::string message = thrown_by([&] { PostgresCluster broken(bindir); });
        for (const std::string &expected : c.expected) EXPECT_NE(message.find(expected), std::string::npos) << message;
        EXPECT_EQ(cluster_folders(), folders_before);
        EXPECT_EQ(children_of(getpid()), children_before);
    }
    fs::remove_all(bindir);
}

}  // namespace
