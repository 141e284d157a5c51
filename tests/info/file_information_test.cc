// File information by stream and by name, and the information list of a stream.
#include "directory/catalog_fixture.h"

namespace catalog_test {
namespace {

class FileInformationTest : public CatalogTest {
protected:
    // A request whose every byte says "not written".
    static zef::FileInformationRequest untouched() {
        zef::FileInformationRequest request;
        std::memset(&request, 0x5A, sizeof request);
        return request;
    }
    static constexpr uint64_t kUntouchedKind = 0x5A5A5A5A5A5A5A5AULL;
};

TEST_F(FileInformationTest, RecordFormatCodes) {
    struct Case {
        uint32_t format;
        int32_t code;
    };
    const Case cases[] = {
        {zef::kRecordFixed, 0x08},
        {zef::kRecordFixed | zef::kRecordPrint, 0x18},
        {zef::kRecordFixed | zef::kRecordPrint | 0x01, 0x18},  // RECFM=P sets 0x11
        {zef::kRecordVariable, 0x20},
        {zef::kRecordStream, 0x20},
        {0, 0x20},
        {zef::kRecordVariable | zef::kRecordPrint, 0x30},
    };
    zef::StreamBlock stream{};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.format);
        stream.record_format = c.format;
        zef::FileInformationRequest request = untouched();
        ASSERT_EQ(info_slot(&stream, nullptr, nullptr, 0x02, nullptr, &request), zef::kOk);
        EXPECT_EQ(request.record_format_code, c.code);
        EXPECT_EQ(request.lrecl, 0x5A5A5A5A5A5A5A5ALL);
    }
}

TEST_F(FileInformationTest, ByNameFillsNameDeviceAndKindWhateverTheMask) {
    ASSERT_EQ(assign("CAT", "work.lib"), zef::kOk);
    ASSERT_EQ(assign("ENT", "work.lib.prog"), zef::kOk);
    for (std::string_view name : {"cat", "ent"}) {
        SCOPED_TRACE(name);
        zef::FileInformationRequest request = untouched();
        ASSERT_EQ(info_slot(nullptr, Name8(name), nullptr, 0, nullptr, &request), zef::kOk);
        const zef::FilerefRecord *r = record(name == "cat" ? "CAT" : "ENT");
        EXPECT_EQ(request.name, r->full_name);
        EXPECT_EQ(request.name_length, r->full_name_length);
        EXPECT_EQ(field(request.device_type, 8), "CATALOG ");
        EXPECT_EQ(request.kind_flags, kUntouchedKind | (name == "cat" ? 0x2 : 0x4));
        EXPECT_EQ(request.record_format_code, 0x5A5A5A5A);
        EXPECT_EQ(request.host_item_40, 0x5A5A5A5A5A5A5A5ALL);
    }
    EXPECT_EQ(calls(zef::routine::yxal2am), 0);
}

TEST_F(FileInformationTest, ByNameLookupFailuresLeaveTheRequest) {
    zef::FileInformationRequest request = untouched();
    zef::FileInformationRequest expected = untouched();
    EXPECT_EQ(info_slot(nullptr, Name8("nosuch"), nullptr, 0x3F, nullptr, &request),
              zef::kFilerefNotAssigned);
    EXPECT_EQ(calls(zef::routine::yxal2am), 1);
    EXPECT_EQ(inserts(), std::vector<std::string>{"NOSUCH  "});
    host.methods().refuse_unknown_filerefs(true);
    EXPECT_EQ(info_slot(nullptr, Name8("unknown"), nullptr, 0x3F, nullptr, &request),
              zefhost::kFilerefUnknownToHost);
    host.methods().refuse_unknown_filerefs(false);
    host.fail_call(zef::routine::yxam2am, zefhost::kUnknownMethod);
    EXPECT_EQ(info_slot(nullptr, Name8("nosuch"), nullptr, 0x3F, nullptr, &request),
              zefhost::kUnknownMethod);
    EXPECT_EQ(std::memcmp(&request, &expected, sizeof request), 0);
}

