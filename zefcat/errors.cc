#include "errors.h"

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "host/abi.h"
#include "module/status.h"
#include "zefhost/catalog/services.h"
#include "zefhost/host.h"
#include "zefhost/kernel_statuses.h"
#include "zefhost/status_text.h"

namespace zefcat {

namespace {

std::string trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\0' || text.back() == ' ')) text.pop_back();
    return text;
}

// The inserts as text: a 4-byte length that travels ahead of a text insert
// is dropped, as are trailing blanks and NULs.
std::string inserts_text(const std::vector<std::string> &inserts) {
    std::string text;
    for (size_t i = 0; i < inserts.size(); ++i) {
        if (inserts[i].size() == sizeof(int32_t) && i + 1 < inserts.size()) continue;
        std::string insert = trimmed(inserts[i]);
        if (insert.empty()) continue;
        text += text.empty() ? "" : ", ";
        text += insert;
    }
    return text;
}

// Catalog statuses whose detail from the catalog services says more than
// the status alone (which library, which file, what the store answered).
bool detail_helps(int32_t status) {
    return status == zef::kCatalogLibraryNotAssigned || status == zef::kCatalogDamaged ||
           status == zef::kCatalogIoFailure || status == zef::kCatalogEntryInUse ||
           status == zef::kCatalogBadRequest;
}

std::string hex(int32_t status) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<uint32_t>(status));
    return text;
}

}  // namespace

void usage_problem(const std::string &text) { throw Problem(text, kExitUsage); }

int exit_status_for(int32_t status) {
    switch (status) {
    case zef::kUnknownOption:
    case zef::kOptionRejected:
    case zef::kNameUnsuitable:
    case zef::kNameRefused:
    case zefhost::kUnterminatedQuote:
    case zefhost::kUnknownEncoding:
    case zefhost::kNotANumber:
    case zefhost::kTokenTooLong:
        return kExitUsage;
    default:
        return kExitFailure;
    }
}

std::string status_text(zefhost::Host &host, int32_t status) {
    std::string detail = detail_helps(status) ? host.catalogs().last_error() : std::string();
    // SQLite's words for a full disk (SQLITE_FULL), put plainly.
    if (status == zef::kCatalogIoFailure && detail.find("is full") != std::string::npos)
        return "the disk is full (" + zefhost::describe_status(status) + ", " + hex(status) + ")";

    // A library (or catalog) the user cannot write: that is the whole story.
    if (status == zef::kCatalogBadRequest && detail.ends_with(" is read-only")) return detail + " (" + hex(status) + ")";

    std::string text = zefhost::describe_status(status);
    std::string inserts = inserts_text(host.last_inserts());
    if (!inserts.empty()) text += ": " + inserts;
    if (!detail.empty()) text += ": " + detail;
    if (status == zef::kCatalogLibraryNotAssigned)
        text += "; assign it with -L NAME=DIR or ZEF_LIBRARIES=NAME=DIR";
    return text + " (" + hex(status) + ")";
}

void fail_status(zefhost::Host &host, int32_t status, std::string_view context) {
    throw Problem(std::string(context) + ": " + status_text(host, status), exit_status_for(status));
}

void print_problem(std::string_view text) {
    std::cout.flush();
    std::cerr << "zefcat: " << text << '\n';
}

}  // namespace zefcat
