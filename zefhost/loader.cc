#include "loader.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host.h"

namespace zefhost {

namespace {

// The second anchor handed to mcn_main. The module only keeps its address.
alignas(16) unsigned char process_anchor[64];

std::string status_text(int32_t status) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<uint32_t>(status));
    return text;
}

const zef::ComponentNode *first_component(const zef::ImageInformation &image) {
    if (image.components == nullptr) return nullptr;
    return image.components[0];
}

}  // namespace

std::string module_path(const std::string &fallback) {
    const char *from_environment = std::getenv("ZEFXBAML_MODULE");
    if (from_environment != nullptr && *from_environment != '\0') return from_environment;
    if (!fallback.empty()) return fallback;
    return ZEFXBAML_MODULE_PATH;
}

LoadedModule load_module(Host &host, const std::string &path) {
    LoadedModule loaded;
    loaded.path = path;

    loaded.handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (loaded.handle == nullptr) throw LoadError("cannot load " + path + ": " + dlerror());

    auto entry = reinterpret_cast<zef::LoadEntry>(dlsym(loaded.handle, "mcn_main"));
    if (entry == nullptr) throw LoadError(path + " has no load entry mcn_main");

    loaded.image = entry(host.gcb(), process_anchor);
    if (loaded.image == nullptr ||
        std::memcmp(loaded.image->eyecatcher, zef::kImageEyecatcher,
                    zef::kImageEyecatcherLength) != 0)
        throw LoadError(path + ": mcn_main did not return an image information record");

    loaded.component = first_component(*loaded.image);
    if (loaded.component == nullptr || loaded.component->constructor == nullptr)
        throw LoadError(path + ": the image names no component with a constructor");

    int32_t status = -1;
    loaded.component->constructor(&loaded.block, &status);
    if (status != 0 || loaded.block == nullptr)
        throw LoadError(path + ": the constructor failed with status " + status_text(status));

    host.register_method_block(loaded.block->method_name, loaded.block);
    return loaded;
}

}  // namespace zefhost
