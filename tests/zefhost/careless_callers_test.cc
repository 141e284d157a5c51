// What the host routines answer a careless caller: null pointers, lengths of
// zero or less, sizes and counts out of range. Each answers its refusal (or
// does nothing) without touching memory it was not given.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "vector_call.h"
#include "zefhost/host.h"
#include "zefhost/kernel_statuses.h"
#include "zefhost/tokenizer.h"

namespace zefhost {
namespace {

using testing::through_vector;

class CarelessCallers : public ::testing::Test {
protected:
    Host host;
    template <typename Fn>
    Fn routine(zef::RoutineAddress at) {
        return through_vector<Fn>(host, at);
    }
};

TEST_F(CarelessCallers, LookupsRefuseNullNamesAndResults) {
    void *block = nullptr;
    char fileref[8] = {'A', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
    EXPECT_EQ(routine<zef::proto::yxam2am>(zef::routine::yxam2am)(nullptr, &block, nullptr), kBadArgument);
    EXPECT_EQ(routine<zef::proto::yxam2am>(zef::routine::yxam2am)("ZEFXBAML", nullptr, nullptr), kBadArgument);
    EXPECT_EQ(routine<zef::proto::yxal2am>(zef::routine::yxal2am)(nullptr, nullptr, &block), kBadArgument);
    EXPECT_EQ(routine<zef::proto::yxal2am>(zef::routine::yxal2am)(fileref, nullptr, nullptr), kBadArgument);
    EXPECT_EQ(routine<zef::proto::yxaunql>(zef::routine::yxaunql)(nullptr, nullptr), kBadArgument);
    EXPECT_EQ(block, nullptr);

    int64_t value = 7;
    int32_t kind = 7;
    auto option = routine<zef::proto::yyrn6gf>(zef::routine::yyrn6gf);
    EXPECT_EQ(option(Host::kDefaultLreclOption, 0, nullptr, &kind, nullptr), kBadArgument);
    EXPECT_EQ(routine<zef::proto::yyrn6gf>(zef::routine::yyrn6gf)(Host::kDefaultLreclOption, 0, &value, nullptr,
                                                                  nullptr),
              kBadArgument);
    EXPECT_EQ(value, 7);
    EXPECT_EQ(kind, 7);

    double *binding = nullptr;
    EXPECT_EQ(Variables::lookup(nullptr, 4, 1, 0, 1, &binding), Variables::kNoSuchVariable);
    EXPECT_EQ(Variables::lookup("COUNT", 0, 1, 0, 1, &binding), Variables::kNoSuchVariable);
    host.set_variable("COUNT", 2);
    EXPECT_EQ(Variables::lookup("  count\0", 8, 1, 0, 1, nullptr), 0);  // found, nothing to bind
    EXPECT_EQ(Variables::lookup("    ", 4, 1, 0, 1, &binding), Variables::kNoSuchVariable);
    EXPECT_EQ(binding, nullptr);
}

// 99999 names are made up; then the host has none left and says so.
TEST_F(CarelessCallers, MadeUpNamesRunOut) {
    char fileref[8];
    for (int i = 1; i < 99999; ++i) ASSERT_EQ(routine<zef::proto::yxaunql>(zef::routine::yxaunql)(fileref, nullptr), 0);
    ASSERT_EQ(routine<zef::proto::yxaunql>(zef::routine::yxaunql)(fileref, nullptr), 0);
    EXPECT_EQ(std::string(fileref, 8), "#LN99999");
    EXPECT_EQ(routine<zef::proto::yxaunql>(zef::routine::yxaunql)(fileref, nullptr), kNoUniqueName);
    EXPECT_EQ(std::string(fileref, 8), "#LN99999");
}

TEST_F(CarelessCallers, MessageRoutinesTakeNullsAndEmptyLengths) {
    char buffer[4] = {'#', '#', '#', '#'};
    EXPECT_EQ(routine<zef::proto::ypmstr>(zef::routine::ypmstr)(nullptr, 255, 566, 2), 0);
    EXPECT_EQ(routine<zef::proto::ypmstr>(zef::routine::ypmstr)(buffer, 1, 566, 2), 0);
    EXPECT_EQ(buffer[0], '#');

    EXPECT_EQ(routine<zef::proto::ypmrlog>(zef::routine::ypmrlog)(nullptr, 566, 2, nullptr), 0);
    EXPECT_EQ(host.log().back().rfind("566-2: ", 0), 0u) << host.log().back();
    host.fail_call(zef::routine::ypmrlog, kBadArgument);
    EXPECT_EQ(routine<zef::proto::ypmrlog>(zef::routine::ypmrlog)(nullptr, 566, 3, "F       "), kBadArgument);

    EXPECT_EQ(routine<zef::proto::wrmksub>(zef::routine::wrmksub)(3, nullptr, 4, "text", 0, "text", -1), 0);
    EXPECT_EQ(host.last_inserts(), (std::vector<std::string>{"", "", ""}));
}

TEST_F(CarelessCallers, NameDivisionWithoutFieldsOrCount) {
    auto divide = routine<zef::proto::znamdiv>(zef::routine::znamdiv);
    EXPECT_EQ(divide(0, "lib.cat.entry", 13, nullptr, 4, nullptr, nullptr, nullptr, nullptr), 0);
    int32_t count = -1;
    zef::NamePart parts[4];
    EXPECT_EQ(routine<zef::proto::znamdiv>(zef::routine::znamdiv)(0, nullptr, 5, &count, 4, &parts[0], &parts[1],
                                                                  &parts[2], &parts[3]),
              zef::kNameRefused);
    EXPECT_EQ(count, 0);
    // At most `max` parts, one at least and four at most: the rest stays in the last.
    for (auto [max, expected] : {std::pair{0, 1}, std::pair{2, 2}, std::pair{9, 4}}) {
        SCOPED_TRACE(max);
        ASSERT_EQ(routine<zef::proto::znamdiv>(zef::routine::znamdiv)(0, "a.b.c.d", 7, &count, max, &parts[0],
                                                                      &parts[1], &parts[2], &parts[3]),
                  0);
        EXPECT_EQ(count, expected);
    }
}

TEST_F(CarelessCallers, NumbersEncodingsAndTranscodingRefuseEmptyInput) {
    int64_t value = 5;
    int32_t work = -1;
    auto number = routine<zef::proto::wzrlchr>(zef::routine::wzrlchr);
    EXPECT_EQ(number(nullptr, 3, 0, &work, &value), kNotANumber);
    EXPECT_EQ(routine<zef::proto::wzrlchr>(zef::routine::wzrlchr)("12", 0, 0, &work, &value), kNotANumber);
    EXPECT_EQ(routine<zef::proto::wzrlchr>(zef::routine::wzrlchr)("12", 2, 0, &work, nullptr), kNotANumber);
    EXPECT_EQ(routine<zef::proto::wzrlchr>(zef::routine::wzrlchr)("  +12 ", 6, 0, nullptr, &value), 0);
    EXPECT_EQ(value, 12);
    EXPECT_EQ(work, -1);
    EXPECT_EQ(routine<zef::proto::wzrlchr>(zef::routine::wzrlchr)("    ", 4, 0, &work, &value), kNotANumber);
    EXPECT_EQ(value, 12);

    int32_t id = -1;
    EXPECT_EQ(routine<zef::proto::wztxcei>(zef::routine::wztxcei)(0, nullptr, 4, &id), kUnknownEncoding);
    EXPECT_EQ(routine<zef::proto::wztxcei>(zef::routine::wztxcei)(0, "utf8", 0, &id), kUnknownEncoding);
    EXPECT_EQ(routine<zef::proto::wztxcei>(zef::routine::wztxcei)(0, "utf8", 4, nullptr), kUnknownEncoding);
    EXPECT_EQ(routine<zef::proto::wztxcei>(zef::routine::wztxcei)(0, "   \0", 4, &id), kUnknownEncoding);
    EXPECT_EQ(routine<zef::proto::wztxcei>(zef::routine::wztxcei)(0, "    ", 4, &id), kUnknownEncoding);
    EXPECT_EQ(id, -1);
    EXPECT_EQ(routine<zef::proto::wztxcei>(zef::routine::wztxcei)(0, " utf-8\0 ", 8, &id), 0);
    EXPECT_NE(id, -1);

    char target[4] = {'#', '#', '#', '#'};
    auto to_ebcdic = routine<zef::proto::wzsxcch>(zef::routine::wzsxcch);
    EXPECT_EQ(to_ebcdic(nullptr, 4, target, 4, 1), 0);
    EXPECT_EQ(routine<zef::proto::wzsxcch>(zef::routine::wzsxcch)("abcd", 4, nullptr, 4, 1), 0);
    EXPECT_EQ(routine<zef::proto::wzsxcch>(zef::routine::wzsxcch)("abcd", -1, target, 4, 1), 0);
    EXPECT_EQ(std::string(target, 4), "####");
    host.fail_call(zef::routine::wzsxrch, kBadArgument);
    EXPECT_EQ(routine<zef::proto::wzsxrch>(zef::routine::wzsxrch)("abcd", 4, target, 4, 1), kBadArgument);
    EXPECT_EQ(std::string(target, 4), "####");
}

TEST_F(CarelessCallers, TokenRoutinesRefuseNullRecordsAndSources) {
    EXPECT_EQ(routine<zef::proto::yxatoki>(zef::routine::yxatoki)(nullptr), kBadArgument);
    zef::Token token{};
    ASSERT_EQ(routine<zef::proto::yxatoki>(zef::routine::yxatoki)(&token), 0);
    OptionSource source("LRECL=80");
    EXPECT_EQ(routine<zef::proto::yxatok>(zef::routine::yxatok)(0, nullptr, &token), kBadArgument);
    EXPECT_EQ(routine<zef::proto::yxatok>(zef::routine::yxatok)(0, source.handle(), nullptr), kBadArgument);
    EXPECT_EQ(routine<zef::proto::yxatokt>(zef::routine::yxatokt)(nullptr), 0);
    EXPECT_EQ(routine<zef::proto::yxatokt>(zef::routine::yxatokt)(&token), 0);
}

TEST_F(CarelessCallers, PoolsRefuseNegativeSizes) {
    zef::Pool *pool = host.storage_pool().pool();
    EXPECT_EQ(pool->obtain(pool, -1, zef::kRecordStorage), nullptr);
    void *empty = pool->obtain(pool, 0, zef::kRecordStorage);
    EXPECT_NE(empty, nullptr);  // an address of its own all the same
    pool->release(pool, empty, 0, zef::kBufferStorage);
    EXPECT_EQ(host.storage_pool().blocks_outstanding(), 0);
    EXPECT_EQ(host.storage_pool().bad_releases(), 0);
}

}  // namespace
}  // namespace zefhost
