#include "libarchive_loader.h"

#include <dlfcn.h>

namespace zefcat {

namespace {

// The soname of the libarchive whose headers zefcat was built with (its
// interface has kept this name since libarchive 3.0).
constexpr const char *kLibArchive = "libarchive.so.13";

struct Loaded {
    LibArchive api{};
    bool usable = false;
    std::string why;
};

template <typename Function>
bool find(void *library, const char *name, Function &function, std::string &why) {
    function = reinterpret_cast<Function>(dlsym(library, name));
    if (function == nullptr) why = std::string(kLibArchive) + " has no " + name;
    return function != nullptr;
}

Loaded load() {
    Loaded loaded;
    // Never closed: the functions stay in use until the program ends.
    void *library = dlopen(kLibArchive, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char *why = dlerror();
        loaded.why = std::string("cannot load libarchive: ") + (why != nullptr ? why : kLibArchive);
        return loaded;
    }
    bool found = true;
#define ZEF_FIND(name) found = found && find(library, #name, loaded.api.name, loaded.why);
    ZEF_LIBARCHIVE_FUNCTIONS(ZEF_FIND)
#undef ZEF_FIND
    loaded.usable = found;
    return loaded;
}

}  // namespace

const LibArchive *libarchive(std::string *why) {
    static const Loaded loaded = load();
    if (!loaded.usable) {
        if (why != nullptr) *why = loaded.why;
        return nullptr;
    }
    return &loaded.api;
}

}  // namespace zefcat
