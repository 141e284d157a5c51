// A host with the module loaded and a library assigned to a fresh temporary
// directory, with helpers to assign filerefs with option texts, open and
// close streams through the method vector, and check that everything the
// module obtained went back to the pools and nothing stayed open in the
// catalog services.
//
//     class MyTest : public stream_test::StreamTest {};
//     TEST_F(MyTest, Something) {
//         ASSERT_EQ(assign_entry("OUT", "cat.entry.log", "lrecl=80"), zef::kOk);
//         Opened out = open("OUT", zef::kOpenOutput);
//         ASSERT_EQ(out.status, zef::kOk);
//         EXPECT_EQ(write(out.stream, "a line"), zef::kOk);
//         EXPECT_EQ(close(out.stream), zef::kOk);
//         expect_clean();
//     }
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "zefhost/catalog/services.h"
#include "zefhost/host.h"
#include "zefhost/module_session.h"
#include "zefhost/option_statement.h"
#include "zefxbaml/control_block.h"
#include "zefxbaml/fileref_record.h"
#include "zefxbaml/method_routines.h"
#include "zefxbaml/option_block.h"
#include "zefxbaml/status.h"
#include "zefxbaml/stream_block.h"

namespace stream_test {

// The library every test's filerefs name; its catalogs live in a temporary
// directory of the test.
inline constexpr std::string_view kLibrary = "TESTLIB";

// An 8-character blank-padded name.
struct Name8 {
    char text[8];
    explicit Name8(std::string_view name) {
        std::memset(text, ' ', sizeof text);
        std::memcpy(text, name.data(), name.size() < 8 ? name.size() : 8);
    }
    operator char *() { return text; }
    std::string str() const { return std::string(text, 8); }
};

inline std::string field(const char *text, size_t width) { return std::string(text, width); }

// A temporary directory, removed with everything in it at the end.
class TempDirectory {
public:
    TempDirectory() {
        std::string pattern = (std::filesystem::temp_directory_path() / "zefstream-XXXXXX").string();
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

struct PoolMark {
    int64_t storage, scratch, owner;
};

// What an open gave back.
struct Opened {
    int32_t status = 0;
    zef::StreamBlock *stream = nullptr;
    zef::OpenRequest request{};
    // The open's option block when the stream does not own it (flag 0x10):
    // the caller keeps it, and releases it when the handle goes.
    zefhost::OptionBlockHandle options;
};

// How to open: the open request's fields, and the open statement's options.
struct OpenSpec {
    uint32_t mode = zef::kOpenInput;
    uint32_t record_format = 0;
    int64_t lrecl = 0;
    std::string_view options = {};  // empty: no option block
    uint32_t option_flags = 0;      // the statement's flags word (0x10: block not owned)
};

// What the module last asked of the host's catalog services, seen on the
// host's side (once a test watches them): the library request of ylopen and
// the catalog handle it answered, the member request of ylmopen and the
// entry handle it answered.
struct CatalogOpen {
    zef::LibraryRequest request{};
    void *handle = nullptr;
};
struct EntryOpen {
    zef::MemberRequest request{};
    void *handle = nullptr;
};
// The item the information slot's mask asks for the name with.
inline constexpr uint32_t kNameItem = 0x01;

inline CatalogOpen last_catalog_open;
inline EntryOpen last_entry_open;
inline zef::proto::ylopen real_ylopen = nullptr;
inline zef::proto::ylmopen real_ylmopen = nullptr;
inline int32_t watching_ylopen(void *request, void **catalog) {
    int32_t status = real_ylopen(request, catalog);
    last_catalog_open = {*static_cast<zef::LibraryRequest *>(request), *catalog};
    return status;
}
inline int32_t watching_ylmopen(void *request, void **entry) {
    int32_t status = real_ylmopen(request, entry);
    last_entry_open = {*static_cast<zef::MemberRequest *>(request), *entry};
    return status;
}

class StreamTest : public ::testing::Test {
protected:
    TempDirectory library_directory;
    zefhost::Host host;
    zefhost::ModuleSession module{host};
    bool library_assigned = assign_library();
    PoolMark start = mark();

    zef::fn::yxlasgn assign_slot = module.slot<zef::fn::yxlasgn>(0);
    zef::fn::yxldasg deassign_slot = module.slot<zef::fn::yxldasg>(1);
    zef::fn::yxlins info_start_slot = module.slot<zef::fn::yxlins>(9);
    zef::fn::yxlinf info_end_slot = module.slot<zef::fn::yxlinf>(10);
    zef::fn::yxlinfo info_slot = module.slot<zef::fn::yxlinfo>(8);
    zef::fn::yxlopn open_slot = module.slot<zef::fn::yxlopn>(11);
    zef::fn::yxlnote note_slot = module.slot<zef::fn::yxlnote>(12);
    zef::fn::yxlpnt point_slot = module.slot<zef::fn::yxlpnt>(13);
    zef::fn::yxlread read_slot = module.slot<zef::fn::yxlread>(18);
    zef::fn::yxlwrit write_slot = module.slot<zef::fn::yxlwrit>(19);
    zef::fn::yxlflsh flush_slot = module.slot<zef::fn::yxlflsh>(20);
    zef::fn::yxlcls close_slot = module.slot<zef::fn::yxlcls>(21);
    zef::fn::yxlamvc routine_table_slot = module.slot<zef::fn::yxlamvc>(35);
    zef::fn::yxlhbfr release_options_slot = module.slot<zef::fn::yxlhbfr>(36);

    bool assign_library() {
        host.catalogs().assign_library(kLibrary, library_directory.path());
        return true;
    }

    PoolMark mark() {
        return {host.storage_pool().blocks_outstanding(), host.scratch_pool().blocks_outstanding(),
                host.owner_pool().blocks_outstanding()};
    }

    zef::AccessMethodBlock *control_block() { return module.control_block(); }

    // From now on last_catalog_open and last_entry_open follow the module's
    // ylopen and ylmopen calls.
    void watch_catalog_opens() {
        if (host.routine(zef::routine::ylopen) != reinterpret_cast<void *>(&watching_ylopen)) {
            real_ylopen = reinterpret_cast<zef::proto::ylopen>(host.routine(zef::routine::ylopen));
            host.set_routine(zef::routine::ylopen, reinterpret_cast<void *>(&watching_ylopen));
            real_ylmopen = reinterpret_cast<zef::proto::ylmopen>(host.routine(zef::routine::ylmopen));
            host.set_routine(zef::routine::ylmopen, reinterpret_cast<void *>(&watching_ylmopen));
        }
        last_catalog_open = {};
        last_entry_open = {};
    }

    // The full name the information slot gives for an open stream.
    std::string full_name(zef::StreamBlock *stream) {
        zef::FileInformationRequest request{};
        EXPECT_EQ(info_slot(stream, nullptr, nullptr, kNameItem, nullptr, &request), zef::kOk);
        return request.name ? std::string(request.name, static_cast<size_t>(request.name_length)) : "";
    }

    // The option block of `text`, parsed as the host parses a statement.
    zefhost::ParsedOptions parse(std::string_view text, uint32_t flags = 0) {
        return zefhost::parse_option_statement(module, text,
                                               {.owner = nullptr, .flags = flags});
    }

    // Assigns `name` to `physical` with the options of `text` (none when
    // empty); the fileref owns the block afterwards. Filerefs keep their
    // names as given and lookups upper-case the name asked for, so only
    // names assigned in upper case are found again.
    int32_t assign(std::string_view name, std::string_view physical, std::string_view text = {},
                   uint32_t flags = 0) {
        zefhost::ParsedOptions parsed;
        if (!text.empty()) {
            parsed = parse(text, flags);
            EXPECT_EQ(parsed.status, zef::kOk) << text << ": " << parsed.message;
        }
        Name8 fileref(name);
        int32_t status = assign_slot(fileref, nullptr, zef::kMethodName, physical.data(),
                                     static_cast<int32_t>(physical.size()), parsed.block.get());
        if (status == zef::kOk) parsed.block.take();
        return status;
    }
    // An entry fileref on the test library.
    int32_t assign_entry(std::string_view name, std::string_view catalog_entry_type,
                         std::string_view text = {}) {
        std::string physical = std::string(kLibrary) + "." + std::string(catalog_entry_type);
        return assign(name, physical, text);
    }
    int32_t deassign(std::string_view name) { return deassign_slot(Name8(name), nullptr); }

    // Opens `name`. The open's option block goes to the stream when the open
    // takes it (success, or the NBYTE failure that releases it); a block the
    // stream does not own stays with the caller in Opened::options; any other
    // the fixture releases at once.
    Opened open(std::string_view name, const OpenSpec &how) {
        Opened opened;
        zefhost::ParsedOptions parsed;
        if (!how.options.empty()) {
            parsed = parse(how.options, how.option_flags);
            EXPECT_EQ(parsed.status, zef::kOk) << how.options << ": " << parsed.message;
        }
        opened.request.open_mode = how.mode;
        opened.request.record_format = how.record_format;
        opened.request.lrecl = how.lrecl;
        opened.request.option_block = parsed.block.get();
        Name8 fileref(name);
        opened.status = open_slot(&opened.stream, fileref, nullptr, &opened.request);
        bool owned = (how.option_flags & zef::kNotOwned) == 0;
        if (owned && (opened.status == zef::kOk || opened.status == zef::kNbyteUnbound))
            parsed.block.take();
        if (!owned) opened.options = std::move(parsed.block);
        return opened;
    }
    Opened open(std::string_view name, uint32_t mode) {
        OpenSpec how;
        how.mode = mode;
        return open(name, how);
    }

    int32_t close(zef::StreamBlock *stream) { return close_slot(stream); }

    int32_t write(zef::StreamBlock *stream, std::string_view record, char carriage = ' ') {
        return write_slot(stream, record.data(), static_cast<int64_t>(record.size()), carriage);
    }
    // One record: status, and the record's bytes when one was delivered.
    struct Read {
        int32_t status = 0;
        std::string data;
        char carriage = 0;
    };
    Read read(zef::StreamBlock *stream, int64_t wanted = 0) {
        Read r;
        char *data = nullptr;
        int64_t length = wanted;
        r.status = read_slot(stream, &data, &length, &r.carriage);
        if (data != nullptr && length > 0) r.data.assign(data, static_cast<size_t>(length));
        return r;
    }

    // A host routine called through the vector as the module calls it.
    template <typename Proto, typename... Args>
    auto host_routine(zef::RoutineAddress at, Args... args) {
        zef::GlobalControlBlock *gcb = host.gcb();
        gcb->mark_bytes[at.vector] = 0;
        return reinterpret_cast<Proto>(gcb->transfer_table[at.vector][at.slot])(args...);
    }

    // Stores an entry of any type with the given blocks through the host's
    // own catalog routines, past the module.
    void store_entry(std::string_view catalog, std::string_view name, std::string_view type,
                     const std::vector<std::string> &blocks, uint16_t code = zef::kCodeText) {
        zef::LibraryRequest library{};
        std::memcpy(library.libref, Name8(kLibrary).text, 8);
        library.catalog_name_length = static_cast<int16_t>(catalog.size());
        std::memset(library.catalog_name, ' ', sizeof library.catalog_name);
        std::memcpy(library.catalog_name, catalog.data(), catalog.size());
        library.library_mode = zef::kLibraryWrite;
        void *handle = nullptr;
        ASSERT_EQ(host_routine<zef::proto::ylopen>(zef::routine::ylopen, &library, &handle), 0)
            << host.catalogs().last_error();

        zef::MemberRequest member{};
        member.catalog_handle = handle;
        member.entry_name_length = static_cast<int16_t>(name.size());
        std::memset(member.entry_name, ' ', sizeof member.entry_name);
        std::memcpy(member.entry_name, name.data(), name.size());
        std::memcpy(member.entry_type, Name8(type).text, 8);
        member.member_mode = zef::kMemberOutput;
        void *entry = nullptr;
        ASSERT_EQ(host_routine<zef::proto::ylmopen>(zef::routine::ylmopen, &member, &entry), 0)
            << host.catalogs().last_error();
        for (const std::string &block : blocks) {
            zef::TransferRequest transfer{};
            transfer.buffer = const_cast<char *>(block.data());
            transfer.length = static_cast<int64_t>(block.size());
            transfer.record_code = code;
            ASSERT_EQ(host_routine<zef::proto::ylmwrit>(zef::routine::ylmwrit, entry, &transfer), 0);
        }
        ASSERT_EQ(host_routine<zef::proto::ylmclos>(zef::routine::ylmclos, entry, 0), 0);
        ASSERT_EQ(host_routine<zef::proto::ylclose>(zef::routine::ylclose, handle, 0), 0);
    }

    // Insert i of the last failure, without its trailing NUL.
    std::string insert(size_t i = 0) { return host.messages().insert_text(i); }
    // Message `number` of set 566 as the module hands it over: what fits a
    // 255-byte buffer with its NUL.
    std::string message(int32_t number) { return host.messages().text(566, number).substr(0, 254); }

    // The record assigned as `name` (stored name), or null.
    zef::FilerefRecord *record(std::string_view name) {
        Name8 key(name);
        for (zef::FilerefRecord *r = control_block()->fileref_list; r; r = r->next)
            if (std::memcmp(r->fileref, key.text, 8) == 0) return r;
        return nullptr;
    }

    // Deassigns every fileref still in the list.
    void deassign_all() {
        while (zef::FilerefRecord *r = control_block()->fileref_list) {
            std::string name(r->fileref, 8);
            ASSERT_EQ(deassign_slot(name.data(), nullptr), zef::kOk) << name;
        }
    }

    // Nothing the module obtained is left (once the filerefs are deassigned),
    // nothing was released twice or wrongly, nothing is open in the catalog
    // services, and every host call went through the vector.
    // `since`: a mark taken later than the start, for checks made while
    // filerefs are still assigned.
    void expect_pools_back(const PoolMark &since) {
        PoolMark now = mark();
        EXPECT_EQ(now.storage, since.storage);
        EXPECT_EQ(now.scratch, since.scratch);
        EXPECT_EQ(now.owner, since.owner);
        EXPECT_EQ(host.storage_pool().bad_releases(), 0);
        EXPECT_EQ(host.scratch_pool().bad_releases(), 0);
        EXPECT_EQ(host.owner_pool().bad_releases(), 0);
        EXPECT_EQ(host.unmarked_calls(), 0);
    }
    void expect_pools_back() { expect_pools_back(start); }
    void expect_nothing_open() {
        EXPECT_EQ(host.catalogs().open_entries(), 0u);
        EXPECT_EQ(host.catalogs().open_catalogs(), 0u);
    }
    void expect_clean() {
        deassign_all();
        expect_nothing_open();
        expect_pools_back();
    }
};

}  // namespace stream_test
