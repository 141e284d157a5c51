// znamdiv, called as the module calls it (0, name, length, &count, 4, parts).
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "zefhost/host.h"
#include "vector_call.h"

namespace zefhost {
namespace {

struct Division {
    int32_t status;
    int32_t count;
    std::array<std::string, 4> parts;  // each as length + text
    bool blank_padded = true;
};

Division divide(Host &host, const std::string &name, int32_t max = 4) {
    std::array<zef::NamePart, 4> parts;
    for (auto &p : parts) {
        p.length = 99;
        std::memset(p.text, 'x', sizeof p.text);
    }
    Division d{};
    d.count = -1;
    d.status = testing::through_vector<zef::proto::znamdiv>(host, zef::routine::znamdiv)(
        0, name.data(), static_cast<int32_t>(name.size()), &d.count, max, &parts[0], &parts[1],
        &parts[2], &parts[3]);
    for (int i = 0; i < 4; ++i) {
        d.parts[i] = std::string(parts[i].text, static_cast<size_t>(std::max<int16_t>(parts[i].length, 0)));
        for (size_t k = static_cast<size_t>(std::max<int16_t>(parts[i].length, 0)); k < 32; ++k)
            if (parts[i].text[k] != ' ') d.blank_padded = false;
    }
    return d;
}

struct Case {
    const char *name;
    int32_t count;
    std::array<const char *, 4> parts;
};

TEST(HostNameDivision, PlacesPartsByCount) {
    const std::string part32(32, 'C');
    const Case cases[] = {
        {"ENTRYONLY", 1, {"ENTRYONLY", "", "", ""}},
        {"mylib.mycat", 2, {"", "", "mylib", "mycat"}},
        {"mylib.mycat.e1", 3, {"mylib", "mycat", "e1", ""}},
        {"mylib.mycat.e1.zef", 4, {"mylib", "mycat", "e1", "zef"}},
        {"a.b.c.d.e", 4, {"a", "b", "c", "d.e"}},  // the last part takes the rest
        {"  lib.cat  ", 2, {"", "", "lib", "cat"}},  // blanks around the name dropped
        {"lib. cat .e", 3, {"lib", " cat ", "e", ""}},  // but not around a part
        {"lib..e", 3, {"lib", "", "e", ""}},  // an empty catalog is the caller's to judge
        {"lib.cat.", 3, {"lib", "cat", "", ""}},
    };
    Host host;
    for (const Case &c : cases) {
        Division d = divide(host, c.name);
        EXPECT_EQ(d.status, 0) << c.name;
        EXPECT_EQ(d.count, c.count) << c.name;
        for (int i = 0; i < 4; ++i) EXPECT_EQ(d.parts[i], c.parts[i]) << c.name << " part " << i + 1;
        EXPECT_TRUE(d.blank_padded) << c.name;
    }
}

TEST(HostNameDivision, AcceptsThirtyTwoCharacterPartsAndRefusesThirtyThree) {
    Host host;
    const std::string p32(32, 'C');
    Division ok = divide(host, "lib." + p32 + ".e");
    EXPECT_EQ(ok.status, 0);
    EXPECT_EQ(ok.parts[1], p32);

    for (const std::string &name : {"lib." + p32 + "C.e", std::string(33, 'L'),
                                    "lib.cat.e." + std::string(30, 'T') + ".xyz"}) {
        Division d = divide(host, name);
        EXPECT_EQ(d.status, zef::kNameRefused) << name;
        EXPECT_EQ(d.count, 0) << name;
        for (const auto &p : d.parts) EXPECT_EQ(p, "") << name;
    }
}

TEST(HostNameDivision, RefusesAnEmptyName) {
    Host host;
    for (const char *name : {"", "    "}) {
        Division d = divide(host, name);
        EXPECT_EQ(d.status, zef::kNameRefused) << '"' << name << '"';
        EXPECT_EQ(d.count, 0);
        EXPECT_TRUE(d.blank_padded);
    }
}

TEST(HostNameDivision, MaxLimitsThePartCount) {
    Host host;
    Division two = divide(host, "a.b.c", 2);
    EXPECT_EQ(two.count, 2);
    EXPECT_EQ(two.parts[2], "a");
    EXPECT_EQ(two.parts[3], "b.c");
    Division one = divide(host, "a.b.c", 1);
    EXPECT_EQ(one.count, 1);
    EXPECT_EQ(one.parts[0], "a.b.c");
}

}  // namespace
}  // namespace zefhost
