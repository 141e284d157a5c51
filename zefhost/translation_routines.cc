// wzsxcch, wzsxrch, wzstrup and wzstrlo: the host routines that carry out
// translations 0 to 3 while a host encoding is in force. They use the same
// tables as the table path (translation_tables.h), so both paths agree.
#include <cstring>

#include "host.h"
#include "kernel_routines.h"

namespace zefhost::kernel {

namespace {

// Translates min(source_length, target_length) bytes from source into
// target through table `index`; source and target may be the same buffer.
void transcode(int index, const void *source, int32_t source_length, void *target,
               int32_t target_length) {
    const int32_t length = source_length < target_length ? source_length : target_length;
    if (source == nullptr || target == nullptr || length <= 0) return;
    std::memmove(target, source, static_cast<size_t>(length));
    Host::current().translation().apply(index, static_cast<uint8_t *>(target), length);
}

}  // namespace

// Transcodes from the host's Latin-1 into EBCDIC code page 037 (translation
// 0). The last argument (always 1) is not needed. Returns 0.
int32_t wzsxcch(const void *source, int32_t source_length, void *target, int32_t target_length,
                int32_t) {
    HostCall call(zef::routine::wzsxcch);
    if (call.failure()) return *call.failure();
    transcode(TranslationTables::kToEbcdic, source, source_length, target, target_length);
    return 0;
}

// Transcodes from EBCDIC code page 037 into the host's Latin-1
// (translation 1). Returns 0.
int32_t wzsxrch(const void *source, int32_t source_length, void *target, int32_t target_length,
                int32_t) {
    HostCall call(zef::routine::wzsxrch);
    if (call.failure()) return *call.failure();
    transcode(TranslationTables::kFromEbcdic, source, source_length, target, target_length);
    return 0;
}

// Upper-cases length bytes in place (ASCII and Latin-1 letters).
void wzstrup(void *buffer, int32_t length) {
    HostCall call(zef::routine::wzstrup);
    Host::current().translation().apply(TranslationTables::kUpper, static_cast<uint8_t *>(buffer),
                                        length);
}

// Lower-cases length bytes in place (ASCII and Latin-1 letters).
void wzstrlo(void *buffer, int32_t length) {
    HostCall call(zef::routine::wzstrlo);
    Host::current().translation().apply(TranslationTables::kLower, static_cast<uint8_t *>(buffer),
                                        length);
}

}  // namespace zefhost::kernel
