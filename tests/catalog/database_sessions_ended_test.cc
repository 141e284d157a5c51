// Sessions that the server ends (an administrator, a restart, an idle
// timeout) under an open catalog: the request that meets an ended session
// fails, with the server's reason; the catalog stays usable, and what was
// written before is kept.
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "store_requests.h"
#include "support/postgres_cluster.h"

namespace cattest {
namespace {

class DatabaseSessionsEnded : public CatalogTest {
protected:
    DatabaseSessionsEnded() : CatalogTest(StoreKind::database) {
        services.deassign_library("work");
        services.assign_database_library("work", database->uri() + "&application_name=" + application_);
    }
    int end_sessions() const { return zeftest::PostgresCluster::shared().terminate_backends(application_); }
    // Waits (up to five seconds) until the library has `wanted` sessions: a
    // long read's second session is connected on a thread while it reads.
    void await_sessions(int wanted) const {
        const std::string count =
            "SELECT count(*) FROM pg_stat_activity WHERE application_name = '" + application_ + "'";
        for (int i = 0; i < 100 && std::stoi(database->sql(count)) < wanted; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }

    const std::string application_ = "ended-" + std::to_string(::getpid());
};

bool told(const std::string &what) {
    const std::string &error = zefhost::catalog::Services::live().last_error();
    return error.find(what) != std::string::npos;
}

TEST_F(DatabaseSessionsEnded, AWriterMeetingAnEndedSessionFailsAndTheNextOneWrites) {
    std::vector<Block> a = numbered_blocks("a", 3000), b = numbered_blocks("b", 2000);
    void *cat = nullptr, *entry = nullptr;
    ASSERT_EQ(open_catalog("work", "c", zef::kLibraryWrite, &cat), 0);
    ASSERT_EQ(open_entry(cat, "a", "DATA", zef::kMemberOutput, &entry), 0);
    for (const Block &block : a) ASSERT_EQ(write_block(entry, block), 0);
    ASSERT_EQ(close_entry(entry), 0);
    EXPECT_GE(end_sessions(), 2) << "the catalog's own session and the writer's, kept for the next";

    EXPECT_EQ(open_entry(cat, "b", "DATA", zef::kMemberOutput, &entry), zef::kCatalogIoFailure);
    EXPECT_TRUE(told("server closed the connection")) << services.last_error();
    ASSERT_EQ(open_entry(cat, "b", "DATA", zef::kMemberOutput, &entry), 0) << services.last_error();
    for (const Block &block : b) ASSERT_EQ(write_block(entry, block), 0);
    ASSERT_EQ(close_entry(entry), 0);
    EXPECT_EQ(close_catalog(cat), 0);

    EXPECT_EQ(read_entry("work", "c", "a", "DATA").blocks, a);
    EXPECT_EQ(read_entry("work", "c", "b", "DATA").blocks, b);
    EXPECT_EQ(count_rows("c", "writers"), 0);
    EXPECT_EQ(services.check_catalog("work", "c"), std::vector<std::string>{});
}

TEST_F(DatabaseSessionsEnded, AReaderMeetingAnEndedSessionFailsAndTheEntryReadsAgain) {
    std::vector<Block> a = numbered_blocks("a", 30000);
    write_entry("work", "c", "a", "DATA", a);
    void *cat = nullptr, *entry = nullptr;
    ASSERT_EQ(open_catalog("work", "c", zef::kLibraryInput, &cat), 0);
    ASSERT_EQ(open_entry(cat, "a", "DATA", zef::kMemberInput, &entry), 0);
    Block block;
    ASSERT_EQ(read_block(entry, block), 0);
    await_sessions(2);
    EXPECT_GE(end_sessions(), 2);
    int32_t end = 0;
    read_rest(entry, &end);
    EXPECT_EQ(end, zef::kCatalogIoFailure);
    EXPECT_TRUE(told("terminating connection") || told("server closed the connection")) << services.last_error();
    EXPECT_EQ(close_entry(entry), 0);
    EXPECT_EQ(close_catalog(cat), 0);
    EXPECT_EQ(read_entry("work", "c", "a", "DATA").blocks, a);
}

}  // namespace
}  // namespace cattest
