// A host with the module loaded and a work library (WORK) in a fresh
// directory, the slots of directories, members, information and maintenance
// at hand, and host-side helpers that put entries into catalogs and read them
// back through the host's own catalog routines, so that a test of the module
// can check what really reached the store.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "directory/directory_handle.h"
#include "fileref/fileref_record.h"
#include "fileref/option_block.h"
#include "host/abi.h"
#include "host/requests.h"
#include "module/control_block.h"
#include "module/method_routines.h"
#include "module/status.h"
#include "stream/stream_block.h"
#include "zefhost/catalog/services.h"
#include "zefhost/host.h"
#include "zefhost/kernel_statuses.h"
#include "zefhost/module_session.h"
#include "zefhost/option_statement.h"

namespace catalog_test {

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
inline std::string pad8(std::string_view text) { return Name8(text).str(); }

// A directory of its own for one test, removed with it.
class TempDirectory {
public:
    TempDirectory() {
        std::string pattern = (std::filesystem::temp_directory_path() / "zefcatXXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~TempDirectory() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDirectory(const TempDirectory &) = delete;
    TempDirectory &operator=(const TempDirectory &) = delete;
    const std::filesystem::path &path() const { return path_; }

private:
    std::filesystem::path path_;
};

struct Record {
    std::string text;
    uint16_t code = zef::kCodeText;
};

struct PoolMark {
    int64_t storage, scratch, owner;
};

class CatalogTest : public ::testing::Test {
protected:
    TempDirectory work;
    zefhost::Host host;
    zefhost::ModuleSession module{host};
    PoolMark start{};
    std::map<int64_t, int64_t> own_calls;

    CatalogTest() {
        host.catalogs().assign_library("WORK", work.path());
        start = mark();
    }

    zef::fn::yxlasgn assign_slot = module.slot<zef::fn::yxlasgn>(0);
    zef::fn::yxldasg deassign_slot = module.slot<zef::fn::yxldasg>(1);
    zef::fn::yxlexp exists_slot = module.slot<zef::fn::yxlexp>(3);
    zef::fn::yxlinfo info_slot = module.slot<zef::fn::yxlinfo>(8);
    zef::fn::yxlins items_start_slot = module.slot<zef::fn::yxlins>(9);
    zef::fn::yxlinf items_end_slot = module.slot<zef::fn::yxlinf>(10);
    zef::fn::yxlopn open_slot = module.slot<zef::fn::yxlopn>(11);
    zef::fn::yxlread read_slot = module.slot<zef::fn::yxlread>(18);
    zef::fn::yxlwrit write_slot = module.slot<zef::fn::yxlwrit>(19);
    zef::fn::yxlcls close_slot = module.slot<zef::fn::yxlcls>(21);
    zef::fn::yxldcls dir_close_slot = module.slot<zef::fn::yxldcls>(22);
    zef::fn::yxldins dir_items_start_slot = module.slot<zef::fn::yxldins>(23);
    zef::fn::yxldinf dir_items_end_slot = module.slot<zef::fn::yxldinf>(24);
    zef::fn::yxldnxt dir_next_slot = module.slot<zef::fn::yxldnxt>(25);
    zef::fn::yxldopn dir_open_slot = module.slot<zef::fn::yxldopn>(26);
    zef::fn::yxlmcls member_close_slot = module.slot<zef::fn::yxlmcls>(27);
    zef::fn::yxlmex member_exists_slot = module.slot<zef::fn::yxlmex>(28);
    zef::fn::yxlmopn member_open_slot = module.slot<zef::fn::yxlmopn>(29);
    zef::fn::yxldel delete_slot = module.slot<zef::fn::yxldel>(32);
    zef::fn::yxlhbfr release_slot = module.slot<zef::fn::yxlhbfr>(36);

    PoolMark mark() {
        return {host.storage_pool().blocks_outstanding(), host.scratch_pool().blocks_outstanding(),
                host.owner_pool().blocks_outstanding()};
    }
    zef::AccessMethodBlock *block() { return module.control_block(); }

    // ------------------------------------------------------------ filerefs --

    int32_t assign(std::string_view name, std::string_view physical,
                   zef::OptionBlock *options = nullptr) {
        Name8 fileref(name);
        return assign_slot(fileref, nullptr, zef::kMethodName, physical.data(),
                           static_cast<int32_t>(physical.size()), options);
    }
    int32_t deassign(std::string_view name) { return deassign_slot(Name8(name), nullptr); }
    zef::FilerefRecord *record(std::string_view name) {
        Name8 key(name);
        for (zef::FilerefRecord *r = block()->fileref_list; r; r = r->next)
            if (std::memcmp(r->fileref, key.text, 8) == 0) return r;
        return nullptr;
    }
    // A fresh option block parsed from `text`, owned by the caller.
    zef::OptionBlock *options(std::string_view text, uint32_t flags = 0) {
        zefhost::ParsedOptions parsed = zefhost::parse_option_statement(
            module, text, {.owner = nullptr, .flags = flags, .block_when_empty = true});
        EXPECT_EQ(parsed.status, zef::kOk) << parsed.message;
        return parsed.block.take();
    }

    // ------------------------------------------------------------ messages --

    std::vector<std::string> inserts() {
        std::vector<std::string> texts;
        for (size_t i = 0; i < host.last_inserts().size(); ++i)
            texts.push_back(host.messages().insert_text(i));
        return texts;
    }
    std::string message(int32_t number) { return host.messages().text(zef::kMessageSet, number); }

    // ------------------------------------------------ the host's own side --

    // Calls of a host routine made by the module: the helpers' own calls
    // through host_routine are not counted.
    int64_t calls(zef::RoutineAddress at) {
        return host.calls(at) - own_calls[int64_t{at.vector} << 32 | at.slot];
    }

    template <typename Fn>
    Fn host_routine(zef::RoutineAddress at) {
        ++own_calls[int64_t{at.vector} << 32 | at.slot];
        zef::GlobalControlBlock *gcb = host.gcb();
        gcb->mark_bytes[at.vector] = 0;
        return reinterpret_cast<Fn>(gcb->transfer_table[at.vector][at.slot]);
    }

    void *open_catalog(std::string_view library, std::string_view catalog, int32_t mode) {
        zef::LibraryRequest request{};
        Name8 lib(library);
        std::memcpy(request.libref, lib.text, 8);
        request.catalog_name_length = static_cast<int16_t>(catalog.size());
        std::memset(request.catalog_name, ' ', sizeof request.catalog_name);
        std::memcpy(request.catalog_name, catalog.data(), catalog.size());
        request.library_mode = mode;
        void *handle = nullptr;
        int32_t status = host_routine<zef::proto::ylopen>(zef::routine::ylopen)(&request, &handle);
        EXPECT_EQ(status, 0) << host.catalogs().last_error();
        return handle;
    }
    void close_catalog(void *handle) {
        EXPECT_EQ(host_routine<zef::proto::ylclose>(zef::routine::ylclose)(handle, 0), 0);
    }
    static zef::MemberRequest member_request(void *catalog, std::string_view name,
                                             std::string_view type, int32_t mode) {
        zef::MemberRequest request{};
        request.catalog_handle = catalog;
        request.entry_name_length = static_cast<int16_t>(name.size());
        std::memset(request.entry_name, ' ', sizeof request.entry_name);
        std::memcpy(request.entry_name, name.data(), name.size());
        std::memcpy(request.entry_type, Name8(type).text, 8);
        request.member_mode = mode;
        return request;
    }

    // Makes the catalog WORK.<catalog> (empty when it is new).
    void make_catalog(std::string_view catalog) {
        close_catalog(open_catalog("WORK", catalog, zef::kLibraryWrite));
    }
    // Writes an entry of WORK.<catalog> through the host, replacing it.
    void put_entry(std::string_view catalog, std::string_view name, std::string_view type,
                   const std::vector<Record> &records) {
        void *cat = open_catalog("WORK", catalog, zef::kLibraryWrite);
        zef::MemberRequest request = member_request(cat, name, type, zef::kMemberOutput);
        void *entry = nullptr;
        ASSERT_EQ(host_routine<zef::proto::ylmopen>(zef::routine::ylmopen)(&request, &entry), 0)
            << host.catalogs().last_error();
        for (const Record &r : records) {
            zef::TransferRequest transfer{};
            transfer.buffer = const_cast<char *>(r.text.data());
            transfer.length = static_cast<int64_t>(r.text.size());
            transfer.record_code = r.code;
            ASSERT_EQ(host_routine<zef::proto::ylmwrit>(zef::routine::ylmwrit)(entry, &transfer), 0);
        }
        ASSERT_EQ(host_routine<zef::proto::ylmclos>(zef::routine::ylmclos)(entry, 0), 0);
        close_catalog(cat);
    }
    // The blocks of an entry of WORK.<catalog> as the host stores them.
    std::vector<Record> entry_blocks(std::string_view catalog, std::string_view name,
                                     std::string_view type) {
        std::vector<Record> blocks;
        void *cat = open_catalog("WORK", catalog, zef::kLibraryInput);
        zef::MemberRequest request = member_request(cat, name, type, zef::kMemberInput);
        void *entry = nullptr;
        int32_t status = host_routine<zef::proto::ylmopen>(zef::routine::ylmopen)(&request, &entry);
        EXPECT_EQ(status, 0) << host.catalogs().last_error();
        if (status == 0) {
            std::vector<char> buffer(1 << 16);
            for (;;) {
                zef::TransferRequest transfer{};
                transfer.buffer = buffer.data();
                if (host_routine<zef::proto::ylmread>(zef::routine::ylmread)(entry, &transfer) != 0)
                    break;
                blocks.push_back({std::string(buffer.data(), static_cast<size_t>(transfer.length)),
                                  transfer.record_code});
            }
            EXPECT_EQ(host_routine<zef::proto::ylmclos>(zef::routine::ylmclos)(entry, 0), 0);
        }
        close_catalog(cat);
        return blocks;
    }
    std::vector<std::string> entry_texts(std::string_view catalog, std::string_view name,
                                         std::string_view type) {
        std::vector<std::string> texts;
        for (const Record &r : entry_blocks(catalog, name, type)) texts.push_back(r.text);
        return texts;
    }
    // NAME.TYPE of each entry of WORK.<catalog>, in the store's order.
    std::vector<std::string> entry_names(std::string_view catalog) {
        std::vector<std::string> names;
        for (const auto &info : host.catalogs().list_entries("WORK", catalog))
            names.push_back(info.key.name + "." + info.key.type);
        return names;
    }

    // ---------------------------------------------------------- directories --

    // Opens the directory of a fileref; fails the test unless it opens.
    zef::DirectoryHandle *open_directory(std::string_view fileref) {
        zef::DirectoryHandle *handle = nullptr;
        int32_t status = dir_open_slot(&handle, Name8(fileref), nullptr);
        EXPECT_EQ(status, zef::kOk) << std::hex << status;
        return handle;
    }
    // Every member of an open directory as NAME.TYPE (type without its
    // blanks), read with a fresh scan; the status that ended the scan too.
    std::vector<std::string> list_members(zef::DirectoryHandle *handle, int32_t *end = nullptr) {
        std::vector<std::string> members;
        void *cell = nullptr;
        for (;;) {
            char name[40];
            std::memset(name, '~', sizeof name);
            int32_t length = -1;
            char type[8];
            int32_t status = dir_next_slot(&cell, handle, name, &length, type);
            if (status != zef::kOk) {
                if (end != nullptr) *end = status;
                break;
            }
            EXPECT_EQ(name[length], '~') << "written past the name";
            std::string t(type, 8);
            t.erase(t.find_last_not_of(' ') + 1);
            members.push_back(std::string(name, static_cast<size_t>(length)) + "." + t);
        }
        return members;
    }

    // -------------------------------------------------------------- pools --

    // Every block the routines obtained went back, and nothing else did.
    void expect_pools_back() {
        PoolMark now = mark();
        EXPECT_EQ(now.storage, start.storage);
        EXPECT_EQ(now.scratch, start.scratch);
        EXPECT_EQ(now.owner, start.owner);
        EXPECT_EQ(host.storage_pool().bad_releases(), 0);
        EXPECT_EQ(host.scratch_pool().bad_releases(), 0);
        EXPECT_EQ(host.owner_pool().bad_releases(), 0);
        EXPECT_EQ(host.unmarked_calls(), 0);
    }
};

}  // namespace catalog_test
