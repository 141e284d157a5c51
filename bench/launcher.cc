#include "launcher.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "pairs.h"

namespace bench {
namespace {

int to_launcher = -1;
int from_launcher = -1;

[[noreturn]] void fail(const char *what) { throw Failure(std::string(what) + ": " + std::strerror(errno)); }

bool read_exactly(int fd, void *data, size_t size) {
    char *at = static_cast<char *>(data);
    while (size > 0) {
        ssize_t got = ::read(fd, at, size);
        if (got <= 0) return false;
        at += got;
        size -= static_cast<size_t>(got);
    }
    return true;
}

void write_exactly(int fd, const void *data, size_t size) {
    const char *at = static_cast<const char *>(data);
    while (size > 0) {
        ssize_t put = ::write(fd, at, size);
        if (put <= 0) fail("launcher pipe");
        at += put;
        size -= static_cast<size_t>(put);
    }
}

// A request: quiet flag, then directory, output and the arguments, each
// ending in a NUL.
std::string encode(const ChildRun &run) {
    std::string bytes(1, run.quiet ? 'q' : '-');
    for (const std::string *word : {&run.directory, &run.output}) bytes += *word + '\0';
    for (const std::string &word : run.argv) bytes += word + '\0';
    return bytes;
}

ChildRun decode(const std::string &bytes) {
    ChildRun run;
    run.quiet = !bytes.empty() && bytes[0] == 'q';
    std::vector<std::string> words;
    size_t at = 1;
    while (at < bytes.size()) {
        size_t end = bytes.find('\0', at);
        if (end == std::string::npos) end = bytes.size();
        words.push_back(bytes.substr(at, end - at));
        at = end + 1;
    }
    if (words.size() >= 2) {
        run.directory = words[0];
        run.output = words[1];
        run.argv.assign(words.begin() + 2, words.end());
    }
    return run;
}

ChildResult run_child(const ChildRun &run) {
    ChildResult result;
    if (run.argv.empty()) return result;
    auto start = std::chrono::steady_clock::now();
    pid_t child = ::fork();
    if (child < 0) return result;
    if (child == 0) {
        if (!run.directory.empty() && ::chdir(run.directory.c_str()) != 0) ::_exit(126);
        int out = ::open(run.output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || ::dup2(out, 1) < 0) ::_exit(126);
        if (run.quiet) {
            int null = ::open("/dev/null", O_WRONLY);
            if (null >= 0) ::dup2(null, 2);
        }
        std::vector<char *> argv;
        for (const std::string &word : run.argv) argv.push_back(const_cast<char *>(word.c_str()));
        argv.push_back(nullptr);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    struct rusage usage {};
    if (::wait4(child, &result.status, 0, &usage) != child) return result;
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    result.peak_kib = usage.ru_maxrss;
    return result;
}

[[noreturn]] void serve(int requests, int replies) {
    for (;;) {
        uint32_t size = 0;
        if (!read_exactly(requests, &size, sizeof size)) ::_exit(0);
        std::string bytes(size, '\0');
        if (!read_exactly(requests, bytes.data(), size)) ::_exit(0);
        ChildResult result = run_child(decode(bytes));
        try {
            write_exactly(replies, &result, sizeof result);
        } catch (const Failure &) {
            ::_exit(0);  // the benchmark is gone
        }
    }
}

}  // namespace

void start_launcher() {
    int down[2], up[2];
    if (::pipe2(down, O_CLOEXEC) != 0 || ::pipe2(up, O_CLOEXEC) != 0) fail("pipe");
    pid_t launcher = ::fork();
    if (launcher < 0) fail("fork");
    if (launcher == 0) {
        ::close(down[1]);
        ::close(up[0]);
        serve(down[0], up[1]);
    }
    ::close(down[0]);
    ::close(up[1]);
    to_launcher = down[1];
    from_launcher = up[0];
}

ChildResult launch(const ChildRun &run) {
    if (to_launcher < 0) start_launcher();
    std::string bytes = encode(run);
    uint32_t size = static_cast<uint32_t>(bytes.size());
    write_exactly(to_launcher, &size, sizeof size);
    write_exactly(to_launcher, bytes.data(), bytes.size());
    ChildResult result;
    if (!read_exactly(from_launcher, &result, sizeof result)) fail("the launcher is gone");
    return result;
}

}  // namespace bench
