// ENCODING=: the host transcodes between UTF-8 and the stream's encoding
// (the module only names it); and the progress line of long copies.
#include "zefcat_runner.h"

namespace zefcat_test {
namespace {

class Encoding : public ZefcatTest {};

TEST_F(Encoding, Latin1IsStoredAsLatin1AndReadBackAsUtf8) {
    const std::string utf8 = "café crème\nnaïve — no\n";  // the dash has no Latin-1 form
    const std::string fits = "café crème\nnaïve\n";
    write_file("fits.txt", fits);
    Outcome put = zefcat({"put", "work.notes.fr.source", "fits.txt", "ENCODING=latin1"});
    ASSERT_EQ(put.status, 0) << put.err;
    // The entry remembers its encoding: a plain get reads it back as UTF-8.
    EXPECT_EQ(zefcat({"get", "work.notes.fr.source"}).out, fits);
    EXPECT_EQ(zefcat({"get", "work.notes.fr.source", "ENCODING=latin1"}).out, fits);
    EXPECT_EQ(zefcat({"get", "work.notes.fr.source", "ENCODING='iso-8859-1'"}).out, fits);

    // A character Latin-1 cannot hold fails the put, which writes nothing.
    write_file("dash.txt", utf8);
    Outcome refused = zefcat({"put", "work.notes.fr.source", "dash.txt", "ENCODING=latin1"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("line 2: the byte sequence at offset 7 is not valid UTF-8 or has no equivalent in ISO-8859-1"),
              std::string::npos)
        << refused.err;
    EXPECT_EQ(zefcat({"get", "work.notes.fr.source", "ENCODING=latin1"}).out, fits);

    // Stream form (RECFM=S) on a text type moves bytes, transcoded all the same.
    ASSERT_EQ(zefcat({"put", "work.notes.fr.xml", "fits.txt", "ENCODING=latin1", "RECFM=S"}).status, 0);
    EXPECT_EQ(zefcat({"get", "work.notes.fr.xml", "ENCODING=latin1", "RECFM=S"}).out, fits);
    // Binary types are never transcoded.
    std::string bytes = random_bytes(3000);
    ASSERT_EQ(zefcat({"put", "work.notes.raw.gif", "-", "ENCODING=latin1"}, bytes).status, 0);
    EXPECT_TRUE(zefcat({"get", "work.notes.raw.gif", "ENCODING=latin1"}).out == bytes);
}

class Progress : public ZefcatTest {};

TEST_F(Progress, LongCopiesShowALineOnATerminalOnly) {
    const std::string big = random_bytes(17 * 1024 * 1024, 5);
    write_file("big.png", big);
    Outcome piped = zefcat({"put", "work.pics.big.png", "big.png"});
    EXPECT_EQ(piped.status, 0);
    EXPECT_EQ(piped.err, "");

    Outcome shown = zefcat({"put", "work.pics.big.png", "big.png"}, RunOptions{{}, {}, true});
    EXPECT_EQ(shown.status, 0) << shown.err;
    EXPECT_NE(shown.err.find("put work.pics.big.png: "), std::string::npos) << shown.err;
    EXPECT_NE(shown.err.find(" of 17.0 MB ("), std::string::npos) << shown.err;
    // The line is wiped at the end: nothing is left on it.
    EXPECT_EQ(shown.err.substr(shown.err.size() - 4), "\r\033[K") << shown.err;

    Outcome small = zefcat({"put", "work.pics.small.png", "-"}, RunOptions{"tiny", {}, true});
    EXPECT_EQ(small.err, "");
    EXPECT_TRUE(zefcat({"get", "work.pics.big.png"}).out == big);
}

}  // namespace
}  // namespace zefcat_test
