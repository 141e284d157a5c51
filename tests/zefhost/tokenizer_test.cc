// The option tokenizer (yxatoki, yxatok, yxatokt) over an OptionSource, the
// cursor the host moves after each option, and wzrlchr on numeric tokens.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "zefhost/host.h"
#include "zefhost/kernel_statuses.h"
#include "zefhost/tokenizer.h"
#include "vector_call.h"

namespace zefhost {
namespace {

using testing::through_vector;

struct Seen {
    int kind;
    std::string text;
    bool operator==(const Seen &) const = default;
};

std::ostream &operator<<(std::ostream &out, const Seen &s) { return out << s.kind << ":" << s.text; }

class HostTokenizer : public ::testing::Test {
protected:
    int32_t start(zef::Token &token) {
        token = zef::Token{};
        return through_vector<zef::proto::yxatoki>(host, zef::routine::yxatoki)(&token);
    }
    int32_t next(OptionSource &source, zef::Token &token) {
        return through_vector<zef::proto::yxatok>(host, zef::routine::yxatok)(0, source.handle(), &token);
    }
    int32_t end(zef::Token &token) {
        return through_vector<zef::proto::yxatokt>(host, zef::routine::yxatokt)(&token);
    }
    // Every token up to and including the end token, or up to a failure.
    std::vector<Seen> scan(const std::string &text, int32_t *failure = nullptr) {
        OptionSource source(text);
        zef::Token token;
        EXPECT_EQ(start(token), 0);
        std::vector<Seen> seen;
        for (int i = 0; i < 100; ++i) {
            int32_t status = next(source, token);
            if (status != 0) {
                if (failure) *failure = status;
                break;
            }
            EXPECT_EQ(token.statement, source.statement());
            EXPECT_EQ(std::string(token.text), std::string(token.text, token.length));
            seen.push_back({token.kind, token.text});
            if (token.kind == zef::kTokenEnd) break;
        }
        EXPECT_EQ(end(token), 0);
        return seen;
    }
    Host host;
};

TEST_F(HostTokenizer, DeliversKindsAndTexts) {
    struct Case {
        const char *text;
        std::vector<Seen> tokens;
    };
    const Case cases[] = {
        {"lrecl=80", {{2, "LRECL"}, {1, "="}, {4, "80"}, {0, ""}}},
        {"  RecFm = vb  mod", {{2, "RECFM"}, {1, "="}, {2, "VB"}, {2, "MOD"}, {0, ""}}},
        {"encoding=utf-8", {{2, "ENCODING"}, {1, "="}, {2, "UTF-8"}, {0, ""}}},
        {"x- -y", {{2, "X"}, {1, "-"}, {1, "-"}, {2, "Y"}, {0, ""}}},  // '-' only inside a name
        {"nbyte=_my_var1", {{2, "NBYTE"}, {1, "="}, {2, "_MY_VAR1"}, {0, ""}}},
        {"desc='It''s'", {{2, "DESC"}, {1, "="}, {3, "'It''s'"}, {0, ""}}},
        {"desc=\"say \"\"hi\"\" it's\"", {{2, "DESC"}, {1, "="}, {3, "\"say \"\"hi\"\" it's\""}, {0, ""}}},
        {"desc='keeps Case'", {{2, "DESC"}, {1, "="}, {3, "'keeps Case'"}, {0, ""}}},
        {"''", {{3, "''"}, {0, ""}}},
        {"12ab,(", {{4, "12"}, {2, "AB"}, {1, ","}, {1, "("}, {0, ""}}},
        {"", {{0, ""}}},
        {" \t\n ", {{0, ""}}},
    };
    for (const Case &c : cases) EXPECT_EQ(scan(c.text), c.tokens) << c.text;
}

TEST_F(HostTokenizer, UnterminatedQuoteFailsWhereTheScanReachesIt) {
    for (const char *text : {"desc='open", "desc=\"open''", "desc='it''"}) {
        int32_t failure = 0;
        std::vector<Seen> seen = scan(text, &failure);
        EXPECT_EQ(failure, kUnterminatedQuote) << text;
        EXPECT_EQ(seen, (std::vector<Seen>{{2, "DESC"}, {1, "="}})) << text;
    }
}

// A token's length must fit its 16-bit field: a longer one fails the scan
// where it stands, after the tokens before it.
TEST_F(HostTokenizer, OverlongTokensFailWhereTheScanReachesThem) {
    const std::string longest(32767, 'N');
    EXPECT_EQ(scan("x " + longest).size(), 3u);
    for (const std::string &overlong : {std::string(32768, 'n'), std::string(32768, '7'),
                                        "'" + std::string(32767, 'q') + "'"}) {
        SCOPED_TRACE(overlong.substr(0, 2));
        int32_t failure = 0;
        EXPECT_EQ(scan("desc=" + overlong + " mod", &failure), (std::vector<Seen>{{2, "DESC"}, {1, "="}}));
        EXPECT_EQ(failure, kTokenTooLong);
    }
}

// Any white space separates tokens; a hyphen joins name characters only.
TEST_F(HostTokenizer, WhiteSpaceSeparatesAndHyphensJoin) {
    EXPECT_EQ(scan("a\tzZ\r\n_9\f\vutf-8 b- -c"),
              (std::vector<Seen>{{2, "A"}, {2, "ZZ"}, {2, "_9"}, {2, "UTF-8"}, {2, "B"}, {1, "-"},
                                 {1, "-"}, {2, "C"}, {0, ""}}));
}

TEST_F(HostTokenizer, EndTokenRepeatsAndTokensOutliveTheScan) {
    OptionSource source("a b");
    zef::Token token;
    start(token);
    next(source, token);
    const char *first = token.text;
    next(source, token);
    next(source, token);
    EXPECT_EQ(token.kind, zef::kTokenEnd);
    EXPECT_EQ(next(source, token), 0);
    EXPECT_EQ(token.kind, zef::kTokenEnd);
    end(token);
    EXPECT_STREQ(first, "A");
    EXPECT_TRUE(source.at_end());
}

TEST_F(HostTokenizer, TokenMustBeReadied) {
    OptionSource source("a");
    zef::Token token{};
    EXPECT_EQ(next(source, token), kTokenNotReady);
    start(token);
    end(token);
    EXPECT_EQ(next(source, token), kTokenNotReady);
    EXPECT_EQ(next(source, token), kTokenNotReady);
    EXPECT_EQ(through_vector<zef::proto::yxatok>(host, zef::routine::yxatok)(0, nullptr, &token),
              kBadArgument);
}

// The host moves the cursor after each option to just after the tokens the
// module took, so a token read but not taken starts the next option.
TEST_F(HostTokenizer, FinishOptionRewindsToTheTakenTokens) {
    OptionSource source("LRECL MOD RECFM=F");
    zef::Token token;

    source.begin_option();  // LRECL without '=': reads MOD, takes only LRECL
    start(token);
    next(source, token);
    next(source, token);
    EXPECT_STREQ(token.text, "MOD");
    end(token);
    source.finish_option(1);
    EXPECT_EQ(source.cursor(), 1u);

    source.begin_option();  // MOD starts the next option
    start(token);
    next(source, token);
    EXPECT_STREQ(token.text, "MOD");
    end(token);
    source.finish_option(1);

    source.begin_option();
    start(token);
    for (int i = 0; i < 3; ++i) next(source, token);
    EXPECT_STREQ(token.text, "F");
    end(token);
    source.finish_option(3);
    EXPECT_TRUE(source.at_end());

    source.begin_option();
    source.finish_option(7);  // more than there are: stays at the end
    EXPECT_TRUE(source.at_end());
}

TEST_F(HostTokenizer, FailureInjectionAnswersInsteadOfScanning) {
    OptionSource source("a");
    zef::Token token;
    start(token);
    host.fail_call(zef::routine::yxatok, zef::kCatalogIoFailure);
    EXPECT_EQ(next(source, token), zef::kCatalogIoFailure);
    EXPECT_EQ(source.cursor(), 0u);
    EXPECT_EQ(next(source, token), 0);
    EXPECT_STREQ(token.text, "A");
    EXPECT_EQ(host.calls(zef::routine::yxatok), 2);
}

// ------------------------------------------------------------ wzrlchr --

TEST(HostNumbers, ConvertsWholeNumbersOnly) {
    Host host;
    struct Case {
        const char *text;
        int32_t status;
        int64_t value;
    };
    const Case cases[] = {
        {"80", 0, 80},
        {"0", 0, 0},
        {" 132 ", 0, 132},
        {"-5", 0, -5},
        {"+7", 0, 7},
        {"9223372036854775807", 0, INT64_MAX},
        {"-9223372036854775808", 0, INT64_MIN},
        {"9223372036854775808", kNotANumber, -1},
        {"12ab", kNotANumber, -1},
        {"1.5", kNotANumber, -1},
        {"-", kNotANumber, -1},
        {"", kNotANumber, -1},
    };
    auto wzrlchr = [&](const char *text, int64_t *value) {
        int32_t work = 0;
        return through_vector<zef::proto::wzrlchr>(host, zef::routine::wzrlchr)(
            text, static_cast<int32_t>(std::strlen(text)), 0, &work, value);
    };
    for (const Case &c : cases) {
        int64_t value = -1;
        EXPECT_EQ(wzrlchr(c.text, &value), c.status) << c.text;
        EXPECT_EQ(value, c.value) << c.text;
    }
}

}  // namespace
}  // namespace zefhost
