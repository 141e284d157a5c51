// The version record and qxvercn1, the routine that copies it out.
#include <cstring>

#include "module/build_identity.h"
#include "zefxbaml/exports.h"

namespace {

// A key followed by blanks up to 65 characters, then a zero.
template <size_t M>
struct KeyValueArea {
    char text[zef::kKeyValueChars + 1];
    constexpr explicit KeyValueArea(const char (&key)[M]) : text{} {
        static_assert(M - 1 <= zef::kKeyValueChars);
        for (size_t i = 0; i < zef::kKeyValueChars; ++i) text[i] = i < M - 1 ? key[i] : ' ';
        text[zef::kKeyValueChars] = 0;
    }
};

constexpr KeyValueArea hotfix_area(zef::kHotfixKey);
constexpr KeyValueArea image_description_area(zef::kImageDescriptionKey);

constexpr char kEmpty[] = "";

constinit const zef::VersionRecord version_record = {
    zef::build::kReleaseAndLevel,
    zef::build::kBuildLocation,
    kEmpty,
    zef::build::kBuildTime,
    {zef::build::kProduct, zef::build::kDescription, zef::build::kCode1,
     zef::build::kPlatform, kEmpty},
    {zef::build::kCode2, zef::build::kCode3, kEmpty},
    hotfix_area.text,
    zef::build::kLanguage,
    image_description_area.text,
    zef::build::kBuildKind,
    zef::build::kBuildDateTime,
    {},
};

}  // namespace

extern "C" {

// Copies the 208-byte version record into destination, which must hold 208
// bytes. The pointers copied still lead into the module's own texts.
void qxvercn1(zef::VersionRecord *destination) {
    std::memcpy(destination, &version_record, sizeof version_record);
}

}  // extern "C"
