// Fileref and physical names. An input gives a fileref name and a physical
// name (any bytes); the fileref is assigned to it (slot 0, which divides the
// name as the host does), then asked about through every slot that takes a
// fileref: exists (2), physical name (4), information (8), the walk of the
// fileref list (6), assign-like with an extension (31), and deassigned (1),
// also under names it was not assigned under.
#include <cstdlib>

#include "harness.h"
#include "zefxbaml/requests.h"
#include "zefxbaml/status.h"

namespace {

using zeffuzz::Harness;
using zeffuzz::Input;

constexpr const char *kTarget = "names_fuzz";

struct Fileref8 {
    char text[8];
};

Fileref8 fileref_from(Input &in) {
    Fileref8 f;
    std::string raw = in.text(8);
    std::memset(f.text, ' ', 8);
    // The host hands over only names it has checked and upper-cased: the
    // input's bytes are mapped onto the characters of such names.
    static const char kNameCharacters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_$#@";
    for (size_t i = 0; i < raw.size(); ++i)
        f.text[i] = kNameCharacters[static_cast<uint8_t>(raw[i]) % (sizeof kNameCharacters - 1)];
    return f;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    Harness &h = zeffuzz::harness();
    Input in(data, size);
    uint8_t how = in.byte();
    Fileref8 name = fileref_from(in);
    std::string physical = in.text(255);
    // Library names the input does not spell are prefixed now and then.
    if (how & 1) physical = std::string(zeffuzz::kLibrary) + "." + physical;
    h.slot<zef::fn::yxlasgn>(0)(name.text, nullptr, zef::kMethodName, physical.data(),
                                static_cast<int32_t>(physical.size()), nullptr);

    Fileref8 asked = (how & 2) ? fileref_from(in) : name;
    h.slot<zef::fn::yxlexl>(2)(asked.text, nullptr);
    char buffer[1025];
    buffer[1024] = '\x5A';
    h.slot<zef::fn::yxlpnam>(4)(asked.text, buffer);
    if (buffer[1024] != '\x5A') std::abort();
    zef::FileInformationRequest request{};
    h.slot<zef::fn::yxlinfo>(8)(nullptr, asked.text, nullptr, in.byte() & 0x3F, nullptr, &request);
    if (request.name != nullptr && request.name_length > 0) {
        volatile char sink = 0;
        for (int32_t i = 0; i < request.name_length; ++i) sink = sink ^ request.name[i];
    }

    zef::FilerefRecord *cursor = nullptr;
    for (int n = 0; n < 8; ++n) {
        char fileref[8];
        const char *full = nullptr;
        int32_t full_length = 0;
        if (h.slot<zef::fn::yxlnxt>(6)(&cursor, fileref, nullptr, &full, &full_length) != zef::kOk) break;
        if (full != nullptr && full_length > 0) {
            volatile char sink = 0;
            for (int32_t i = 0; i < full_length; ++i) sink = sink ^ full[i];
        }
        if (cursor == nullptr) break;
    }

    Fileref8 like = fileref_from(in);
    std::string existing = (how & 4) ? in.text(40) : std::string(name.text, 8);
    std::string extension = in.text(40);
    h.slot<zef::fn::yxlasl>(31)(like.text, nullptr, zef::kMethodName, existing.data(),
                                static_cast<int32_t>(existing.size()), extension.data(),
                                static_cast<int32_t>(extension.size()), nullptr, nullptr);
    h.slot<zef::fn::yxldasg>(1)(asked.text, nullptr);
    zeffuzz::check_clean(kTarget);
    return 0;
}
