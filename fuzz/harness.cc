#include "harness.h"

#include <stdlib.h>

#include <cstdio>
#include <cstdlib>

#include "zefhost/catalog/services.h"
#include "zefxbaml/control_block.h"
#include "zefxbaml/fileref_record.h"
#include "zefxbaml/status.h"

namespace zeffuzz {

namespace {

struct Mark {
    int64_t storage, scratch, owner;
};

Mark mark(zefhost::Host &host) {
    return {host.storage_pool().blocks_outstanding(), host.scratch_pool().blocks_outstanding(),
            host.owner_pool().blocks_outstanding()};
}

Mark baseline;

[[noreturn]] void broken(const char *target, const char *what) {
    std::fprintf(stderr, "%s: after this input %s\n", target, what);
    std::abort();
}

}  // namespace

Harness &harness() {
    // Never destroyed: the fuzzer ends the process with exit().
    static Harness *made = [] {
        auto *h = new Harness;
        std::string pattern = (std::filesystem::temp_directory_path() / "zeffuzz-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) broken("harness", "no temporary directory");
        h->library = pattern;
        h->host.catalogs().assign_library(kLibrary, h->library);
        h->host.catalogs().set_busy_timeout(std::chrono::milliseconds(0));
        baseline = mark(h->host);
        std::atexit([] { std::filesystem::remove_all(made->library); });
        return h;
    }();
    return *made;
}

void check_clean(const char *target) {
    Harness &h = harness();
    auto deassign = h.slot<zef::fn::yxldasg>(1);
    for (int guard = 0; zef::FilerefRecord *r = h.module.control_block()->fileref_list; ++guard) {
        char name[8];
        std::memcpy(name, r->fileref, 8);
        if (deassign(name, nullptr) != zef::kOk || guard > 10000) broken(target, "a fileref cannot be deassigned");
    }
    Mark now = mark(h.host);
    if (now.storage != baseline.storage) broken(target, "storage pool blocks are left");
    if (now.scratch != baseline.scratch) broken(target, "scratch pool blocks are left");
    if (now.owner != baseline.owner) broken(target, "owner pool blocks are left");
    if (h.host.storage_pool().bad_releases() || h.host.scratch_pool().bad_releases() ||
        h.host.owner_pool().bad_releases())
        broken(target, "a block was released that the pool did not hand out");
    if (h.host.unmarked_calls() != 0) broken(target, "a host call skipped its mark byte");
    if (h.host.catalogs().open_entries() || h.host.catalogs().open_catalogs() ||
        h.host.catalogs().open_scans())
        broken(target, "something is still open in the catalog services");
}

}  // namespace zeffuzz
