// The module exports exactly the names the host links against; everything
// else stays hidden.
#include <cstdio>
#include <set>
#include <sstream>

#include "module_fixture.h"

namespace {

using ExportsTest = ModuleTest;

std::set<std::string> defined_dynamic_symbols(const std::string &path) {
    std::set<std::string> names;
    std::string command = "nm -D --defined-only '" + path + "'";
    FILE *pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return names;
    char line[512];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        std::istringstream fields(line);
        std::string address, kind, name;
        if (fields >> address >> kind >> name) names.insert(name);
    }
    EXPECT_EQ(pclose(pipe), 0) << command;
    return names;
}

TEST_F(ExportsTest, DefinesExactlyTheExportedNames) {
    const std::set<std::string> expected = {
        "mcn_main",          "vi_mcn",           "mcn_pcns",         "pcn_ZEFXBAML",
        "zefxbaml",          "qxvercn1",         "v_global_gcb_anchor",
        "v_global_pidb_anchor", "Exported_QXHandle", "_B_ten",        "_Z_twenty",
        "vmalcp_handler",    "vmalloc_handler",  "vmfree_handler",   "vzatl",
        "vzmp",              "wzstcat",          "wzstcom",          "wzstlen",
        "wzstrip",           "wzstrpq",          "wztxxlt",
    };
    EXPECT_EQ(defined_dynamic_symbols(module.path()), expected);
}

TEST_F(ExportsTest, StorageTrampolinesPassEverythingToThePool) {
    using Obtain = void *(*)(zef::Pool *, int64_t, uint32_t);
    using Release = void (*)(zef::Pool *, void *, int64_t, uint32_t);
    zefhost::HostPool &pool = host.scratch_pool();
    const int64_t outstanding = pool.blocks_outstanding();

    for (const char *name : {"vmalcp_handler", "vmalloc_handler"}) {
        auto obtain = module.symbol<Obtain>(name);
        auto *zeroed = static_cast<uint8_t *>(obtain(pool.pool(), 24, zef::kRecordStorage));
        auto *filled = static_cast<uint8_t *>(obtain(pool.pool(), 24, zef::kBufferStorage));
        ASSERT_NE(zeroed, nullptr);
        ASSERT_NE(filled, nullptr);
        EXPECT_EQ(zeroed[23], 0);
        EXPECT_EQ(filled[23], zefhost::HostPool::kFillPattern);
        EXPECT_EQ(pool.blocks_outstanding(), outstanding + 2);
        module.symbol<Release>("vmfree_handler")(pool.pool(), zeroed, 0, 4);
        module.symbol<Release>("vmfree_handler")(pool.pool(), filled, 0, 4);
        EXPECT_EQ(pool.blocks_outstanding(), outstanding);

        pool.refuse_nth(1);
        EXPECT_EQ(obtain(pool.pool(), 8, zef::kRecordStorage), nullptr);
    }
    EXPECT_EQ(pool.bad_releases(), 0);
}

}  // namespace
