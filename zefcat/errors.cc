#include "errors.h"

#include <cctype>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "zefhost/catalog/services.h"
#include "zefhost/host.h"
#include "zefhost/kernel_statuses.h"
#include "zefhost/status_text.h"
#include "zefxbaml/abi.h"
#include "zefxbaml/status.h"

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
        // A text that came with its length ahead of it is a token the person
        // wrote, shown as such; the others are the module's own sentences.
        bool token = i > 0 && inserts[i - 1].size() == sizeof(int32_t);
        text += token ? shown(insert) : insert;
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

bool contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

std::string lower(std::string_view text) {
    std::string result(text);
    for (char &c : result) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return result;
}

// The catalog services' words for a file's trouble, as a person says them.
std::string file_trouble(const std::string &file, std::string_view rest) {
    std::string words = lower(rest);
    if (contains(words, "not a database") || contains(words, "not a catalog") || contains(words, "not a file"))
        return file + " is not a catalog file";
    if (contains(words, "malformed") || contains(words, "corrupt")) return file + " is damaged";
    if (contains(words, "locked") || contains(words, "busy")) return file + " is in use by another process";
    if (contains(words, "readonly") || contains(words, "read-only") || contains(words, "for writing"))
        return file + " cannot be written";
    if (contains(words, "no such catalog")) return file + " does not exist";
    if (contains(words, "permission denied")) return file + ": permission denied";
    if (contains(words, "cannot be created")) return file + " cannot be made";
    // The engine's own words come last; what comes between is the store's
    // doing (a statement, a step), which means nothing to a person.
    size_t last = rest.rfind(": ");
    std::string_view said = last == std::string_view::npos ? rest : rest.substr(last + 2);
    return file + " cannot be used: " + shown(said);
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

std::string shown(std::string_view value, size_t most) {
    std::string text;
    for (size_t i = 0; i < value.size(); ++i) {
        if (text.size() >= most) return text + "...";
        auto c = static_cast<unsigned char>(value[i]);
        if (c == '\t') {
            text += "\\t";
        } else if (c == '\n') {
            text += "\\n";
        } else if (c < 0x20 || c >= 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            text += escaped;
        } else {
            text += static_cast<char>(c);
        }
    }
    return text;
}

std::string catalog_detail_text(std::string_view detail) {
    if (detail.empty()) return {};
    // "FILE: what happened" when the trouble is a catalog file's.
    size_t file_end = detail.find(".zcat: ");
    // A store's own words (a database server's reason, say) are kept whole
    // enough to act on.
    if (file_end == std::string_view::npos) return shown(detail, 400);
    std::string file = shown(detail.substr(0, file_end + 5));
    return file_trouble(file, detail.substr(file_end + 7));
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
    if (!detail.empty()) text += ": " + catalog_detail_text(detail);
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
