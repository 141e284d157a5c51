// zefcat about: what the host sees of the module it loaded, row by row
// against the slot table the module was built from, and a module that
// cannot be loaded.
#include <algorithm>
#include <cstring>
#include <sstream>

#include "zefcat_runner.h"
#include "zefxbaml/slot_names.h"

namespace zefcat_test {
namespace {

class About : public ZefcatTest {};

// The row "label value" of a section, or "" when there is none.
std::string row(const std::vector<std::string> &lines, const std::string &label) {
    std::string start = "  " + label + " ";
    for (const std::string &line : lines) {
        if (line.rfind(start, 0) != 0) continue;
        size_t value = line.find_first_not_of(' ', start.size());
        return value == std::string::npos ? "" : line.substr(value);
    }
    return "";
}

TEST_F(About, ShowsTheRecordsTheLoaderReads) {
    Outcome run = zefcat({"about"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    std::vector<std::string> lines = lines_of(run.out);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0].rfind("Module /", 0), 0u) << lines[0];
    EXPECT_EQ(row(lines, "stamp"), "0xB0BDEBED");
    EXPECT_EQ(row(lines, "eyecatcher"), "ZEF_Image_Information=");
    EXPECT_EQ(row(lines, "name"), "zefxbaml");
    EXPECT_EQ(row(lines, "header"), "00 00 FF FF FF FF FF FF");
    EXPECT_EQ(row(lines, "level"), "001");
    // Keys whose value is all blanks say so rather than print trailing blanks.
    EXPECT_EQ(row(lines, "hotfix"), "ZEF_VERSION_HOTFIX_NUMBER= (no value)");
    EXPECT_EQ(row(lines, "image description"), "VERCON_IMAGE_DESCRIPTION= (no value)");
    EXPECT_NE(run.out.find("\nControl block\n  eyecatcher           AMEC\n  method               ZEFXBAML\n"),
              std::string::npos)
        << run.out;
}

// One row per slot, in order, naming the routine the slot table names; the
// state comes from the control block's own vector, so a slot the module
// filled wrongly would show here.
TEST_F(About, TheMethodVectorRowByRow) {
    Outcome run = zefcat({"about"});
    ASSERT_EQ(run.status, 0) << run.err;
    std::vector<std::string> lines = lines_of(run.out);
    auto heading = std::find(lines.begin(), lines.end(), "Method vector (46 slots)");
    ASSERT_NE(heading, lines.end()) << run.out;
    ASSERT_GE(lines.end() - heading, zef::kSlotCount + 3);

    int supported = 0, refused = 0, host = 0;
    for (const zef::SlotName &name : zef::kSlots) {
        SCOPED_TRACE(name.slot);
        std::istringstream fields(heading[2 + name.slot]);
        int slot = -1;
        std::string routine, state;
        fields >> slot >> routine >> state;
        EXPECT_EQ(slot, name.slot);
        EXPECT_EQ(routine, *name.routine ? name.routine : "-");
        std::string expected = name.server == zef::SlotServer::kHost ? "host's"
                               : name.server == zef::SlotServer::kNone || std::strcmp(name.routine, "yxlnsup") == 0
                                   ? "not"
                                   : "supported";
        EXPECT_EQ(state, expected);
        supported += expected == "supported";
        refused += expected == "not";
        host += expected == "host's";
        EXPECT_NE(heading[2 + name.slot].find(name.request), std::string::npos);
    }
    EXPECT_EQ(heading[2 + zef::kSlotCount],
              "  " + std::to_string(supported) + " supported, " + std::to_string(refused) +
                  " not supported, " + std::to_string(host) + " served by the host");
}

// A module that is not one, or is not there: status 1, a message naming the
// file, and nothing half-printed.
TEST_F(About, AModuleThatCannotBeLoaded) {
    write_file("not_a_module.so", "these bytes are no shared object\n");
    for (const std::string &module : {path("not_a_module.so").string(), path("missing.so").string()}) {
        SCOPED_TRACE(module);
        Outcome run = zefcat({"about"}, RunOptions{"", {{"ZEFXBAML_MODULE", module}}, false});
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err.rfind("zefcat: cannot load " + module + ": ", 0), 0u) << run.err;
    }
}

}  // namespace
}  // namespace zefcat_test
