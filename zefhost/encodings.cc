#include "encodings.h"

#include <algorithm>
#include <initializer_list>
#include <iterator>

#include "host.h"
#include "kernel_routines.h"
#include "kernel_statuses.h"

namespace zefhost {

namespace {

struct Encoding {
    int32_t id;
    const char *name;
    const char *iconv_name;
    std::initializer_list<const char *> spellings;
};

const Encoding kEncodings[] = {
    {kEncodingUtf8, "utf-8", "UTF-8", {"utf-8", "utf8"}},
    {kEncodingLatin1, "latin1", "ISO-8859-1",
     {"latin1", "latin-1", "iso-8859-1", "iso8859-1", "iso88591", "iso_8859-1"}},
    {kEncodingWindowsLatin1, "wlatin1", "WINDOWS-1252",
     {"wlatin1", "windows-1252", "windows1252", "cp1252"}},
    {kEncodingAscii, "ascii", "ASCII", {"ascii", "us-ascii", "usascii", "ansi_x3.4-1968"}},
    {kEncodingEbcdic037, "ebcdic037", "IBM037", {"ebcdic037", "ebcdic", "cp037", "ibm037", "ibm-037"}},
    {kEncodingLatin9, "latin9", "ISO-8859-15",
     {"latin9", "latin-9", "iso-8859-15", "iso8859-15", "iso885915"}},
    {kEncodingEbcdic1047, "ebcdic1047", "IBM1047", {"ebcdic1047", "cp1047", "ibm1047", "ibm-1047"}},
};

bool same_ignoring_case(std::string_view a, std::string_view b) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

const Encoding *by_id(int32_t id) {
    auto it = std::find_if(std::begin(kEncodings), std::end(kEncodings),
                           [id](const Encoding &e) { return e.id == id; });
    return it == std::end(kEncodings) ? nullptr : it;
}

}  // namespace

int32_t find_encoding(std::string_view name) {
    while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
    while (!name.empty() && (name.back() == ' ' || name.back() == '\0')) name.remove_suffix(1);
    if (name.empty()) return 0;
    for (const Encoding &e : kEncodings)
        for (const char *spelling : e.spellings)
            if (same_ignoring_case(name, spelling)) return e.id;
    return 0;
}

const char *encoding_name(int32_t id) {
    const Encoding *e = by_id(id);
    return e ? e->name : nullptr;
}

const char *encoding_name_for_iconv(int32_t id) {
    const Encoding *e = by_id(id);
    return e ? e->iconv_name : nullptr;
}

}  // namespace zefhost

// ------------------------------------------------------------ wztxcei --

namespace zefhost::kernel {

// The identifier of the encoding called name[0..length) (any case, blanks
// around it dropped). Returns 0 and *id, or kUnknownEncoding (*id unchanged).
int32_t wztxcei(int32_t, const char *name, int32_t length, int32_t *id) {
    HostCall call(zef::routine::wztxcei);
    if (call.failure()) return *call.failure();
    if (name == nullptr || length <= 0 || id == nullptr) return kUnknownEncoding;
    const int32_t found = find_encoding(std::string_view(name, static_cast<size_t>(length)));
    if (found == 0) return kUnknownEncoding;
    *id = found;
    return 0;
}

}  // namespace zefhost::kernel
