// How the shell reads one command line: words separated by blanks, a
// quoted part (either quote) keeping its blanks and its quotes, so that an
// option such as DESC='two words' reaches the host as written; `< FILE` and
// `> FILE` name the input and output; `#` at the start of a word begins a
// comment.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zefcat {

struct ShellLine {
    std::string verb;                // the command, in lower case
    std::vector<std::string> words;  // after the verb, quotes kept
    std::optional<std::string> input;   // after "<"
    std::optional<std::string> output;  // after ">"
    std::string raw;                    // the line as written
};

// Throws a usage Problem for a quote left open or a "<" or ">" without a file.
ShellLine parse_shell_line(std::string_view line);

// A word without the quotes around it (a doubled quote inside stands for one).
std::string unquoted(std::string_view word);

// Word i of the line; a usage Problem naming `what` when the line has too few.
const std::string &word(const ShellLine &line, size_t i, const char *what,
                        const std::string &context);

// The words from index `first` on (none when the line is shorter).
std::vector<std::string> words_from(const ShellLine &line, size_t first);

// The raw text after the first `count` words of `line` (and one blank).
std::string text_after_words(std::string_view line, size_t count);

}  // namespace zefcat
