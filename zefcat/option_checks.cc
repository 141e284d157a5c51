#include "option_checks.h"

#include <algorithm>
#include <cctype>

#include "errors.h"
#include "session.h"
#include "zefhost/catalog/chunk.h"
#include "zefxbaml/stream_block.h"

namespace zefcat {

namespace {

constexpr size_t kLongestDescription = 256;

std::string upper(std::string_view text) {
    std::string result(text);
    for (char &c : result) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return result;
}

[[noreturn]] void more_than_one(const std::string &option, std::string_view context) {
    usage_problem(std::string(context) + ": " + shown(option) +
                  " is more than one option: give each option as an argument of its own");
}

// The text of a value in the host's quotes, a doubled quote standing for
// one; npos in *end when the quote is not closed, else the index just after
// the closing quote.
std::string unquote(std::string_view value, size_t *end) {
    char quote = value.front();
    std::string text;
    for (size_t i = 1; i < value.size(); ++i) {
        if (value[i] != quote) {
            text += value[i];
            continue;
        }
        if (i + 1 < value.size() && value[i + 1] == quote) {
            text += quote;
            ++i;
            continue;
        }
        *end = i + 1;
        return text;
    }
    *end = std::string_view::npos;
    return text;
}

}  // namespace

int64_t largest_record_length() { return zefhost::catalog::kMaxBlockLength; }

void check_option_words(const std::vector<std::string> &options, std::string_view context) {
    for (const std::string &option : options) {
        size_t equals = option.find('=');
        if (equals == std::string::npos) {
            if (option.find_first_of(" \t") != std::string::npos) more_than_one(option, context);
            continue;
        }
        std::string key = upper(option.substr(0, equals));
        std::string_view value = std::string_view(option).substr(equals + 1);
        if (key.find_first_of(" \t") != std::string::npos) more_than_one(option, context);
        bool description = key == "DESC" || key == "DESCRIPTION";
        bool quoted = !value.empty() && (value.front() == '\'' || value.front() == '"');
        std::string text(value);
        if (quoted) {
            size_t end = 0;
            text = unquote(value, &end);
            // Anything after the closing quote is another option.
            if (end != std::string_view::npos && end < value.size()) more_than_one(option, context);
        } else if (!description && value.find_first_of(" \t") != std::string_view::npos) {
            more_than_one(option, context);
        }
        if (!description) continue;
        if (text.size() > kLongestDescription)
            usage_problem(std::string(context) + ": " + key + "= has " + std::to_string(text.size()) +
                          " bytes: a description has at most 256");
        // One word reaches the host as a name, which DESC does not take.
        if (!quoted && !value.empty() &&
            std::all_of(value.begin(), value.end(), [](unsigned char c) { return std::isalnum(c) || c == '_' || c == '-'; }))
            usage_problem(std::string(context) + ": " + shown(option) +
                          ": a description is a quoted text; keep the quotes for the host: " + key +
                          "=\"'" + shown(text) + "'\"");
    }
}

void check_record_length(const OptionSettings &settings, std::string_view context) {
    if (settings.lrecl > largest_record_length())
        usage_problem(std::string(context) + ": LRECL=" + std::to_string(settings.lrecl) +
                      " is above the largest record length, " + std::to_string(largest_record_length()) +
                      " (256 MB)");
}

void check_record_room(const OptionSettings &settings, std::string_view type, bool writing,
                       std::string_view context) {
    if (settings.lrecl <= 0) return;
    std::string key = upper(type);
    bool line_type = key == "SOURCE" || key == "LOG" || key == "OUTPUT" || key == "ZEF";
    bool carriage = (settings.record_format & zef::kRecordPrint) != 0;
    int64_t kept = 0;
    std::string why;
    if (carriage) {
        kept += 1;
        why = "the carriage control";
    }
    if (line_type && !settings.attr) {
        kept += 1;
        why += why.empty() ? "the line's control byte" : " and the line's control byte";
    }
    if (line_type && carriage && writing) kept += 1;
    if (settings.lrecl > kept) return;
    usage_problem(std::string(context) + ": LRECL=" + std::to_string(settings.lrecl) +
                  " leaves no room for text: a " + key + " record keeps " + std::to_string(kept) +
                  (kept == 1 ? " byte" : " bytes") + " of it for " + why + "; give LRECL=" +
                  std::to_string(kept + 1) + " or more");
}

}  // namespace zefcat
