// How zefcat tells a person that something failed: one line on standard
// error, "zefcat: CONTEXT: WHAT (0xSTATUS)", and an exit status: 1 for a
// failure, 2 for a usage or option error. Commands throw Problem; main()
// and the shell print it and turn it into the exit status.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace zefhost {
class Host;
}

namespace zefcat {

inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;
// put and append: the entry was written, but lines longer than the record
// length were cut.
inline constexpr int kExitCut = 3;

// A failure that ends a command: the whole line a person reads (without
// the "zefcat: " in front) and the exit status it calls for.
class Problem : public std::runtime_error {
public:
    explicit Problem(const std::string &text, int exit_status = kExitFailure)
        : std::runtime_error(text), exit_status_(exit_status) {}
    int exit_status() const { return exit_status_; }

private:
    int exit_status_;
};

// A usage error (exit status 2).
[[noreturn]] void usage_problem(const std::string &text);

// The exit status a failing status calls for: 2 when the person wrote
// something the module or the host refuses (an option, a name), else 1.
int exit_status_for(int32_t status);

// What a status means for a person: the host's words for it, the inserts
// the module handed over with it (a message of set 566, a name, a
// rejected token), the catalog services' own detail where it adds
// something, then the status in hexadecimal: "entry in use: entry
// README.SOURCE is being written (0x8001C005)".
std::string status_text(zefhost::Host &host, int32_t status);

// Throws the Problem for `status` met while doing `context`.
[[noreturn]] void fail_status(zefhost::Host &host, int32_t status, std::string_view context);

// Prints "zefcat: TEXT" on standard error.
void print_problem(std::string_view text);

// A value a person gave (or a file held), as a message may show it: control
// characters and bytes outside ASCII as \t, \n or \xNN, and cut to about
// 80 characters with "..." after them, so that a message stays one
// readable line whatever it echoes.
std::string shown(std::string_view value, size_t most = 80);

// What the catalog services said about a catalog file, in a person's words:
// "FILE is not a catalog file", "FILE is damaged", ... never the store's SQL
// or its engine's words. Empty when `detail` is empty.
std::string catalog_detail_text(std::string_view detail);

}  // namespace zefcat
