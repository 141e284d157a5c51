// ypmstr, ypmlog, ypmrlog and wrmksub: the module's way to the host's
// message texts, log and message inserts.
#include <cstdarg>
#include <cstring>
#include <string>
#include <vector>

#include "host.h"
#include "kernel_routines.h"

namespace zefhost::kernel {

namespace {
// An insert longer than this is surely a length gone wrong; it is cut.
constexpr int32_t kLongestInsert = 64 * 1024;
}  // namespace

// Places the text of message `number` of `set` into buffer: at most size-1
// bytes, no NUL (the caller ends it). Returns the number of bytes placed.
int32_t ypmstr(char *buffer, int32_t size, int32_t set, int32_t number) {
    HostCall call(zef::routine::ypmstr);
    std::optional<int64_t> odd = Host::current().odd_answer(zef::routine::ypmstr);
    if (buffer == nullptr || size <= 1) return 0;
    const std::string text = Host::current().messages().text(set, number);
    const auto count = static_cast<int32_t>(
        std::min<size_t>(text.size(), static_cast<size_t>(size - 1)));
    std::memcpy(buffer, text.data(), static_cast<size_t>(count));
    return odd ? static_cast<int32_t>(*odd) : count;
}

// Writes message `number` of `set` to the host log, with value when nonzero.
int32_t ypmlog(int32_t set, int32_t number, int64_t value) {
    HostCall call(zef::routine::ypmlog);
    if (call.failure()) return *call.failure();
    Host::current().messages().log_message(set, number, value);
    return 0;
}

// Writes message `number` of `set` to the host log for the 8-character
// fileref (the context is the caller's and is not needed here).
int32_t ypmrlog(void *, int32_t set, int32_t number, const char *fileref8) {
    HostCall call(zef::routine::ypmrlog);
    if (call.failure()) return *call.failure();
    std::string_view fileref;
    if (fileref8 != nullptr) fileref = std::string_view(fileref8, strnlen(fileref8, 8));
    Host::current().messages().log_message_for_fileref(set, number, fileref);
    return 0;
}

// Takes count pairs of (text, int32 length) as the inserts of the status the
// caller returns next, replacing the inserts held before. A null text or a
// negative length gives an empty insert.
int32_t wrmksub(int32_t count, ...) {
    HostCall call(zef::routine::wrmksub);
    if (call.failure()) return *call.failure();
    std::vector<std::string> inserts;
    va_list args;
    va_start(args, count);
    for (int32_t i = 0; i < count; ++i) {
        const auto *text = va_arg(args, const char *);
        int32_t length = va_arg(args, int32_t);
        if (text == nullptr || length <= 0)
            inserts.emplace_back();
        else
            inserts.emplace_back(text, static_cast<size_t>(std::min(length, kLongestInsert)));
    }
    va_end(args);
    Host::current().messages().set_inserts(std::move(inserts));
    return 0;
}

}  // namespace zefhost::kernel