TEST_F(FileInformationTest, ByNameThroughTheSecondSearch) {
    zef::AccessMethodBlock *other = nullptr;
    int32_t status = -1;
    module.construct(&other, &status);
    ASSERT_EQ(status, 0);
    constexpr char kOtherMethod[8] = {'Z', 'E', 'F', 'O', 'T', 'H', 'E', 'R'};
    host.register_method_block(kOtherMethod, other);
    Name8 name("ELSEWHER");
    ASSERT_EQ(assign_slot(name, nullptr, kOtherMethod, "work.lib", 8, nullptr), 0);
    host.know_fileref("ELSEWHER", other);

    zef::FileInformationRequest request = untouched();
    ASSERT_EQ(info_slot(nullptr, Name8("elsewher"), nullptr, 0, nullptr, &request), zef::kOk);
    EXPECT_EQ(calls(zef::routine::yxal2am), 1);
    EXPECT_EQ(request.name, other->fileref_list->full_name);
    EXPECT_EQ(request.name_length, other->fileref_list->full_name_length);
    EXPECT_EQ(request.kind_flags, kUntouchedKind | 0x2);

    zef::FilerefRecord *r = other->fileref_list;
    other->fileref_list = nullptr;
    host.storage_pool().release(r);
}

TEST_F(FileInformationTest, StreamsOpenedThroughACatalogAndAnEntryFileref) {
    put_entry("LIB", "prog", "source", {{"text"}});
    ASSERT_EQ(assign("CAT", "work.lib"), zef::kOk);
    ASSERT_EQ(assign("ENT", "work.lib.prog.zef"), zef::kOk);
    zef::DirectoryHandle *dir = open_directory("CAT");
    ASSERT_NE(dir, nullptr);
    OpenSpec fixed;
    fixed.mode = zef::kOpenInput;
    fixed.options = "recfm=f lrecl=40";
    OpenedMember member = open_member(dir, "prog.source", "", fixed);
    ASSERT_EQ(member.status, zef::kOk);
    stream_test::Opened entry = open("ENT", {zef::kOpenInput, zef::kRecordVariable, 0, {}});
    ASSERT_EQ(entry.status, zef::kOk);

    // Mask 0: only the kind flags, ORed into the host's own.
    zef::FileInformationRequest request = untouched();
    ASSERT_EQ(info_slot(member.stream, nullptr, nullptr, 0, nullptr, &request), zef::kOk);
    zef::FileInformationRequest expected = untouched();
    expected.kind_flags |= 0x2;
    EXPECT_EQ(std::memcmp(&request, &expected, sizeof request), 0);

    request = {};
    ASSERT_EQ(info_slot(member.stream, nullptr, nullptr, 0x3F, nullptr, &request), zef::kOk);
    EXPECT_EQ(std::string(request.name, request.name_length), "work.lib.PROG.SOURCE");
    EXPECT_EQ(request.record_format_code, 0x08);
    EXPECT_EQ(request.lrecl, 39);  // a line type without ATTR
    EXPECT_EQ(field(request.device_type, 8), "CATALOG ");
    EXPECT_EQ(request.host_item_32, 0);
    EXPECT_EQ(request.host_item_40, 12);
    EXPECT_EQ(request.kind_flags, 0x2u);

    request = {};
    request.kind_flags = 0x100;  // the host's own bits stay
    ASSERT_EQ(info_slot(entry.stream, nullptr, nullptr, 0x3F, nullptr, &request), zef::kOk);
    EXPECT_EQ(std::string(request.name, request.name_length), "WORK.LIB.PROG.SOURCE");
    EXPECT_EQ(request.record_format_code, 0x20);
    EXPECT_EQ(request.lrecl, zef::stream_lrecl(entry.stream));
    EXPECT_EQ(request.kind_flags, 0x104u);

    EXPECT_EQ(close(entry.stream), zef::kOk);
    EXPECT_EQ(member_close_slot(member.stream), zef::kOk);
    EXPECT_EQ(dir_close_slot(dir), zef::kOk);
    expect_clean();
}

class InformationItemsTest : public CatalogTest {
protected:
    zef::StreamBlock stream{};
    void *catalog = nullptr;

