#include "names.h"

#include <algorithm>
#include <cctype>
#include <utility>

#include "errors.h"

namespace zefcat {

namespace {

bool name_start(unsigned char c) { return std::isalpha(c) || c == '_'; }
bool name_char(unsigned char c) { return std::isalnum(c) || c == '_'; }

// Whether the host's tokenizer reads `value` as one token: a name (a letter
// or '_' first; letters, digits, '_', and '-' between them) or a number.
bool one_token(std::string_view value) {
    if (value.empty()) return false;
    if (std::all_of(value.begin(), value.end(), [](unsigned char c) { return std::isdigit(c); }))
        return true;
    if (!name_start(static_cast<unsigned char>(value.front()))) return false;
    for (size_t i = 1; i < value.size(); ++i) {
        auto c = static_cast<unsigned char>(value[i]);
        if (name_char(c)) continue;
        if (c == '-' && i + 1 < value.size() && name_char(static_cast<unsigned char>(value[i + 1])))
            continue;
        return false;
    }
    return true;
}

std::string upper(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return result;
}

}  // namespace

std::vector<std::string> name_parts(std::string_view name) {
    while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    std::vector<std::string> parts;
    if (name.empty()) return parts;
    while (parts.size() < 3) {
        size_t dot = name.find('.');
        if (dot == std::string_view::npos) break;
        parts.emplace_back(name.substr(0, dot));
        name.remove_prefix(dot + 1);
    }
    parts.emplace_back(name);
    return parts;
}

const char *const kNameRule =
    "a name has letters, digits, _ $ # @ or - (not first), up to 32 for a catalog or entry "
    "and 8 for a type";
const char *const kLibraryRule = "a library name has 1 to 8 letters, digits, _ # $ or @";

namespace {

// A name split at every period (the host's division stops at four parts;
// counting them all tells a fifth part from a type with a period in it).
std::vector<std::string_view> every_part(std::string_view name) {
    std::vector<std::string_view> parts;
    for (;;) {
        size_t dot = name.find('.');
        parts.push_back(name.substr(0, dot));
        if (dot == std::string_view::npos) return parts;
        name.remove_prefix(dot + 1);
    }
}

bool rule_char(unsigned char c, bool library) {
    return std::isalnum(c) || c == '_' || c == '$' || c == '#' || c == '@' || (c == '-' && !library);
}

// Why `part` breaks the character rule, or empty when it keeps it.
std::string broken_rule(std::string_view part, bool library) {
    for (size_t i = 0; i < part.size(); ++i) {
        auto c = static_cast<unsigned char>(part[i]);
        if (rule_char(c, library) && !(c == '-' && i == 0)) continue;
        if (c < 0x20 || c == 0x7F) return "has a control character";
        if (c >= 0x80) return "has a character outside ASCII";
        if (c == ' ') return "has a blank";
        if (c == '\'' || c == '"' || c == '`') return "has a quote";
        if (c == '*' || c == '?' || c == '[' || c == ']' || c == '%') return "has a wildcard";
        if (c == '-') return i == 0 ? "begins with -" : "has a -";
        return std::string("has the character ") + static_cast<char>(c);
    }
    return {};
}

[[noreturn]] void refuse(std::string_view context, const std::string &why) {
    usage_problem(std::string(context) + ": " + why);
}

// The length and character checks of one part. `characters`: whether the
// character rule applies to it.
void check_part(std::string_view part, const char *what, size_t most, bool library, bool characters,
                std::string_view context) {
    std::string label = std::string("the ") + what;
    const char *rule = library ? kLibraryRule : kNameRule;
    if (part.empty()) refuse(context, label + " is empty: " + rule);
    if (part.size() > most)
        refuse(context, label + " has " + std::to_string(part.size()) + " characters: " + rule);
    if (!characters) return;
    std::string why = broken_rule(part, library);
    if (!why.empty()) refuse(context, label + " " + why + ": " + rule);
}

constexpr const char *kWritableTypes[] = {
    "SOURCE", "LOG", "OUTPUT", "CATAMS", "HTML", "XML", "XSL", "CSS", "WML", "CSV", "JS", "VBS",
    "RTF", "PS", "QAVPROJ", "QAVDATA", "QAVEVENT", "QAVDIAG", "QAVSPEC", "QAVLIST", "QAVSCORE",
    "QAV1", "QAV2", "QAV3", "QAV4", "QAV5", "QAV6", "QAV7", "QAV8", "QAV9", "QAV10",
    "GIF", "JPEG", "PNG", "PDF", "JAR",
    "ZEF",  // read as SOURCE
};

}  // namespace

bool writable_type(std::string_view type) {
    std::string key = upper(type);
    for (const char *writable : kWritableTypes)
        if (key == writable) return true;
    return false;
}

void require_entry_name(std::string_view name, NameUse use, std::string_view context) {
    std::vector<std::string_view> parts = every_part(name);
    if (parts.size() < 3)
        refuse(context, "not an entry name: write library.catalog.entry.type "
                        "(or library.catalog.entry for a CATAMS entry)");
    if (parts.size() > 4)
        refuse(context, "too many parts (" + std::to_string(parts.size()) +
                            "): an entry name is library.catalog.entry.type");
    bool writing = use == NameUse::kWrite;
    check_part(parts[0], "library", 8, true, true, context);
    check_part(parts[1], "catalog", 32, false, true, context);
    check_part(parts[2], "entry", 32, false, writing, context);
    if (parts.size() == 4) check_part(parts[3], "type", 8, false, writing, context);
    if (writing && parts.size() == 4 && !writable_type(parts[3]))
        refuse(context, "entries of type " + upper(parts[3]) +
                            " cannot be written; the types that can: SOURCE LOG OUTPUT CATAMS HTML XML "
                            "XSL CSS WML CSV JS VBS RTF PS QAV... (text), GIF JPEG PNG PDF JAR (binary)");
}

void require_catalog_name(std::string_view name, std::string_view context) {
    std::vector<std::string_view> parts = every_part(name);
    if (parts.size() != 2) refuse(context, "not a catalog name: write library.catalog");
    check_part(parts[0], "library", 8, true, true, context);
    check_part(parts[1], "catalog", 32, false, true, context);
}

void require_library_name(std::string_view name, std::string_view context) {
    check_part(name, "library", 8, true, true, context);
}

void require_name_part(std::string_view part, NamePart which, NameUse use, std::string_view context) {
    bool writing = use == NameUse::kWrite;
    switch (which) {
    case NamePart::kLibrary: check_part(part, "library", 8, true, true, context); break;
    case NamePart::kCatalog: check_part(part, "catalog", 32, false, true, context); break;
    case NamePart::kEntry: check_part(part, "entry", 32, false, writing, context); break;
    case NamePart::kType:
        check_part(part, "type", 8, false, writing, context);
        if (writing && !writable_type(part))
            refuse(context, "entries of type " + upper(part) + " cannot be written");
        break;
    }
}

std::string option_statement(const std::vector<std::string> &options) {
    std::string statement;
    for (const std::string &option : options) {
        std::string text = option;
        size_t equals = option.find('=');
        if (equals != std::string::npos && equals + 1 < option.size()) {
            std::string_view value = std::string_view(option).substr(equals + 1);
            bool quoted = value.front() == '\'' || value.front() == '"';
            if (!quoted && !one_token(value)) {
                std::string requoted = option.substr(0, equals + 1) + "'";
                for (char c : value) {
                    if (c == '\'') requoted += '\'';  // a quote inside is doubled
                    requoted += c;
                }
                text = requoted + "'";
            }
        }
        statement += statement.empty() ? "" : " ";
        statement += text;
    }
    return statement;
}

bool looks_like_option(std::string_view argument) {
    if (argument.find('=') != std::string_view::npos) return true;
    std::string word = upper(argument);
    return word == "MOD" || word == "ATTR" || word == "CATALOG";
}

EntryForm form_of_type(std::string_view type) {
    while (!type.empty() && type.back() == ' ') type.remove_suffix(1);
    std::string key = upper(type);
    for (const char *binary : {"GIF", "JPEG", "PNG", "PDF", "JAR"})
        if (key == binary) return EntryForm::kBytes;
    return EntryForm::kLines;
}

AssignedEntry assign_entry(Session &session, std::string_view name, NameUse use, std::string_view context) {
    require_entry_name(name, use, context);
    Fileref fileref = Fileref::assign(session, FilerefName(), name, {}, context);
    std::string physical = fileref.physical_name(context);
    std::string type = name_parts(physical).size() == 4 ? name_parts(physical).back() : "CATAMS";
    return AssignedEntry{std::move(fileref), std::move(physical), std::move(type)};
}

Fileref assign_catalog(Session &session, std::string_view name, std::string_view context) {
    require_catalog_name(name, context);
    return Fileref::assign(session, FilerefName(), name, {}, context);
}

}  // namespace zefcat
