// Runs the zefcat of this build the way a person does: in a directory of
// its own (a fresh temporary one per test), with standard input, output and
// error captured, and the exit status.
//
//     class MyTest : public zefcat_test::ZefcatTest {};
//     TEST_F(MyTest, Something) {
//         write_file("a.txt", "one\n");
//         Outcome put = zefcat({"put", "work.notes.a.source", "a.txt"});
//         EXPECT_EQ(put.status, 0) << put.err;
//         EXPECT_EQ(zefcat({"get", "work.notes.a.source"}).out, "one\n");
//     }
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace zefcat_test {

struct Outcome {
    int status = -1;  // the exit status; 128 + N when killed by signal N
    std::string out;
    std::string err;
};

// How to run: what goes to standard input, the environment added, and
// whether standard error is a terminal (a pseudo-terminal the test reads).
struct RunOptions {
    std::string input;
    std::map<std::string, std::string> environment;
    bool terminal_stderr = false;
};

inline std::string zefcat_path() { return std::string(ZEF_BUILD_DIR) + "/zefcat"; }

// In a forked child: becomes zefcat with `arguments`, or ends with 127.
[[noreturn]] inline void exec_zefcat(const std::vector<std::string> &arguments) {
    std::vector<std::string> all{zefcat_path()};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char *> argv;
    for (std::string &a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
}

class TempDirectory {
public:
    TempDirectory() {
        std::string pattern = (std::filesystem::temp_directory_path() / "zefcat-test-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ~TempDirectory() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    TempDirectory(const TempDirectory &) = delete;
    TempDirectory &operator=(const TempDirectory &) = delete;
    const std::filesystem::path &path() const { return path_; }

private:
    std::filesystem::path path_;
};

// Reads what comes on `fds` until every one is closed, writing `input` to
// `in` (closed once written) meanwhile.
inline void pump(int in, std::string_view input, std::vector<std::pair<int, std::string *>> outputs) {
    size_t written = 0;
    if (input.empty() && in >= 0) {
        close(in);
        in = -1;
    }
    while (in >= 0 || !outputs.empty()) {
        std::vector<pollfd> fds;
        for (auto &[fd, text] : outputs) fds.push_back({fd, POLLIN, 0});
        if (in >= 0) fds.push_back({in, POLLOUT, 0});
        if (poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        for (size_t i = 0; i < outputs.size();) {
            if (fds[i].revents == 0) {
                ++i;
                continue;
            }
            char buffer[65536];
            ssize_t got = read(outputs[i].first, buffer, sizeof buffer);
            if (got > 0) {
                outputs[i].second->append(buffer, static_cast<size_t>(got));
                ++i;
                continue;
            }
            if (got < 0 && errno == EINTR) continue;
            close(outputs[i].first);  // end (or EIO from a pseudo-terminal whose other side went)
            outputs.erase(outputs.begin() + static_cast<std::ptrdiff_t>(i));
            fds.erase(fds.begin() + static_cast<std::ptrdiff_t>(i));
        }
        if (in >= 0 && fds.back().revents != 0) {
            ssize_t put = write(in, input.data() + written, std::min<size_t>(input.size() - written, 65536));
            if (put > 0) written += static_cast<size_t>(put);
            if (put < 0 && errno != EINTR) written = input.size();
            if (written == input.size()) {
                close(in);
                in = -1;
            }
        }
    }
}

class ZefcatTest : public ::testing::Test {
protected:
    TempDirectory directory;

    static void SetUpTestSuite() { signal(SIGPIPE, SIG_IGN); }

    std::filesystem::path path(const std::string &name) const { return directory.path() / name; }

    void write_file(const std::string &name, std::string_view bytes) const {
        std::filesystem::create_directories(path(name).parent_path());
        std::ofstream(path(name), std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    std::string read_file(const std::string &name) const {
        std::ifstream in(path(name), std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    bool exists(const std::string &name) const { return std::filesystem::exists(path(name)); }

    // `size` bytes of every value, in an order of their own.
    static std::string random_bytes(size_t size, unsigned seed = 7) {
        std::mt19937 generator(seed);
        std::string bytes(size, '\0');
        for (char &c : bytes) c = static_cast<char>(generator() & 0xFF);
        return bytes;
    }

    // The object `zefcat ls CATALOG --json` gives for the entry NAME (upper
    // case, as listed); a failure of the test when there is none.
    nlohmann::json listed(const std::string &catalog, const std::string &name) const {
        Outcome ls = zefcat({"ls", catalog, "--json"});
        EXPECT_EQ(ls.status, 0) << ls.err;
        for (const auto &entry : nlohmann::json::parse(ls.out, nullptr, false))
            if (entry.is_object() && entry["name"] == name) return entry;
        ADD_FAILURE() << name << " not listed: " << ls.out;
        return {};
    }

    // Runs zefcat with `arguments` in the test's directory. ZEF_WORK and
    // ZEF_LIBRARIES are cleared first, so only what `how` sets is in force.
    Outcome zefcat(const std::vector<std::string> &arguments, const RunOptions &how = {}) const {
        int in[2], out[2], err[2];
        if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) return {};
        int master = -1, slave = -1;
        if (how.terminal_stderr) {
            if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return {};
            err[0] = master;
            err[1] = slave;
        } else if (pipe2(err, O_CLOEXEC) != 0) {
            return {};
        }
        pid_t child = fork();
        if (child == 0) {
            dup2(in[0], 0);
            dup2(out[1], 1);
            dup2(err[1], 2);
            if (chdir(directory.path().c_str()) != 0) _exit(126);
            unsetenv("ZEF_WORK");
            unsetenv("ZEF_LIBRARIES");
            for (const auto &[name, value] : how.environment) setenv(name.c_str(), value.c_str(), 1);
            exec_zefcat(arguments);
        }
        close(in[0]);
        close(out[1]);
        close(err[1]);
        Outcome run;
        pump(in[1], how.input, {{out[0], &run.out}, {err[0], &run.err}});
        int status = 0;
        waitpid(child, &status, 0);
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return run;
    }
    // Runs `script` with /bin/sh in the test's directory, as the same user
    // inside a user and mount namespace where the folder `small` is a tmpfs of
    // `size` (e.g. "1m") and WORK: a real full disk without privileges. The
    // script's exit status, or -1 when this machine allows no such namespace.
    int run_on_small_disk(const std::string &script, const std::string &size) const {
        std::filesystem::create_directories(path("small"));
        pid_t child = fork();
        if (child == 0) {
            if (chdir(directory.path().c_str()) != 0) _exit(30);
            uid_t uid = getuid();
            gid_t gid = getgid();
            if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) _exit(31);
            // The same user inside the namespace, so that the files stay writable.
            auto put = [](const char *file, const std::string &text) { std::ofstream(file) << text; };
            put("/proc/self/setgroups", "deny");
            put("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1");
            put("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1");
            if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) _exit(32);
            if (mount("tmpfs", path("small").c_str(), "tmpfs", 0, ("size=" + size).c_str()) != 0) _exit(33);
            unsetenv("ZEF_LIBRARIES");
            setenv("ZEF_WORK", path("small").c_str(), 1);
            execl("/bin/sh", "sh", "-c", script.c_str(), static_cast<char *>(nullptr));
            _exit(34);
        }
        int status = 0;
        waitpid(child, &status, 0);
        int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return code >= 31 && code <= 33 ? -1 : code;
    }

    Outcome zefcat(const std::vector<std::string> &arguments, std::string input) const {
        return zefcat(arguments, RunOptions{std::move(input), {}, false});
    }
};

// The lines of a text.
inline std::vector<std::string> lines_of(const std::string &text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

}  // namespace zefcat_test
