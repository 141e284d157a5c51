// What zefcat says, and in what form: options refused in words before
// anything is opened, catalog files and unusable inputs said plainly (never
// the store's SQL), times in one form per output, --version, help and a
// suggestion for a mistyped command, and a table that never hands a
// terminal a control character.
#include <nlohmann/json.hpp>
#include <regex>
#include <unistd.h>

#include <cstdlib>

#include "zefcat_runner.h"

namespace zefcat_test {
namespace {

const std::regex kIsoUtc("\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ");

class Messages : public ZefcatTest {
protected:
    void SetUp() override {
        write_file("a.txt", "alpha\nbeta\n");
        ASSERT_EQ(zefcat({"put", "work.notes.kept.source", "a.txt", "DESC='kept'"}).status, 0);
    }
};

struct MessageCase {
    std::vector<std::string> arguments;
    int status;
    const char *says;
};

TEST_F(Messages, OptionsAreRefusedInWordsBeforeAnyCatalogIsMade) {
    const std::string long_description(257, 'd');
    const MessageCase cases[] = {
        // One argument is one option.
        {{"put", "work.new.x.source", "a.txt", "DESC='a' LRECL=5"}, 2,
         "DESC='a' LRECL=5 is more than one option: give each option as an argument of its own"},
        {{"put", "work.new.x.source", "a.txt", "LRECL=5 RECFM=F"}, 2, "is more than one option"},
        {{"get", "work.notes.kept.source", "RECFM=V ENCODING=latin1"}, 2, "is more than one option"},
        // A one-word description and how to quote it.
        {{"put", "work.new.x.source", "a.txt", "DESC=Notes"}, 2,
         "DESC=Notes: a description is a quoted text; keep the quotes for the host: DESC=\"'Notes'\""},
        {{"put", "work.new.x.source", "a.txt", "DESC=" + long_description}, 2,
         "DESC= has 257 bytes: a description has at most 256"},
        {{"put", "work.new.x.source", "a.txt", "DESC='" + long_description + "'"}, 2, "has 257 bytes"},
        // Record lengths that cannot work.
        {{"put", "work.new.x.source", "a.txt", "LRECL=1"}, 2,
         "LRECL=1 leaves no room for text: a SOURCE record keeps 1 byte of it for the line's control byte; "
         "give LRECL=2 or more"},
        {{"put", "work.new.x.csv", "a.txt", "LRECL=1", "RECFM=P"}, 2, "a CSV record keeps 1 byte of it for the carriage control"},
        {{"get", "work.notes.kept.source", "LRECL=1"}, 2, "LRECL=1 leaves no room for text"},
        {{"put", "work.new.x.source", "a.txt", "LRECL=2147483647"}, 2,
         "LRECL=2147483647 is above the largest record length, 268435456 (256 MB)"},
        {{"get", "work.notes.kept.source", "LRECL=9999999999"}, 2, "is above the largest record length"},
        // What cannot be used.
        {{"put", "work.new.x.source", "."}, 1, "put work.new.x.source: . is a directory, not a file to read"},
        {{"shell", "."}, 1, "zefcat: shell: . is a directory, not a script"},
        {{"shell", "no-such-script"}, 1, "shell: cannot read no-such-script: No such file or directory"},
    };
    for (const MessageCase &c : cases) {
        SCOPED_TRACE(c.arguments.back());
        Outcome run = zefcat(c.arguments);
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
        EXPECT_EQ(lines_of(run.err).size(), 1u) << run.err;
        // No value is echoed longer than 80 characters.
        EXPECT_EQ(run.err.find(std::string(81, 'd')), std::string::npos) << run.err;
    }
    EXPECT_FALSE(exists("zefdata/new.zcat"));
    Outcome info = zefcat({"info", "work.notes.kept.source", "--json"});
    EXPECT_EQ(nlohmann::json::parse(info.out)["description"], "kept");
}

TEST_F(Messages, TheLongestDescriptionAndRecordLengthsThatWorkAreKept) {
    const std::string description(256, 'd');
    ASSERT_EQ(zefcat({"put", "work.notes.long.source", "a.txt", "DESC=" + description + " "}).status, 2);
    Outcome put = zefcat({"put", "work.notes.long.source", "a.txt", "DESC='" + description + "'"});
    ASSERT_EQ(put.status, 0) << put.err;
    nlohmann::json info = nlohmann::json::parse(zefcat({"info", "work.notes.long.source", "--json"}).out);
    EXPECT_EQ(info["description"], description);
    // Two words need no host quotes; a quote inside is the host's doubled one.
    ASSERT_EQ(zefcat({"put", "work.notes.two.source", "a.txt", "DESC=it's two"}).status, 0);
    EXPECT_EQ(nlohmann::json::parse(zefcat({"info", "work.notes.two.source", "--json"}).out)["description"], "it's two");
    // LRECL=2 leaves SOURCE one byte a line, and ATTR gives it the control byte's.
    Outcome cut = zefcat({"put", "work.notes.short.source", "a.txt", "LRECL=2"});
    EXPECT_EQ(cut.status, 3) << cut.err;
    EXPECT_EQ(zefcat({"get", "work.notes.short.source"}).out, "a\nb\n");
}

TEST_F(Messages, AFileThatIsNotACatalogIsSaidSoWithoutTheStoresWords) {
    write_file("zefdata/junk.zcat", "this is no catalog, just text that happens to end in .zcat\n");
    for (const std::vector<std::string> &arguments :
         {std::vector<std::string>{"get", "work.junk.x.source"}, {"put", "work.junk.x.source", "a.txt"},
          {"ls", "work.junk"}, {"info", "work.junk"}}) {
        SCOPED_TRACE(arguments[0]);
        Outcome run = zefcat(arguments);
        EXPECT_EQ(run.status, 1) << run.err;
        EXPECT_NE(run.err.find("junk.zcat is not a catalog file"), std::string::npos) << run.err;
        for (const char *internal : {"PRAGMA", "SELECT", "database", "sqlite", "SQLITE"})
            EXPECT_EQ(run.err.find(internal), std::string::npos) << run.err;
    }
    EXPECT_EQ(read_file("zefdata/junk.zcat"), "this is no catalog, just text that happens to end in .zcat\n");
}

TEST_F(Messages, AWorkThatCannotBeMadeIsSaid) {
    write_file("plain-file", "x");
    Outcome put = zefcat({"put", "work.notes.x.source", "a.txt"}, RunOptions{"", {{"ZEF_WORK", "plain-file/sub"}}, false});
    EXPECT_EQ(put.status, 1);
    EXPECT_NE(put.err.find("WORK's directory plain-file/sub (ZEF_WORK) cannot be made: Not a directory"),
              std::string::npos)
        << put.err;
}

TEST_F(Messages, TimesAreIsoUtcSecondsInTsvAndJsonForEntriesAndCatalogs) {
    std::vector<std::string> catalogs = lines_of(zefcat({"ls", "work"}).out);
    ASSERT_EQ(catalogs.size(), 1u);
    EXPECT_TRUE(std::regex_match(catalogs[0], std::regex("NOTES\t1\t\\d+\t\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ")))
        << catalogs[0];
    nlohmann::json listed = nlohmann::json::parse(zefcat({"ls", "work", "--json"}).out);
    EXPECT_TRUE(std::regex_match(listed[0]["modified"].get<std::string>(), kIsoUtc)) << listed.dump();
    nlohmann::json entries = nlohmann::json::parse(zefcat({"ls", "work.notes", "--json"}).out);
    EXPECT_TRUE(std::regex_match(entries[0]["modified"].get<std::string>(), kIsoUtc)) << entries.dump();
    nlohmann::json info = nlohmann::json::parse(zefcat({"info", "work.notes.kept.source", "--json"}).out);
    EXPECT_TRUE(std::regex_match(info["created"].get<std::string>(), kIsoUtc)) << info.dump();
    EXPECT_TRUE(std::regex_match(info["modified"].get<std::string>(), kIsoUtc)) << info.dump();
    // The same instant in both: the listing's and info's modified agree.
    EXPECT_EQ(info["modified"], entries[0]["modified"]);
}

TEST_F(Messages, TheTableShowsControlCharactersEscaped) {
    ASSERT_EQ(zefcat({"put", "work.notes.ctl.source", "a.txt", "DESC=bell\a tab\t esc\x1b[31m end"}).status, 0);
    Outcome table = zefcat({"ls", "work.notes", "--table"});
    ASSERT_EQ(table.status, 0) << table.err;
    EXPECT_NE(table.out.find("bell\\x07 tab\\t esc\\x1B[31m end"), std::string::npos) << table.out;
    for (char c : table.out) EXPECT_TRUE(c == '\n' || static_cast<unsigned char>(c) >= 0x20) << int(c);
    Outcome info = zefcat({"info", "work.notes.ctl.source"});
    EXPECT_NE(info.out.find("bell\\x07 tab\\t esc\\x1B[31m end"), std::string::npos) << info.out;
    // JSON keeps the description as it is.
    nlohmann::json entries = nlohmann::json::parse(zefcat({"ls", "work.notes", "--json"}).out);
    EXPECT_EQ(entries[0]["description"], "bell\a tab\t esc\x1b[31m end");
}

TEST_F(Messages, VersionHelpAndSuggestions) {
    for (const char *flag : {"--version", "-V"}) {
        Outcome version = zefcat({flag});
        EXPECT_EQ(version.status, 0) << version.err;
        EXPECT_TRUE(std::regex_match(version.out, std::regex("zefcat \\d+\\.\\d+\\.\\d+\n"))) << version.out;
    }
    Outcome help = zefcat({"help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out, zefcat({"--help"}).out);
    Outcome help_rm = zefcat({"help", "rm"});
    EXPECT_EQ(help_rm.status, 0);
    EXPECT_EQ(help_rm.out, zefcat({"rm", "--help"}).out);

    const MessageCase cases[] = {
        {{"putt", "work.notes.x.source"}, 2, "zefcat: putt is not a command; did you mean put? (zefcat --help lists them)"},
        {{"lss"}, 2, "lss is not a command; did you mean ls?"},
        {{"gte", "work.notes.kept.source"}, 2, "did you mean get?"},
        {{"hlep"}, 2, "did you mean help?"},
        {{"frobnicate"}, 2, "zefcat: frobnicate is not a command (zefcat --help lists them)"},
        {{"help", "nope"}, 2, "nope is not a command"},
        {{}, 2, "zefcat: name a command (zefcat --help lists them)"},
    };
    for (const MessageCase &c : cases) {
        Outcome run = zefcat(c.arguments);
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
    }
}

// Output that cannot be written (a full device behind standard output) is a
// failure of the command, whatever it was printing.
TEST_F(Messages, StandardOutputThatCannotBeWrittenFailsTheCommand) {
    if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full here";
    for (const char *command : {"ls work", "ls work.notes --json", "about", "get work.notes.kept.source"}) {
        SCOPED_TRACE(command);
        std::string script = "cd '" + directory.path().string() + "' && env -u ZEF_WORK -u ZEF_LIBRARIES '" +
                             zefcat_path() + "' " + command + " >/dev/full 2>err.txt; echo $? >status.txt";
        ASSERT_EQ(std::system(script.c_str()), 0);
        EXPECT_EQ(read_file("status.txt"), "1\n");
        EXPECT_NE(read_file("err.txt").find("standard output"), std::string::npos) << read_file("err.txt");
    }
}

}  // namespace
}  // namespace zefcat_test
