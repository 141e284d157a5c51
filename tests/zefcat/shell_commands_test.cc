// zefcat shell: the commands a script uses less often (help, set, info on
// what is held open, flush, quit) and the mistakes in a command's words
// that are usage problems.
#include "zefcat_runner.h"

namespace zefcat_test {
namespace {

class ShellCommands : public ZefcatTest {
protected:
    Outcome script(const std::string &text, std::vector<std::string> extra = {}) {
        write_file("script.zef", text);
        std::vector<std::string> arguments{"shell", "script.zef"};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        return zefcat(arguments);
    }
};

// Each mistake names its line and what was wrong, and is a usage problem
// (status 2); with --keep-going the script carries on past each, and what
// it opened is closed at the end.
TEST_F(ShellCommands, MistakenWordsAreUsageProblems) {
    Outcome run = script(R"(help
set COUNT 3
set COUNT 3x
set COUNT
assign F2 work.notes.a.source
open F2 output
line F2 first
open F2 input
open F2 sideways
point F2 x
assign N work.notes
opendir N
opendir N
)",
                         {"--keep-going"});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out.rfind("Filerefs\n  assign FREF NAME [OPTIONS]", 0), 0u) << run.out;
    EXPECT_NE(run.out.find("\n  set NAME VALUE "), std::string::npos);
    EXPECT_EQ(run.err,
              "zefcat: script.zef:3: set COUNT: 3x is not a number\n"
              "zefcat: script.zef:4: set COUNT: write set NAME VALUE\n"
              "zefcat: script.zef:8: open F2: F2 is open already (close it first)\n"
              "zefcat: script.zef:9: open F2: sideways is not a mode: input, output, append or update\n"
              "zefcat: script.zef:10: point F2: x is not a position\n"
              "zefcat: script.zef:13: opendir N: a directory is open on N already\n");
    EXPECT_EQ(zefcat({"get", "work.notes.a.source"}).out, "first\n");
}

// info tells the entry's name, kind and device, and for a stream held open
// its record format, length and information item; a directory held open
// has no items.
TEST_F(ShellCommands, InfoOnAnOpenStreamAndAHeldDirectory) {
    Outcome run = script(R"(assign F2 work.notes.a.source
open F2 output
line F2 first
flush F2
info F2
close F2
assign N work.notes
opendir N
info N
)");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              "name: work.notes.a.source\n"
              "kind: entry\n"
              "device: CATALOG \n"
              "record format code: 32\n"
              "record length: 255\n"
              "Catalog Name: WORK.NOTES.A.SOURCE\n"
              "name: ..work.notes\n"
              "kind: catalog\n"
              "device: CATALOG \n"
              "directory: open, no information items\n");
    EXPECT_EQ(zefcat({"get", "work.notes.a.source"}).out, "first\n");
}

// quit (or exit) ends the script there; what is open is closed as at the end.
TEST_F(ShellCommands, QuitEndsTheScript) {
    for (const char *verb : {"quit", "exit"}) {
        SCOPED_TRACE(verb);
        Outcome run = script(std::string("assign F work.notes.q.source\nopen F output\nline F kept\n") + verb +
                             "\necho not reached\n");
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(zefcat({"get", "work.notes.q.source"}).out, "kept\n");
    }
}

// defaults without options forgets the earlier ones; options without any
// says nothing is set.
TEST_F(ShellCommands, DefaultsClearedAndOptionsEmpty) {
    Outcome run = script(R"(defaults LRECL=4
defaults
assign F work.notes.d.source
open F output
line F longer than four
close F
read F
options
)");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "longer than four\n(nothing set)\n");
    EXPECT_EQ(run.err, "");
}

}  // namespace
}  // namespace zefcat_test
