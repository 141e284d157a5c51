// Many hosts on one catalog at once: separate processes, each a host with
// connections of its own, write their own entries and replace shared ones
// while others read and list; writers are killed at random moments, and
// (on a database library) writers' sessions are ended by the server. What
// was closed must stay whole and the last close of an entry must be what
// it holds; no reader may ever see a mixed entry.
//
// Every process logs what it does to a file of its own, one write(2) per
// line, so a killed process leaves every line it finished. A writer logs
// "c ENTRY TAG TIME" before its close and "d ENTRY TAG" after a close that
// succeeded. Writers of one entry take turns (each holds the entry from
// open to close), so the times logged before the closes order the closes.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <thread>

#include "support.h"
#include "support/postgres_cluster.h"

namespace cattest {
namespace {

using namespace std::chrono_literals;

const std::vector<std::string> kShared = {"S0", "S1", "S2", "S3"};

int64_t monotonic_ns() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// A version: `count` blocks "TAG i/count", each 100 bytes.
std::vector<Block> version_blocks(const std::string &tag, int count) {
    std::vector<Block> blocks;
    blocks.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        std::string text = tag + " " + std::to_string(i) + "/" + std::to_string(count) + " ";
        text.resize(100, '.');
        blocks.push_back(Block{322, std::move(text)});
    }
    return blocks;
}

// The tag of a whole version, or "" when the blocks are not one.
std::string whole_version(const std::vector<Block> &blocks) {
    if (blocks.empty()) return "";
    std::istringstream first(blocks[0].bytes);
    std::string tag, position;
    first >> tag >> position;
    size_t slash = position.find('/');
    if (slash == std::string::npos) return "";
    int count = std::atoi(position.c_str() + slash + 1);
    return blocks == version_blocks(tag, count) ? tag : "";
}

class Log {
public:
    explicit Log(const std::filesystem::path &file)
        : fd_(::open(file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644)) {}
    ~Log() { ::close(fd_); }
    void line(const std::string &text) const {
        std::string l = text + "\n";
        if (::write(fd_, l.data(), l.size()) != static_cast<ssize_t>(l.size())) std::abort();
    }

private:
    int fd_;
};

std::vector<std::vector<std::string>> log_lines(const std::filesystem::path &directory) {
    std::vector<std::vector<std::string>> out;
    for (const auto &file : std::filesystem::directory_iterator(directory)) {
        std::ifstream in(file.path());
        std::string line;
        while (std::getline(in, line)) {
            std::istringstream words(line);
            std::vector<std::string> w;
            for (std::string word; words >> word;) w.push_back(word);
            if (!w.empty()) out.push_back(std::move(w));
        }
    }
    return out;
}

class ManyHosts : public BothStores {
protected:
    ManyHosts() {
        std::filesystem::create_directory(logs());
        for (const std::string &name : kShared) write_entry("work", "hosts", name, "DATA", version_blocks("init", 10));
    }
    std::filesystem::path logs() const { return dir.path() / "logs"; }
    bool stopping() const { return std::filesystem::exists(dir.path() / "stop"); }

    // Writes versions until told to stop: shared entries and one of its own.
    int writer(int id, const std::string &application) {
        if (!application.empty()) ::setenv("PGAPPNAME", application.c_str(), 1);
        Log log(logs() / ("w" + std::to_string(id)));
        std::mt19937 random(static_cast<unsigned>(id) * 7919u);
        void *cat = nullptr;
        if (int32_t opened = open_catalog("work", "hosts", zef::kLibraryWrite, &cat); opened != 0)
            return opened == zef::kCatalogIoFailure && !application.empty() ? 0 : 60;  // ended while opening
        for (int seq = 0; !stopping(); ++seq) {
            std::string entry = random() % 3 == 0 ? "W" + std::to_string(id) : kShared[random() % kShared.size()];
            std::string tag = "w" + std::to_string(id) + "s" + std::to_string(seq);
            // Now and then more than a staging batch, so staged chunks are
            // there to be lost when it dies.
            int count = random() % 6 == 0 ? 12000 : 20 + static_cast<int>(random() % 1500);
            void *e = nullptr;
            int32_t opened = open_entry(cat, entry, "DATA", zef::kMemberOutput, &e);
            if (opened != 0) {
                log.line("o " + entry + " " + std::to_string(opened));
                if (opened == zef::kCatalogIoFailure) return 0;  // its session was ended
                continue;
            }
            int32_t status = 0;
            for (const Block &b : version_blocks(tag, count))
                if ((status = write_block(e, b)) != 0) break;
            if (status == 0) log.line("c " + entry + " " + tag + " " + std::to_string(monotonic_ns()));
            int32_t closed = close_entry(e);
            if (status == 0 && closed == 0) {
                log.line("d " + entry + " " + tag);
            } else {
                log.line("f " + entry + " " + tag + " " + std::to_string(status) + " " + std::to_string(closed));
                if (closed == zef::kCatalogIoFailure || status == zef::kCatalogIoFailure) return 0;
            }
        }
        return close_catalog(cat) == 0 ? 0 : 61;
    }

