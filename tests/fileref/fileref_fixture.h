// A host with the module loaded, the fileref and option slots at hand, and
// the pool accounting of the three pools these routines use, taken once the
// control block exists.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "zefhost/encodings.h"
#include "zefhost/host.h"
#include "zefhost/kernel_statuses.h"
#include "zefhost/module_session.h"
#include "zefhost/option_statement.h"
#include "zefhost/tokenizer.h"
#include "zefxbaml/control_block.h"
#include "zefxbaml/fileref_record.h"
#include "zefxbaml/method_routines.h"
#include "zefxbaml/option_block.h"
#include "zefxbaml/status.h"

namespace fileref_test {

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
inline std::string part(const zef::NamePart &p) { return std::string(p.text, p.length); }

struct PoolMark {
    int64_t storage, scratch, owner;
};

class FilerefTest : public ::testing::Test {
protected:
    zefhost::Host host;
    zefhost::ModuleSession module{host};
    PoolMark start = mark();

    zef::fn::yxlasgn assign_slot = module.slot<zef::fn::yxlasgn>(0);
    zef::fn::yxldasg deassign_slot = module.slot<zef::fn::yxldasg>(1);
    zef::fn::yxlexl exists_slot = module.slot<zef::fn::yxlexl>(2);
    zef::fn::yxlpnam physical_name_slot = module.slot<zef::fn::yxlpnam>(4);
    zef::fn::yxlnxt next_slot = module.slot<zef::fn::yxlnxt>(6);
    zef::fn::yxlpars parse_slot = module.slot<zef::fn::yxlpars>(30);
    zef::fn::yxlasl assign_like_slot = module.slot<zef::fn::yxlasl>(31);
    zef::fn::yxlhbfr release_slot = module.slot<zef::fn::yxlhbfr>(36);

    PoolMark mark() {
        return {host.storage_pool().blocks_outstanding(), host.scratch_pool().blocks_outstanding(),
                host.owner_pool().blocks_outstanding()};
    }

    zef::AccessMethodBlock *block() { return module.control_block(); }

    // Assigns `name` to `physical` in the module's own control block.
    int32_t assign(std::string_view name, std::string_view physical,
                   zef::OptionBlock *options = nullptr) {
        Name8 fileref(name);
        return assign_slot(fileref, nullptr, zef::kMethodName, physical.data(),
                           static_cast<int32_t>(physical.size()), options);
    }
    int32_t assign_like(std::string_view name, std::string_view existing,
                        const char *extension = nullptr, zef::OptionBlock *options = nullptr) {
        Name8 fileref(name);
        int32_t extension_length = extension ? static_cast<int32_t>(std::strlen(extension)) : 0;
        return assign_like_slot(fileref, nullptr, zef::kMethodName, existing.data(),
                                static_cast<int32_t>(existing.size()), extension,
                                extension_length, nullptr, options);
    }
    int32_t deassign(std::string_view name) { return deassign_slot(Name8(name), nullptr); }
    void release(zef::OptionBlock *options, std::string_view name = "") {
        EXPECT_EQ(release_slot(Name8(name), nullptr, options), zef::kOk);
    }

    // A fresh option block parsed from `text` (empty: an empty block).
    zef::OptionBlock *options(std::string_view text = "", uint32_t flags = 0) {
        zefhost::ParsedOptions parsed = zefhost::parse_option_statement(
            module, text, {.owner = nullptr, .flags = flags, .block_when_empty = true});
        EXPECT_EQ(parsed.status, zef::kOk) << parsed.message;
        return parsed.block.take();
    }

    // The record named exactly `name` (as stored) in the list, or null.
    zef::FilerefRecord *record(std::string_view name) {
        Name8 key(name);
        for (zef::FilerefRecord *r = block()->fileref_list; r; r = r->next)
            if (std::memcmp(r->fileref, key.text, 8) == 0) return r;
        return nullptr;
    }
    int list_length() {
        int n = 0;
        for (zef::FilerefRecord *r = block()->fileref_list; r; r = r->next) ++n;
        return n;
    }

    // Deassigns every fileref of the list, so that nothing the routines
    // obtained is left.
    void deassign_all() {
        while (zef::FilerefRecord *r = block()->fileref_list) {
            std::string name(r->fileref, 8);
            ASSERT_EQ(deassign_slot(name.data(), nullptr), zef::kOk) << name;
        }
    }

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

}  // namespace fileref_test
