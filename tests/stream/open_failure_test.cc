// Opens that fail: storage refused at each request, each host call failing
// in turn, the NBYTE variable that cannot be bound. Every failure gives its
// status, leaves no stream, no count on the fileref, nothing open in the
// host and nothing obtained.
#include "stream/stream_fixture.h"
#include "zefxbaml/routine_table.h"

namespace stream_test {
namespace {

constexpr int32_t kHostFailure = zef::kCatalogIoFailure;

class FailingOpen : public StreamTest {
protected:
    void expect_nothing_left(const Opened &opened, std::string_view fileref) {
        EXPECT_EQ(opened.stream, nullptr);
        if (zef::FilerefRecord *r = record(fileref)) {
            EXPECT_EQ(r->open_count, 0);
        }
        expect_nothing_open();
    }
};

TEST_F(FailingOpen, StorageRefusedAtEachRequest) {
    store_entry("C", "OLD", "SOURCE", {std::string(20, 's')}, zef::kCodeLine);
    ASSERT_EQ(assign_entry("BYTES", "c.new.csv", "recfm=s lrecl=100"), zef::kOk);
    ASSERT_EQ(assign_entry("LINES", "c.old.source"), zef::kOk);
    PoolMark assigned = mark();
    struct Case {
        const char *fileref;
        OpenSpec how;
        int obtains;  // block and buffers
    };
    for (const Case &c : {Case{"BYTES", {zef::kOpenOutput}, 3},
                          Case{"LINES", {zef::kOpenUpdate, 0, 200, "recfm=p"}, 2}}) {
        SCOPED_TRACE(c.fileref);
        int n = 1;
        for (;; ++n) {
            host.storage_pool().refuse_nth(n);
            Opened opened = open(c.fileref, c.how);
            host.storage_pool().refuse_nth(0);
            if (opened.status == zef::kOk) {
                EXPECT_EQ(close(opened.stream), zef::kOk);
                break;
            }
            EXPECT_EQ(opened.status, zef::kNoStorage) << "refusing obtain " << n;
            expect_nothing_left(opened, c.fileref);
            expect_pools_back(assigned);
            ASSERT_LT(n, 10);
        }
        EXPECT_EQ(n, c.obtains + 1);
    }
    expect_clean();
}

TEST_F(FailingOpen, EachHostCallFailingInTurn) {
    store_entry("C", "OLD", "HTML", {"<p>one</p>", "<p>two</p>"});
    ASSERT_EQ(assign_entry("OLD", "c.old.html", "lrecl=80"), zef::kOk);
    PoolMark assigned = mark();
    enum Where { kAtOpen, kAtClose, kNowhere };
    struct Case {
        zef::RoutineAddress routine;
        const char *name;
        uint32_t mode;
        Where where;
    };
    const Case cases[] = {
        {zef::routine::yxam2am, "yxam2am", zef::kOpenAppend, kAtOpen},
        {zef::routine::ylopen, "ylopen", zef::kOpenAppend, kAtOpen},
        {zef::routine::ylminfo, "ylminfo for input", zef::kOpenInput, kAtOpen},
        {zef::routine::ylminfo, "ylminfo for update", zef::kOpenUpdate, kAtOpen},
        // Appending to an entry that cannot be described is not an error.
        {zef::routine::ylminfo, "ylminfo for append", zef::kOpenAppend, kNowhere},
        {zef::routine::ylmopen, "ylmopen", zef::kOpenAppend, kAtOpen},
        {zef::routine::ylmpoin, "ylmpoin", zef::kOpenAppend, kAtOpen},
        {zef::routine::ylclose, "ylclose", zef::kOpenAppend, kAtClose},
        // Last: the host keeps an entry whose close it refused.
        {zef::routine::ylmclos, "ylmclos", zef::kOpenAppend, kAtClose},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        host.fail_call(c.routine, kHostFailure);
        Opened opened = open("OLD", c.mode);
        if (c.where == kAtOpen) {
            EXPECT_EQ(opened.status, kHostFailure);
            expect_nothing_left(opened, "OLD");
        } else {
            ASSERT_EQ(opened.status, zef::kOk);
            EXPECT_EQ(close(opened.stream), c.where == kAtClose ? kHostFailure : zef::kOk);
            EXPECT_EQ(record("OLD")->open_count, 0);
        }
        host.clear_failures();
        expect_pools_back(assigned);
    }
    // The default record length is only asked for, never relied on.
    ASSERT_EQ(assign_entry("NEW", "c.new.catams"), zef::kOk);
    host.fail_call(zef::routine::yyrn6gf, kHostFailure);
    Opened fresh = open("NEW", zef::kOpenOutput);
    ASSERT_EQ(fresh.status, zef::kOk);
    EXPECT_EQ(write(fresh.stream, ""), zef::kOk);
    EXPECT_EQ(close(fresh.stream), zef::kOk);
    deassign_all();
    expect_pools_back();
}

TEST_F(FailingOpen, FailureAfterTheEntryOpenedLeavesItFreeForTheNextWriter) {
    ASSERT_EQ(assign_entry("SHARED", "c.shared.log", "lrecl=80"), zef::kOk);
    host.fail_call(zef::routine::ylmpoin, kHostFailure);
    EXPECT_EQ(open("SHARED", zef::kOpenAppend).status, kHostFailure);
    expect_nothing_open();

    Opened writer = open("SHARED", zef::kOpenOutput);
    ASSERT_EQ(writer.status, zef::kOk) << host.catalogs().last_error();
    EXPECT_EQ(write(writer.stream, "after"), zef::kOk);
    EXPECT_EQ(close(writer.stream), zef::kOk);
    expect_clean();
}

TEST_F(FailingOpen, WritableStreamWithoutLengthsStillGetsABuffer) {
    host.set_default_lrecl(0);
    ASSERT_EQ(assign_entry("EMPTY", "c.marks.catams"), zef::kOk);
    Opened out = open("EMPTY", zef::kOpenOutput);
    ASSERT_EQ(out.status, zef::kOk);
    EXPECT_EQ(out.stream->record_limit, 0);
    EXPECT_EQ(zef::stream_block_length(out.stream), 0);
    EXPECT_EQ(write(out.stream, ""), zef::kOk);  // into its buffer
    EXPECT_EQ(close(out.stream), zef::kOk);

    Opened in = open("EMPTY", zef::kOpenInput);
    ASSERT_EQ(in.status, zef::kOk);
    Read marker = read(in.stream);
    EXPECT_EQ(marker.status, zef::kOk);
    EXPECT_EQ(marker.data, "");
    EXPECT_EQ(zef::stream_record_code(in.stream), zef::kCodeEmptyCatams);
    EXPECT_EQ(close(in.stream), zef::kOk);
    expect_clean();
}

TEST_F(FailingOpen, PrintLinesOfAnUpdateFitTheirBuffer) {
    // The entry's blocks are shorter than the lines asked for.
    store_entry("C", "SHORT", "SOURCE", {std::string("\0ab", 3)}, zef::kCodeLine);
    ASSERT_EQ(assign_entry("UPD", "c.short.source"), zef::kOk);
    Opened upd = open("UPD", {zef::kOpenUpdate, 0x11, 400});
    ASSERT_EQ(upd.status, zef::kOk);
    zef::StreamBlock *s = upd.stream;
    EXPECT_EQ(zef::stream_block_length(s), 132);
    EXPECT_EQ(s->record_limit, 400);
    EXPECT_GE(s->stream_buffer_size, zef::stream_lrecl(s) + 2);
    EXPECT_GE(s->stream_buffer_size, s->record_limit);

    // The line write puts a zero byte and the carriage byte ahead of lrecl
    // bytes of text; the general write the carriage byte alone.
    zef::RoutineTable *table = nullptr;
    ASSERT_EQ(routine_table_slot(s, &table), zef::kOk);
    std::string line(static_cast<size_t>(zef::stream_lrecl(s)), 'x');
    EXPECT_EQ(table->write(s, line.data(), zef::stream_lrecl(s), 3), zef::kOk);
    EXPECT_EQ(write(s, line, '1'), zef::kOk);
    EXPECT_EQ(close(s), zef::kOk);
    expect_clean();
}

class NbyteBinding : public FailingOpen {
protected:
    void SetUp() override {
        store_entry("C", "RUNS", "CSV", {"0123456789"});
        host.set_variable("COUNT", 4);
        ASSERT_EQ(assign_entry("RUNS", "c.runs.csv"), zef::kOk);
    }

