#include "libpq_loader.h"

#include <dlfcn.h>

#include <string>

#include "catalog_error.h"

namespace zefhost::catalog::pg {

namespace {

// The soname of the libpq whose headers the store was built with (its
// interface has kept this name since PostgreSQL 8.2).
constexpr const char *kLibPq = "libpq.so.5";

template <typename Function>
void find(void *library, const char *name, Function &function) {
    function = reinterpret_cast<Function>(dlsym(library, name));
    if (function == nullptr)
        fail(zef::kCatalogIoFailure, std::string("the PostgreSQL client library ") + kLibPq + " has no " + name);
}

LibPq load() {
    // Never closed: the functions stay in use until the program ends.
    void *library = dlopen(kLibPq, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char *why = dlerror();
        fail(zef::kCatalogIoFailure, std::string("cannot load the PostgreSQL client library: ") +
                                         (why != nullptr ? why : kLibPq));
    }
    LibPq api{};
#define ZEF_FIND(name) find(library, #name, api.name);
    ZEF_LIBPQ_FUNCTIONS(ZEF_FIND)
#undef ZEF_FIND
    return api;
}

}  // namespace

const LibPq &libpq() {
    // A load that throws leaves this unset, and the next call tries again.
    static const LibPq loaded = load();
    return loaded;
}

}  // namespace zefhost::catalog::pg
