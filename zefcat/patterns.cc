#include "patterns.h"

#include <fnmatch.h>

#include <algorithm>
#include <cctype>
#include <string>

#include "errors.h"
#include "names.h"

namespace zefcat {

bool has_wildcard(std::string_view part) { return part.find_first_of("*?[") != std::string_view::npos; }

bool is_pattern(std::string_view name) {
    for (const std::string &part : name_parts(name))
        if (has_wildcard(part)) return true;
    return false;
}

bool part_matches(std::string_view part, std::string_view name) {
    std::string pattern(part), text(name);
    if (pattern.size() == text.size() &&
        std::equal(pattern.begin(), pattern.end(), text.begin(), [](unsigned char a, unsigned char b) {
            return std::toupper(a) == std::toupper(b);
        }))
        return true;
    return fnmatch(pattern.c_str(), text.c_str(), FNM_CASEFOLD) == 0;
}

void require_pattern_characters(std::string_view name, std::string_view context) {
    for (const std::string &part : name_parts(name)) {
        if (!has_wildcard(part)) continue;
        for (char c : part) {
            auto byte = static_cast<unsigned char>(c);
            bool fits = std::isalnum(byte) || std::string_view("_$#@-*?[]!").find(c) != std::string_view::npos;
            if (!fits)
                usage_problem(std::string(context) + ": the pattern " + shown(part) +
                              " has a character no name has: " + kNameRule);
        }
    }
}

}  // namespace zefcat
