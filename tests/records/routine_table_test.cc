// yxlamvc (slot 35): the routine table of a stream.
#include "records_fixture.h"

namespace records_test {
namespace {

class RoutineTables : public RecordsTest {
protected:
    void *slot_routine(int slot) { return module.vector()[slot].routine; }
};

// The line routines for the three line types exactly; the general ones for
// every other type, including one that only begins like a line type.
TEST_F(RoutineTables, RoutinesByEntryType) {
    struct Case {
        const char *type;
        bool lines;
    } cases[] = {{"LOG", true}, {"SOURCE", true}, {"OUTPUT", true}, {"HTML", false}, {"SOURCE1", false}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.type);
        store("TABLES", c.type, {{145, "x"}});
        assign_to("IN", "TABLES", c.type);
        zef::StreamBlock *in = open_ok("IN", zef::kOpenInput);
        ASSERT_NE(in, nullptr);
        zef::RoutineTable *table = nullptr;
        ASSERT_EQ(routine_table_slot(in, &table), zef::kOk);
        EXPECT_EQ(table->stream, in);
        EXPECT_EQ(reinterpret_cast<void *>(table->read) == slot_routine(18), !c.lines);
        EXPECT_EQ(reinterpret_cast<void *>(table->write) == slot_routine(19), !c.lines);
        EXPECT_EQ(reinterpret_cast<void *>(table->note), slot_routine(12));
        EXPECT_EQ(reinterpret_cast<void *>(table->point), slot_routine(13));
        EXPECT_EQ(table->slot15, slot_routine(15));
        EXPECT_EQ(table->slot17, slot_routine(17));
        // The line read skips the control byte; the general read does not.
        EXPECT_EQ(read_with(table->read, in).data, c.lines ? "" : "x");
        EXPECT_EQ(close(in), zef::kOk);
        ASSERT_EQ(deassign("IN"), zef::kOk);
    }
    expect_clean();
}

// A second table becomes the stream's, but the first stays usable until the
// close, which releases both (the host may still hold and call through the
// first); a refused one leaves the stream with the table it had.
TEST_F(RoutineTables, SecondCallAndRefusal) {
    assign_to("OUT", "TABLES", "HTML");
    zef::StreamBlock *out = open_ok("OUT", zef::kOpenOutput);
    zef::RoutineTable *first = routine_table(out);
    int64_t outstanding = host.storage_pool().blocks_outstanding();
    zef::RoutineTable *second = routine_table(out);
    EXPECT_NE(second, first);
    EXPECT_EQ(second->stream, out);
    EXPECT_EQ(host.storage_pool().blocks_outstanding(), outstanding + 1);
    EXPECT_EQ(write_with(first->write, out, "through the first"), zef::kOk);
    EXPECT_EQ(first->stream, out);
    outstanding += 1;

    host.storage_pool().refuse_nth(1);
    zef::RoutineTable *untouched = first;
    EXPECT_EQ(routine_table_slot(out, &untouched), zef::kNoStorage);
    EXPECT_EQ(untouched, first);
    EXPECT_EQ(host.storage_pool().blocks_outstanding(), outstanding);
    EXPECT_EQ(write_with(second->write, out, "through the second"), zef::kOk);

    EXPECT_EQ(routine_table_slot(nullptr, &untouched), zef::kNullHandle);
    EXPECT_EQ(close(out), zef::kOk);
    expect_clean();  // both tables went with the stream
}

}  // namespace
}  // namespace records_test
