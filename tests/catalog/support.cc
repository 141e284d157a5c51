#include "support.h"
#include "support/catalog_sql.h"

#include <libpq-fe.h>
#include <poll.h>
#include <sqlite3.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <ostream>
#include <thread>

#include "support/postgres_cluster.h"

#ifdef ZEF_COVERAGE
// Writes the counters of a build with coverage counters (libgcov).
extern "C" void __gcov_dump(void);
#endif

namespace cattest {

namespace r = zef::routine;
namespace p = zef::proto;

std::ostream &operator<<(std::ostream &out, const Block &block) {
    return out << "{" << block.code << ", \"" << block.bytes << "\"}";
}

namespace {

void put_name(std::string_view name, int16_t *length, char *field) {
    *length = static_cast<int16_t>(name.size());
    std::memset(field, ' ', 32);
    if (!name.empty()) std::memcpy(field, name.data(), std::min<size_t>(name.size(), 32));
}

void put_padded(std::string_view text, char *field, size_t width) {
    std::memset(field, ' ', width);
    if (!text.empty()) std::memcpy(field, text.data(), std::min(text.size(), width));
}

}  // namespace

zef::LibraryRequest library_request(std::string_view library, std::string_view catalog, int32_t mode) {
    zef::LibraryRequest request{};
    put_padded(library, request.libref, 8);
    put_name(catalog, &request.catalog_name_length, request.catalog_name);
    request.library_mode = mode;
    return request;
}

zef::MemberRequest member_request(void *catalog, std::string_view name, std::string_view type,
                                  int32_t mode, std::string_view description) {
    zef::MemberRequest request{};
    request.catalog_handle = catalog;
    put_name(name, &request.entry_name_length, request.entry_name);
    put_padded(type, request.entry_type, 8);
    request.flag_word = 0x4;
    request.value_512 = 512;
    request.member_mode = mode;
    request.description_length = static_cast<int16_t>(description.size());
    put_padded(description, request.description, 256);
    return request;
}

zef::EntryRequest entry_request(void *catalog, std::string_view name, std::string_view type) {
    zef::EntryRequest request{};
    request.catalog_handle = catalog;
    put_name(name, &request.entry_name_length, request.entry_name);
    put_padded(type, request.entry_type, 8);
    return request;
}

int32_t open_catalog(std::string_view library, std::string_view catalog, int32_t mode, void **handle) {
    zef::LibraryRequest request = library_request(library, catalog, mode);
    return call<p::ylopen>(r::ylopen, static_cast<void *>(&request), handle);
}

int32_t close_catalog(void *catalog) { return call<p::ylclose>(r::ylclose, catalog, 0); }

int32_t open_entry(void *catalog, std::string_view name, std::string_view type, int32_t mode,
                   void **entry, std::string_view description) {
    zef::MemberRequest request = member_request(catalog, name, type, mode, description);
    return call<p::ylmopen>(r::ylmopen, static_cast<void *>(&request), entry);
}

int32_t close_entry(void *entry) { return call<p::ylmclos>(r::ylmclos, entry, 0); }

int32_t write_block(void *entry, const Block &block) {
    zef::TransferRequest transfer{};
    transfer.buffer = const_cast<char *>(block.bytes.data());
    transfer.length = static_cast<int64_t>(block.bytes.size());
    transfer.record_code = block.code;
    return call<p::ylmwrit>(r::ylmwrit, entry, static_cast<void *>(&transfer));
}

int32_t read_block(void *entry, Block &block, size_t buffer_size) {
    // One buffer for every read; the bytes past the block must stay as they were.
    static std::vector<char> buffer;
    if (buffer.size() < buffer_size + 1) buffer.resize(buffer_size + 1);
    buffer[buffer_size] = '\xA5';  // a block longer than the buffer would overwrite it
    zef::TransferRequest transfer{};
    transfer.buffer = buffer.data();
    transfer.length = 0;
    transfer.record_code = 0xFFFF;
    int32_t status = call<p::ylmread>(r::ylmread, entry, static_cast<void *>(&transfer));
    block.code = transfer.record_code;
    size_t count = static_cast<size_t>(std::max<int64_t>(transfer.length, 0));
    block.bytes.assign(buffer.data(), count);
    if (count > buffer_size || buffer[buffer_size] != '\xA5')
        ADD_FAILURE() << "the read delivered more than " << buffer_size << " bytes";
    return status;
}

int32_t note(void *entry, int64_t *position) { return call<p::ylmnote>(r::ylmnote, entry, position); }

int32_t point(void *entry, int64_t position, int32_t how) {
    return call<p::ylmpoin>(r::ylmpoin, entry, position, how);
}

int32_t describe(void *catalog, std::string_view name, std::string_view type, int64_t *size) {
    zef::EntryRequest request = entry_request(catalog, name, type);
    return call<p::ylminfo>(r::ylminfo, static_cast<void *>(&request), 0, 2, size);
}

int32_t find(void *catalog, std::string_view name, std::string_view type) {
    zef::EntryRequest request = entry_request(catalog, name, type);
    zef::FindRequest find{};
    std::memcpy(&find, &request, sizeof find);
    return call<p::ylmfind>(r::ylmfind, static_cast<void *>(&find));
}

int32_t remove(void *catalog, std::string_view name, std::string_view type) {
    zef::EntryRequest request = entry_request(catalog, name, type);
    return call<p::ylmdel>(r::ylmdel, static_cast<void *>(&request), 0);
}

std::vector<Block> read_rest(void *entry, int32_t *end) {
    std::vector<Block> blocks;
    for (;;) {
        Block block;
        int32_t status = read_block(entry, block);
        if (status != 0) {
            if (end) *end = status;
            return blocks;
        }
        blocks.push_back(std::move(block));
    }
}

void write_entry(std::string_view library, std::string_view catalog, std::string_view name,
                 std::string_view type, const std::vector<Block> &blocks, int32_t mode) {
    void *cat = nullptr;
    void *entry = nullptr;
    ASSERT_EQ(open_catalog(library, catalog, zef::kLibraryWrite, &cat), 0);
    ASSERT_EQ(open_entry(cat, name, type, mode, &entry), 0);
    for (const Block &b : blocks) ASSERT_EQ(write_block(entry, b), 0);
    ASSERT_EQ(close_entry(entry), 0);
    ASSERT_EQ(close_catalog(cat), 0);
}

EntryRead read_entry(std::string_view library, std::string_view catalog, std::string_view name,
                     std::string_view type) {
    EntryRead result;
    void *cat = nullptr;
    void *entry = nullptr;
    result.status = open_catalog(library, catalog, zef::kLibraryInput, &cat);
    if (result.status != 0) return result;
    result.status = open_entry(cat, name, type, zef::kMemberInput, &entry);
    if (result.status == 0) {
        int32_t end = 0;
        result.blocks = read_rest(entry, &end);
        if (end != zef::kCatalogEndOfMember) result.status = end;
        int32_t closed = close_entry(entry);
        if (result.status == 0) result.status = closed;
    }
    close_catalog(cat);
    return result;
}

std::vector<Block> numbered_blocks(std::string_view tag, int count, size_t width) {
    std::vector<Block> blocks;
    blocks.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        std::string text = std::string(tag) + " " + std::to_string(i);
        text.resize(std::max(width, text.size()), '.');
        blocks.push_back(Block{322, std::move(text)});
    }
    return blocks;
}

