#include "shell_words.h"

#include <algorithm>
#include <cctype>

#include "errors.h"

namespace zefcat {

namespace {

bool blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// The words of a line, quotes kept; stops at a '#' that begins a word.
std::vector<std::string> split(std::string_view line) {
    std::vector<std::string> words;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && blank(line[i])) ++i;
        if (i >= line.size() || line[i] == '#') break;
        std::string word;
        while (i < line.size() && !blank(line[i])) {
            char c = line[i];
            if (c == '\'' || c == '"') {
                size_t close = i + 1;
                for (;;) {
                    close = line.find(c, close);
                    if (close == std::string_view::npos)
                        usage_problem("a quote (" + std::string(1, c) + ") is left open");
                    if (close + 1 < line.size() && line[close + 1] == c) {
                        close += 2;  // a doubled quote stands for one
                        continue;
                    }
                    break;
                }
                word.append(line.substr(i, close + 1 - i));
                i = close + 1;
                continue;
            }
            word += c;
            ++i;
        }
        words.push_back(std::move(word));
    }
    return words;
}

}  // namespace

ShellLine parse_shell_line(std::string_view line) {
    ShellLine parsed;
    parsed.raw = std::string(line);
    std::vector<std::string> words = split(line);
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string &word = words[i];
        bool in = word[0] == '<', out = word[0] == '>';
        if (!in && !out) {
            parsed.words.push_back(word);
            continue;
        }
        std::string file = word.substr(1);
        if (file.empty()) {
            if (i + 1 >= words.size()) usage_problem(std::string(1, word[0]) + " without a file");
            file = words[++i];
        }
        (in ? parsed.input : parsed.output) = unquoted(file);
    }
    if (!parsed.words.empty()) {
        parsed.verb = parsed.words.front();
        parsed.words.erase(parsed.words.begin());
        std::transform(parsed.verb.begin(), parsed.verb.end(), parsed.verb.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    }
    return parsed;
}

std::string unquoted(std::string_view word) {
    if (word.size() < 2 || (word.front() != '\'' && word.front() != '"') || word.back() != word.front())
        return std::string(word);
    char quote = word.front();
    std::string text;
    for (size_t i = 1; i + 1 < word.size(); ++i) {
        text += word[i];
        if (word[i] == quote && i + 2 < word.size() && word[i + 1] == quote) ++i;
    }
    return text;
}

std::string text_after_words(std::string_view line, size_t count) {
    size_t i = 0;
    for (size_t n = 0; n < count; ++n) {
        while (i < line.size() && blank(line[i])) ++i;
        while (i < line.size() && !blank(line[i])) ++i;
    }
    if (i < line.size() && blank(line[i])) ++i;
    std::string text(line.substr(std::min(i, line.size())));
    while (!text.empty() && text.back() == '\r') text.pop_back();
    return text;
}

const std::string &word(const ShellLine &line, size_t i, const char *what, const std::string &context) {
    if (i >= line.words.size()) usage_problem(context + ": name " + what);
    return line.words[i];
}

std::vector<std::string> words_from(const ShellLine &line, size_t first) {
    if (first >= line.words.size()) return {};
    return std::vector<std::string>(line.words.begin() + static_cast<std::ptrdiff_t>(first), line.words.end());
}

}  // namespace zefcat
