// The host's side of the interface, as both the module and any host built to
// it see it: the global control block and the records its chains lead to, the
// storage pool, the tokenizer's token record, name parts, the (vector, slot)
// address of every host routine with its prototype, and the host's catalog
// statuses. Plain records only: this header is shared by the module (built
// without exceptions or RTTI) and the stand-in host.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zef {

// ---------------------------------------------------------------- storage --

struct Pool;
using PoolObtain = void *(*)(Pool *pool, int64_t size, uint32_t option);
using PoolRelease = void (*)(Pool *pool, void *block, int64_t size, uint32_t option);

// A host storage pool: two routine words, then host-private fields.
struct Pool {
    PoolObtain obtain;
    PoolRelease release;
};
static_assert(sizeof(Pool) == 16);
static_assert(offsetof(Pool, obtain) == 0 && offsetof(Pool, release) == 8);

// Option words for obtain. Bit 0x2 asks for zero-filled storage.
inline constexpr uint32_t kRecordStorage = 6;       // control records, zero-filled
inline constexpr uint32_t kBufferStorage = 4;       // buffers, contents undefined
inline constexpr uint32_t kOptionBlockStorage = 0x2006;
inline constexpr uint32_t kScratchStorage = 0x2004;
inline constexpr uint32_t kZeroFillBit = 0x2;

// -------------------------------------------------------- control chains --

// Owner record: its sixth word is the pool its option blocks come from.
struct OwnerRecord {
    void *reserved[5];
    Pool *pool;
};
static_assert(sizeof(OwnerRecord) == 48 && offsetof(OwnerRecord, pool) == 40);

struct TaskContext {
    uint8_t reserved[24];
    OwnerRecord *owner;
};
static_assert(sizeof(TaskContext) == 32 && offsetof(TaskContext, owner) == 24);

struct TaskBlock {
    uint8_t reserved[272];
    TaskContext *context;
};
static_assert(sizeof(TaskBlock) == 280 && offsetof(TaskBlock, context) == 272);

// Byte 0 nonzero: a host encoding is in force.
struct EncodingDescriptor {
    uint8_t in_force;
    uint8_t reserved[7];
    int32_t encoding_id;  // the stand-in's: which encoding (not read by the module)
    int32_t reserved2;
};
static_assert(sizeof(EncodingDescriptor) == 16 && offsetof(EncodingDescriptor, in_force) == 0);

struct EncodingHolder {
    uint8_t reserved[24];
    EncodingDescriptor *descriptor;  // null: no host encoding
};
static_assert(sizeof(EncodingHolder) == 32 && offsetof(EncodingHolder, descriptor) == 24);

// Variable lookup: result 1 or 2 means no variable of that name can be bound;
// otherwise *binding points at the variable's numeric value.
using VariableLookup = int32_t (*)(const char *name, int32_t length, int32_t one, int32_t param,
                                   int32_t one_again, double **binding);

struct AttributeAnchor {
    int32_t assignment_switch;  // nonzero: assignment asks yxamscp
    int32_t reserved;
    VariableLookup variable_lookup;  // null when the host offers none
};
static_assert(sizeof(AttributeAnchor) == 16);
static_assert(offsetof(AttributeAnchor, assignment_switch) == 0 &&
              offsetof(AttributeAnchor, variable_lookup) == 8);

// Task record as ytraknp returns it: +16 leads to the record holding the
// task access word at +84 (1: input only).
struct TaskAccess {
    uint8_t reserved[84];
    int32_t access_word;
};
static_assert(sizeof(TaskAccess) == 88 && offsetof(TaskAccess, access_word) == 84);

struct TaskRecord {
    uint8_t reserved[16];
    TaskAccess *access;
};
static_assert(sizeof(TaskRecord) == 24 && offsetof(TaskRecord, access) == 16);

// ------------------------------------------------- global control block --

struct GlobalControlBlock {
    void ***transfer_table;            // table[v][s] is routine (v, s)
    uint8_t *mark_bytes;               // one per vector, at least 64
    uint8_t reserved_16[16];
    TaskBlock *task_block;             // read only while no_current_task is 0
    Pool *scratch_pool;
    uint8_t reserved_48[32];
    Pool *storage_pool;                // control blocks, records and buffers
    uint8_t reserved_88[16];
    EncodingHolder *encoding_holder;
    uint8_t reserved_112[80];
    AttributeAnchor *attribute_anchor;
    uint8_t reserved_200[16];
    const uint8_t **translation_tables;  // entries 2..6: tables of indexes 0..4
    uint8_t reserved_224[432];
    uint64_t kernel_handle;
    uint8_t reserved_664[96];
    uint64_t no_current_task;          // zero while there is a current task
};
static_assert(sizeof(GlobalControlBlock) == 768);
static_assert(offsetof(GlobalControlBlock, transfer_table) == 0);
static_assert(offsetof(GlobalControlBlock, mark_bytes) == 8);
static_assert(offsetof(GlobalControlBlock, task_block) == 32);
static_assert(offsetof(GlobalControlBlock, scratch_pool) == 40);
static_assert(offsetof(GlobalControlBlock, storage_pool) == 80);
static_assert(offsetof(GlobalControlBlock, encoding_holder) == 104);
static_assert(offsetof(GlobalControlBlock, attribute_anchor) == 192);
static_assert(offsetof(GlobalControlBlock, translation_tables) == 216);
static_assert(offsetof(GlobalControlBlock, kernel_handle) == 656);
static_assert(offsetof(GlobalControlBlock, no_current_task) == 760);

