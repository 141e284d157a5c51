// Request blocks exchanged with the host's catalog services, byte for byte as
// the host reads them. The module fills them; the stand-in host's catalog
// routines read them through the same declarations. Every field the module
// does not name stays zero.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zef {

// ylopen: which catalog, in which library mode.
struct LibraryRequest {
    char libref[8];
    int16_t catalog_name_length;
    char catalog_name[32];
    uint8_t reserved_42[270];
    int32_t library_mode;  // 1 input, 8 any writing mode, 0 none
    uint8_t reserved_316[4];
    void *host_context;
    uint8_t reserved_328[40];
};
static_assert(sizeof(LibraryRequest) == 368);
static_assert(offsetof(LibraryRequest, catalog_name_length) == 8);
static_assert(offsetof(LibraryRequest, catalog_name) == 10);
static_assert(offsetof(LibraryRequest, library_mode) == 312);
static_assert(offsetof(LibraryRequest, host_context) == 320);

// ylmopen: which entry of an open catalog, in which member mode. The first 50
// bytes share their layout with the entry information and find requests.
struct MemberRequest {
    void *catalog_handle;
    int16_t entry_name_length;
    char entry_name[32];
    char entry_type[8];
    uint8_t reserved_50[30];
    uint64_t flag_word;  // the open sets 0x4
    uint8_t reserved_88[24];
    int16_t value_512;
    uint8_t reserved_114[22];
    int32_t member_mode;  // 1 input, 2 output, 8 append or update
    int16_t description_length;
    char description[256];
    uint8_t reserved_398[18];
};
static_assert(sizeof(MemberRequest) == 416);
static_assert(offsetof(MemberRequest, entry_name_length) == 8);
static_assert(offsetof(MemberRequest, entry_name) == 10);
static_assert(offsetof(MemberRequest, entry_type) == 42);
static_assert(offsetof(MemberRequest, flag_word) == 80);
static_assert(offsetof(MemberRequest, value_512) == 112);
static_assert(offsetof(MemberRequest, member_mode) == 136);
static_assert(offsetof(MemberRequest, description_length) == 140);
static_assert(offsetof(MemberRequest, description) == 142);

// ylmread / ylmwrit: one block. On a read the host stores the delivered count
// (low 32 bits used) and the record code; on a write the module sets both.
struct TransferRequest {
    void *buffer;
    int64_t length;
    uint16_t record_code;
    uint8_t reserved_18[22];
};
static_assert(sizeof(TransferRequest) == 40);
static_assert(offsetof(TransferRequest, length) == 8);
static_assert(offsetof(TransferRequest, record_code) == 16);

// ylminfo / ylmdel: an entry of an open catalog.
struct EntryRequest {
    void *catalog_handle;
    int16_t entry_name_length;
    char entry_name[32];
    char entry_type[8];
    uint8_t reserved_50[14];
};
static_assert(sizeof(EntryRequest) == 64);
static_assert(offsetof(EntryRequest, entry_name_length) == 8);
static_assert(offsetof(EntryRequest, entry_name) == 10);
static_assert(offsetof(EntryRequest, entry_type) == 42);

// ylmfind: same leading layout as the entry request.
struct FindRequest {
    void *catalog_handle;
    int16_t entry_name_length;
    char entry_name[32];  // upper case
    char entry_type[8];   // upper case, blank padded
    uint8_t reserved_50[14];
};
static_assert(sizeof(FindRequest) == 64);
static_assert(offsetof(FindRequest, entry_name_length) == 8);
static_assert(offsetof(FindRequest, entry_name) == 10);
static_assert(offsetof(FindRequest, entry_type) == 42);

// yldread: one directory entry. The module reads only name and type.
struct DirectoryEntryArea {
    uint8_t host_0[8];
    int16_t name_length;
    char name[32];
    char type[8];
    uint8_t host_50[14];
};
static_assert(sizeof(DirectoryEntryArea) == 64);
static_assert(offsetof(DirectoryEntryArea, name_length) == 8);
static_assert(offsetof(DirectoryEntryArea, name) == 10);
static_assert(offsetof(DirectoryEntryArea, type) == 42);

// The host's open request, fourth argument of the open slot (and of member open).
struct OpenRequest {
    uint32_t open_mode;      // 0x1 input, 0x2 output, 0x4 append, 0x8 update
    uint32_t record_format;  // 0x02 S, 0x08 F, 0x10 P, 0x20 V
    int64_t lrecl;           // in: requested or 0; out: the stream's lrecl
    void *option_block;      // the open's option block, or null
    uint32_t unused_24;
    uint32_t cleared_28;     // set to 0 by the open
    int32_t encoding;        // receives the encoding in force
    uint32_t reserved_36;
};
static_assert(sizeof(OpenRequest) == 40);
static_assert(offsetof(OpenRequest, record_format) == 4);
static_assert(offsetof(OpenRequest, lrecl) == 8);
static_assert(offsetof(OpenRequest, option_block) == 16);
static_assert(offsetof(OpenRequest, cleared_28) == 28);
static_assert(offsetof(OpenRequest, encoding) == 32);

// File information request passed to the information slot.
struct FileInformationRequest {
    const char *name;
    int32_t name_length;
    int32_t record_format_code;  // 0x08, 0x18, 0x20 or 0x30
    int64_t lrecl;
    char device_type[8];  // "CATALOG "
    int64_t host_item_32;   // set to 0
    int64_t host_item_40;   // set to 12
    uint64_t kind_flags;    // 0x2 catalog, 0x4 entry
};
static_assert(sizeof(FileInformationRequest) == 56);
static_assert(offsetof(FileInformationRequest, name_length) == 8);
static_assert(offsetof(FileInformationRequest, record_format_code) == 12);
static_assert(offsetof(FileInformationRequest, lrecl) == 16);
static_assert(offsetof(FileInformationRequest, device_type) == 24);
static_assert(offsetof(FileInformationRequest, host_item_32) == 32);
static_assert(offsetof(FileInformationRequest, host_item_40) == 40);
static_assert(offsetof(FileInformationRequest, kind_flags) == 48);

// Information record: one labelled item that ylinfsy may extend.
struct InformationRecord {
    uint64_t host_word;
    uint8_t host_8[16];
    int64_t item_count;
    uint8_t host_32[8];
    const char *item_label;
    int32_t label_length;
    uint8_t host_52[4];
    const char *item_value;
    int32_t value_length;
    uint8_t host_68[4];
};
static_assert(sizeof(InformationRecord) == 72);
static_assert(offsetof(InformationRecord, item_count) == 24);
static_assert(offsetof(InformationRecord, item_label) == 40);
static_assert(offsetof(InformationRecord, label_length) == 48);
static_assert(offsetof(InformationRecord, item_value) == 56);
static_assert(offsetof(InformationRecord, value_length) == 64);

}  // namespace zef
