// What the host reads out of the module at load time: the anchors mcn_main
// records, the image information record, the component list and node, and
// the version record.
#include <dlfcn.h>

#include <cctype>
#include <cstdlib>
#include <ctime>
#include <memory>

#include "module_fixture.h"

namespace {

using FrameTest = ModuleTest;

// Appends the little-endian bytes of an integer.
template <typename T>
void put(std::string &out, T value) {
    out.append(reinterpret_cast<const char *>(&value), sizeof value);
}

std::string bytes_of(const void *record, size_t size) {
    return std::string(static_cast<const char *>(record), size);
}

TEST_F(FrameTest, McnMainRecordsTheAnchorsAndReturnsTheImage) {
    EXPECT_EQ(*exported<void *>("v_global_gcb_anchor"), host.gcb());
    EXPECT_NE(*exported<void *>("v_global_pidb_anchor"), nullptr);
    EXPECT_EQ(*exported<uint64_t>("Exported_QXHandle"), host.gcb()->kernel_handle);
    EXPECT_NE(host.gcb()->kernel_handle, 0u);
    EXPECT_EQ(&module.image(), exported<zef::ImageInformation>("vi_mcn"));
}

TEST_F(FrameTest, ImageInformationRecordByteForByte) {
    const zef::ImageInformation &image = module.image();
    std::string expected("ZEF_Image_Information=\0\0", 24);
    put<uint32_t>(expected, 0xB0BDEBED);
    put<uint32_t>(expected, 0);
    put<uint64_t>(expected, 8);
    // Release, build level and date are the build's own texts; checked below.
    expected += bytes_of(image.release, 6) + bytes_of(image.build_level, 20) +
                bytes_of(image.build_date, 12);
    expected += std::string(18, '\0');
    put(expected, exported<const zef::ComponentNode *const>("mcn_pcns"));
    put(expected, image.legal_notice);
    expected += std::string("001\0\0\0\0\0", 8);
    EXPECT_EQ(bytes_of(&image, sizeof image), expected);

    // Zero-padded texts: something, then nothing but zeros.
    for (auto [field, width] : {std::pair<const char *, size_t>{image.release, 6},
                                {image.build_level, 20}}) {
        size_t length = strnlen(field, width);
        EXPECT_GT(length, 0u);
        EXPECT_LT(length, width);
        EXPECT_EQ(std::string(field + length, width - length), std::string(width - length, '\0'));
    }
    // "Mmm dd yyyy" and a zero.
    const char *date = image.build_date;
    EXPECT_EQ(date[11], '\0');
    EXPECT_TRUE(std::isupper(date[0]) && std::islower(date[1]) && std::islower(date[2]));
    EXPECT_EQ(date[3], ' ');
    EXPECT_EQ(date[6], ' ');
    for (int i : {4, 5, 7, 8, 9, 10}) EXPECT_TRUE(std::isdigit(date[i]) || date[i] == ' ') << i;
    ASSERT_NE(image.legal_notice, nullptr);
    EXPECT_GT(std::strlen(image.legal_notice), 0u);
}

TEST_F(FrameTest, ComponentListHoldsOneNodeThatNamesTheConstructor) {
    auto *list = exported<const zef::ComponentNode *const>("mcn_pcns");
    const auto *node = exported<const zef::ComponentNode>("pcn_ZEFXBAML");
    EXPECT_EQ(list[0], node);
    EXPECT_EQ(list[1], nullptr);
    EXPECT_EQ(&module.component(), node);

    std::string expected("\x00\x00\xFF\xFF\xFF\xFF\xFF\xFF", 8);
    put<uint64_t>(expected, 1024);
    put<uint64_t>(expected, 1024);
    expected += std::string("zefxbaml\0\0\0\0\0\0\0\0", 16);
    put(expected, module.address_of("zefxbaml"));
    for (uint64_t value : {2ull, 9683ull, 574726931ull, 15ull}) put(expected, value);
    EXPECT_EQ(bytes_of(node, sizeof *node), expected);
}

TEST_F(FrameTest, Qxvercn1WritesExactly208Bytes) {
    unsigned char area[240];
    std::memset(area, 0xEE, sizeof area);
    module.symbol<void (*)(void *)>("qxvercn1")(area);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(area) + 208, 32), std::string(32, '\xEE'));
    zef::VersionRecord copied;
    std::memcpy(&copied, area, sizeof copied);
    zef::VersionRecord again = module.version();
    EXPECT_EQ(bytes_of(&copied, 208), bytes_of(&again, 208));
}

TEST_F(FrameTest, VersionRecordTexts) {
    zef::VersionRecord version = module.version();
    const std::string hotfix = "ZEF_VERSION_HOTFIX_NUMBER=" + std::string(39, ' ');
    const std::string description = "VERCON_IMAGE_DESCRIPTION=" + std::string(40, ' ');
    EXPECT_STREQ(version.hotfix, hotfix.c_str());
    EXPECT_STREQ(version.image_description, description.c_str());
    EXPECT_STREQ(version.empty_2, "");
    EXPECT_STREQ(version.identification_a[4], "");
    EXPECT_STREQ(version.identification_b[2], "");
    for (uint64_t word : version.reserved) EXPECT_EQ(word, 0u);

    // The other texts are the build's own; they are there and live in the module.
    const char *texts[] = {version.release_and_level,   version.build_location,
                           version.identification_a[0], version.identification_a[1],
                           version.identification_a[2], version.identification_a[3],
                           version.identification_b[0], version.identification_b[1],
                           version.identification_13,   version.identification_15,
                           version.build_date_time};
    for (const char *text : texts) {
        ASSERT_NE(text, nullptr);
        EXPECT_GT(std::strlen(text), 0u);
        Dl_info where{};
        ASSERT_NE(dladdr(text, &where), 0);
        EXPECT_STREQ(where.dli_fname, module.path().c_str()) << text;
    }

    // The build time and the build date-time text say the same moment.
    time_t moment = static_cast<time_t>(version.build_time);
    std::tm utc{};
    gmtime_r(&moment, &utc);
    char formatted[40];
    std::strftime(formatted, sizeof formatted, "%Y-%m-%d %H:%M:%S UTC", &utc);
    EXPECT_STREQ(version.build_date_time, formatted);
}

