// The stream fixture with a second library, WORK, in a directory of its own,
// the slots of directories, members, information and maintenance at hand,
// and host-side helpers that put entries into WORK's catalogs and read them
// back through the host's own catalog routines, so that a test can check
// what really reached the store. Calls the helpers make through the host's
// vectors are kept apart from the module's (calls()).
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "stream/stream_fixture.h"
#include "zefhost/kernel_statuses.h"
#include "zefxbaml/abi.h"
#include "zefxbaml/requests.h"

namespace catalog_test {

using stream_test::field;
using stream_test::last_catalog_open;
using stream_test::last_entry_open;
using stream_test::Name8;
using stream_test::OpenSpec;
using stream_test::PoolMark;
using stream_test::TempDirectory;

struct Record {
    std::string text;
    uint16_t code = zef::kCodeText;
};

// What a member open gave back.
struct OpenedMember {
    int32_t status = 0;
    zef::StreamBlock *stream = nullptr;
    zef::OpenRequest request{};
};

class CatalogTest : public stream_test::StreamTest {
protected:
    TempDirectory work;
    std::map<int64_t, int64_t> own_calls;

    zef::fn::yxlexp exists_slot = module.slot<zef::fn::yxlexp>(3);
    zef::fn::yxldcls dir_close_slot = module.slot<zef::fn::yxldcls>(22);
    zef::fn::yxldins dir_items_start_slot = module.slot<zef::fn::yxldins>(23);
    zef::fn::yxldinf dir_items_end_slot = module.slot<zef::fn::yxldinf>(24);
    zef::fn::yxldnxt dir_next_slot = module.slot<zef::fn::yxldnxt>(25);
    zef::fn::yxldopn dir_open_slot = module.slot<zef::fn::yxldopn>(26);
    zef::fn::yxlmcls member_close_slot = module.slot<zef::fn::yxlmcls>(27);
    zef::fn::yxlmex member_exists_slot = module.slot<zef::fn::yxlmex>(28);
    zef::fn::yxlmopn member_open_slot = module.slot<zef::fn::yxlmopn>(29);
    zef::fn::yxldel delete_slot = module.slot<zef::fn::yxldel>(32);

    CatalogTest() { host.catalogs().assign_library("WORK", work.path()); }

    zef::AccessMethodBlock *block() { return control_block(); }

    // ------------------------------------------------------------ messages --

    std::vector<std::string> inserts() {
        std::vector<std::string> texts;
        for (size_t i = 0; i < host.last_inserts().size(); ++i)
            texts.push_back(host.messages().insert_text(i));
        return texts;
    }
    // Message `number` of set 566 as the host holds it.
    std::string message_text(int32_t number) { return host.messages().text(zef::kMessageSet, number); }

    // ------------------------------------------------ the host's own side --

    // Calls of a host routine made by the module, without the helpers' own.
    int64_t calls(zef::RoutineAddress at) {
        return host.calls(at) - own_calls[int64_t{at.vector} << 32 | at.slot];
    }

    // A host routine as the helpers call it: through the vector, counted apart.
    template <typename Fn>
    Fn own_routine(zef::RoutineAddress at) {
        ++own_calls[int64_t{at.vector} << 32 | at.slot];
        zef::GlobalControlBlock *gcb = host.gcb();
        gcb->mark_bytes[at.vector] = 0;
        return reinterpret_cast<Fn>(gcb->transfer_table[at.vector][at.slot]);
    }

    void *open_catalog(std::string_view library, std::string_view catalog, int32_t mode) {
        zef::LibraryRequest request{};
        std::memcpy(request.libref, Name8(library).text, 8);
        request.catalog_name_length = static_cast<int16_t>(catalog.size());
        std::memset(request.catalog_name, ' ', sizeof request.catalog_name);
        std::memcpy(request.catalog_name, catalog.data(), catalog.size());
        request.library_mode = mode;
        void *handle = nullptr;
        int32_t status = own_routine<zef::proto::ylopen>(zef::routine::ylopen)(&request, &handle);
        EXPECT_EQ(status, 0) << host.catalogs().last_error();
        return handle;
    }
    void close_catalog(void *handle) {
        EXPECT_EQ(own_routine<zef::proto::ylclose>(zef::routine::ylclose)(handle, 0), 0);
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
        ASSERT_EQ(own_routine<zef::proto::ylmopen>(zef::routine::ylmopen)(&request, &entry), 0)
            << host.catalogs().last_error();
        for (const Record &r : records) {
            zef::TransferRequest transfer{};
            transfer.buffer = const_cast<char *>(r.text.data());
            transfer.length = static_cast<int64_t>(r.text.size());
            transfer.record_code = r.code;
            ASSERT_EQ(own_routine<zef::proto::ylmwrit>(zef::routine::ylmwrit)(entry, &transfer), 0);
        }
        ASSERT_EQ(own_routine<zef::proto::ylmclos>(zef::routine::ylmclos)(entry, 0), 0);
        close_catalog(cat);
    }
    // The blocks of an entry of WORK.<catalog> as the host stores them.
    std::vector<Record> entry_blocks(std::string_view catalog, std::string_view name,
                                     std::string_view type) {
        std::vector<Record> blocks;
        void *cat = open_catalog("WORK", catalog, zef::kLibraryInput);
        zef::MemberRequest request = member_request(cat, name, type, zef::kMemberInput);
        void *entry = nullptr;
        int32_t status = own_routine<zef::proto::ylmopen>(zef::routine::ylmopen)(&request, &entry);
        EXPECT_EQ(status, 0) << host.catalogs().last_error();
        if (status == 0) {
            std::vector<char> buffer(1 << 16);
            for (;;) {
                zef::TransferRequest transfer{};
                transfer.buffer = buffer.data();
                if (own_routine<zef::proto::ylmread>(zef::routine::ylmread)(entry, &transfer) != 0)
                    break;
                blocks.push_back({std::string(buffer.data(), static_cast<size_t>(transfer.length)),
                                  transfer.record_code});
            }
            EXPECT_EQ(own_routine<zef::proto::ylmclos>(zef::routine::ylmclos)(entry, 0), 0);
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

    // Opens a member of an open directory; an owned option block goes to
    // the open whatever its outcome (the stream's, or released by the failed
    // open), one not owned stays with the fixture.
    OpenedMember open_member(zef::DirectoryHandle *handle, std::string_view member,
                             std::string_view kind, const OpenSpec &how) {
        OpenedMember opened;
        zefhost::ParsedOptions parsed;
        if (!how.options.empty()) {
            parsed = parse(how.options, how.option_flags);
            EXPECT_EQ(parsed.status, zef::kOk) << how.options << ": " << parsed.message;
        }
        opened.request.open_mode = how.mode;
        opened.request.record_format = how.record_format;
        opened.request.lrecl = how.lrecl;
        opened.request.option_block = parsed.block.get();
        opened.status = member_open_slot(&opened.stream, handle, member.data(),
                                         static_cast<int32_t>(member.size()), Name8(kind),
                                         &opened.request);
        bool owned = (how.option_flags & zef::kNotOwned) == 0;
        if (owned && handle != nullptr) parsed.block.take();
        return opened;
    }
    OpenedMember open_member(zef::DirectoryHandle *handle, std::string_view member,
                             std::string_view kind, uint32_t mode) {
        OpenSpec how;
        how.mode = mode;
        return open_member(handle, member, kind, how);
    }
};

}  // namespace catalog_test