    // Reads entries whole and lists the catalog until told to stop.
    int reader(int id) {
        Log log(logs() / ("r" + std::to_string(id)));
        std::mt19937 random(static_cast<unsigned>(id) * 104729u);
        while (!stopping()) {
            if (random() % 4 == 0) {
                auto listed = zefhost::catalog::Services::live().list_entries("work", "hosts");
                for (const auto &info : listed)
                    if (info.key.type != "DATA" || info.row.blocks <= 0) log.line("badlist " + info.key.name);
                log.line("list " + std::to_string(listed.size()));
                continue;
            }
            std::string entry = kShared[random() % kShared.size()];
            EntryRead read = read_entry("work", "hosts", entry, "DATA");
            if (read.status != 0) {
                log.line("readfail " + entry + " " + std::to_string(read.status) + " " +
                         zefhost::catalog::Services::live().last_error());
                continue;
            }
            std::string tag = whole_version(read.blocks);
            log.line((tag.empty() ? "mixed " : "read ") + entry + " " + tag);
        }
        return 0;
    }

    // What every log says, checked against what the catalog holds now.
    void check_outcome(int expected_kills) {
        std::map<std::string, std::pair<int64_t, std::string>> last_done;  // entry -> (time, tag)
        std::map<std::string, std::map<std::string, int64_t>> closing;     // entry -> tag -> time
        std::map<std::string, std::set<std::string>> done;
        int reads = 0, lists = 0;
        for (const auto &w : log_lines(logs())) {
            if (w[0] == "c") closing[w[1]][w[2]] = std::stoll(w[3]);
            if (w[0] == "d") done[w[1]].insert(w[2]);
            if (w[0] == "mixed" || w[0] == "badlist" || w[0] == "readfail") {
                std::string said;
                for (const std::string &word : w) said += " " + word;
                ADD_FAILURE() << "a reader saw" << said;
            }
            if (w[0] == "read") ++reads;
            if (w[0] == "list") ++lists;
        }
        EXPECT_GT(reads, 20);
        EXPECT_GT(lists, 5);
        int closes = 0;
        for (const auto &[entry, tags] : done) {
            for (const std::string &tag : tags) {
                int64_t at = closing[entry][tag];
                if (last_done[entry].second.empty() || at > last_done[entry].first) last_done[entry] = {at, tag};
                ++closes;
            }
        }
        EXPECT_GT(closes, expected_kills) << "too few closes to tell anything";
        auto listed = services.list_entries("work", "hosts");
        for (const auto &info : listed) {
            const std::string &entry = info.key.name;
            EntryRead now = read_entry("work", "hosts", entry, "DATA");
            ASSERT_EQ(now.status, 0) << entry;
            std::string tag = whole_version(now.blocks);
            ASSERT_FALSE(tag.empty()) << entry << " is not one whole version";
            // The last close that was seen to succeed, or a close that began
            // after it whose writer died before it could say how it ended.
            auto [last_at, last_tag] = last_done[entry];
            if (tag == last_tag || (last_tag.empty() && tag == "init")) continue;
            auto began = closing[entry].find(tag);
            ASSERT_NE(began, closing[entry].end()) << entry << " holds " << tag << ", which no writer closed";
            EXPECT_TRUE(done[entry].count(tag) == 0 && began->second > last_at)
                << entry << " holds " << tag << " but the last close was " << last_tag;
        }
        for (const auto &[entry, last] : last_done)
            EXPECT_TRUE(std::any_of(listed.begin(), listed.end(), [&](const auto &i) { return i.key.name == entry; }))
                << entry << " was closed but is gone";
        // What the dead left behind is collected by the next writer's open.
        auto deadline = std::chrono::steady_clock::now() + 20s;
        do {
            void *cat = nullptr;
            ASSERT_EQ(open_catalog("work", "hosts", zef::kLibraryWrite, &cat), 0);
            ASSERT_EQ(close_catalog(cat), 0);
        } while (count_rows("hosts", "writers") != 0 && std::chrono::steady_clock::now() < deadline);
        EXPECT_EQ(count_rows("hosts", "writers"), 0);
        EXPECT_EQ(services.check_catalog("work", "hosts"), std::vector<std::string>{});
    }

