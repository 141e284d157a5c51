// Option statements and option images. An input is either an option text,
// parsed through the option slot (slot 30) as the host parses a statement,
// or the raw bytes of an option image taken through slot 34. A block that
// results goes to an image and back (slots 33 and 34), is assigned with a
// fileref (slot 0), a second fileref is assigned like it (slot 31), and both
// are deassigned (slot 1); blocks no fileref took are released (slot 36).
#include <vector>

#include "zefxbaml/option_block.h"
#include "harness.h"
#include "zefxbaml/status.h"
#include "zefhost/option_statement.h"

namespace {

using zeffuzz::Harness;
using zeffuzz::Input;
using zeffuzz::Name8;

constexpr const char *kTarget = "options_fuzz";

// Block to image and back; both copies go back to their pools.
void round_trip(Harness &h, zef::OptionBlock *block) {
    void *image = nullptr;
    int32_t length = 0;
    if (h.slot<zef::fn::yxlhh2p>(33)(nullptr, nullptr, block, &image, &length) != zef::kOk) return;
    zef::OptionBlock *copy = nullptr;
    if (h.slot<zef::fn::yxlhp2h>(34)(nullptr, nullptr, image, length, &copy) == zef::kOk)
        h.slot<zef::fn::yxlhbfr>(36)(Name8(""), nullptr, copy);
    h.host.owner_pool().release(image);
}

// Assigns F with the block (which it then owns) and G like F.
void assign_with(Harness &h, zefhost::OptionBlockHandle &block, Input &in) {
    std::string physical = std::string(zeffuzz::kLibrary) + ".CAT.ENTRY.DATA";
    if (in.byte() & 1) physical = std::string(zeffuzz::kLibrary) + ".CAT";
    int32_t status = h.slot<zef::fn::yxlasgn>(0)(Name8("F"), nullptr, zef::kMethodName, physical.data(),
                                                 static_cast<int32_t>(physical.size()), block.get());
    // A block marked not owned stays the caller's: no fileref releases it.
    if (status == zef::kOk && (block.get()->flags & zef::kNotOwned) == 0) block.take();
    std::string extension = in.text(12);
    h.slot<zef::fn::yxlasl>(31)(Name8("G"), nullptr, zef::kMethodName, "F", 1, extension.data(),
                                static_cast<int32_t>(extension.size()), nullptr, nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    Harness &h = zeffuzz::harness();
    Input in(data, size);
    uint8_t how = in.byte();
    zefhost::OptionBlockHandle block;
    if (how & 1) {
        // An image as the host would hand one back: 368 bytes most of the time.
        std::string image = in.bytes(how & 2 ? in.byte() * 2u : sizeof(zef::OptionBlock));
        zef::OptionBlock *made = nullptr;
        if (h.slot<zef::fn::yxlhp2h>(34)(nullptr, nullptr, image.data(), static_cast<int32_t>(image.size()),
                                         &made) == zef::kOk)
            block = zefhost::OptionBlockHandle(made, h.slot<zef::fn::yxlhbfr>(36));
    } else {
        std::string text = in.text(250);
        zefhost::ParsedOptions parsed =
            zefhost::parse_option_statement(h.module, text, {.owner = nullptr, .flags = 0,
                                                             .block_when_empty = (how & 2) != 0});
        block = std::move(parsed.block);
    }
    if (block) {
        round_trip(h, block.get());
        assign_with(h, block, in);
    }
    block.reset();
    zeffuzz::check_clean(kTarget);
    return 0;
}