// ------------------------------------------------------------------ TempDir --

TempDir::TempDir() {
    const char *base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/zefcat-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

// -------------------------------------------------------------------- Child --

void Child::Channel::send(char c) const {
    ssize_t n;
    do {
        n = ::write(out, &c, 1);
    } while (n < 0 && errno == EINTR);
}

char Child::Channel::receive(std::chrono::milliseconds wait) const {
    struct pollfd fd {in, POLLIN, 0};
    int ready;
    do {
        ready = ::poll(&fd, 1, static_cast<int>(wait.count()));
    } while (ready < 0 && errno == EINTR);
    if (ready <= 0) return 0;
    char c = 0;
    return ::read(in, &c, 1) == 1 ? c : 0;
}

Child::Child(std::function<int(const Channel &)> work) {
    int up[2], down[2];  // child to parent, parent to child
    if (::pipe(up) != 0 || ::pipe(down) != 0) throw std::runtime_error("pipe failed");
    std::fflush(nullptr);
    pid_ = ::fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        ::close(up[0]);
        ::close(down[1]);
        int code = 99;
        try {
            code = work(Channel{down[0], up[1]});
        } catch (...) {
            code = 98;
        }
        // A coverage build adds what the child ran to the counters, which
        // _exit would otherwise drop.
#ifdef ZEF_COVERAGE
        __gcov_dump();
#endif
        ::_exit(code);
    }
    ::close(up[1]);
    ::close(down[0]);
    parent_ = Channel{up[0], down[1]};
}