    // Parses the NBYTE options while the variable exists, then removes the
    // variable and opens. The option block stays in Opened::options.
    Opened open_after_variable_gone(uint32_t flags = 0) {
        zefhost::ParsedOptions parsed = parse("recfm=s nbyte=count", flags);
        EXPECT_EQ(parsed.status, zef::kOk);
        host.remove_variable("COUNT");
        Opened opened;
        opened.request.open_mode = zef::kOpenInput;
        opened.request.option_block = parsed.block.get();
        opened.status = open_slot(&opened.stream, Name8("RUNS"), nullptr, &opened.request);
        opened.options = std::move(parsed.block);
        return opened;
    }
};

TEST_F(NbyteBinding, BoundForStreamInputOnly) {
    Opened in = open("RUNS", {zef::kOpenInput, 0, 0, "recfm=s nbyte=count"});
    ASSERT_EQ(in.status, zef::kOk);
    EXPECT_EQ(read(in.stream).data, "0123");
    host.set_variable("COUNT", 2);  // bound: each read takes the variable's count as it is then
    EXPECT_EQ(read(in.stream).data, "45");
    EXPECT_EQ(close(in.stream), zef::kOk);

    // Unbound, a read takes what it would without the variable.
    for (auto [options, first] : {std::pair{"nbyte=count", "0123456789"}, std::pair{"recfm=s", "0123456789"}}) {
        SCOPED_TRACE(options);
        Opened unbound = open("RUNS", {zef::kOpenInput, 0, 0, options});
        ASSERT_EQ(unbound.status, zef::kOk);
        EXPECT_EQ(read(unbound.stream).data, first);
        EXPECT_EQ(close(unbound.stream), zef::kOk);
    }
    expect_clean();
}

TEST_F(NbyteBinding, VariableGoneByTheOpenIsLoggedAndTheOptionsReleased) {
    Opened gone = open_after_variable_gone();
    EXPECT_EQ(gone.status, zef::kNbyteUnbound);
    expect_nothing_left(gone, "RUNS");
    ASSERT_FALSE(host.log().empty());
    EXPECT_EQ(host.log().back().rfind("566-73:", 0), 0u) << host.log().back();
    gone.options.take();  // the open released it
    expect_clean();
}

// A host's lookup may answer 2 for a variable it cannot bind now: the open
// takes it as unbound, as it does a variable that is gone.
TEST_F(NbyteBinding, LookupThatCannotBindNowFailsTheOpenAlike) {
    zefhost::ParsedOptions parsed = parse("recfm=s nbyte=count");
    ASSERT_EQ(parsed.status, zef::kOk);
    host.variables().answer_next_lookup(2);
    Opened opened;
    opened.request.open_mode = zef::kOpenInput;
    opened.request.option_block = parsed.block.take();
    opened.status = open_slot(&opened.stream, Name8("RUNS"), nullptr, &opened.request);
    EXPECT_EQ(opened.status, zef::kNbyteUnbound);
    expect_nothing_left(opened, "RUNS");
    EXPECT_EQ(host.log().back().rfind("566-73:", 0), 0u) << host.log().back();
    expect_clean();
}

TEST_F(NbyteBinding, OptionsNotOwnedStayWithTheCaller) {
    Opened gone = open_after_variable_gone(zef::kNotOwned);
    EXPECT_EQ(gone.status, zef::kNbyteUnbound);
    expect_nothing_left(gone, "RUNS");
    EXPECT_EQ(gone.options.get()->nbyte_name_length, 5) << "still a live block";
    gone.options.reset();
    expect_clean();
}

TEST_F(NbyteBinding, OptionsStayWhenTheControlBlockIsNotFoundAgain) {
    // The first lookup finds the fileref, the second is the cleanup's.
    host.fail_call(zef::routine::yxam2am, kHostFailure, 2);
    Opened gone = open_after_variable_gone();
    EXPECT_EQ(gone.status, zef::kNbyteUnbound);
    expect_nothing_left(gone, "RUNS");
    EXPECT_EQ(gone.options.get()->kind, zef::kOptionBlockKind) << "still a live block";
    gone.options.reset();
    expect_clean();
}

}  // namespace
}  // namespace stream_test
