// wztxcei's names, the iconv names behind them, and the routines that carry
// out translations while a host encoding is in force.
#include <gtest/gtest.h>
#include <iconv.h>

#include <string>

#include "zefhost/encodings.h"
#include "zefhost/host.h"
#include "zefhost/kernel_statuses.h"
#include "vector_call.h"

namespace zefhost {
namespace {

using testing::through_vector;

int32_t wztxcei(Host &host, const std::string &name, int32_t *id) {
    return through_vector<zef::proto::wztxcei>(host, zef::routine::wztxcei)(
        0, name.data(), static_cast<int32_t>(name.size()), id);
}

TEST(HostEncodings, KnowsTheUsualSpellingsInAnyCase) {
    Host host;
    struct Case {
        const char *name;
        int32_t id;
    };
    const Case cases[] = {
        {"utf-8", kEncodingUtf8},           {"UTF8", kEncodingUtf8},
        {"latin1", kEncodingLatin1},        {"ISO-8859-1", kEncodingLatin1},
        {"iso8859-1", kEncodingLatin1},     {"wlatin1", kEncodingWindowsLatin1},
        {"Windows-1252", kEncodingWindowsLatin1}, {"CP1252", kEncodingWindowsLatin1},
        {"ascii", kEncodingAscii},          {"US-ASCII", kEncodingAscii},
        {"ebcdic037", kEncodingEbcdic037},  {"cp037", kEncodingEbcdic037},
        {"IBM037", kEncodingEbcdic037},     {"latin9", kEncodingLatin9},
        {"ibm1047", kEncodingEbcdic1047},   {"utf-8   ", kEncodingUtf8},
    };
    for (const Case &c : cases) {
        int32_t id = -1;
        EXPECT_EQ(wztxcei(host, c.name, &id), 0) << c.name;
        EXPECT_EQ(id, c.id) << c.name;
        EXPECT_GT(id, 0);
    }
}

TEST(HostEncodings, RefusesUnknownNamesWithoutTouchingTheId) {
    Host host;
    for (const char *name : {"utf-9", "latin", "utf-8x", "klingon", "", "utf 8"}) {
        int32_t id = 77;
        EXPECT_EQ(wztxcei(host, name, &id), kUnknownEncoding) << name;
        EXPECT_EQ(id, 77) << name;
    }
}

TEST(HostEncodings, LengthBoundsTheName) {
    Host host;
    int32_t id = 0;
    const char *text = "utf-8junk";
    EXPECT_EQ(through_vector<zef::proto::wztxcei>(host, zef::routine::wztxcei)(0, text, 5, &id), 0);
    EXPECT_EQ(id, kEncodingUtf8);
}

TEST(HostEncodings, EveryIdHasANameIconvOpens) {
    for (int32_t id = 1; id <= kEncodingEbcdic1047; ++id) {
        const char *name = encoding_name_for_iconv(id);
        ASSERT_NE(name, nullptr) << id;
        EXPECT_EQ(find_encoding(encoding_name(id)), id);
        iconv_t cd = iconv_open("UTF-8", name);
        EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1)) << name;
        if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
    }
    EXPECT_EQ(encoding_name_for_iconv(0), nullptr);
    EXPECT_EQ(encoding_name_for_iconv(99), nullptr);
}

// ---------------------------------------------- case and transcoding --

TEST(HostCaseMapping, UpperAndLowerInPlace) {
    Host host;
    std::string text = "Mylib.ZEF \xE9t\xE9 1";
    through_vector<zef::proto::wzstrup>(host, zef::routine::wzstrup)(text.data(), static_cast<int32_t>(text.size()));
    EXPECT_EQ(text, "MYLIB.ZEF \xC9T\xC9 1");
    through_vector<zef::proto::wzstrlo>(host, zef::routine::wzstrlo)(text.data(), 5);
    EXPECT_EQ(text, "mylib.ZEF \xC9T\xC9 1");
    through_vector<zef::proto::wzstrlo>(host, zef::routine::wzstrlo)(text.data(), 0);
    through_vector<zef::proto::wzstrlo>(host, zef::routine::wzstrlo)(text.data(), -3);
    EXPECT_EQ(text, "mylib.ZEF \xC9T\xC9 1");
}

TEST(HostTranscoding, RoundTripsThroughEbcdicAndAgreesWithTheTables) {
    Host host;
    const std::string latin = "Hello, World 123 \xE9";
    std::string ebcdic(latin.size(), '\0');
    auto size = static_cast<int32_t>(latin.size());
    EXPECT_EQ(through_vector<zef::proto::wzsxcch>(host, zef::routine::wzsxcch)(latin.data(), size, ebcdic.data(), size, 1), 0);
    EXPECT_EQ(static_cast<uint8_t>(ebcdic[0]), 0xC8);  // H
    for (size_t i = 0; i < latin.size(); ++i)
        EXPECT_EQ(static_cast<uint8_t>(ebcdic[i]), host.translation().table(0)[static_cast<uint8_t>(latin[i])]);

    // In place, as wztxxlt may pass it.
    EXPECT_EQ(through_vector<zef::proto::wzsxrch>(host, zef::routine::wzsxrch)(ebcdic.data(), size, ebcdic.data(), size, 1), 0);
    EXPECT_EQ(ebcdic, latin);
}

TEST(HostTranscoding, WritesNoMoreThanTheShorterLength) {
    Host host;
    char target[4] = {'x', 'x', 'x', 'x'};
    through_vector<zef::proto::wzsxcch>(host, zef::routine::wzsxcch)("AAAA", 4, target, 2, 1);
    EXPECT_EQ(static_cast<uint8_t>(target[1]), 0xC1);
    EXPECT_EQ(target[2], 'x');
}

}  // namespace
}  // namespace zefhost
