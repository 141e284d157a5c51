// zefcat cp and mv: an entry copied through the module into another name,
// catalog or library, keeping its bytes, description and what it was
// written with; mv deletes the source only once the copy is whole, so a
// failure, or a SIGKILL at any moment, leaves the source whole.
#include <nlohmann/json.hpp>
#include <poll.h>
#include <pty.h>

#include <thread>

#include "zefcat_runner.h"

namespace zefcat_test {
namespace {

class CopyMove : public ZefcatTest {
protected:
    void SetUp() override {
        std::filesystem::create_directories(path("arch"));
        logo = random_bytes(300000, 5);
        write_file("logo.png", logo);
        ASSERT_EQ(zefcat({"put", "work.notes.todo.source", "-", "DESC='Things to do'"}, std::string("buy milk\ncall\n")).status, 0);
        ASSERT_EQ(zefcat({"put", "work.notes.greet.csv", "-", "ENCODING=latin1"}, std::string("Grüße\n")).status, 0);
        ASSERT_EQ(zefcat({"put", "work.notes.fixed.source", "-", "RECFM=F", "LRECL=12"}, std::string("ab\ncd\n")).status, 0);
        ASSERT_EQ(zefcat({"put", "work.notes.report.log", "-", "--carriage"}, std::string("1Title\n body\n")).status, 0);
        ASSERT_EQ(zefcat({"put", "work.notes.logo.png", "logo.png", "DESC='The logo'"}).status, 0);
        ASSERT_EQ(zefcat({"put", "work.notes.gaps.csv", "-"}, std::string("\n\nx\n\n")).status, 0);
        ASSERT_EQ(zefcat({"put", "work.notes.empty.jar", "-"}, std::string()).status, 0);
    }
    Outcome run(std::vector<std::string> arguments, const std::string &input = {}) const {
        arguments.insert(arguments.begin(), {"-L", "arch=arch"});
        return zefcat(arguments, input);
    }
    // What ls --long --json says of one entry, without its times.
    nlohmann::json described(const std::string &name) const {
        Outcome ls = run({"ls", name, "--long", "--json"});
        EXPECT_EQ(ls.status, 0) << ls.err;
        nlohmann::json entry = nlohmann::json::parse(ls.out).at(0);
        entry.erase("created");
        entry.erase("modified");
        entry.erase("name");
        return entry;
    }
    // The entry's contents as get gives them, with carriage control shown.
    std::string contents(const std::string &name) const {
        bool binary = name.ends_with(".png") || name.ends_with(".jar");
        Outcome get = run(binary ? std::vector<std::string>{"get", name} : std::vector<std::string>{"get", name, "--carriage"});
        return get.status == 0 ? get.out : "(status " + std::to_string(get.status) + ": " + get.err + ")";
    }
    std::string logo;
};

TEST_F(CopyMove, CpKeepsBytesDescriptionAndHowItWasWrittenAnywhere) {
    for (const char *source :
         {"todo.source", "greet.csv", "fixed.source", "report.log", "logo.png", "gaps.csv", "empty.jar"}) {
        std::string from = std::string("work.notes.") + source;
        std::string stem = std::string(source).substr(0, std::string(source).find('.'));
        std::string type = std::string(source).substr(std::string(source).find('.') + 1);
        // The same catalog under a new name, another catalog, another library.
        for (const std::string &to : {"work.notes." + stem + "2." + type, std::string("work.other"), std::string("arch.old")}) {
            SCOPED_TRACE(from + " -> " + to);
            Outcome cp = run({"cp", from, to});
            ASSERT_EQ(cp.status, 0) << cp.err;
            EXPECT_EQ(cp.out + cp.err, "");
            std::string target = to.find(stem + "2") != std::string::npos ? to : to + "." + source;
            EXPECT_EQ(contents(target), contents(from));
            EXPECT_EQ(described(target), described(from));
        }
    }
    EXPECT_EQ(contents("arch.old.logo.png"), logo);
    EXPECT_EQ(described("work.other.todo.source")["description"], "Things to do");
    EXPECT_EQ(described("arch.old.greet.csv")["encoding"], "latin1");
    EXPECT_EQ(run({"get", "arch.old.greet.csv"}).out, "Grüße\n");
    EXPECT_EQ(described("work.other.fixed.source")["recfm"], "F");
    // The source is untouched.
    EXPECT_EQ(run({"get", "work.notes.todo.source"}).out, "buy milk\ncall\n");
}

TEST_F(CopyMove, CpReplacesAnExistingEntryAndRefusesWhatCannotBe) {
    ASSERT_EQ(run({"put", "work.other.todo.source", "-"}, "old\nlines\nhere\n").status, 0);
    ASSERT_EQ(run({"cp", "work.notes.todo.source", "work.other"}).status, 0);
    EXPECT_EQ(run({"get", "work.other.todo.source"}).out, "buy milk\ncall\n");

    std::filesystem::create_directories(path("alias"));
    const struct {
        std::vector<std::string> arguments;
        int status;
        const char *says;
    } cases[] = {
        {{"cp", "work.notes.todo.source", "work.notes"}, 2,
         "cp work.notes.todo.source work.notes: WORK.NOTES.TODO.SOURCE and WORK.NOTES.TODO.SOURCE are the same entry"},
        // Another library name for the same directory is the same entry too.
        {{"-L", "same=zefdata", "mv", "work.notes.todo.source", "same.notes.todo.source"}, 2, "are the same entry"},
        {{"cp", "work.notes.todo.source", "work.notes.todo.png"}, 2,
         "SOURCE entries are text and PNG entries binary; copy to a type like SOURCE"},
        {{"mv", "work.notes.logo.png", "work.notes.logo.source"}, 2, "PNG entries are binary and SOURCE entries text"},
        {{"cp", "work.notes.todo.source", "work.notes.x.data"}, 2, "entries of type DATA cannot be written"},
        {{"cp", "work.notes.gone.source", "work.fresh"}, 1,
         "cp work.notes.gone.source work.fresh: entry does not exist (0x8001C006)"},
        {{"mv", "work.nocat.gone.source", "work.fresh"}, 1, "catalog does not exist (0x8001C002)"},
        {{"cp", "work.notes.todo.source", "nolib.x"}, 1, "library \"NOLIB\" is not assigned"},
        {{"cp", "work.notes.todo.source"}, 2, "TARGET is required"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.says);
        Outcome refused = run(c.arguments);
        EXPECT_EQ(refused.status, c.status);
        EXPECT_NE(refused.err.find(c.says), std::string::npos) << refused.err;
        EXPECT_EQ(lines_of(refused.err).size(), 1u) << refused.err;
        EXPECT_EQ(refused.out, "");
    }
    // Nothing was made by the refused ones, and the sources are whole.
    EXPECT_FALSE(exists("zefdata/fresh.zcat"));
    EXPECT_FALSE(exists("zefdata/nocat.zcat"));
    EXPECT_EQ(run({"exists", "work.notes.todo.png"}).status, 1);
    EXPECT_EQ(run({"get", "work.notes.todo.source"}).out, "buy milk\ncall\n");
    EXPECT_EQ(contents("work.notes.logo.png"), logo);
}

TEST_F(CopyMove, MvRenamesAndMovesAndTheSourceGoesOnlyWhenTheCopyIsWhole) {
    Outcome rename = run({"mv", "work.notes.todo.source", "work.notes.done.source"});
    ASSERT_EQ(rename.status, 0) << rename.err;
    EXPECT_EQ(run({"exists", "work.notes.todo.source"}).status, 1);
    EXPECT_EQ(run({"get", "work.notes.done.source"}).out, "buy milk\ncall\n");
    EXPECT_EQ(described("work.notes.done.source")["description"], "Things to do");

    ASSERT_EQ(run({"mv", "work.notes.logo.png", "arch.pics"}).status, 0);
    EXPECT_EQ(run({"exists", "work.notes.logo.png"}).status, 1);
    EXPECT_EQ(contents("arch.pics.logo.png"), logo);

    // A record longer than the target keeps: cp cuts it and says so; mv
    // writes nothing and keeps the source.
    ASSERT_EQ(run({"put", "work.notes.wide.csv", "-", "LRECL=30"}, std::string(30, 'w') + "\n").status, 0);
    Outcome move = run({"mv", "work.notes.wide.csv", "work.notes.wide.source"});
    EXPECT_EQ(move.status, 1);
    EXPECT_EQ(move.err, "zefcat: mv work.notes.wide.csv work.notes.wide.source: 1 record is longer than "
                        "WORK.NOTES.WIDE.SOURCE keeps (29 bytes); nothing was written\n");
    EXPECT_EQ(run({"exists", "work.notes.wide.source"}).status, 1);
    EXPECT_EQ(run({"get", "work.notes.wide.csv"}).out, std::string(30, 'w') + "\n");
    Outcome copy = run({"cp", "work.notes.wide.csv", "work.notes.wide.source"});
    EXPECT_EQ(copy.status, 3);
    EXPECT_NE(copy.err.find("1 record was cut to the 29 bytes WORK.NOTES.WIDE.SOURCE keeps"), std::string::npos) << copy.err;
    EXPECT_EQ(run({"get", "work.notes.wide.source"}).out, std::string(29, 'w') + "\n");
}

// Starts zefcat with `arguments` in `directory`, its output discarded, its
// input and errors the descriptors given (else nothing).
pid_t start(const std::filesystem::path &directory, const std::vector<std::string> &arguments, int input = -1,
            int errors = -1) {
    pid_t child = fork();
    if (child == 0) {
        int null = open("/dev/null", O_RDWR);
        dup2(input >= 0 ? input : null, 0);
        dup2(null, 1);
        dup2(errors >= 0 ? errors : null, 2);
        if (chdir(directory.c_str()) != 0) _exit(126);
        unsetenv("ZEF_WORK");
        unsetenv("ZEF_LIBRARIES");
        exec_zefcat(arguments);
    }
    return child;
}

// A writer that closes a new version of the source while mv copies the old
// one keeps it: mv copies the version it opened, then keeps the source.
TEST_F(CopyMove, MvKeepsASourceWrittenWhileItWasCopied) {
    ASSERT_EQ(run({"put", "work.a.src.source", "-"}, std::string("the version copied\n")).status, 0);
    // A put that holds the target open (it reads its input from a pipe
    // the test keeps open), so that mv, with the source opened, waits for it.
    int pipe_ends[2];
    ASSERT_EQ(pipe2(pipe_ends, O_CLOEXEC), 0);  // no other child keeps the pipe open
    // Whatever fails, the children do not outlive the test.
    struct Children {
        int feed;
        std::vector<pid_t> running;
        ~Children() {
            if (feed >= 0) close(feed);
            for (pid_t child : running) {
                kill(child, SIGKILL);
                waitpid(child, nullptr, 0);
            }
        }
        int reap(pid_t child) {
            int status = -1;
            if (waitpid(child, &status, 0) == child) std::erase(running, child);
            return status;
        }
    } children{pipe_ends[1], {}};
    pid_t holder = start(directory.path(), {"put", "work.a.dst.source", "-"}, pipe_ends[0]);
    children.running.push_back(holder);
    close(pipe_ends[0]);
    ASSERT_EQ(write(children.feed, "held\n", 5), 5);
    auto within = [](auto done) {
        for (auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20); !done();) {
            if (std::chrono::steady_clock::now() > until) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return true;
    };
    ASSERT_TRUE(within([&] { return run({"--wait", "0", "put", "work.a.dst.source", "-"}, "x\n").status != 0; }))
        << "the holder never had the target";
    // mv's errors on a pseudo-terminal, where it tells that it waits.
    int terminal = -1, side = -1;
    ASSERT_EQ(openpty(&terminal, &side, nullptr, nullptr, nullptr), 0);
    fcntl(terminal, F_SETFD, FD_CLOEXEC);
    fcntl(side, F_SETFD, FD_CLOEXEC);
    pid_t mv = start(directory.path(), {"--wait", "20", "mv", "work.a.src.source", "work.a.dst.source"}, -1, side);
    children.running.push_back(mv);
    close(side);
    std::string said;
    auto hear = [&] {
        char buffer[512];
        for (pollfd ready{terminal, POLLIN, 0}; poll(&ready, 1, 0) == 1;) {
            ssize_t n = read(terminal, buffer, sizeof buffer);
            if (n <= 0) break;  // EIO once mv is gone
            said.append(buffer, static_cast<size_t>(n));
        }
        return said;
    };
    ASSERT_TRUE(within([&] { return hear().find("zefcat: waiting") != std::string::npos; }))
        << "mv never waited for the target: " << said;

    ASSERT_EQ(run({"put", "work.a.src.source", "-"}, std::string("written meanwhile\n")).status, 0);
    close(std::exchange(children.feed, -1));
    int status = children.reap(holder);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    status = children.reap(mv);
    hear();
    close(terminal);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << said;
    EXPECT_NE(said.find("WORK.A.SRC.SOURCE was written while it was copied; WORK.A.DST.SOURCE holds the version "
                        "before, and the source was kept"),
              std::string::npos)
        << said;
    EXPECT_EQ(run({"get", "work.a.src.source"}).out, "written meanwhile\n");
    EXPECT_EQ(run({"get", "work.a.dst.source"}).out, "the version copied\n");
}

TEST_F(CopyMove, MvKilledAtAnyMomentLeavesTheSourceWhole) {
    std::string lines;
    for (int i = 0; i < 150000; ++i) lines += "line " + std::to_string(i) + " of the log\n";
    const std::string bytes = random_bytes(24 << 20, 9);
    write_file("big.bin", bytes);
    ASSERT_EQ(run({"put", "work.a.big.log", "-"}, lines).status, 0);
    ASSERT_EQ(run({"put", "work.a.big.png", "big.bin"}).status, 0);

    // How long a whole mv of each takes here: the kills fall within it.
    std::chrono::microseconds whole[2];
    for (int text = 0; text < 2; ++text) {
        std::string type = text == 0 ? ".png" : ".log";
        auto began = std::chrono::steady_clock::now();
        ASSERT_EQ(run({"mv", "work.a.big" + type, "arch.b.big" + type}).status, 0);
        ASSERT_EQ(run({"mv", "arch.b.big" + type, "work.a.big" + type}).status, 0);
        whole[text] = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - began) / 2;
    }
    // Other moments on every run; the seed is in each round's trace.
    const unsigned seed = std::random_device()();
    std::mt19937 random(seed);
    int killed = 0;
    for (int round = 0; round < 12; ++round) {
        bool text = round % 2 == 0;
        const std::string &expected = text ? lines : bytes;
        std::string type = text ? ".log" : ".png";
        // Each round moves the entry to the other catalog (or library).
        std::string here = "work.a.big" + type, there = "arch.b.big" + type;
        if (run({"exists", here}).status != 0) std::swap(here, there);
        auto delay = std::chrono::microseconds(random() % std::max<int64_t>(whole[text ? 1 : 0].count(), 1));
        SCOPED_TRACE("seed " + std::to_string(seed) + ", round " + std::to_string(round) + ": mv " + here + " " + there + ", killed after " +
                     std::to_string(delay.count()) + " us");
        pid_t child = start(directory.path(), {"-L", "arch=arch", "--wait", "20", "mv", here, there});
        ASSERT_GT(child, 0);
        std::this_thread::sleep_for(delay);
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        if (WIFSIGNALED(status)) {
            ++killed;
        } else {
            EXPECT_EQ(WEXITSTATUS(status), 0);
        }

        // The source is whole, or it is gone and the target is whole; a
        // target that is there is never part of a copy.
        bool source = run({"exists", here}).status == 0, target = run({"exists", there}).status == 0;
        ASSERT_TRUE(source || target);
        if (source) {
            EXPECT_TRUE(run({"get", here}).out == expected) << "source";
        }
        if (target) {
            EXPECT_TRUE(run({"get", there}).out == expected) << "target";
        }
        // A target left beside a whole source is a finished copy: the next mv replaces it.
        if (source && target) {
            ASSERT_EQ(run({"rm", there}).status, 0);
        }
    }
    // Most rounds were stopped before the end.
    EXPECT_GE(killed, 4);
    // No killed writer holds anyone up: both catalogs go at once.
    EXPECT_EQ(run({"--wait", "0", "rm", "-r", "work.a", "arch.b"}).status, 0);
    EXPECT_FALSE(exists("zefdata/a.zcat"));
    EXPECT_FALSE(exists("arch/b.zcat"));
}

}  // namespace
}  // namespace zefcat_test
