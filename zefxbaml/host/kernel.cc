#include "host/kernel.h"

#include "host/call.h"

namespace host {

using namespace zef;

Pool *yymheap() { return routine_at<proto::yymheap>(routine::yymheap)(); }

int32_t ypmstr(char *buffer, int32_t size, int32_t set, int32_t number) {
    return routine_at<proto::ypmstr>(routine::ypmstr)(buffer, size, set, number);
}

int32_t ypmlog(int32_t set, int32_t number, int64_t value) {
    return routine_at<proto::ypmlog>(routine::ypmlog)(set, number, value);
}

int32_t ypmrlog(void *context, int32_t set, int32_t number, const char *fileref8) {
    return routine_at<proto::ypmrlog>(routine::ypmrlog)(context, set, number, fileref8);
}

int32_t wrmksub1(const void *text, int32_t length) {
    return routine_at<proto::wrmksub>(routine::wrmksub)(1, text, length);
}

int32_t wrmksub2(const void *text1, int32_t length1, const void *text2, int32_t length2) {
    return routine_at<proto::wrmksub>(routine::wrmksub)(2, text1, length1, text2, length2);
}

int32_t znamdiv(const char *name, int32_t length, int32_t *count, NamePart *p1, NamePart *p2,
                NamePart *p3, NamePart *p4) {
    return routine_at<proto::znamdiv>(routine::znamdiv)(0, name, length, count, 4, p1, p2, p3, p4);
}

int32_t yxam2am(const char *method8, void **block, void *context) {
    return routine_at<proto::yxam2am>(routine::yxam2am)(method8, block, context);
}

int32_t yxamscp(const char *method8, void **block, void *context) {
    return routine_at<proto::yxamscp>(routine::yxamscp)(method8, block, context);
}

int32_t yxal2am(const char *fileref8, void *context, void **block) {
    return routine_at<proto::yxal2am>(routine::yxal2am)(fileref8, context, block);
}

int32_t yxaunql(char *fileref8, void *context) {
    return routine_at<proto::yxaunql>(routine::yxaunql)(fileref8, context);
}

int32_t yxatoki(Token *token) { return routine_at<proto::yxatoki>(routine::yxatoki)(token); }

int32_t yxatok(uint32_t flags, void *source, Token *token) {
    return routine_at<proto::yxatok>(routine::yxatok)(flags, source, token);
}

int32_t yxatokt(Token *token) { return routine_at<proto::yxatokt>(routine::yxatokt)(token); }

int32_t wzrlchr(const char *text, int32_t length, int32_t *work, int64_t *value) {
    return routine_at<proto::wzrlchr>(routine::wzrlchr)(text, length, 0, work, value);
}

int32_t wztxcei(const char *name, int32_t length, int32_t *id) {
    return routine_at<proto::wztxcei>(routine::wztxcei)(0, name, length, id);
}

int32_t yyrn6gf(int32_t option, int64_t *value, int32_t *kind, void *task_context) {
    return routine_at<proto::yyrn6gf>(routine::yyrn6gf)(option, 0, value, kind, task_context);
}

int32_t ytrakgt(void *context) { return routine_at<proto::ytrakgt>(routine::ytrakgt)(context); }

TaskRecord *ytraknp(int32_t key, void *context) {
    return routine_at<proto::ytraknp>(routine::ytraknp)(key, context);
}

int32_t wzsxcch(const void *source, int32_t source_length, void *target, int32_t target_length) {
    return routine_at<proto::wzsxcch>(routine::wzsxcch)(source, source_length, target,
                                                        target_length, 1);
}

int32_t wzsxrch(const void *source, int32_t source_length, void *target, int32_t target_length) {
    return routine_at<proto::wzsxrch>(routine::wzsxrch)(source, source_length, target,
                                                        target_length, 1);
}

void wzstrup(void *buffer, int32_t length) {
    routine_at<proto::wzstrup>(routine::wzstrup)(buffer, length);
}

void wzstrlo(void *buffer, int32_t length) {
    routine_at<proto::wzstrlo>(routine::wzstrlo)(buffer, length);
}

void *wxvalid_address() {
    auto *gcb = static_cast<GlobalControlBlock *>(v_global_gcb_anchor);
    return gcb->transfer_table[routine::wxvalid.vector][routine::wxvalid.slot];
}

}  // namespace host
