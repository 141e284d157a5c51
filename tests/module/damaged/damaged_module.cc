// A module whose load sequence is damaged in one way, for the loader's
// refusals: built once per damage (ZEF_DAMAGE_<name>, tests/CMakeLists.txt).
#include <cstring>

#include "zefxbaml/image.h"

namespace {

void constructor(zef::AccessMethodBlock **block, int32_t *status) {
    // Claims success without a block.
    *block = nullptr;
    *status = 0;
}

const zef::ComponentNode node = [] {
    zef::ComponentNode n{};
    n.constructor = &constructor;
#if defined(ZEF_DAMAGE_no_constructor)
    n.constructor = nullptr;
#endif
    return n;
}();
const zef::ComponentNode *const components[] = {&node, nullptr};

const zef::ImageInformation image = [] {
    zef::ImageInformation i{};
#if defined(ZEF_DAMAGE_bad_eyecatcher)
    std::memcpy(i.eyecatcher, "ZEF_Image_Informatio?", 21);
#else
    std::memcpy(i.eyecatcher, zef::kImageEyecatcher, zef::kImageEyecatcherLength);
#endif
#if !defined(ZEF_DAMAGE_no_components)
    i.components = components;
#endif
    return i;
}();

}  // namespace

extern "C" __attribute__((visibility("default"))) const zef::ImageInformation *mcn_main(void *, void *) {
#if defined(ZEF_DAMAGE_no_image)
    return nullptr;
#else
    return &image;
#endif
}
