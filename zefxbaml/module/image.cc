// The image information record, the component list and the component node:
// what the host's loader reads to find the constructor. All three are
// constant data, laid out at compile time.
#include "module/build_identity.h"
#include "zefxbaml/exports.h"

namespace {

// Copies a zero-terminated text into a zero-padded field, at compile time.
template <size_t N, size_t M>
constexpr void put(char (&field)[N], const char (&text)[M]) {
    static_assert(M <= N, "text does not fit its field");
    for (size_t i = 0; i < M; ++i) field[i] = text[i];
}

constexpr zef::ComponentNode make_component() {
    zef::ComponentNode node{};
    node.header[2] = node.header[3] = node.header[4] = 0xFF;
    node.header[5] = node.header[6] = node.header[7] = 0xFF;
    node.host_value_8 = 1024;
    node.host_value_16 = 1024;
    put(node.name, "zefxbaml");
    node.constructor = &zefxbaml;
    node.host_value_48 = 2;
    node.host_value_56 = 9683;
    node.host_value_64 = 574726931;
    node.host_value_72 = 15;
    return node;
}

constexpr zef::ImageInformation make_image() {
    zef::ImageInformation image{};
    put(image.eyecatcher, zef::kImageEyecatcher);
    image.stamp = zef::kImageStamp;
    image.host_value = 8;
    put(image.release, zef::build::kRelease);
    put(image.build_level, zef::build::kBuildLevel);
    put(image.build_date, zef::build::kBuildDate);
    image.components = mcn_pcns;
    image.legal_notice = zef::build::kLegalNotice;
    put(image.level_code, "001");
    return image;
}

}  // namespace

extern "C" {

constinit const zef::ComponentNode pcn_ZEFXBAML = make_component();
constinit const zef::ComponentNode *const mcn_pcns[2] = {&pcn_ZEFXBAML, nullptr};
constinit const zef::ImageInformation vi_mcn = make_image();

}  // extern "C"