Child::~Child() {
    if (pid_ > 0) {
        kill();
        wait();
    }
    if (parent_.in >= 0) ::close(parent_.in);
    if (parent_.out >= 0) ::close(parent_.out);
}

void Child::kill() {
    if (pid_ > 0) ::kill(pid_, SIGKILL);
}

int Child::wait(std::chrono::milliseconds wait) {
    if (pid_ <= 0) return -1;
    auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        int status = 0;
        pid_t done = ::waitpid(pid_, &status, WNOHANG);
        if (done == pid_) {
            pid_ = -1;
            if (WIFEXITED(status)) return WEXITSTATUS(status);
            if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
            return -1;
        }
        if (std::chrono::steady_clock::now() > deadline) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

// -------------------------------------------------------------- CatalogTest --

std::string store_name(const ::testing::TestParamInfo<StoreKind> &info) {
    return info.param == StoreKind::directory ? "Directory" : "Database";
}

namespace {

std::string run_sql(const std::string &uri, const std::string &statement) {
    PGconn *conn = PQconnectdb(uri.c_str());
    std::string out;
    if (PQstatus(conn) == CONNECTION_OK) {
        PGresult *r = PQexec(conn, ("SET search_path TO work; " + statement).c_str());
        if (PQresultStatus(r) == PGRES_TUPLES_OK && PQntuples(r) > 0 && !PQgetisnull(r, 0, 0))
            out = PQgetvalue(r, 0, 0);
        else if (PQresultStatus(r) != PGRES_TUPLES_OK && PQresultStatus(r) != PGRES_COMMAND_OK)
            ADD_FAILURE() << statement << ": " << PQresultErrorMessage(r);
        PQclear(r);
    } else {
        ADD_FAILURE() << "cannot connect: " << PQerrorMessage(conn);
    }
    PQfinish(conn);
    return out;
}

}  // namespace

TestDatabase::TestDatabase() {
    static int made = 0;
    name_ = "t" + std::to_string(::getpid()) + "_" + std::to_string(++made);
    zeftest::PostgresCluster &cluster = zeftest::PostgresCluster::shared();
    cluster.sql("CREATE DATABASE " + name_);
    uri_ = cluster.uri(name_);
}

TestDatabase::~TestDatabase() {
    try {
        zeftest::PostgresCluster::shared().sql("DROP DATABASE IF EXISTS " + name_ + " WITH (FORCE)");
    } catch (...) {
    }
}

std::string TestDatabase::sql(const std::string &statement) const { return run_sql(uri_, statement); }

CatalogTest::CatalogTest(StoreKind kind_) : kind(kind_), services(host.catalogs()) {
    if (kind == StoreKind::database) database.emplace();
    assign_work(services);
}

void CatalogTest::assign_work(zefhost::catalog::Services &other, bool read_only) const {
    if (kind == StoreKind::database)
        other.assign_database_library("work", database->uri(), read_only);
    else
        other.assign_library("work", dir.path(), read_only);
}

int64_t CatalogTest::count_rows(std::string_view catalog, const std::string &table) const {
    if (kind == StoreKind::database) {
        std::string n = database->sql("SELECT count(*) FROM " + table + " WHERE catalog = upper('" +
                                      std::string(catalog) + "')");
        return n.empty() ? -1 : std::stoll(n);
    }
    sqlite3 *db = nullptr;
    int64_t n = -1;
    std::string file = catalog_path(catalog).string();
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt *s = nullptr;
        std::string sql = "SELECT count(*) FROM " + table;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) == SQLITE_OK && sqlite3_step(s) == SQLITE_ROW)
            n = sqlite3_column_int64(s, 0);
        sqlite3_finalize(s);
    }
    sqlite3_close(db);
    return n;
}

std::string CatalogTest::store_sql(std::string_view catalog, const std::string &statements) const {
    if (kind == StoreKind::database) return database->sql(statements);
    return zeftest::file_sql(catalog_path(catalog), statements);
}

void CatalogTest::TearDown() {
    EXPECT_EQ(services.open_entries(), 0u) << "an entry handle was left open";
    EXPECT_EQ(services.open_scans(), 0u) << "a scan was left open";
    EXPECT_EQ(services.open_catalogs(), 0u) << "a catalog handle was left open";
    EXPECT_EQ(host.unmarked_calls(), 0) << "a call did not go through the vector";
}

std::filesystem::path CatalogTest::catalog_path(std::string_view catalog) const {
    return services.catalog_file("work", catalog);
}

}  // namespace cattest
