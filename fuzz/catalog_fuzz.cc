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

#include "directory/directory_handle.h"
#include "harness.h"
#include "info/routine_table.h"
#include "module/status.h"
#include "stream/stream_block.h"
#include "zefhost/catalog/catalog_error.h"
#include "zefhost/catalog/services.h"
#include "zefhost/option_statement.h"

namespace {

using zeffuzz::Harness;
using zeffuzz::Input;
using zeffuzz::Name8;

constexpr const char *kTarget = "catalog_fuzz";
constexpr const char *kEntries[] = {"A.SOURCE", "B.GIF", "C.HTML"};

std::filesystem::path catalog_file() { return zeffuzz::harness().library / "t.zcat"; }

// Writes an entry through the host's catalog routines.
void store(Harness &h, void *catalog, const char *name, const char *type, uint16_t code,
           const std::vector<std::string> &blocks) {
    zef::MemberRequest member{};
    member.catalog_handle = catalog;
    member.entry_name_length = static_cast<int16_t>(std::strlen(name));
    std::memset(member.entry_name, ' ', sizeof member.entry_name);
    std::memcpy(member.entry_name, name, std::strlen(name));
    std::memcpy(member.entry_type, Name8(type).text, 8);
    member.member_mode = zef::kMemberOutput;
    void *entry = nullptr;
    if (h.host_routine<zef::proto::ylmopen>(zef::routine::ylmopen, &member, &entry) != 0) std::abort();
    for (const std::string &b : blocks) {
        zef::TransferRequest transfer{};
        transfer.buffer = const_cast<char *>(b.data());
        transfer.length = static_cast<int64_t>(b.size());
        transfer.record_code = code;
        if (h.host_routine<zef::proto::ylmwrit>(zef::routine::ylmwrit, entry, &transfer) != 0) std::abort();
    }
    if (h.host_routine<zef::proto::ylmclos>(zef::routine::ylmclos, entry, 0) != 0) std::abort();
}

// The valid catalog every input starts from, as bytes: three entries, one
// of lines, one binary with a block larger than a chunk, one of text over
// several chunks.
const std::string &template_bytes() {
    static const std::string bytes = [] {
        Harness &h = zeffuzz::harness();
        zef::LibraryRequest library{};
        std::memcpy(library.libref, Name8(zeffuzz::kLibrary).text, 8);
        library.catalog_name_length = 1;
        std::memset(library.catalog_name, ' ', sizeof library.catalog_name);
        library.catalog_name[0] = 'T';
        library.library_mode = zef::kLibraryWrite;
        void *catalog = nullptr;
        if (h.host_routine<zef::proto::ylopen>(zef::routine::ylopen, &library, &catalog) != 0) std::abort();
        std::vector<std::string> lines, binary, text;
        for (int i = 0; i < 40; ++i) lines.push_back("line " + std::to_string(i) + std::string(i % 7, '.'));
        binary = {"GIF89a", std::string(70000, '\x5A'), "", std::string(300, '\x01')};
        for (int i = 0; i < 260; ++i) text.push_back(std::string(static_cast<size_t>(i % 13) * 40, 'a' + i % 26));
        store(h, catalog, "A", "SOURCE", zef::kCodeLine, lines);
        store(h, catalog, "B", "GIF", zef::kCodeBinary, binary);
        store(h, catalog, "C", "HTML", zef::kCodeText, text);
        if (h.host_routine<zef::proto::ylclose>(zef::routine::ylclose, catalog, 0) != 0) std::abort();
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

zefhost::OptionBlockHandle options_for(Harness &h, uint8_t how) {
    if ((how & 3) == 0) return {};
    const char *text = (how & 3) == 1 ? "nbyte=count" : (how & 3) == 2 ? "lrecl=100" : "recfm=s nbyte=count";
    zefhost::ParsedOptions parsed = zefhost::parse_option_statement(h.module, text);
    if (parsed.status != zef::kOk) std::abort();
    return std::move(parsed.block);
}

// Reads, notes and points as the input says; at most `limit` calls.
void exercise(Harness &h, zef::StreamBlock *stream, Input &in, int limit) {
    auto read = h.slot<zef::fn::yxlread>(18);
    auto note = h.slot<zef::fn::yxlnote>(12);
    auto point = h.slot<zef::fn::yxlpnt>(13);
    zef::RoutineTable *table = nullptr;
    h.slot<zef::fn::yxlamvc>(35)(stream, &table);
    int64_t noted = 0;
    for (int n = 0; n < limit; ++n) {
        uint8_t op = in.empty() ? 0 : in.byte();
        char *data = nullptr;
        int64_t length = 0;
        char carriage = 0;
        int32_t status = zef::kOk;
        switch (op % 8) {
        case 0: case 1: case 2:
            status = read(stream, &data, &length, &carriage);
            break;
        case 3:
            length = op >> 3;
            status = read(stream, &data, &length, &carriage);
            break;
        case 4:
            if (table != nullptr) status = table->read(stream, &data, &length, &carriage);
            break;
        case 5:
            note(stream, &noted);
            break;
        case 6:
            point(stream, noted);
            break;
        case 7:
            point(stream, static_cast<int64_t>(in.u32()));
            break;
        }
        // What was delivered is read whole: a length past the data shows under ASan.
        if (status == zef::kOk && data != nullptr && length > 0) {
            volatile char sink = 0;
            for (int64_t i = 0; i < length; ++i) sink = sink ^ data[i];
        }
        if (status != zef::kOk && status != zef::kRecordTruncated && in.empty()) return;
    }
}

void read_entry(Harness &h, Input &in) {
    uint8_t how = in.byte();
    std::string physical = std::string(zeffuzz::kLibrary) + ".T." + kEntries[how % 3];
    Name8 fileref("IN");
    if (h.slot<zef::fn::yxlasgn>(0)(fileref, nullptr, zef::kMethodName, physical.data(),
                                     static_cast<int32_t>(physical.size()), nullptr) != zef::kOk)
        std::abort();
    static const uint32_t kFormats[] = {0, zef::kRecordFixed, zef::kRecordVariable, zef::kRecordPrint,
                                        zef::kRecordPrint | zef::kRecordFixed, zef::kRecordStream};
    zef::OpenRequest request{};
    request.open_mode = (how & 0x80) ? zef::kOpenUpdate : zef::kOpenInput;
    request.record_format = kFormats[(how >> 2) % std::size(kFormats)];
    request.lrecl = in.byte() % 4 == 0 ? 0 : in.byte();
    h.host.set_variable("COUNT", in.byte() % 80);
    zefhost::OptionBlockHandle options = options_for(h, in.byte());
    request.option_block = options.get();
    zef::StreamBlock *stream = nullptr;
    int32_t status = h.slot<zef::fn::yxlopn>(11)(&stream, fileref, nullptr, &request);
    if (status == zef::kOk || status == zef::kNbyteUnbound) options.take();
    if (status == zef::kOk) {
        exercise(h, stream, in, 200);
        h.slot<zef::fn::yxlcls>(21)(stream);
    }
}

void read_members(Harness &h, Input &in) {
    std::string physical = std::string(zeffuzz::kLibrary) + ".T";
    Name8 fileref("CAT");
    if (h.slot<zef::fn::yxlasgn>(0)(fileref, nullptr, zef::kMethodName, physical.data(),
                                     static_cast<int32_t>(physical.size()), nullptr) != zef::kOk)
        return;
    zef::DirectoryHandle *dir = nullptr;
    if (h.slot<zef::fn::yxldopn>(26)(&dir, fileref, nullptr) != zef::kOk) return;
    void *cell = nullptr;
    for (int n = 0; n < 8; ++n) {
        char name[40];
        int32_t length = 0;
        char type[8];
        if (h.slot<zef::fn::yxldnxt>(25)(&cell, dir, name, &length, type) != zef::kOk) break;
        if (length < 0 || length > 32) std::abort();
        if (in.byte() & 1) continue;
        h.slot<zef::fn::yxlmex>(28)(dir, name, length, type);
        zef::OpenRequest request{};
        request.open_mode = zef::kOpenInput;
        request.record_format = (in.byte() & 1) ? zef::kRecordStream : 0;
        zef::StreamBlock *stream = nullptr;
        if (h.slot<zef::fn::yxlmopn>(29)(&stream, dir, name, length, type, &request) == zef::kOk) {
            exercise(h, stream, in, 40);
            h.slot<zef::fn::yxlmcls>(27)(stream);
        }
    }
    h.slot<zef::fn::yxldcls>(22)(dir);
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
        read_members(h, in);
    else
        read_entry(h, in);
    if (path & 2) check_store(h);
    zeffuzz::check_clean(kTarget);
    return 0;
}
