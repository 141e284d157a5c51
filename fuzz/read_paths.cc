#include "read_paths.h"

#include <cstdlib>
#include <iterator>
#include <string>
#include <vector>

#include "zefhost/catalog/services.h"
#include "zefhost/option_statement.h"
#include "zefxbaml/routine_table.h"
#include "zefxbaml/status.h"
#include "zefxbaml/stream_block.h"

namespace zeffuzz {

namespace {

// Writes an entry through the host's catalog routines.
void store_entry(Harness &h, void *catalog, const char *name, const char *type, uint16_t code,
           const std::vector<std::string> &blocks) {
    zef::MemberRequest member{};
    member.catalog_handle = catalog;
    member.entry_name_length = static_cast<int16_t>(std::strlen(name));
    std::memset(member.entry_name, ' ', sizeof member.entry_name);
    std::memcpy(member.entry_name, name, std::strlen(name));
    std::memcpy(member.entry_type, Name8(type).text, 8);
    member.member_mode = zef::kMemberOutput;
    void *entry = nullptr;
    if (h.host_routine<zef::proto::ylmopen>(zef::routine::ylmopen, &member, &entry) != 0) std::abort();
    for (const std::string &b : blocks) {
        zef::TransferRequest transfer{};
        transfer.buffer = const_cast<char *>(b.data());
        transfer.length = static_cast<int64_t>(b.size());
        transfer.record_code = code;
        if (h.host_routine<zef::proto::ylmwrit>(zef::routine::ylmwrit, entry, &transfer) != 0) std::abort();
    }
    if (h.host_routine<zef::proto::ylmclos>(zef::routine::ylmclos, entry, 0) != 0) std::abort();
}

// The valid catalog every input starts from, as bytes: three entries, one
// of lines, one binary with a block larger than a chunk, one of text over
// several chunks.
zefhost::OptionBlockHandle options_for(Harness &h, uint8_t how) {
    if ((how & 3) == 0) return {};
    const char *text = (how & 3) == 1 ? "nbyte=count" : (how & 3) == 2 ? "lrecl=100" : "recfm=s nbyte=count";
    zefhost::ParsedOptions parsed = zefhost::parse_option_statement(h.module, text);
    if (parsed.status != zef::kOk) std::abort();
    return std::move(parsed.block);
}

// Reads, notes and points as the input says; at most `limit` calls.
void exercise(Harness &h, zef::StreamBlock *stream, Input &in, int limit) {
    auto read = h.slot<zef::fn::yxlread>(18);
    auto note = h.slot<zef::fn::yxlnote>(12);
    auto point = h.slot<zef::fn::yxlpnt>(13);
    zef::RoutineTable *table = nullptr;
    h.slot<zef::fn::yxlamvc>(35)(stream, &table);
    int64_t noted = 0;
    for (int n = 0; n < limit; ++n) {
        uint8_t op = in.empty() ? 0 : in.byte();
        char *data = nullptr;
        int64_t length = 0;
        char carriage = 0;
        int32_t status = zef::kOk;
        switch (op % 8) {
        case 0: case 1: case 2:
            status = read(stream, &data, &length, &carriage);
            break;
        case 3:
            length = op >> 3;
            status = read(stream, &data, &length, &carriage);
            break;
        case 4:
            if (table != nullptr) status = table->read(stream, &data, &length, &carriage);
            break;
        case 5:
            note(stream, &noted);
            break;
        case 6:
            point(stream, noted);
            break;
        case 7:
            point(stream, static_cast<int64_t>(in.u32()));
            break;
        }
        // What was delivered is read whole: a length past the data shows under ASan.
        if (status == zef::kOk && data != nullptr && length > 0) {
            volatile char sink = 0;
            for (int64_t i = 0; i < length; ++i) sink = sink ^ data[i];
        }
        if (status != zef::kOk && status != zef::kRecordTruncated && in.empty()) return;
    }
}

}  // namespace

void make_sample_catalog(Harness &h, const char *name) {
    zef::LibraryRequest library{};
    std::memcpy(library.libref, Name8(kLibrary).text, 8);
    library.catalog_name_length = static_cast<int16_t>(std::strlen(name));
    std::memset(library.catalog_name, ' ', sizeof library.catalog_name);
    std::memcpy(library.catalog_name, name, std::strlen(name));
    library.library_mode = zef::kLibraryWrite;
    void *catalog = nullptr;
    if (h.host_routine<zef::proto::ylopen>(zef::routine::ylopen, &library, &catalog) != 0) std::abort();
    std::vector<std::string> lines, binary, text;
    for (int i = 0; i < 40; ++i) lines.push_back("line " + std::to_string(i) + std::string(i % 7, '.'));
    binary = {"GIF89a", std::string(70000, '\x5A'), "", std::string(300, '\x01')};
    for (int i = 0; i < 260; ++i) text.push_back(std::string(static_cast<size_t>(i % 13) * 40, 'a' + i % 26));
    store_entry(h, catalog, "A", "SOURCE", zef::kCodeLine, lines);
    if (h.host_routine<zef::proto::ylclose>(zef::routine::ylclose, catalog, 0) != 0) std::abort();
    // B and C compressed: damage then reaches the decompression of their chunks.
    h.host.catalogs().set_compress_writes(true);
    if (h.host_routine<zef::proto::ylopen>(zef::routine::ylopen, &library, &catalog) != 0) std::abort();
    store_entry(h, catalog, "B", "GIF", zef::kCodeBinary, binary);
    store_entry(h, catalog, "C", "HTML", zef::kCodeText, text);
    if (h.host_routine<zef::proto::ylclose>(zef::routine::ylclose, catalog, 0) != 0) std::abort();
    h.host.catalogs().set_compress_writes(std::nullopt);
}

void read_entry(Harness &h, Input &in, const char *catalog) {
    uint8_t how = in.byte();
    std::string physical = std::string(kLibrary) + "." + catalog + "." + kEntries[how % 3];
    Name8 fileref("IN");
    if (h.slot<zef::fn::yxlasgn>(0)(fileref, nullptr, zef::kMethodName, physical.data(),
                                     static_cast<int32_t>(physical.size()), nullptr) != zef::kOk)
        std::abort();
    static const uint32_t kFormats[] = {0, zef::kRecordFixed, zef::kRecordVariable, zef::kRecordPrint,
                                        zef::kRecordPrint | zef::kRecordFixed, zef::kRecordStream};
    zef::OpenRequest request{};
    request.open_mode = (how & 0x80) ? zef::kOpenUpdate : zef::kOpenInput;
    request.record_format = kFormats[(how >> 2) % std::size(kFormats)];
    request.lrecl = in.byte() % 4 == 0 ? 0 : in.byte();
    h.host.set_variable("COUNT", in.byte() % 80);
    zefhost::OptionBlockHandle options = options_for(h, in.byte());
    request.option_block = options.get();
    zef::StreamBlock *stream = nullptr;
    int32_t status = h.slot<zef::fn::yxlopn>(11)(&stream, fileref, nullptr, &request);
    if (status == zef::kOk || status == zef::kNbyteUnbound) options.take();
    if (status == zef::kOk) {
        exercise(h, stream, in, 200);
        h.slot<zef::fn::yxlcls>(21)(stream);
    }
}

void read_members(Harness &h, Input &in, const char *catalog) {
    std::string physical = std::string(kLibrary) + "." + catalog;
    Name8 fileref("CAT");
    if (h.slot<zef::fn::yxlasgn>(0)(fileref, nullptr, zef::kMethodName, physical.data(),
                                     static_cast<int32_t>(physical.size()), nullptr) != zef::kOk)
        return;
    zef::DirectoryHandle *dir = nullptr;
    if (h.slot<zef::fn::yxldopn>(26)(&dir, fileref, nullptr) != zef::kOk) return;
    void *cell = nullptr;
    for (int n = 0; n < 8; ++n) {
        char name[40];
        int32_t length = 0;
        char type[8];
        if (h.slot<zef::fn::yxldnxt>(25)(&cell, dir, name, &length, type) != zef::kOk) break;
        if (length < 0 || length > 32) std::abort();
        if (in.byte() & 1) continue;
        h.slot<zef::fn::yxlmex>(28)(dir, name, length, type);
        zef::OpenRequest request{};
        request.open_mode = zef::kOpenInput;
        request.record_format = (in.byte() & 1) ? zef::kRecordStream : 0;
        zef::StreamBlock *stream = nullptr;
        if (h.slot<zef::fn::yxlmopn>(29)(&stream, dir, name, length, type, &request) == zef::kOk) {
            exercise(h, stream, in, 40);
            h.slot<zef::fn::yxlmcls>(27)(stream);
        }
    }
    h.slot<zef::fn::yxldcls>(22)(dir);
}

}  // namespace zeffuzz
