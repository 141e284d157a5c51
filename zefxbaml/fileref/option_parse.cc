// yxlpars (slot 30): one option of an assignment or open statement per call,
// read from the host's tokenizer into the statement's option block.
#include <cstring>

#include "host/chains.h"
#include "host/kernel.h"
#include "host/variables.h"
#include "zefxbaml/blank_padded.h"
#include "zefxbaml/exports.h"
#include "zefxbaml/method_routines.h"
#include "zefxbaml/option_block.h"
#include "zefxbaml/status.h"

namespace zef {

namespace {

enum class Keyword { kLrecl, kBlocksize, kRecfm, kMod, kAttr, kCatalog, kNbyte, kDesc, kEncoding };

struct KeywordName {
    const char *text;
    int32_t length;
    Keyword keyword;
    bool has_value;
};

// In the order they are tried; DESC and DESCRIPTION are one option.
constexpr KeywordName kKeywords[] = {
    {"LRECL", 5, Keyword::kLrecl, true},     {"BLOCKSIZE", 9, Keyword::kBlocksize, true},
    {"RECFM", 5, Keyword::kRecfm, true},     {"MOD", 3, Keyword::kMod, false},
    {"ATTR", 4, Keyword::kAttr, false},      {"CATALOG", 7, Keyword::kCatalog, false},
    {"NBYTE", 5, Keyword::kNbyte, true},     {"DESC", 4, Keyword::kDesc, true},
    {"DESCRIPTION", 11, Keyword::kDesc, true}, {"ENCODING", 8, Keyword::kEncoding, true},
};

constexpr int32_t kEncodingNameWidth = 20;

// Taken-token counts.
constexpr int32_t kTakenNone = 0;
constexpr int32_t kTakenKeyword = 1;
constexpr int32_t kTakenEquals = 2;
constexpr int32_t kTakenAll = 3;

const KeywordName *match_keyword(const Token &token) {
    for (const KeywordName &name : kKeywords)
        if (wzstcom(token.text, token.length, name.text, name.length) == 0) return &name;
    return nullptr;
}

int32_t token_length(const Token &token) { return token.length > 0 ? token.length : 0; }

// The next token of the source. A token the host delivers without text is
// taken as an empty one, so that nothing after this reads through a null.
int32_t next_token(uint32_t flags, void *source, Token *token) {
    int32_t status = host::yxatok(flags, source, token);
    if (status == kOk && token->text == nullptr) {
        token->text = "";
        token->length = 0;
    }
    return status;
}

void mark_statement(const Token &token) {
    if (token.statement != nullptr) token.statement->status_word |= 0x1;
}

// Insert 1: the token's length as a 4-byte integer; insert 2: its text with
// the terminating zero byte.
void set_token_inserts(const Token &token) {
    int32_t length = token_length(token);
    host::wrmksub2(&length, sizeof length, token.text, length + 1);
}

// A rejected option: the count, the statement mark, the inserts, the end of
// the token scan, and `status`.
int32_t reject(Token *token, int32_t *taken, int32_t count, int32_t status) {
    *taken = count;
    mark_statement(*token);
    set_token_inserts(*token);
    host::yxatokt(token);
    return status;
}

OptionBlock *make_block(OwnerRecord *owner, uint32_t flags) {
    if (owner == nullptr) owner = host::current_owner();
    if (owner == nullptr) return nullptr;
    auto *block =
        static_cast<OptionBlock *>(vmalloc_handler(owner->pool, kOptionBlockSize, kOptionBlockStorage));
    if (block == nullptr) return nullptr;
    block->kind = kOptionBlockKind;
    block->flags = flags & kNotOwned;
    std::memset(block->description, ' ', sizeof block->description);
    block->description_length = 0;
    block->owner = owner;
    return block;
}

// Each check returns 0 when the value is taken, kOptionRejected when the
// value is refused, or a failure status to be returned as it stands.

int32_t check_number(const Token &token, int64_t *field) {
    if (token.kind != kTokenNumber) return kOptionRejected;
    int32_t work = 0;
    int64_t value = 0;
    if (host::wzrlchr(token.text, token.length, &work, &value) != 0) return kOptionRejected;
    *field = value;
    return kOk;
}

int32_t check_record_format(const Token &token, OptionBlock *block) {
    if (token.kind != kTokenName || token_length(token) == 0) return kOptionRejected;
    uint32_t bits = 0;
    switch (token.text[0]) {
        case 'V': bits = kFormatVariable; break;
        case 'F': bits = kFormatFixed; break;
        case 'P': bits = kFormatPrint; break;
        case 'S': bits = kFormatStream; break;
        default: return kOptionRejected;
    }
    block->record_format |= bits;
    return kOk;
}

int32_t check_nbyte(const Token &token, OptionBlock *block) {
    if (token.kind != kTokenName) return kOptionRejected;
    int32_t length = wzstlen(token.text);
    if (length > kNbyteNameWidth) return kOptionRejected;
    std::memset(block->nbyte_name, ' ', sizeof block->nbyte_name);
    block->nbyte_param = -1;
    std::memcpy(block->nbyte_name, token.text, length);
    block->nbyte_name_length = length;
    // Without a lookup service the open ignores NBYTE, so there is nothing to check.
    if (!host::has_variable_lookup()) return kOk;
    double *binding = nullptr;
    int32_t result = host::lookup_variable(block->nbyte_name, length, block->nbyte_param, &binding);
    return result == 1 || result == 2 ? kOptionRejected : kOk;
}

// The description is cut to the 256 characters the block holds, and so is
// its length: whoever copies description_length bytes stays inside the field.
int32_t check_description(const Token &token, OptionBlock *block) {
    if (token.kind != kTokenQuoted) return kOptionRejected;
    int32_t length = token_length(token);
    Pool *pool = host::scratch_pool();
    auto *work = static_cast<char *>(vmalloc_handler(pool, length + 1, kScratchStorage));
    if (work == nullptr) return kNoStorage;
    std::memcpy(work, token.text, length);
    work[length] = '\0';
    wzstrpq(work, length);
    int32_t text_length = wzstlen(work);
    if (text_length > kDescriptionWidth) text_length = kDescriptionWidth;
    vzmp(work, text_length, block->description, kDescriptionWidth);
    block->description_length = static_cast<int16_t>(text_length);
    vmfree_handler(pool, work, 0, kBufferStorage);
    return kOk;
}

int32_t check_encoding(const Token &token, OptionBlock *block) {
    if (token.kind != kTokenName && token.kind != kTokenQuoted) return kOptionRejected;
    char name[kEncodingNameWidth + 1] = {};
    int32_t length = token_length(token);
    if (length > kEncodingNameWidth) length = kEncodingNameWidth;
    std::memcpy(name, token.text, length);
    if (token.kind == kTokenQuoted) {
        wzstrpq(name, length);
        length = wzstlen(name);
    }
    if (host::wztxcei(name, length, &block->encoding) != 0) {
        block->encoding = 0;
        return kOptionRejected;
    }
    block->encoding_flags |= kEncodingGiven;
    return kOk;
}

int32_t check_value(Keyword keyword, const Token &token, OptionBlock *block) {
    switch (keyword) {
        case Keyword::kLrecl: return check_number(token, &block->lrecl);
        case Keyword::kBlocksize: return check_number(token, &block->blocksize);
        case Keyword::kRecfm: return check_record_format(token, block);
        case Keyword::kNbyte: return check_nbyte(token, block);
        case Keyword::kDesc: return check_description(token, block);
        case Keyword::kEncoding: return check_encoding(token, block);
        default: return kOptionRejected;
    }
}

void apply_flag_option(Keyword keyword, OptionBlock *block) {
    if (keyword == Keyword::kMod) block->mode |= kModeAppend;
    if (keyword == Keyword::kAttr) block->attr = 1;
    // CATALOG is accepted and records nothing.
}

// keyword '=' value, the keyword token already read.
int32_t parse_value(Keyword keyword, uint32_t flags, void *source, Token *token,
                    int32_t *taken, OptionBlock *block) {
    int32_t status = next_token(flags, source, token);
    if (status != kOk) return status;
    if (token->text[0] != '=') {
        if (keyword != Keyword::kLrecl) return reject(token, taken, kTakenKeyword, kOptionRejected);
        // LRECL leaves the scan open and sets no inserts here.
        *taken = kTakenKeyword;
        mark_statement(*token);
        return kOptionRejected;
    }
    status = next_token(flags, source, token);
    if (status != kOk) {
        if (keyword == Keyword::kNbyte || keyword == Keyword::kEncoding) host::yxatokt(token);
        return status;
    }
    if (keyword == Keyword::kLrecl && token->kind != kTokenNumber) {
        *taken = kTakenEquals;
        mark_statement(*token);
        return kOptionRejected;
    }
    status = check_value(keyword, *token, block);
    if (status == kOptionRejected) return reject(token, taken, kTakenEquals, status);
    if (status != kOk) return status;
    *taken = kTakenAll;
    return host::yxatokt(token);
}

}  // namespace

// Parses one option into *block_slot, first making the block when the slot
// holds null (from the owner's pool; kNotOwned from the caller's flags). A
// null source only makes sure the block exists. *taken receives how many of
// the option's tokens were recognised. Returns 0 (or the status of ending the
// token scan), 0x80001017 for an unknown keyword, 0x80001018 for a bad
// option, 0x80000803 without storage, or the tokenizer's status. The block
// stays in the slot whatever happens and belongs to the caller.
int32_t yxlpars(void *, OwnerRecord *owner, void *, uint32_t flags, void *source, int32_t *taken,
                OptionBlock **block_slot) {
    if (*block_slot == nullptr) {
        *block_slot = make_block(owner, flags);
        if (*block_slot == nullptr) return kNoStorage;
    }
    if (source == nullptr) return kOk;

    OptionBlock *block = *block_slot;
    Token token{};
    int32_t status = host::yxatoki(&token);
    if (status != kOk) return status;
    status = next_token(flags, source, &token);
    if (status != kOk) return status;

    const KeywordName *keyword = match_keyword(token);
    if (keyword == nullptr) return reject(&token, taken, kTakenNone, kUnknownOption);
    if (!keyword->has_value) {
        apply_flag_option(keyword->keyword, block);
        *taken = kTakenKeyword;
        return host::yxatokt(&token);
    }
    return parse_value(keyword->keyword, flags, source, &token, taken, block);
}

}  // namespace zef