inline constexpr int kMarkByteCount = 64;
inline constexpr int kTranslationTableBase = 2;  // entry i+2 is the table of index i

// ------------------------------------------------------------- tokens --

struct StatementRecord {
    int32_t status_word;  // bit 0x1: an option of the statement was rejected
};

enum TokenKind : int16_t {
    kTokenEnd = 0,
    kTokenPunctuation = 1,
    kTokenName = 2,
    kTokenQuoted = 3,
    kTokenNumber = 4,
};

struct Token {
    int16_t kind;
    uint8_t reserved_2[6];
    const char *text;  // NUL-terminated; a quoted string keeps its quotes
    int16_t length;
    uint8_t reserved_18[6];
    StatementRecord *statement;
    uint8_t scan_state[32];
};
static_assert(sizeof(Token) == 64);
static_assert(offsetof(Token, kind) == 0 && offsetof(Token, text) == 8);
static_assert(offsetof(Token, length) == 16 && offsetof(Token, statement) == 24);
static_assert(offsetof(Token, scan_state) == 32);

// ---------------------------------------------------------- name parts --

struct NamePart {
    int16_t length;
    char text[32];  // blank padded
};
static_assert(sizeof(NamePart) == 34 && offsetof(NamePart, text) == 2);

// ------------------------------------------------------ routine addresses --

struct RoutineAddress {
    int vector;
    int slot;
};

namespace routine {
// kernel
inline constexpr RoutineAddress yymheap{39, 33};
inline constexpr RoutineAddress ypmstr{39, 74};
inline constexpr RoutineAddress ypmlog{39, 70};
inline constexpr RoutineAddress ypmrlog{39, 125};
inline constexpr RoutineAddress wrmksub{0, 144};
inline constexpr RoutineAddress znamdiv{39, 182};
inline constexpr RoutineAddress yxam2am{39, 226};
inline constexpr RoutineAddress yxamscp{39, 381};
inline constexpr RoutineAddress yxal2am{39, 225};
inline constexpr RoutineAddress yxaunql{39, 247};
inline constexpr RoutineAddress yxatoki{39, 248};
inline constexpr RoutineAddress yxatok{39, 250};
inline constexpr RoutineAddress yxatokt{39, 249};
inline constexpr RoutineAddress wzrlchr{0, 320};
inline constexpr RoutineAddress wztxcei{21, 6};
inline constexpr RoutineAddress yyrn6gf{39, 336};
inline constexpr RoutineAddress ytrakgt{40, 29};
inline constexpr RoutineAddress ytraknp{40, 188};
inline constexpr RoutineAddress wzsxcch{4, 7};
inline constexpr RoutineAddress wzsxrch{4, 39};
inline constexpr RoutineAddress wzstrup{0, 331};
inline constexpr RoutineAddress wzstrlo{0, 330};
inline constexpr RoutineAddress wxvalid{0, 258};
// catalog (vector 48)
inline constexpr RoutineAddress ylopen{48, 142};
inline constexpr RoutineAddress ylclose{48, 35};
inline constexpr RoutineAddress ylmopen{48, 132};
inline constexpr RoutineAddress ylmclos{48, 37};
inline constexpr RoutineAddress ylmread{48, 134};
inline constexpr RoutineAddress ylmwrit{48, 139};
inline constexpr RoutineAddress ylmpoin{48, 133};
inline constexpr RoutineAddress ylmnote{48, 131};
inline constexpr RoutineAddress ylminfo{48, 129};
inline constexpr RoutineAddress ylmfind{48, 128};
inline constexpr RoutineAddress ylmdel{48, 127};
inline constexpr RoutineAddress yldopen{48, 120};
inline constexpr RoutineAddress yldread{48, 122};
inline constexpr RoutineAddress yldclos{48, 36};
inline constexpr RoutineAddress ylinfsy{48, 154};
inline constexpr RoutineAddress ylinfsr{48, 153};
}  // namespace routine

// Vectors the stand-in builds, each sized for its highest slot.
inline constexpr int kVectorSizes[][2] = {{0, 331}, {4, 39}, {21, 6}, {39, 381}, {40, 188}, {48, 154}};

