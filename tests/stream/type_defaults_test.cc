// Entry-type defaults: which of the open's options, the assignment's options
// and the open request settles each part of a stream's record shape, and the
// lengths that come out, as the stream of an open shows them.
#include "stream/stream_fixture.h"
#include "zefhost/encodings.h"

namespace stream_test {
namespace {

class TypeDefaults : public StreamTest {};

struct Shape {
    const char *what;
    const char *type;         // of a new entry
    const char *assigned;     // the assignment's options
    const char *opened;       // the open's options
    uint32_t mode;            // the open request's fields
    uint32_t record_format;
    int64_t lrecl;
    bool default_usable;      // the host's default record length (256)
    // What the stream gets.
    int64_t record_limit, block_length, effective_lrecl;
    uint32_t format;
    int32_t member_mode;
    uint32_t open_flags;
};

// Every entry here is new, so the lengths come from options, request or default.
const Shape kNewEntryShapes[] = {
    {"line type, nothing given", "source", "", "", zef::kOpenOutput, 0, 0, false,
     132, 132, 131, 0, zef::kMemberOutput, zef::kOpenOutput},
    {"line type, RECFM=P", "source", "", "recfm=p", zef::kOpenOutput, 0, 0, false,
     132, 132, 129, 0x11, zef::kMemberOutput, zef::kOpenOutput},
    {"line type with ATTR keeps its length", "log", "attr", "", zef::kOpenOutput, 0, 80, true,
     80, 80, 80, 0, zef::kMemberOutput, zef::kOpenOutput},
    {"P and F on a binary type", "gif", "", "", zef::kOpenOutput, 0x19, 80, true,
     80, 80, 79, 0x19, zef::kMemberOutput, zef::kOpenOutput},
    {"open's LRECL first", "html", "lrecl=200", "lrecl=100", zef::kOpenOutput, 0, 300, true,
     100, 100, 100, 0, zef::kMemberOutput, zef::kOpenOutput},
    {"then the assignment's", "html", "lrecl=200", "", zef::kOpenOutput, 0, 300, true,
     200, 200, 200, 0, zef::kMemberOutput, zef::kOpenOutput},
    {"then the request's", "html", "", "", zef::kOpenOutput, 0, 300, true,
     300, 300, 300, 0, zef::kMemberOutput, zef::kOpenOutput},
    {"then the host's default", "html", "", "", zef::kOpenOutput, 0, 0, true,
     256, 256, 256, 0, zef::kMemberOutput, zef::kOpenOutput},
    {"negative request used by its size", "html", "", "", zef::kOpenOutput, 0, -90, false,
     90, 90, 90, 0, zef::kMemberOutput, zef::kOpenOutput},
    {"open's RECFM before the assignment's and the request's", "csv", "recfm=f", "recfm=v",
     zef::kOpenOutput, 0x02, 50, true, 50, 50, 50, 0x20, zef::kMemberOutput, zef::kOpenOutput},
    {"assignment's RECFM before the request's", "csv", "recfm=f", "", zef::kOpenOutput, 0x02,
     50, true, 50, 50, 50, 0x08, zef::kMemberOutput, zef::kOpenOutput},
    {"MOD on the open makes output append", "xml", "", "mod", zef::kOpenOutput, 0, 60, true,
     60, 60, 60, 0, zef::kMemberAppend, zef::kOpenAppend},
    {"MOD at assignment too", "xml", "mod", "", zef::kOpenOutput, 0, 60, true,
     60, 60, 60, 0, zef::kMemberAppend, zef::kOpenAppend},
    {"ENCODING at assignment forces S", "xml", "encoding=utf8", "recfm=f", zef::kOpenOutput,
     0x08, 60, true, 60, 60, 60, 0x02, zef::kMemberOutput, zef::kOpenOutput | zef::kOpenEncoded},
    {"ENCODING on the open only marks the stream", "xml", "", "recfm=f encoding=latin1",
     zef::kOpenOutput, 0, 60, true, 60, 60, 60, 0x08, zef::kMemberOutput,
     zef::kOpenOutput | zef::kOpenEncoded},
};

TEST_F(TypeDefaults, ShapeOfNewEntries) {
    watch_catalog_opens();
    int n = 0;
    for (const Shape &c : kNewEntryShapes) {
        SCOPED_TRACE(c.what);
        host.set_default_lrecl_usable(c.default_usable);
        std::string entry = "c.e" + std::to_string(++n) + "." + c.type;
        ASSERT_EQ(assign_entry("SHAPE", entry, c.assigned), zef::kOk);
        OpenSpec how{c.mode, c.record_format, c.lrecl, c.opened};
        Opened out = open("SHAPE", how);
        ASSERT_EQ(out.status, zef::kOk) << insert();
        const zef::StreamBlock *s = out.stream;
        EXPECT_EQ(s->record_limit, c.record_limit);
        EXPECT_EQ(zef::stream_block_length(s), c.block_length);
        EXPECT_EQ(zef::stream_lrecl(s), c.effective_lrecl);
        EXPECT_EQ(out.request.lrecl, c.effective_lrecl);
        EXPECT_EQ(zef::stream_record_format(s), c.format);
        EXPECT_EQ(last_entry_open.request.member_mode, c.member_mode);
        // An encoded stream hands its encoding back; any other none.
        EXPECT_EQ(out.request.encoding != 0, (c.open_flags & zef::kOpenEncoded) != 0);
        EXPECT_EQ(close(out.stream), zef::kOk);
        ASSERT_EQ(deassign("SHAPE"), zef::kOk);
    }
    expect_clean();
}

TEST_F(TypeDefaults, EncodingIdentifierGoesBackInTheOpenRequest) {
    ASSERT_EQ(assign_entry("ENC", "c.enc.xml", "encoding=utf8"), zef::kOk);
    Opened out = open("ENC", {zef::kOpenOutput, 0, 0, "encoding=ascii"});
    ASSERT_EQ(out.status, zef::kOk);
    EXPECT_EQ(out.request.encoding, zefhost::kEncodingAscii);  // the open's, before the assignment's
    EXPECT_EQ(zef::stream_record_format(out.stream), zef::kRecordStream);
    EXPECT_NE(out.stream->stream_buffer, nullptr);
    EXPECT_EQ(close(out.stream), zef::kOk);
    expect_clean();
}

TEST_F(TypeDefaults, ExistingEntriesAreReadWithTheirLongestBlock) {
    store_entry("C", "PICTURE", "GIF", {std::string(5000, 'g'), std::string(10, 'h')});
    store_entry("C", "SHORT", "HTML", {"<p>"});
    ASSERT_EQ(assign_entry("PIC", "c.picture.gif"), zef::kOk);
    ASSERT_EQ(assign_entry("SHORT", "c.short.html"), zef::kOk);
    host.set_default_lrecl_usable(false);

    struct Case {
        const char *fileref;
        uint32_t mode;
        int64_t request_lrecl;
        int64_t record_limit, block_length;
    };
    for (Case c : {Case{"PIC", zef::kOpenInput, 0, 5000, 5000},
                   Case{"PIC", zef::kOpenInput, -6000, 6000, 6000},
                   Case{"PIC", zef::kOpenInput, 80, 80, 5000},
                   Case{"PIC", zef::kOpenUpdate, 80, 80, 5000},
                   Case{"PIC", zef::kOpenAppend, 80, 80, 5000},
                   Case{"SHORT", zef::kOpenInput, 0, 132, 132}}) {
        SCOPED_TRACE(std::string(c.fileref) + " mode " + std::to_string(c.mode) + " lrecl " +
                     std::to_string(c.request_lrecl));
        Opened opened = open(c.fileref, {c.mode, 0, c.request_lrecl});
        ASSERT_EQ(opened.status, zef::kOk) << insert();
        EXPECT_EQ(opened.stream->record_limit, c.record_limit);
        EXPECT_EQ(zef::stream_block_length(opened.stream), c.block_length);
        EXPECT_GE(opened.stream->stream_buffer_size, c.block_length);
        EXPECT_EQ(close(opened.stream), zef::kOk);
    }
    // Appending to an entry not there yet takes the length given.
    ASSERT_EQ(assign_entry("NEW", "c.new.gif"), zef::kOk);
    Opened fresh = open("NEW", {zef::kOpenAppend, 0, 80});
    ASSERT_EQ(fresh.status, zef::kOk);
    EXPECT_EQ(zef::stream_block_length(fresh.stream), 80);
    EXPECT_EQ(close(fresh.stream), zef::kOk);
    expect_clean();
}

TEST_F(TypeDefaults, ModHasNoEffectOnInput) {
    store_entry("C", "TEXT", "CSV", {"a,b"});
    ASSERT_EQ(assign_entry("IN", "c.text.csv", "mod"), zef::kOk);
    watch_catalog_opens();
    Opened in = open("IN", {zef::kOpenInput, 0, 0, "mod"});
    ASSERT_EQ(in.status, zef::kOk);
    EXPECT_EQ(last_entry_open.request.member_mode, zef::kMemberInput);
    EXPECT_EQ(read(in.stream).data, "a,b");
    EXPECT_EQ(close(in.stream), zef::kOk);
    expect_clean();
}

TEST_F(TypeDefaults, TypesOutsideTheTableAreOnlyRead) {
    store_entry("C", "ODD", "BOGUS", {"kept"});
    ASSERT_EQ(assign_entry("ODD", "c.odd.bogus"), zef::kOk);
    for (uint32_t mode : {zef::kOpenOutput, zef::kOpenAppend, zef::kOpenUpdate}) {
        host.clear_inserts();
        Opened refused = open("ODD", mode);
        EXPECT_EQ(refused.status, zef::kNameUnsuitable) << mode;
        EXPECT_EQ(refused.stream, nullptr);
        EXPECT_EQ(insert(), message(1)) << mode;
        EXPECT_EQ(record("ODD")->open_count, 0);
        expect_nothing_open();
    }
    Opened in = open("ODD", zef::kOpenInput);
    ASSERT_EQ(in.status, zef::kOk);
    EXPECT_EQ(read(in.stream).data, "kept");
    EXPECT_EQ(close(in.stream), zef::kOk);
    expect_clean();
}

TEST_F(TypeDefaults, EntryThatCannotBeDescribedFailsReadAndUpdateOnly) {
    ASSERT_EQ(assign_entry("GONE", "c.gone.html"), zef::kOk);
    store_entry("C", "OTHER", "HTML", {"x"});
    for (uint32_t mode : {zef::kOpenInput, zef::kOpenUpdate}) {
        Opened missing = open("GONE", mode);
        EXPECT_EQ(missing.status, zef::kCatalogEntryMissing) << mode;
        EXPECT_EQ(missing.stream, nullptr);
        expect_nothing_open();
    }
    expect_clean();
}

TEST_F(TypeDefaults, DescriptionOfTheOpenBeforeTheAssignments) {
    ASSERT_EQ(assign_entry("DESC", "c.d.html", "desc='from the assignment'"), zef::kOk);
    watch_catalog_opens();
    const zef::MemberRequest &asked = last_entry_open.request;
    Opened own = open("DESC", {zef::kOpenOutput, 0, 0, "desc='from the open'"});
    ASSERT_EQ(own.status, zef::kOk);
    EXPECT_EQ(field(asked.description, asked.description_length), "from the open");
    EXPECT_EQ(close(own.stream), zef::kOk);
    Opened inherited = open("DESC", {zef::kOpenOutput, 0, 0, "lrecl=10"});
    ASSERT_EQ(inherited.status, zef::kOk);
    EXPECT_EQ(field(asked.description, asked.description_length), "from the assignment");
    EXPECT_EQ(close(inherited.stream), zef::kOk);
    expect_clean();
}

}  // namespace
}  // namespace stream_test