    void SetUp() override {
        make_catalog("LIB");
        catalog = open_catalog("WORK", "LIB", zef::kLibraryInput);
        std::memcpy(stream.full_name, "WORK.LIB.PROG.SOURCE", 20);
        stream.full_name_length = 20;
        stream.catalog_handle = catalog;
        start = mark();
    }
    void TearDown() override {
        close_catalog(catalog);
        expect_pools_back();
    }
};

TEST_F(InformationItemsTest, OneCatalogNameItemAttachedToTheStream) {
    zef::InformationRecord *record = nullptr;
    ASSERT_EQ(info_start_slot(&stream, &record), zef::kOk);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(stream.info_record, record);
    EXPECT_EQ(record->item_count, 1);
    EXPECT_EQ(std::string(record->item_label, record->label_length), "Catalog Name");
    EXPECT_EQ(record->item_value, stream.full_name);
    EXPECT_EQ(record->value_length, 20);
    EXPECT_NE(record->host_word, 0u);  // the host's
    EXPECT_EQ(calls(zef::routine::ylinfsy), 1);

    EXPECT_EQ(info_end_slot(&stream, record), zef::kOk);
    EXPECT_EQ(stream.info_record, nullptr);
    EXPECT_EQ(calls(zef::routine::ylinfsr), 1);
}

TEST_F(InformationItemsTest, HostResultsDecideWhetherTheRecordStays) {
    zef::InformationRecord *record = nullptr;
    host.fail_call(zef::routine::ylinfsy, 7);  // a note: attached all the same
    EXPECT_EQ(info_start_slot(&stream, &record), 7);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(stream.info_record, record);
    host.fail_call(zef::routine::ylinfsr, zef::kCatalogIoFailure);
    EXPECT_EQ(info_end_slot(&stream, record), zef::kCatalogIoFailure);  // released anyway
    EXPECT_EQ(stream.info_record, nullptr);
    EXPECT_EQ(mark().storage, start.storage);

    host.fail_call(zef::routine::ylinfsy, zef::kCatalogIoFailure);
    record = reinterpret_cast<zef::InformationRecord *>(0x1);
    EXPECT_EQ(info_start_slot(&stream, &record), zef::kCatalogIoFailure);
    EXPECT_EQ(record, nullptr);
    EXPECT_EQ(stream.info_record, nullptr);
    EXPECT_EQ(mark().storage, start.storage);

    host.storage_pool().refuse_nth(1);
    record = reinterpret_cast<zef::InformationRecord *>(0x1);
    EXPECT_EQ(info_start_slot(&stream, &record), zef::kNoStorage);
    EXPECT_EQ(record, reinterpret_cast<zef::InformationRecord *>(0x1));
    EXPECT_EQ(calls(zef::routine::ylinfsy), 2);
}

TEST_F(InformationItemsTest, NullStreamOrRecord) {
    zef::InformationRecord *record = nullptr;
    EXPECT_EQ(info_start_slot(nullptr, &record), zef::kNullHandle);
    EXPECT_EQ(info_end_slot(nullptr, nullptr), zef::kNullHandle);
    EXPECT_EQ(info_end_slot(&stream, nullptr), zef::kOk);
    EXPECT_EQ(calls(zef::routine::ylinfsr), 0);
}

TEST_F(InformationItemsTest, EndingAnEarlierRecordKeepsTheLaterOneAttached) {
    zef::InformationRecord *first = nullptr;
    zef::InformationRecord *second = nullptr;
    ASSERT_EQ(info_start_slot(&stream, &first), zef::kOk);
    ASSERT_EQ(info_start_slot(&stream, &second), zef::kOk);
    EXPECT_EQ(stream.info_record, second);
    EXPECT_EQ(info_end_slot(&stream, first), zef::kOk);
    EXPECT_EQ(stream.info_record, second);
    EXPECT_EQ(info_end_slot(&stream, second), zef::kOk);
    EXPECT_EQ(stream.info_record, nullptr);
}

}  // namespace
}  // namespace catalog_test
