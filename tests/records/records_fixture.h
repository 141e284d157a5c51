// Record reading and writing through the method vector and the routine
// table, against the stand-in's catalog store. Besides the stream fixture's
// helpers: blocks stored or read straight through the host's catalog
// routines (to see exactly what a write stored, or to store blocks of
// several codes), the routine table of a stream, and reads through any read routine.
#pragma once

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "stream/stream_fixture.h"
#include "zefxbaml/routine_table.h"

namespace records_test {

using namespace stream_test;

inline constexpr std::string_view kCatalog = "RECS";
inline constexpr int32_t kIoFailure = zef::kCatalogIoFailure;

// One block as the store holds it.
struct Block {
    uint16_t code = 0;
    std::string bytes;
    bool operator==(const Block &) const = default;
};

inline std::ostream &operator<<(std::ostream &out, const Block &block) {
    out << block.code << ":\"";
    for (unsigned char c : block.bytes) {
        if (c >= 0x20 && c < 0x7F)
            out << c;
        else
            out << "\\x" << "0123456789abcdef"[c >> 4] << "0123456789abcdef"[c & 15];
    }
    return out << '"';
}

inline std::string bytes(std::string_view text) { return std::string(text); }

// One delivered record: status, its bytes, and what came with them.
struct Record {
    int32_t status = 0;
    std::string data;
    bool delivered = false;  // data pointer not null
    char carriage = 0;
    int64_t length = 0;
};

class RecordsTest : public StreamTest {
protected:
    // Opens the test catalog and entry `name` of `type` in member mode `mode`.
    struct HostEntry {
        void *catalog = nullptr;
        void *entry = nullptr;
    };
    HostEntry open_host_entry(std::string_view name, std::string_view type, int32_t mode) {
        zef::LibraryRequest library{};
        std::memset(library.libref, ' ', 8);
        std::memcpy(library.libref, kLibrary.data(), kLibrary.size());
        library.catalog_name_length = static_cast<int16_t>(kCatalog.size());
        std::memset(library.catalog_name, ' ', 32);
        std::memcpy(library.catalog_name, kCatalog.data(), kCatalog.size());
        library.library_mode = mode == zef::kMemberInput ? zef::kLibraryInput : zef::kLibraryWrite;
        HostEntry opened;
        EXPECT_EQ(host_routine<zef::proto::ylopen>(zef::routine::ylopen, &library, &opened.catalog), 0);

        zef::MemberRequest member{};
        member.catalog_handle = opened.catalog;
        member.entry_name_length = static_cast<int16_t>(name.size());
        std::memset(member.entry_name, ' ', 32);
        std::memcpy(member.entry_name, name.data(), name.size());
        std::memset(member.entry_type, ' ', 8);
        std::memcpy(member.entry_type, type.data(), type.size());
        member.member_mode = mode;
        EXPECT_EQ(host_routine<zef::proto::ylmopen>(zef::routine::ylmopen, &member, &opened.entry), 0)
            << host.catalogs().last_error();
        return opened;
    }
    void close_host_entry(const HostEntry &opened) {
        EXPECT_EQ(host_routine<zef::proto::ylmclos>(zef::routine::ylmclos, opened.entry, 0), 0);
        EXPECT_EQ(host_routine<zef::proto::ylclose>(zef::routine::ylclose, opened.catalog, 0), 0);
    }

    // Every block of an entry of the test catalog, as stored.
    std::vector<Block> stored(std::string_view name, std::string_view type) {
        HostEntry opened = open_host_entry(name, type, zef::kMemberInput);
        std::vector<Block> blocks;
        std::vector<char> buffer(1 << 16);
        for (;;) {
            zef::TransferRequest transfer{};
            transfer.buffer = buffer.data();
            int32_t status = host_routine<zef::proto::ylmread>(zef::routine::ylmread, opened.entry, &transfer);
            if (status != 0) {
                EXPECT_EQ(status, zef::kCatalogEndOfMember);
                break;
            }
            blocks.push_back({transfer.record_code,
                              std::string(buffer.data(), static_cast<size_t>(transfer.length))});
        }
        close_host_entry(opened);
        return blocks;
    }

    // Stores blocks of any code as an entry of the test catalog.
    void store(std::string_view name, std::string_view type, const std::vector<Block> &blocks) {
        HostEntry opened = open_host_entry(name, type, zef::kMemberOutput);
        for (const Block &block : blocks) {
            zef::TransferRequest transfer{};
            transfer.buffer = const_cast<char *>(block.bytes.data());
            transfer.length = static_cast<int64_t>(block.bytes.size());
            transfer.record_code = block.code;
            EXPECT_EQ(host_routine<zef::proto::ylmwrit>(zef::routine::ylmwrit, opened.entry, &transfer), 0);
        }
        close_host_entry(opened);
    }

    // Assigns `fileref` to entry `name` of `type` in the test catalog.
    void assign_to(std::string_view fileref, std::string_view name, std::string_view type,
                   std::string_view options = {}) {
        std::string target = std::string(kCatalog) + "." + std::string(name) + "." + std::string(type);
        ASSERT_EQ(assign_entry(fileref, target, options), zef::kOk) << insert();
    }

    // Opens a fileref; the test fails when the open does.
    zef::StreamBlock *open_ok(std::string_view fileref, const OpenSpec &how) {
        Opened opened = open(fileref, how);
        EXPECT_EQ(opened.status, zef::kOk) << insert() << " " << host.catalogs().last_error();
        return opened.stream;
    }
    zef::StreamBlock *open_ok(std::string_view fileref, uint32_t mode, uint32_t record_format = 0,
                              std::string_view options = {}) {
        OpenSpec how;
        how.mode = mode;
        how.record_format = record_format;
        how.options = options;
        return open_ok(fileref, how);
    }

    zef::RoutineTable *routine_table(zef::StreamBlock *stream) {
        zef::RoutineTable *table = nullptr;
        EXPECT_EQ(routine_table_slot(stream, &table), zef::kOk);
        return table;
    }

    // One call of a read routine; for S format `wanted` is the count asked.
    Record read_with(zef::fn::yxlread routine, zef::StreamBlock *stream, int64_t wanted = 0) {
        Record r;
        char *data = nullptr;
        r.length = wanted;
        r.status = routine(stream, &data, &r.length, &r.carriage);
        r.delivered = data != nullptr;
        if (data != nullptr && r.length > 0) r.data.assign(data, static_cast<size_t>(r.length));
        return r;
    }
    Record read_record(zef::StreamBlock *stream, int64_t wanted = 0) {
        return read_with(read_slot, stream, wanted);
    }
    // The data of every record up to the end of file, through `routine`.
    std::vector<std::string> read_all(zef::fn::yxlread routine, zef::StreamBlock *stream) {
        std::vector<std::string> records;
        for (;;) {
            Record r = read_with(routine, stream);
            if (r.status == zef::kEndOfFile) break;
            EXPECT_EQ(r.status, zef::kOk);
            if (r.status != zef::kOk) break;
            records.push_back(r.data);
        }
        return records;
    }

    int32_t write_with(zef::fn::yxlwrit routine, zef::StreamBlock *stream, std::string_view record,
                       int32_t carriage = ' ') {
        return routine(stream, record.data(), static_cast<int64_t>(record.size()), carriage);
    }
};

}  // namespace records_test