TEST(LoaderTest, EachNewHostIsAnchoredWhenItLoadsTheModule) {
    // The module stays mapped; mcn_main anchors it to each new host in turn.
    auto first = std::make_unique<zefhost::Host>();
    {
        zefhost::ModuleSession module(*first);
        EXPECT_EQ(*static_cast<void **>(module.address_of("v_global_gcb_anchor")), first->gcb());
    }
    first.reset();
    zefhost::Host second;
    zefhost::ModuleSession module(second);
    EXPECT_EQ(*static_cast<void **>(module.address_of("v_global_gcb_anchor")), second.gcb());
    EXPECT_EQ(second.methods().method_block("ZEFXBAML"), module.control_block());
}

TEST(LoaderTest, ReportsAModuleThatCannotBeLoaded) {
    zefhost::Host host;
    try {
        zefhost::ModuleSession module(host, "/nonexistent/zefxbaml.so");
        FAIL() << "loaded a module that does not exist";
    } catch (const zefhost::LoadError &error) {
        EXPECT_NE(std::string(error.what()).find("/nonexistent/zefxbaml.so"), std::string::npos);
        EXPECT_NE(std::string(error.what()).find("No such file"), std::string::npos)
            << error.what();
    }
}

// Every step of the load sequence refuses what it cannot use, and says which.
TEST(LoaderTest, ReportsEachStepThatFails) {
    const std::string damaged = std::string(ZEF_BUILD_DIR) + "/damaged/zef_damaged_";
    const std::pair<std::string, std::string> cases[] = {
        {"libm.so.6", "libm.so.6 has no load entry mcn_main"},
        {damaged + "no_image.so", "mcn_main did not return an image information record"},
        {damaged + "bad_eyecatcher.so", "mcn_main did not return an image information record"},
        {damaged + "no_components.so", "the image names no component with a constructor"},
        {damaged + "no_constructor.so", "the image names no component with a constructor"},
        {damaged + "no_block.so", "the constructor failed with status 0x00000000"},
    };
    for (const auto &[path, message] : cases) {
        SCOPED_TRACE(path);
        zefhost::Host host;
        try {
            zefhost::ModuleSession module(host, path);
            ADD_FAILURE() << "loaded a damaged module";
        } catch (const zefhost::LoadError &error) {
            EXPECT_NE(std::string(error.what()).find(message), std::string::npos) << error.what();
        }
    }
}

TEST(LoaderTest, ReportsAConstructorWithoutStorage) {
    zefhost::Host host;
    host.refuse_nth_obtain(1);
    try {
        zefhost::ModuleSession module(host);
        FAIL() << "built a control block without storage";
    } catch (const zefhost::LoadError &error) {
        EXPECT_NE(std::string(error.what()).find("the constructor failed with status 0x80000803"),
                  std::string::npos)
            << error.what();
    }
    EXPECT_EQ(host.storage_pool().blocks_outstanding(), 0);
}

TEST(LoaderTest, ReportsANameTheModuleDoesNotExport) {
    zefhost::Host host;
    zefhost::ModuleSession module(host);
    try {
        module.address_of("yxlasgn");  // a slot routine, reached through the vector only
        FAIL() << "found a routine that is not exported";
    } catch (const zefhost::LoadError &error) {
        EXPECT_NE(std::string(error.what()).find("does not export yxlasgn"), std::string::npos);
    }
}

TEST(LoaderTest, ModulePathPrefersTheEnvironment) {
    const char *saved = std::getenv("ZEFXBAML_MODULE");
    std::string kept = saved ? saved : "";

    unsetenv("ZEFXBAML_MODULE");
    EXPECT_EQ(zefhost::module_path(), ZEFXBAML_MODULE_PATH);
    EXPECT_EQ(zefhost::module_path("/opt/x/zefxbaml.so"), "/opt/x/zefxbaml.so");
    setenv("ZEFXBAML_MODULE", "", 1);
    EXPECT_EQ(zefhost::module_path("/opt/x/zefxbaml.so"), "/opt/x/zefxbaml.so");
    setenv("ZEFXBAML_MODULE", "/elsewhere/zefxbaml.so", 1);
    EXPECT_EQ(zefhost::module_path("/opt/x/zefxbaml.so"), "/elsewhere/zefxbaml.so");
    EXPECT_EQ(zefhost::module_path(), "/elsewhere/zefxbaml.so");

    if (saved)
        setenv("ZEFXBAML_MODULE", kept.c_str(), 1);
    else
        unsetenv("ZEFXBAML_MODULE");
}

}  // namespace
