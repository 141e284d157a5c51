// One working session that goes through every filled slot of the method
// vector at least once, against the real catalog store: options, filerefs,
// an entry written, positioned, described and read back, a catalog listed as
// a directory with a member read through it, option images, existence,
// deletion and the requests the method does not serve.
#include <set>

#include "directory/catalog_fixture.h"
#include "zefxbaml/routine_table.h"
#include "zefxbaml/slot_names.h"

namespace catalog_test {
namespace {

class VectorWalkTest : public CatalogTest {
protected:
    std::set<int> walked;

    // The routine of slot n as prototype Fn, noting that the slot was used.
    template <typename Fn>
    Fn via(int n) {
        walked.insert(n);
        return module.slot<Fn>(n);
    }
};

TEST_F(VectorWalkTest, EveryFilledSlotServesARealSession) {
    using namespace zef::fn;
    put_entry("LIB", "prog", "source", {{"first line"}, {"second line"}});

    // Options (30, released through 36) and filerefs (0, 31).
    zefhost::ParsedOptions parsed = zefhost::parse_option_statement(
        host, via<yxlpars>(30), via<yxlhbfr>(36), "lrecl=80 desc='walk'");
    ASSERT_EQ(parsed.status, zef::kOk) << parsed.message;
    Name8 out("OUT");
    ASSERT_EQ(via<yxlasgn>(0)(out, nullptr, zef::kMethodName, "work.lib.notes.log", 18,
                              parsed.block.get()),
              zef::kOk);
    parsed.block.take();
    Name8 lib("LIB");
    ASSERT_EQ(via<yxlasgn>(0)(lib, nullptr, zef::kMethodName, "work.lib", 8, nullptr), zef::kOk);
    Name8 prog("PROG");
    ASSERT_EQ(via<yxlasl>(31)(prog, nullptr, zef::kMethodName, "LIB", 3, "prog.zef", 8, nullptr,
                              nullptr),
              zef::kOk);

    // Asking after filerefs (2, 4, 6).
    EXPECT_EQ(via<yxlexl>(2)(Name8("out"), nullptr), zef::kOk);
    char physical[1024];
    ASSERT_EQ(via<yxlpnam>(4)(Name8("PROG"), physical), zef::kOk);
    EXPECT_EQ(std::string(physical), "WORK.LIB.PROG.SOURCE");
    zef::FilerefRecord *cursor = nullptr;
    char listed[8];
    const char *full_name = nullptr;
    int32_t full_length = 0;
    int listed_count = 0;
    while (via<yxlnxt>(6)(&cursor, listed, nullptr, &full_name, &full_length) == zef::kOk)
        ++listed_count;
    EXPECT_EQ(listed_count, 3);

    // An entry written, noted, pointed, flushed, described and closed (11,
    // 35, 19, 12, 13, 20, 8, 9, 10, 21).
    zef::OpenRequest request{};
    request.open_mode = zef::kOpenOutput;
    zef::StreamBlock *stream = nullptr;
    ASSERT_EQ(via<yxlopn>(11)(&stream, Name8("OUT"), nullptr, &request), zef::kOk);
    zef::RoutineTable *table = nullptr;
    ASSERT_EQ(via<yxlamvc>(35)(stream, &table), zef::kOk);
    EXPECT_EQ(table->stream, stream);
    EXPECT_EQ(table->note, module.slot<yxlnote>(12));
    EXPECT_EQ(via<yxlwrit>(19)(stream, "alpha", 5, ' '), zef::kOk);
    int64_t noted = -1;
    EXPECT_EQ(via<yxlnote>(12)(stream, &noted), zef::kOk);
    EXPECT_EQ(via<yxlwrit>(19)(stream, "gamma", 5, ' '), zef::kOk);
    EXPECT_EQ(via<yxlpnt>(13)(stream, noted), zef::kOk);
    EXPECT_EQ(via<yxlwrit>(19)(stream, "beta", 4, ' '), zef::kOk);  // in gamma's place
    EXPECT_EQ(via<yxlflsh>(20)(stream), zef::kOk);
    zef::FileInformationRequest info{};
    ASSERT_EQ(via<yxlinfo>(8)(stream, nullptr, nullptr, 0x3F, nullptr, &info), zef::kOk);
    EXPECT_EQ(std::string(info.name, info.name_length), "WORK.LIB.NOTES.LOG");
    zef::InformationRecord *items = nullptr;
    ASSERT_EQ(via<yxlins>(9)(stream, &items), zef::kOk);
    EXPECT_EQ(via<yxlinf>(10)(stream, items), zef::kOk);
    ASSERT_EQ(via<yxlins>(9)(stream, &items), zef::kOk);  // this one ends with the close
    EXPECT_EQ(via<yxlcls>(21)(stream), zef::kOk);
    EXPECT_EQ(entry_texts("LIB", "NOTES", "LOG"), (std::vector<std::string>{"alpha", "beta"}));
    EXPECT_EQ(via<yxlexp>(3)(Name8("OUT"), nullptr), zef::kOk);

    // Option images (33, 34).
    zef::OptionBlock *options = record("OUT")->option_block;
    void *image = nullptr;
    int32_t image_length = 0;
    ASSERT_EQ(via<yxlhh2p>(33)(nullptr, nullptr, options, &image, &image_length), zef::kOk);
    zef::OptionBlock *copy = nullptr;
    ASSERT_EQ(via<yxlhp2h>(34)(nullptr, nullptr, image, image_length, &copy), zef::kOk);
    EXPECT_EQ(copy->lrecl, 80);
    host.owner_pool().release(image);
    EXPECT_EQ(via<yxlhbfr>(36)(Name8(""), nullptr, copy), zef::kOk);
    EXPECT_EQ(via<yxlhbfr>(36)(Name8("OUT"), nullptr, nullptr), zef::kOk);  // nothing to release
    EXPECT_EQ(record("OUT")->option_block, options);

    // The catalog as a directory, a member read through it (26, 23, 25, 28,
    // 29, 18, 27, 24, 22).
    zef::DirectoryHandle *dir = nullptr;
    ASSERT_EQ(via<yxldopn>(26)(&dir, Name8("lib"), nullptr), zef::kOk);
    EXPECT_EQ(via<yxldins>(23)(dir), zef::kOk);
    void *cell = nullptr;
    std::vector<std::string> members;
    char name[32];
    char type[8];
    int32_t length = 0;
    int32_t status;
    while ((status = via<yxldnxt>(25)(&cell, dir, name, &length, type)) == zef::kOk)
        members.push_back(std::string(name, length) + "." + field(type, 8));
    EXPECT_EQ(status, zef::kEndOfList);
    EXPECT_EQ(members, (std::vector<std::string>{"NOTES.LOG     ", "PROG.SOURCE  "}));
    EXPECT_EQ(via<yxlmex>(28)(dir, "notes.log", 9, Name8("")), zef::kOk);
    zef::OpenRequest member_request{};
    member_request.open_mode = zef::kOpenInput;
    zef::StreamBlock *member = nullptr;
    ASSERT_EQ(via<yxlmopn>(29)(&member, dir, "notes", 5, Name8("LOGFILE"), &member_request),
              zef::kOk);
    char *data = nullptr;
    int64_t data_length = 0;
    char carriage = 0;
    ASSERT_EQ(via<yxlread>(18)(member, &data, &data_length, &carriage), zef::kOk);
    EXPECT_EQ(std::string(data, data_length), "alpha");
    EXPECT_EQ(via<yxlmcls>(27)(member), zef::kOk);
    EXPECT_EQ(via<yxldinf>(24)(dir), zef::kOk);
    EXPECT_EQ(via<yxldcls>(22)(dir), zef::kOk);

    // Deletion through the fileref made like the catalog one (32).
    EXPECT_EQ(via<yxldel>(32)(Name8("PROG"), nullptr), zef::kOk);
    EXPECT_EQ(entry_names("LIB"), std::vector<std::string>{"NOTES.LOG"});

    // What the method does not serve, and the host's own slot (5, 14..17, 37; 7).
    for (int n : {5, 14, 15, 16, 17, 37}) EXPECT_EQ(via<yxlnsup>(n)(), zef::kNotSupported) << n;
    host.gcb()->mark_bytes[zef::routine::wxvalid.vector] = 0;  // a host routine, called as one
    EXPECT_EQ(via<int32_t (*)()>(7)(), 0);
    EXPECT_EQ(calls(zef::routine::wxvalid), 1);

    // Deassignment (1).
    for (const char *fileref : {"OUT", "LIB", "PROG"})
        EXPECT_EQ(via<yxldasg>(1)(Name8(fileref), nullptr), zef::kOk) << fileref;

    std::set<int> filled;
    for (int n = 0; n < zef::kFilledSlotCount; ++n) filled.insert(n);
    EXPECT_EQ(walked, filled);
    expect_clean();
}

}  // namespace
}  // namespace catalog_test
