// yxlhh2p (slot 33) and yxlhp2h (slot 34): option blocks to images and back.
#include "records_fixture.h"

namespace records_test {
namespace {

class OptionImages : public RecordsTest {
protected:
    zef::fn::yxlhh2p to_image = module.slot<zef::fn::yxlhh2p>(33);
    zef::fn::yxlhp2h from_image = module.slot<zef::fn::yxlhp2h>(34);

    // An owner record of the test's own, with a pool of its own.
    zefhost::HostPool other_pool{"other owner"};
    zef::OwnerRecord other_owner = [this] {
        zef::OwnerRecord owner{};
        owner.pool = other_pool.pool();
        return owner;
    }();

    void release_options(zef::OptionBlock *block) {
        EXPECT_EQ(release_options_slot(Name8(""), nullptr, block), zef::kOk);
    }
};

// Block to image (current owner) and back (another owner): all 368 bytes
// equal but the owner field, which names the new owner.
TEST_F(OptionImages, RoundTrip) {
    zefhost::ParsedOptions parsed = parse("lrecl=80 recfm=f desc='kept' attr encoding=utf-8");
    ASSERT_EQ(parsed.status, zef::kOk) << parsed.message;
    const auto *original = reinterpret_cast<const char *>(parsed.block.get());

    void *image = nullptr;
    int32_t length = 0;
    ASSERT_EQ(to_image(nullptr, nullptr, parsed.block.get(), &image, &length), zef::kOk);
    EXPECT_EQ(length, 368);
    EXPECT_EQ(std::memcmp(image, original, 368), 0);
    EXPECT_EQ(host.owner_pool().blocks_outstanding(), start.owner + 2);

    zef::OptionBlock *copy = nullptr;
    ASSERT_EQ(from_image(nullptr, &other_owner, image, length, &copy), zef::kOk);
    EXPECT_EQ(other_pool.blocks_outstanding(), 1);
    EXPECT_EQ(copy->owner, &other_owner);
    const auto *bytes = reinterpret_cast<const char *>(copy);
    size_t owner_at = offsetof(zef::OptionBlock, owner);
    EXPECT_EQ(std::memcmp(bytes, original, owner_at), 0);
    EXPECT_EQ(std::memcmp(bytes + owner_at + 8, original + owner_at + 8, 368 - owner_at - 8), 0);

    release_options(copy);
    EXPECT_EQ(other_pool.blocks_outstanding(), 0);
    host.owner_pool().release(image);
    parsed.block.reset();
    expect_clean();
}

// Only an image of exactly 368 bytes is taken; nothing is obtained else.
TEST_F(OptionImages, WrongLength) {
    char image[369] = {};
    for (int32_t length : {367, 369, 0, -368}) {
        zef::OptionBlock *untouched = reinterpret_cast<zef::OptionBlock *>(image);
        EXPECT_EQ(from_image(nullptr, nullptr, image, length, &untouched), zef::kImageWrongLength);
        EXPECT_EQ(untouched, reinterpret_cast<zef::OptionBlock *>(image));
    }
    EXPECT_EQ(host.owner_pool().obtains(), 0);
    expect_clean();
}

// Refused storage: the image is null with the length already set; a block
// is not handed out. Without a current task nothing is written at all.
TEST_F(OptionImages, StorageRefused) {
    zefhost::ParsedOptions parsed = parse("lrecl=80");
    ASSERT_EQ(parsed.status, zef::kOk);
    void *image = &parsed;
    int32_t length = 0;
    host.owner_pool().refuse_nth(1);
    EXPECT_EQ(to_image(nullptr, nullptr, parsed.block.get(), &image, &length), zef::kNoStorage);
    EXPECT_EQ(image, nullptr);
    EXPECT_EQ(length, 368);

    char bytes[368] = {};
    zef::OptionBlock *untouched = nullptr;
    host.owner_pool().refuse_nth(1);
    EXPECT_EQ(from_image(nullptr, nullptr, bytes, 368, &untouched), zef::kNoStorage);
    EXPECT_EQ(untouched, nullptr);

    host.set_no_current_task(true);
    image = &parsed;
    length = 0;
    EXPECT_EQ(to_image(nullptr, nullptr, parsed.block.get(), &image, &length), zef::kNoStorage);
    EXPECT_EQ(image, &parsed);
    EXPECT_EQ(length, 0);
    EXPECT_EQ(from_image(nullptr, nullptr, bytes, 368, &untouched), zef::kNoStorage);
    EXPECT_EQ(untouched, nullptr);
    host.set_no_current_task(false);

    EXPECT_EQ(to_image(nullptr, nullptr, nullptr, &image, &length), zef::kNullHandle);
    parsed.block.reset();
    expect_clean();
}

}  // namespace
}  // namespace records_test
