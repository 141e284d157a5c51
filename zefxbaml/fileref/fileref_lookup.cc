#include "fileref/fileref_lookup.h"

#include <cstring>

#include "fileref/fileref_record.h"
#include "host/kernel.h"
#include "zefxbaml/blank_padded.h"
#include "zefxbaml/status.h"
#include "zefxbaml/translate.h"

namespace zef {

FilerefKey upper_key(const char *fileref8) {
    FilerefKey key;
    std::memcpy(key.text, fileref8, sizeof key.text);
    wztxxlt(kTranslateUpper, key.text, key.text, sizeof key.text);
    return key;
}

FilerefKey upper_key(const char *text, int32_t length) {
    FilerefKey key;
    vzmp(text, length > 0 ? length : 0, key.text, sizeof key.text);
    wztxxlt(kTranslateUpper, key.text, key.text, sizeof key.text);
    return key;
}

int32_t find_method_block(const char *method8, void *context, AccessMethodBlock **block) {
    void *found = nullptr;
    int32_t status = host::yxam2am(method8, &found, context);
    if (status == kOk) *block = static_cast<AccessMethodBlock *>(found);
    return status;
}

int32_t find_method_block_scp(const char *method8, void *context, AccessMethodBlock **block) {
    void *found = nullptr;
    int32_t status = host::yxamscp(method8, &found, context);
    if (status == kOk) *block = static_cast<AccessMethodBlock *>(found);
    return status;
}

FilerefRecord *find_in_list(const AccessMethodBlock *block, const FilerefKey &key) {
    if (block == nullptr) return nullptr;
    for (FilerefRecord *record = block->fileref_list; record != nullptr; record = record->next)
        if (std::memcmp(record->fileref, key.text, sizeof key.text) == 0) return record;
    return nullptr;
}

int32_t find_fileref(const FilerefKey &key, void *context, FilerefRecord **record,
                     AccessMethodBlock **block) {
    *record = nullptr;
    AccessMethodBlock *searched = nullptr;
    if (block != nullptr) *block = nullptr;
    int32_t status = find_method_block(kMethodName, context, &searched);
    if (status != kOk) return status;
    if (block != nullptr) *block = searched;

    FilerefRecord *found = find_in_list(searched, key);
    if (found == nullptr) {
        // The host may know the name through another control block.
        void *other = nullptr;
        status = host::yxal2am(key.text, context, &other);
        if (status != kOk) return status;
        searched = static_cast<AccessMethodBlock *>(other);
        if (block != nullptr) *block = searched;
        found = find_in_list(searched, key);
    }
    if (found == nullptr) {
        host::wrmksub1(key.text, sizeof key.text);
        return kFilerefNotAssigned;
    }
    *record = found;
    return kOk;
}

int32_t find_fileref(const char *fileref8, void *context, FilerefRecord **record,
                     AccessMethodBlock **block) {
    return find_fileref(upper_key(fileref8), context, record, block);
}

void link_fileref(AccessMethodBlock *block, FilerefRecord *record) {
    record->next = block->fileref_list;
    block->fileref_list = record;
}

bool unlink_fileref(AccessMethodBlock *block, FilerefRecord *record) {
    for (FilerefRecord **link = &block->fileref_list; *link != nullptr; link = &(*link)->next) {
        if (*link == record) {
            *link = record->next;
            record->next = nullptr;
            return true;
        }
    }
    return false;
}

}  // namespace zef