    void stop(std::vector<std::unique_ptr<Child>> &children) {
        std::ofstream(dir.path() / "stop").put('s');
        for (auto &child : children) {
            if (child->running()) {
                EXPECT_EQ(child->wait(120s), 0) << "a host failed (see its exit code)";
            }
        }
    }
};
ZEF_ON_BOTH_STORES(ManyHosts);

TEST_P(ManyHosts, KilledWritersLoseNothingClosedAndReadersNeverSeeAMixedEntry) {
    constexpr int kWriters = 6, kReaders = 3, kKills = 24;
    std::vector<std::unique_ptr<Child>> children;
    std::vector<size_t> writers;
    int next_id = 0;
    auto start_writer = [&] {
        int id = next_id++;
        children.push_back(std::make_unique<Child>([this, id](const Child::Channel &) { return writer(id, ""); }));
        writers.push_back(children.size() - 1);
    };
    for (int i = 0; i < kWriters; ++i) start_writer();
    for (int i = 0; i < kReaders; ++i)
        children.push_back(std::make_unique<Child>([this, i](const Child::Channel &) { return reader(i); }));

    std::mt19937 random(20261208);
    for (int kill = 0; kill < kKills; ++kill) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20 + random() % 250));
        size_t victim_slot = random() % writers.size();
        Child &victim = *children[writers[victim_slot]];
        victim.kill();
        int code = victim.wait();
        EXPECT_TRUE(code == 128 + SIGKILL || code == 0) << "writer ended with " << code;
        writers.erase(writers.begin() + static_cast<std::ptrdiff_t>(victim_slot));
        start_writer();
    }
    std::this_thread::sleep_for(500ms);
    stop(children);
    check_outcome(kKills);
}

TEST_P(ManyHosts, AWriterWhoseSessionIsEndedLosesNothingClosed) {
    if (kind != StoreKind::database) GTEST_SKIP() << "only a database library's sessions can be ended by its server";
    std::vector<std::unique_ptr<Child>> children;
    int next_id = 0;
    auto start_writer = [&](const std::string &application) {
        int id = next_id++;
        children.push_back(
            std::make_unique<Child>([this, id, application](const Child::Channel &) { return writer(id, application); }));
    };
    for (int i = 0; i < 4; ++i) start_writer("");
    for (int i = 0; i < 2; ++i)
        children.push_back(std::make_unique<Child>([this, i](const Child::Channel &) { return reader(i); }));
    std::mt19937 random(81);
    zeftest::PostgresCluster &cluster = zeftest::PostgresCluster::shared();
    int severed = 0;
    for (int round = 0; round < 8; ++round) {
        std::string application = "zef-severed-" + std::to_string(::getpid()) + "-" + std::to_string(round);
        start_writer(application);
        std::this_thread::sleep_for(std::chrono::milliseconds(100 + random() % 300));
        severed += cluster.terminate_backends(application);
    }
    EXPECT_GE(severed, 8);
    std::this_thread::sleep_for(300ms);
    stop(children);
    check_outcome(0);
}

}  // namespace
}  // namespace cattest
