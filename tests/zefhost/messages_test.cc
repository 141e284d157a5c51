// ypmstr, ypmlog, ypmrlog, wrmksub and the plain words for statuses.
#include <gtest/gtest.h>

#include <string>

#include "vector_call.h"
#include "zefhost/host.h"
#include "zefhost/kernel_statuses.h"
#include "zefhost/status_text.h"
#include "zefxbaml/status.h"

namespace zefhost {
namespace {

using testing::through_vector;

std::string fetch(Host &host, int32_t number, int32_t size = 255, int32_t *count = nullptr) {
    std::string buffer(300, '#');
    int32_t n = through_vector<zef::proto::ypmstr>(host, zef::routine::ypmstr)(buffer.data(), size, 566, number);
    if (count) *count = n;
    EXPECT_EQ(buffer[static_cast<size_t>(n)], '#') << "no NUL, nothing past the count";
    return buffer.substr(0, static_cast<size_t>(n));
}

TEST(HostMessages, ModuleSetHoldsEveryNumberTheModuleUses) {
    Host host;
    for (int32_t number : {1, 2, 4, 5, 25, 48, 73, 160}) {
        EXPECT_TRUE(host.messages().knows(566, number)) << number;
        std::string text = fetch(host, number);
        EXPECT_GT(text.size(), 20u) << number;
        EXPECT_LT(text.size(), 255u) << number;
        EXPECT_EQ(text.find("message"), std::string::npos) << number;
    }
    EXPECT_NE(fetch(host, 4).find("three parts"), std::string::npos);
    EXPECT_NE(fetch(host, 73).find("NBYTE"), std::string::npos);
}

TEST(HostMessages, UnknownNumberGetsAMadeUpText) {
    Host host;
    EXPECT_EQ(fetch(host, 3), "message 566-3");
    std::string buffer(40, '#');
    int32_t n = through_vector<zef::proto::ypmstr>(host, zef::routine::ypmstr)(buffer.data(), 40, 12, 1);
    EXPECT_EQ(buffer.substr(0, static_cast<size_t>(n)), "message 12-1");
}

TEST(HostMessages, TextIsCutToSizeLessOne) {
    Host host;
    const std::string whole = fetch(host, 1);
    int32_t count = 0;
    EXPECT_EQ(fetch(host, 1, 11, &count), whole.substr(0, 10));
    EXPECT_EQ(count, 10);
    EXPECT_EQ(fetch(host, 1, 1, &count), "");
    EXPECT_EQ(fetch(host, 1, 0, &count), "");
}

TEST(HostMessages, LogLinesCarryValueAndFileref) {
    Host host;
    const std::string text25 = host.messages().text(566, 25);
    const std::string text160 = host.messages().text(566, 160);
    EXPECT_EQ(through_vector<zef::proto::ypmlog>(host, zef::routine::ypmlog)(566, 25, 4096), 0);
    EXPECT_EQ(through_vector<zef::proto::ypmlog>(host, zef::routine::ypmlog)(566, 73, 0), 0);
    EXPECT_EQ(through_vector<zef::proto::ypmrlog>(host, zef::routine::ypmrlog)(nullptr, 566, 160, "MYREF   "), 0);
    ASSERT_EQ(host.log().size(), 3u);
    EXPECT_EQ(host.log()[0], "566-25: " + text25 + " Value: 4096");
    EXPECT_EQ(host.log()[1], "566-73: " + host.messages().text(566, 73));
    EXPECT_EQ(host.log()[2], "566-160: " + text160 + " Fileref: MYREF");
}

TEST(HostMessages, InsertsAreCapturedAsGivenAndReplaced) {
    Host host;
    auto wrmksub = through_vector<zef::proto::wrmksub>(host, zef::routine::wrmksub);
    const char message[] = "some text";
    EXPECT_EQ(wrmksub(1, message, static_cast<int32_t>(sizeof message)), 0);  // length + 1
    ASSERT_EQ(host.last_inserts().size(), 1u);
    EXPECT_EQ(host.last_inserts()[0], std::string(message, sizeof message));
    EXPECT_EQ(host.messages().insert_text(0), "some text");

    const int32_t length = 5;
    wrmksub = through_vector<zef::proto::wrmksub>(host, zef::routine::wrmksub);
    EXPECT_EQ(wrmksub(2, &length, 4, "VALUE", 6), 0);
    ASSERT_EQ(host.last_inserts().size(), 2u);
    EXPECT_EQ(host.last_inserts()[0], std::string(reinterpret_cast<const char *>(&length), 4));
    EXPECT_EQ(host.messages().insert_text(1), "VALUE");
    EXPECT_EQ(host.messages().insert_text(2), "");

    wrmksub = through_vector<zef::proto::wrmksub>(host, zef::routine::wrmksub);
    EXPECT_EQ(wrmksub(1, "FILEREF1", 8), 0);
    EXPECT_EQ(host.last_inserts(), std::vector<std::string>{"FILEREF1"});
    host.clear_inserts();
    EXPECT_TRUE(host.last_inserts().empty());
}

TEST(HostMessages, RefusedInsertHandoverKeepsTheOldInserts) {
    Host host;
    host.fail_call(zef::routine::wrmksub, kBadArgument);
    EXPECT_EQ(through_vector<zef::proto::wrmksub>(host, zef::routine::wrmksub)(1, "X", 1), kBadArgument);
    EXPECT_TRUE(host.last_inserts().empty());
}

TEST(HostStatusText, DescribesEveryFamily) {
    struct Case {
        int32_t status;
        const char *text;
    };
    const Case cases[] = {
        {0, "success"},
        {zef::kEndOfFile, "end of file"},
        {zef::kFilerefNotAssigned, "fileref not assigned"},
        {zef::kOptionRejected, "option syntax or value rejected"},
        {zef::kCatalogEntryMissing, "entry does not exist"},
        {zef::kNameRefused, "physical name refused: empty, or a part longer than 32 characters"},
        {kUnterminatedQuote, "quoted string not closed"},
        {static_cast<int32_t>(0x8000ABCD), "unknown failure"},
        {0x4242, "unknown note"},
    };
    for (const Case &c : cases) EXPECT_EQ(describe_status(c.status), c.text) << std::hex << c.status;
    for (int32_t s : {zef::kNoStorage, zef::kNameUnsuitable, zef::kNotSupported, zef::kEntryMissing,
                      zef::kImageWrongLength, zef::kNbyteUnbound, zef::kUnknownOption,
                      zef::kNbyteTooLarge, zef::kStillOpen, zef::kNullHandle, zef::kBadTranslation,
                      zef::kCatalogLibraryNotAssigned, zef::kCatalogMissing, zef::kCatalogDamaged,
                      zef::kCatalogIoFailure, zef::kCatalogEntryInUse, zef::kCatalogBadRequest,
                      zef::kCatalogEndOfMember, zef::kCatalogEndOfDirectory})
        EXPECT_TRUE(describe_status(s) != "unknown failure" && describe_status(s) != "unknown note")
            << std::hex << s;
}

}  // namespace
}  // namespace zefhost
