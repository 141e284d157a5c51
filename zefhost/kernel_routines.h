// The stand-in's kernel routines, each at its (vector, slot) of the host
// interface. They are installed by install_kernel_routines(), which the Host
// constructor calls; each routine finds its host through Host::current().
// The routines live with their concern: messages in message_routines.cc,
// name division in name_division.cc, access-method lookup in
// method_routines.cc, tokens and numbers in tokenizer.cc, encoding names in
// encodings.cc, case mapping and transcoding in translation_routines.cc,
// tasks and the default record length in task_routines.cc, the rest in
// kernel_routines.cc.
#pragma once

#include <cstdint>

#include "zefxbaml/abi.h"

namespace zefhost {

class Host;

void install_kernel_routines(Host &host);

namespace kernel {

zef::Pool *yymheap();
int32_t ypmstr(char *buffer, int32_t size, int32_t set, int32_t number);
int32_t ypmlog(int32_t set, int32_t number, int64_t value);
int32_t ypmrlog(void *context, int32_t set, int32_t number, const char *fileref8);
int32_t wrmksub(int32_t count, ...);
int32_t znamdiv(int32_t zero, const char *name, int32_t length, int32_t *count, int32_t max,
                zef::NamePart *p1, zef::NamePart *p2, zef::NamePart *p3, zef::NamePart *p4);
int32_t yxam2am(const char *method8, void **block, void *context);
int32_t yxamscp(const char *method8, void **block, void *context);
int32_t yxal2am(const char *fileref8, void *context, void **block);
int32_t yxaunql(char *fileref8, void *context);
int32_t yxatoki(zef::Token *token);
int32_t yxatok(uint32_t flags, void *source, zef::Token *token);
int32_t yxatokt(zef::Token *token);
int32_t wzrlchr(const char *text, int32_t length, int32_t zero, int32_t *work, int64_t *value);
int32_t wztxcei(int32_t zero, const char *name, int32_t length, int32_t *id);
int32_t yyrn6gf(int32_t option, int32_t zero, int64_t *value, int32_t *kind, void *task_context);
int32_t ytrakgt(void *context);
zef::TaskRecord *ytraknp(int32_t key, void *context);
int32_t wzsxcch(const void *source, int32_t source_length, void *target, int32_t target_length,
                int32_t one);
int32_t wzsxrch(const void *source, int32_t source_length, void *target, int32_t target_length,
                int32_t one);
void wzstrup(void *buffer, int32_t length);
void wzstrlo(void *buffer, int32_t length);
int32_t wxvalid(...);

}  // namespace kernel
}  // namespace zefhost
