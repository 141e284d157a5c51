// Typed calls into the host's kernel routines. Each one clears the mark byte
// of its vector and calls routine (v, s) of the transfer-vector table of the
// global control block that mcn_main recorded. The rest of the module reaches
// the kernel only through these.
#pragma once

#include <cstdint>

#include "zefxbaml/abi.h"

namespace host {

zef::Pool *yymheap();
int32_t ypmstr(char *buffer, int32_t size, int32_t set, int32_t number);
int32_t ypmlog(int32_t set, int32_t number, int64_t value);
int32_t ypmrlog(void *context, int32_t set, int32_t number, const char *fileref8);
int32_t wrmksub1(const void *text, int32_t length);
int32_t wrmksub2(const void *text1, int32_t length1, const void *text2, int32_t length2);
int32_t znamdiv(const char *name, int32_t length, int32_t *count, zef::NamePart *p1,
                zef::NamePart *p2, zef::NamePart *p3, zef::NamePart *p4);
int32_t yxam2am(const char *method8, void **block, void *context);
int32_t yxamscp(const char *method8, void **block, void *context);
int32_t yxal2am(const char *fileref8, void *context, void **block);
int32_t yxaunql(char *fileref8, void *context);
int32_t yxatoki(zef::Token *token);
int32_t yxatok(uint32_t flags, void *source, zef::Token *token);
int32_t yxatokt(zef::Token *token);
int32_t wzrlchr(const char *text, int32_t length, int32_t *work, int64_t *value);
int32_t wztxcei(const char *name, int32_t length, int32_t *id);
int32_t yyrn6gf(int32_t option, int64_t *value, int32_t *kind, void *task_context);
int32_t ytrakgt(void *context);
zef::TaskRecord *ytraknp(int32_t key, void *context);
int32_t wzsxcch(const void *source, int32_t source_length, void *target, int32_t target_length);
int32_t wzsxrch(const void *source, int32_t source_length, void *target, int32_t target_length);
void wzstrup(void *buffer, int32_t length);
void wzstrlo(void *buffer, int32_t length);
void *wxvalid_address();  // the host's own routine, copied into method slot 7

}  // namespace host
