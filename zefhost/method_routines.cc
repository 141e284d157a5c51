// yxam2am, yxamscp, yxal2am and yxaunql: how the module finds its own
// access-method control block through the host, and how the host makes up
// fileref names.
#include <cstring>

#include "host.h"
#include "kernel_routines.h"
#include "kernel_statuses.h"

namespace zefhost::kernel {

namespace {

int32_t find_method_block(const char *method8, void **block) {
    if (method8 == nullptr || block == nullptr) return kBadArgument;
    void *found = Host::current().methods().method_block(method8);
    if (found == nullptr) return kUnknownMethod;
    *block = found;
    return 0;
}

}  // namespace

// The control block registered under the 8-character access-method name.
// Returns 0 and *block, or kUnknownMethod (nothing stored).
int32_t yxam2am(const char *method8, void **block, void *) {
    HostCall call(zef::routine::yxam2am);
    if (call.failure()) return *call.failure();
    return find_method_block(method8, block);
}

// The same answer as yxam2am, asked by assignment when the host's
// assignment switch is on.
int32_t yxamscp(const char *method8, void **block, void *) {
    HostCall call(zef::routine::yxamscp);
    if (call.failure()) return *call.failure();
    return find_method_block(method8, block);
}

// The control block through which the host knows the 8-character fileref
// (Host::know_fileref), else the last registered access method's. Returns
// 0 and *block, or kFilerefUnknownToHost.
int32_t yxal2am(const char *fileref8, void *, void **block) {
    HostCall call(zef::routine::yxal2am);
    if (call.failure()) return *call.failure();
    if (fileref8 == nullptr || block == nullptr) return kBadArgument;
    void *found = Host::current().methods().fileref_block(fileref8);
    if (found == nullptr) return kFilerefUnknownToHost;
    *block = found;
    return 0;
}

// Writes a fresh made-up fileref name ("#LN00001" ...) into the caller's
// 8-character field. Returns 0, or kNoUniqueName with the field unchanged.
int32_t yxaunql(char *fileref8, void *) {
    HostCall call(zef::routine::yxaunql);
    if (call.failure()) return *call.failure();
    if (fileref8 == nullptr) return kBadArgument;
    const std::string name = Host::current().methods().next_unique_name();
    if (name.empty()) return kNoUniqueName;
    std::memset(fileref8, ' ', 8);
    std::memcpy(fileref8, name.data(), std::min<size_t>(name.size(), 8));
    return 0;
}

}  // namespace zefhost::kernel
