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

void require_entry_name(std::string_view name, std::string_view context) {
    size_t parts = name_parts(name).size();
    if (parts < 3)
        usage_problem(std::string(context) + ": " + std::string(name) +
                      " is not an entry name: write library.catalog.entry.type "
                      "(or library.catalog.entry for a CATAMS entry)");
}

void require_catalog_name(std::string_view name, std::string_view context) {
    if (name_parts(name).size() != 2)
        usage_problem(std::string(context) + ": " + std::string(name) +
                      " is not a catalog name: write library.catalog");
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

AssignedEntry assign_entry(Session &session, std::string_view name, std::string_view context) {
    require_entry_name(name, context);
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
