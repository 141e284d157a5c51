// The server sessions a catalog in a database reads through. A catalog
// opened for input lends its own session to the first entry it reads, so
// a get waits for one connection fewer; catalog requests made meanwhile get
// a session of their own, and every request still sees what it should. A
// long entry is read on a second session as well, made while the first
// chunks come; a read goes on with one session when the server refuses
// the second.
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "store_requests.h"

namespace cattest {
namespace {

class DatabaseSessions : public CatalogTest {
protected:
    DatabaseSessions() : CatalogTest(StoreKind::database) {}

    // Assigns WORK through `uri`, its sessions named for counting.
    void assign_work_counted(std::string uri) {
        services.deassign_library("work");
        services.assign_database_library("work", uri + "&application_name=" + application_);
    }
    int sessions() const {
        return std::stoi(database->sql("SELECT count(*) FROM pg_stat_activity WHERE application_name = '" +
                                       application_ + "'"));
    }

    // The count once it is `wanted`, or after five seconds: the second
    // session of a long read is made on a thread while the read goes on, and
    // the server notices a closed session only a moment after.
    int sessions_reaching(int wanted) const {
        int count = sessions();
        for (int i = 0; i < 100 && count != wanted; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            count = sessions();
        }
        return count;
    }

    const std::string application_ = "sessions-" + std::to_string(::getpid());
};

TEST_F(DatabaseSessions, AReaderBorrowsTheCatalogsSessionAndCatalogRequestsGetAnother) {
    std::vector<Block> a = numbered_blocks("a", 20), b = numbered_blocks("b", 3);
    write_entry("work", "c", "a", "DATA", a);
    write_entry("work", "c", "b", "DATA", b);
    assign_work_counted(database->uri());

    void *cat = nullptr, *entry = nullptr;
    ASSERT_EQ(open_catalog("work", "c", zef::kLibraryInput, &cat), 0);
    ASSERT_EQ(open_entry(cat, "a", "DATA", zef::kMemberInput, &entry), 0) << services.last_error();
    Block block;
    ASSERT_EQ(read_block(entry, block), 0);
    EXPECT_EQ(sessions(), 1) << "the reader reads on the catalog's own session";

    // B and A replaced through another handle: catalog requests made while
    // A is open see that, on a session of their own; A's reader keeps its
    // version.
    write_entry("work", "c", "b", "DATA", numbered_blocks("b", 7));
    write_entry("work", "c", "a", "DATA", numbered_blocks("z", 2));
    int64_t size = 0;
    EXPECT_EQ(describe(cat, "b", "DATA", &size), 0) << services.last_error();
    EXPECT_EQ(find(cat, "a", "DATA"), 0);
    EXPECT_EQ(sessions_reaching(2), 2) << "the reader's, and the catalog's own made again";
    std::vector<Block> rest = read_rest(entry);
    rest.insert(rest.begin(), block);
    EXPECT_EQ(rest, a);
    EXPECT_EQ(close_entry(entry), 0);

    // The returned session serves the next reader; nothing new is made.
    EXPECT_EQ(read_entry("work", "c", "b", "DATA").blocks, numbered_blocks("b", 7));
    EXPECT_EQ(open_entry(cat, "a", "DATA", zef::kMemberInput, &entry), 0);
    EXPECT_EQ(read_rest(entry), numbered_blocks("z", 2));
    EXPECT_EQ(close_entry(entry), 0);
    EXPECT_EQ(sessions_reaching(2), 2);
    EXPECT_EQ(close_catalog(cat), 0);
    EXPECT_EQ(sessions_reaching(0), 0);
    EXPECT_EQ(services.open_entries(), 0u);
}

TEST_F(DatabaseSessions, ALongEntryIsReadOnTwoSessionsOrOnOneWhenTheServerRefusesTheSecond) {
    std::vector<Block> blocks = numbered_blocks("l", 30000);
    write_entry("work", "c", "l", "DATA", blocks);
    // A role of this test's own: its connection limit holds for the whole
    // server, which the other tests of this program share.
    database->sql("DO $$BEGIN CREATE ROLE lone_reader LOGIN; EXCEPTION WHEN duplicate_object THEN NULL; END$$");
    database->sql("GRANT USAGE ON SCHEMA work TO lone_reader; GRANT SELECT ON ALL TABLES IN SCHEMA work TO lone_reader");
    std::string reader = database->uri();
    reader.replace(reader.find("user=zef"), 8, "user=lone_reader");

    for (int limit : {-1, 1}) {
        SCOPED_TRACE("connection limit " + std::to_string(limit));
        database->sql("ALTER ROLE lone_reader CONNECTION LIMIT " + std::to_string(limit));
        assign_work_counted(reader);
        void *cat = nullptr, *entry = nullptr;
        ASSERT_EQ(open_catalog("work", "c", zef::kLibraryInput, &cat), 0);
        ASSERT_EQ(open_entry(cat, "l", "DATA", zef::kMemberInput, &entry), 0) << services.last_error();
        std::vector<Block> read;
        Block block;
        while (read.size() < 2000 && read_block(entry, block) == 0) read.push_back(block);
        EXPECT_EQ(limit == 1 ? sessions() : sessions_reaching(2), limit == 1 ? 1 : 2);
        std::vector<Block> rest = read_rest(entry);
        read.insert(read.end(), rest.begin(), rest.end());
        EXPECT_EQ(read, blocks);
        EXPECT_EQ(close_entry(entry), 0);
        EXPECT_EQ(close_catalog(cat), 0);
    }
}

}  // namespace
}  // namespace cattest
