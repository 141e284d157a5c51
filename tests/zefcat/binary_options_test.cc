// Binary entries are never changed: the options that would change their
// bytes are refused before anything is written, and every option that is
// taken gives the same bytes back.
#include "zefcat_runner.h"

namespace zefcat_test {
namespace {

class BinaryOptions : public ZefcatTest {
protected:
    void SetUp() override {
        // Several runs, a short last one, and line ends and blanks among the bytes.
        bytes_ = random_bytes(2 * 1024 * 1024 + 333, 11) + "\n \r\n1";
        write_file("picture.png", bytes_);
        write_file("other.bin", "something else");
    }
    std::string bytes_;
};

TEST_F(BinaryOptions, CarriageControlIsRefusedAndNothingIsWritten) {
    ASSERT_EQ(zefcat({"put", "work.pics.kept.png", "other.bin"}).status, 0);
    const std::vector<std::vector<std::string>> refused = {
        {"put", "work.pics.new.png", "picture.png", "--carriage"},
        {"put", "work.pics.new.png", "picture.png", "RECFM=P"},
        {"put", "work.pics.new.gif", "picture.png", "recfm=p"},
        {"put", "work.pics.kept.png", "picture.png", "RECFM=P"},
        {"append", "work.pics.kept.png", "picture.png", "--carriage"},
        {"put", "work.pics.new.pdf", "picture.png", "RECFM=P", "LRECL=100"},
        {"get", "work.pics.kept.png", "--carriage"},
        {"get", "work.pics.kept.png", "RECFM=P", "-o", "out.png"},
    };
    for (const auto &arguments : refused) {
        SCOPED_TRACE(arguments[0] + " " + arguments[1] + " " + arguments.back());
        Outcome run = zefcat(arguments);
        EXPECT_EQ(run.status, 2);
        EXPECT_NE(run.err.find("a binary entry is moved byte for byte and takes no carriage control"),
                  std::string::npos)
            << run.err;
        EXPECT_EQ(run.out, "");
    }
    EXPECT_EQ(zefcat({"exists", "work.pics.new.png"}).status, 1);
    EXPECT_EQ(zefcat({"exists", "work.pics.new.gif"}).status, 1);
    EXPECT_EQ(zefcat({"exists", "work.pics.new.pdf"}).status, 1);
    EXPECT_EQ(zefcat({"get", "work.pics.kept.png"}).out, "something else");
    EXPECT_FALSE(exists("out.png"));

    // The shell refuses it too, in the open's options or the fileref's own.
    Outcome shell = zefcat({"shell", "-k", "-"}, std::string("assign P1 work.pics.shell.png RECFM=P\n"
                                                            "write P1 < picture.png\n"
                                                            "assign P2 work.pics.shell.jpeg\n"
                                                            "open P2 output RECFM=P\n"));
    EXPECT_EQ(shell.status, 2);
    EXPECT_EQ(lines_of(shell.err).size(), 2u) << shell.err;
    EXPECT_EQ(zefcat({"exists", "work.pics.shell.png"}).status, 1);
    EXPECT_EQ(zefcat({"exists", "work.pics.shell.jpeg"}).status, 1);
}

TEST_F(BinaryOptions, EveryOptionTakenGivesTheSameBytesBack) {
    const std::vector<std::vector<std::string>> taken = {
        {},
        {"RECFM=S"},
        {"RECFM=V"},
        {"RECFM=F"},
        {"RECFM=F", "LRECL=80"},
        {"LRECL=1"},
        {"LRECL=80"},
        {"LRECL=5000000"},
        {"BLOCKSIZE=100"},
        {"ENCODING=latin1"},
        {"ENCODING=ebcdic037"},
        {"ATTR"},
        {"CATALOG"},
        {"DESC='A picture'"},
        {"MOD"},
    };
    int number = 0;
    for (const auto &options : taken) {
        std::string entry = "work.pics.p" + std::to_string(++number) + ".png";
        std::string shown;
        for (const std::string &option : options) shown += option + " ";
        SCOPED_TRACE(shown);

        std::vector<std::string> put{"put", entry, "picture.png"};
        put.insert(put.end(), options.begin(), options.end());
        Outcome stored = zefcat(put);
        ASSERT_EQ(stored.status, 0) << stored.err;
        EXPECT_EQ(stored.err, "");

        // Back with a plain get, and with the same options given to get.
        Outcome plain = zefcat({"get", entry});
        EXPECT_EQ(plain.status, 0) << plain.err;
        EXPECT_TRUE(plain.out == bytes_) << "plain get: " << plain.out.size() << " bytes";
        std::vector<std::string> get{"get", entry, "-o", "back.png"};
        for (const std::string &option : options)
            if (option != "MOD" && option.rfind("DESC=", 0) != 0) get.push_back(option);
        Outcome same = zefcat(get);
        EXPECT_EQ(same.status, 0) << same.err;
        EXPECT_TRUE(read_file("back.png") == bytes_) << "get with the options";
    }

    // append adds the same bytes again, whatever it is given.
    ASSERT_EQ(zefcat({"append", "work.pics.p1.png", "picture.png", "LRECL=80", "ENCODING=latin1"}).status, 0);
    EXPECT_TRUE(zefcat({"get", "work.pics.p1.png"}).out == bytes_ + bytes_);
}

}  // namespace
}  // namespace zefcat_test