// ---------------------------------------------------- routine prototypes --

namespace proto {
using yymheap = Pool *(*)();
using ypmstr = int32_t (*)(char *buffer, int32_t size, int32_t set, int32_t number);
using ypmlog = int32_t (*)(int32_t set, int32_t number, int64_t value);
using ypmrlog = int32_t (*)(void *context, int32_t set, int32_t number, const char *fileref8);
using wrmksub = int32_t (*)(int32_t count, ...);
using znamdiv = int32_t (*)(int32_t zero, const char *name, int32_t length, int32_t *count,
                            int32_t max, NamePart *p1, NamePart *p2, NamePart *p3, NamePart *p4);
using yxam2am = int32_t (*)(const char *method8, void **block, void *context);
using yxamscp = yxam2am;
using yxal2am = int32_t (*)(const char *fileref8, void *context, void **block);
using yxaunql = int32_t (*)(char *fileref8, void *context);
using yxatoki = int32_t (*)(Token *token);
using yxatok = int32_t (*)(uint32_t flags, void *source, Token *token);
using yxatokt = int32_t (*)(Token *token);
using wzrlchr = int32_t (*)(const char *text, int32_t length, int32_t zero, int32_t *work,
                            int64_t *value);
using wztxcei = int32_t (*)(int32_t zero, const char *name, int32_t length, int32_t *id);
using yyrn6gf = int32_t (*)(int32_t option, int32_t zero, int64_t *value, int32_t *kind,
                            void *task_context);
using ytrakgt = int32_t (*)(void *context);
using ytraknp = TaskRecord *(*)(int32_t key, void *context);
using wzsxcch = int32_t (*)(const void *source, int32_t source_length, void *target,
                            int32_t target_length, int32_t one);
using wzsxrch = wzsxcch;
using wzstrup = void (*)(void *buffer, int32_t length);
using wzstrlo = wzstrup;

using ylopen = int32_t (*)(void *library_request, void **catalog);
using ylclose = int32_t (*)(void *catalog, int32_t zero);
using ylmopen = int32_t (*)(void *member_request, void **entry);
using ylmclos = int32_t (*)(void *entry, int32_t zero);
using ylmread = int32_t (*)(void *entry, void *transfer_request);
using ylmwrit = int32_t (*)(void *entry, void *transfer_request);
using ylmpoin = int32_t (*)(void *entry, int64_t position, int32_t how);
using ylmnote = int32_t (*)(void *entry, int64_t *position);
using ylminfo = int32_t (*)(void *entry_request, int32_t zero, int32_t two, int64_t *size);
using ylmfind = int32_t (*)(void *find_request);
using ylmdel = int32_t (*)(void *entry_request, int32_t zero);
using yldopen = int32_t (*)(void *catalog, const char *filter8, int32_t zero, void **scan_cell);
using yldread = int32_t (*)(void *scan, void *entry_area, int32_t zero);
using yldclos = int32_t (*)(void *scan);
using ylinfsy = int32_t (*)(void *catalog, void *information_record);
using ylinfsr = int32_t (*)(void *catalog, void *host_word);
}  // namespace proto

// ------------------------------------------------------- host statuses --

inline constexpr int32_t kHostNoCurrentTask = static_cast<int32_t>(0x80000803);
inline constexpr int32_t kHostNotAvailable = static_cast<int32_t>(0x8000080B);

inline constexpr int32_t kCatalogEndOfMember = 0x0001C00A;
inline constexpr int32_t kCatalogEndOfDirectory = 0x0001C00F;
inline constexpr int32_t kCatalogLibraryNotAssigned = static_cast<int32_t>(0x8001C001);
inline constexpr int32_t kCatalogMissing = static_cast<int32_t>(0x8001C002);
inline constexpr int32_t kCatalogDamaged = static_cast<int32_t>(0x8001C003);
inline constexpr int32_t kCatalogIoFailure = static_cast<int32_t>(0x8001C004);
inline constexpr int32_t kCatalogEntryInUse = static_cast<int32_t>(0x8001C005);
inline constexpr int32_t kCatalogEntryMissing = static_cast<int32_t>(0x8001C006);
inline constexpr int32_t kCatalogBadRequest = static_cast<int32_t>(0x8001C007);
inline constexpr int32_t kNameRefused = static_cast<int32_t>(0x8001C010);

// Library and member modes carried in requests.
inline constexpr int32_t kLibraryInput = 1;
inline constexpr int32_t kLibraryWrite = 8;
inline constexpr int32_t kMemberInput = 1;
inline constexpr int32_t kMemberOutput = 2;
inline constexpr int32_t kMemberAppend = 8;

// ylmpoin "how"
inline constexpr int32_t kPointToNoted = 0;
inline constexpr int32_t kPointToEnd = 2;

}  // namespace zef
