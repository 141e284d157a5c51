// Access-method lookup (yxam2am, yxamscp, yxal2am, yxaunql), the default
// record length (yyrn6gf) and the variable lookup of the attribute anchor.
#include <gtest/gtest.h>

#include <string>

#include "zefhost/host.h"
#include "zefhost/kernel_statuses.h"
#include "vector_call.h"

namespace zefhost {
namespace {

using testing::through_vector;

TEST(HostMethods, ControlBlockByMethodNameInAnyCase) {
    Host host;
    int block = 0;
    host.register_method_block("ZEFXBAML", &block);
    for (zef::RoutineAddress at : {zef::routine::yxam2am, zef::routine::yxamscp}) {
        for (const char *name : {"ZEFXBAML", "zefxbaml"}) {
            void *found = nullptr;
            EXPECT_EQ(through_vector<zef::proto::yxam2am>(host, at)(name, &found, nullptr), 0);
            EXPECT_EQ(found, &block);
        }
        void *untouched = &host;
        EXPECT_EQ(through_vector<zef::proto::yxam2am>(host, at)("OTHERAM ", &untouched, nullptr), kUnknownMethod);
        EXPECT_EQ(untouched, &host);
    }
    EXPECT_EQ(host.calls(zef::routine::yxamscp), 3);
}

TEST(HostMethods, FilerefBlockOnlyForKnownFilerefs) {
    Host host;
    int block = 0;
    host.know_fileref("myref", &block);
    void *found = nullptr;
    auto yxal2am = [&](const char *name) {
        return through_vector<zef::proto::yxal2am>(host, zef::routine::yxal2am)(name, nullptr, &found);
    };
    EXPECT_EQ(yxal2am("MYREF   "), 0);
    EXPECT_EQ(found, &block);
    found = nullptr;
    // A name never recorded is known through the access method that
    // registered last; with none registered, or when told to, it is refused.
    EXPECT_EQ(yxal2am("OTHER   "), kFilerefUnknownToHost);
    EXPECT_EQ(found, nullptr);
    int method = 0;
    host.register_method_block("ZEFXBAML", &method);
    EXPECT_EQ(yxal2am("OTHER   "), 0);
    EXPECT_EQ(found, &method);
    host.methods().refuse_unknown_filerefs(true);
    found = nullptr;
    EXPECT_EQ(yxal2am("OTHER   "), kFilerefUnknownToHost);
    EXPECT_EQ(found, nullptr);
    host.methods().refuse_unknown_filerefs(false);
    host.methods().forget_fileref("MYREF");
    EXPECT_EQ(yxal2am("MYREF   "), 0);
    EXPECT_EQ(found, &method);
}

TEST(HostMethods, MadeUpNamesAreUniqueAndBlankPadded) {
    Host host;
    char first[9] = "        ";
    char second[9] = "        ";
    auto yxaunql = [&](char *field) {
        return through_vector<zef::proto::yxaunql>(host, zef::routine::yxaunql)(field, nullptr);
    };
    EXPECT_EQ(yxaunql(first), 0);
    EXPECT_EQ(yxaunql(second), 0);
    EXPECT_STREQ(first, "#LN00001");
    EXPECT_STREQ(second, "#LN00002");
}

TEST(HostDefaultLrecl, ValueAndKindFollowTheSettings) {
    Host host;
    auto yyrn6gf = [&](int32_t option, int64_t *value, int32_t *kind) {
        return through_vector<zef::proto::yyrn6gf>(host, zef::routine::yyrn6gf)(
            option, 0, value, kind, host.task_context());
    };
    int64_t value = -1;
    int32_t kind = -1;
    EXPECT_EQ(yyrn6gf(4488, &value, &kind), 0);
    EXPECT_EQ(value, Host::kInitialDefaultLrecl);
    EXPECT_EQ(kind & 0xFF000000, 0);

    host.set_default_lrecl(1024);
    EXPECT_EQ(yyrn6gf(4488, &value, &kind), 0);
    EXPECT_EQ(value, 1024);

    host.set_default_lrecl_usable(false);
    EXPECT_EQ(yyrn6gf(4488, &value, &kind), 0);
    EXPECT_EQ(kind & 0xFF000000, 0x01000000);

    kind = 0;
    EXPECT_EQ(yyrn6gf(17, &value, &kind), kUnknownHostOption);
    EXPECT_EQ(kind & 0xFF000000, 0x01000000);
}

TEST(HostVariables, LookupBindsStableValues) {
    Host host;
    zef::VariableLookup lookup = host.gcb()->attribute_anchor->variable_lookup;
    ASSERT_NE(lookup, nullptr);
    double *binding = nullptr;
    EXPECT_EQ(lookup("WANTED", 6, 1, -1, 1, &binding), 1);
    EXPECT_EQ(binding, nullptr);

    host.set_variable("wanted", 100);
    EXPECT_EQ(lookup("WANTED  ", 8, 1, -1, 1, &binding), 0);
    ASSERT_NE(binding, nullptr);
    EXPECT_EQ(*binding, 100);
    host.set_variable("WANTED", 25);  // same variable, same address
    EXPECT_EQ(*binding, 25);

    double *again = nullptr;
    EXPECT_EQ(lookup("wanted", 6, 1, -1, 1, &again), 0);
    EXPECT_EQ(again, binding);

    host.remove_variable("Wanted");
    EXPECT_EQ(lookup("WANTED", 6, 1, -1, 1, &again), 1);
    EXPECT_EQ(host.variables().lookups(), 4);
}

}  // namespace
}  // namespace zefhost
