// Damaged catalogs read through the module. A small valid catalog is made
// once; each input damages a copy of it, either through SQLite (rows and
// values of its tables set, shifted or cut: this reaches past SQLite's own
// checks into the store's) or byte by byte in the file, then reads it the
// way a program does: an entry stream in F, V, P, P+F or S form (S with
// NBYTE), for input or update, with reads, notes and points in an order the
// input gives, and through the read routine of the stream's routine table;
// the catalog's members through the directory slots; and the store's own
// listing and full check. Nothing may crash, every call must answer a
// status, and everything obtained must go back.
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "harness.h"
#include "read_paths.h"
#include "zefhost/catalog/catalog_error.h"
#include "zefhost/catalog/services.h"
#include "zefhost/option_statement.h"
#include "zefxbaml/routine_table.h"
#include "zefxbaml/status.h"
#include "zefxbaml/stream_block.h"

namespace {

using zeffuzz::Harness;
using zeffuzz::Input;
using zeffuzz::Name8;

constexpr const char *kTarget = "catalog_fuzz";

std::filesystem::path catalog_file() { return zeffuzz::harness().library / "t.zcat"; }

const std::string &template_bytes() {
    static const std::string bytes = [] {
        zeffuzz::make_sample_catalog(zeffuzz::harness(), "T");
        // The store is closed: the file holds everything, the WAL is gone.
        std::ifstream in(catalog_file(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }();
    return bytes;
}

void put_file(const std::string &bytes) {
    std::error_code ignored;
    std::filesystem::remove(catalog_file().string() + "-wal", ignored);
    std::filesystem::remove(catalog_file().string() + "-shm", ignored);
    std::ofstream(catalog_file(), std::ios::binary | std::ios::trunc).write(bytes.data(),
                                                                          static_cast<std::streamsize>(bytes.size()));
}

int64_t interesting(uint8_t which) {
    static const int64_t values[] = {0, 1, -1, 5, 6, 7, 100, 65536, 70000, 268435456, 268435457,
                                     2147483647, 2147483648, -2147483648LL, INT64_MAX, INT64_MIN};
    return values[which % std::size(values)];
}

// One edit of a table row through SQLite: a column set to a value, moved by
// a delta, a row deleted, or a chunk's bytes changed.
void edit(sqlite3 *db, Input &in) {
    struct Column {
        const char *set;
        const char *add;
    };
    static const Column kColumns[] = {
        {"UPDATE entries SET blocks = ?1 WHERE rowid", "UPDATE entries SET blocks = blocks + ?1 WHERE rowid"},
        {"UPDATE entries SET bytes = ?1 WHERE rowid", "UPDATE entries SET bytes = bytes + ?1 WHERE rowid"},
        {"UPDATE entries SET longest = ?1 WHERE rowid", "UPDATE entries SET longest = longest + ?1 WHERE rowid"},
        {"UPDATE entries SET content = ?1 WHERE rowid", "UPDATE entries SET content = content + ?1 WHERE rowid"},
        {"UPDATE pieces SET first_block = ?1 WHERE rowid", "UPDATE pieces SET first_block = first_block + ?1 WHERE rowid"},
        {"UPDATE pieces SET block_count = ?1 WHERE rowid", "UPDATE pieces SET block_count = block_count + ?1 WHERE rowid"},
        {"UPDATE pieces SET bytes = ?1 WHERE rowid", "UPDATE pieces SET bytes = bytes + ?1 WHERE rowid"},
        {"UPDATE pieces SET longest = ?1 WHERE rowid", "UPDATE pieces SET longest = longest + ?1 WHERE rowid"},
        {"UPDATE pieces SET ordinal = ?1 WHERE rowid", "UPDATE pieces SET ordinal = ordinal + ?1 WHERE rowid"},
        {"UPDATE pieces SET chunk = ?1 WHERE rowid", "UPDATE pieces SET chunk = chunk + ?1 WHERE rowid"},
        {"UPDATE chunks SET data = substr(data, 1, ?1) WHERE rowid", "UPDATE chunks SET data = data || zeroblob(?1 % 64) WHERE rowid"},
        {"DELETE FROM pieces WHERE ?1 = ?1 AND rowid", "DELETE FROM chunks WHERE ?1 = ?1 AND rowid"},
    };
    uint8_t what = in.byte();
    uint8_t row = in.byte();
    uint8_t value = in.byte();
    if (what % 16 == 15) {
        // A block header (or any byte) of a chunk: bytes changed in place.
        uint32_t at = in.u32();
        std::string sql = "UPDATE chunks SET data = substr(data, 1, " + std::to_string(at % 70100) +
                          ") || char(" + std::to_string(value) + ") || substr(data, " +
                          std::to_string(at % 70100 + 2) + ") WHERE id = (SELECT id FROM chunks LIMIT 1 OFFSET " +
                          std::to_string(row % 8) + ")";
        std::string blob = "UPDATE chunks SET data = CAST(data AS BLOB)";
        sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
        sqlite3_exec(db, blob.c_str(), nullptr, nullptr, nullptr);
        return;
    }
    const Column &c = kColumns[what % std::size(kColumns)];
    // WITHOUT ROWID tables have no rowid: their rows are picked by key.
    std::string sql = (what & 0x80) ? c.add : c.set;
    std::string table = sql.find("entries") != std::string::npos ? "entries"
                        : sql.find("pieces") != std::string::npos ? "pieces" : "chunks";
    std::string key = table == "entries" ? "(name, type)" : table == "pieces" ? "(content, ordinal)" : "id";
    sql.replace(sql.rfind("rowid"), 5, key + " = (SELECT " + key.substr(key[0] == '(' ? 1 : 0,
                                                              key[0] == '(' ? key.size() - 2 : key.size()) +
                                           " FROM " + table + " LIMIT 1 OFFSET " + std::to_string(row % 8) + ")");
    sqlite3_stmt *s = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) != SQLITE_OK) std::abort();
    int64_t v = (value & 0x80) ? static_cast<int64_t>(static_cast<int8_t>(value << 1) >> 1) : interesting(value);
    sqlite3_bind_int64(s, 1, v);
    sqlite3_step(s);
    sqlite3_finalize(s);
}

void damage(Input &in) {
    uint8_t how = in.byte();
    if (how & 1) {
        // Bytes of the file changed where the input says.
        std::string bytes = template_bytes();
        for (int n = 0; n < 16 && !in.empty(); ++n) {
            uint32_t at = in.u32();
            bytes[at % bytes.size()] ^= static_cast<char>(in.byte() | 1);
        }
        put_file(bytes);
        return;
    }
    put_file(template_bytes());
    sqlite3 *db = nullptr;
    if (sqlite3_open(catalog_file().c_str(), &db) != SQLITE_OK) std::abort();
    int edits = 1 + (how >> 1) % 4;
    for (int n = 0; n < edits; ++n) edit(db, in);
    sqlite3_close(db);
}

void check_store(Harness &h) {
    try {
        h.host.catalogs().list_entries(zeffuzz::kLibrary, "T");
        h.host.catalogs().check_catalog(zeffuzz::kLibrary, "T");
    } catch (const zefhost::catalog::CatalogError &) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    Harness &h = zeffuzz::harness();
    template_bytes();
    Input in(data, size);
    damage(in);
    uint8_t path = in.byte();
    if (path & 1)
        zeffuzz::read_members(h, in, "T");
    else
        zeffuzz::read_entry(h, in, "T");
    if (path & 2) check_store(h);
    zeffuzz::check_clean(kTarget);
    return 0;
}
