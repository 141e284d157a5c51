// Finding a fileref record by name: the one place for the lookup rule that
// every routine starting from a fileref name follows. The name is copied
// into an 8-byte key and upper-cased; records keep their names as given, so
// only a name assigned in upper case is found again. The walk compares 8 raw
// bytes from the head of the list, newest record first.
#pragma once

#include <cstdint>

#include "zefxbaml/control_block.h"

namespace zef {

struct FilerefRecord;

struct FilerefKey {
    char text[8];
};

// The upper-cased key of an 8-character blank-padded name.
FilerefKey upper_key(const char *fileref8);
// The upper-cased key of a name given as text: cut to 8 or blank filled.
FilerefKey upper_key(const char *text, int32_t length);

// The control block the host knows under method8 (yxam2am). Returns the
// host's status; *block is set only on 0.
int32_t find_method_block(const char *method8, void *context, AccessMethodBlock **block);
// The same through the host's yxamscp (the assignment switch's choice).
int32_t find_method_block_scp(const char *method8, void *context, AccessMethodBlock **block);

// The first record of the block's list whose name is the key, or null.
FilerefRecord *find_in_list(const AccessMethodBlock *block, const FilerefKey &key);

// The full lookup: yxam2am("ZEFXBAML") with the context, a walk of its list,
// then once yxal2am and a walk of the list of the block it names. Returns 0
// with *record set; a host status unchanged; or, when neither walk finds the
// name, 0x80001004 with the upper-cased key as message insert 1. *record
// stays null on every failure. *block, when asked, receives the control block
// whose list was walked last (also when the name was not in it), or null.
int32_t find_fileref(const FilerefKey &key, void *context, FilerefRecord **record,
                     AccessMethodBlock **block = nullptr);
int32_t find_fileref(const char *fileref8, void *context, FilerefRecord **record,
                     AccessMethodBlock **block = nullptr);

// Puts a record at the head of the block's list.
void link_fileref(AccessMethodBlock *block, FilerefRecord *record);
// Takes a record out of the block's list; false when it was not there.
bool unlink_fileref(AccessMethodBlock *block, FilerefRecord *record);

}  // namespace zef
