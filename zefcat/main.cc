// zefcat: catalog entries through the zefxbaml access method, loaded the way
// the host loads it. One subcommand per command file (command.h).
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string_view>
#include <vector>

#include "command.h"
#include "errors.h"
#include "tool.h"
#include "version.h"

namespace zefcat {

namespace {

std::vector<Command> &command_list() {
    static std::vector<Command> commands;
    return commands;
}

}  // namespace

bool register_command(const Command &command) {
    command_list().push_back(command);
    return true;
}

std::vector<Command> registered_commands() {
    std::vector<Command> commands = command_list();
    std::sort(commands.begin(), commands.end(), [](const Command &a, const Command &b) {
        return std::string_view(a.name) < std::string_view(b.name);
    });
    return commands;
}

}  // namespace zefcat

namespace {

const char *kFooter = R"(
Libraries: a library name is assigned to a directory with -L NAME=DIR (any
number of times) or ZEF_LIBRARIES=NAME=DIR:NAME=DIR. WORK is always there:
./zefdata, or the directory ZEF_WORK names; it is made on the first write.

Entries are named library.catalog.entry.type, e.g. work.notes.readme.source:
letters, digits, _ $ # @ or -, up to 8 for a library or type, 32 for a
catalog or entry. zefcat help COMMAND (or zefcat COMMAND --help) explains one.

A write (put, append, cp, mv, rm) that finds its entry being written by
another process waits until it is free, up to --wait SECONDS (60 by default).

Exit status: 0 success, 1 failure, 2 usage or option error, 3 records were
cut to the record length (put, append, cp, get LRECL=, shell).)";

// How far apart two words are: the edits (a letter added, dropped,
// changed, or two swapped) that make one the other.
size_t distance(std::string_view a, std::string_view b) {
    std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
    for (size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
    for (size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
    for (size_t i = 1; i <= a.size(); ++i)
        for (size_t j = 1; j <= b.size(); ++j) {
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] != b[j - 1])});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    return d[a.size()][b.size()];
}

// "WORD is not a command", with the command it was most likely meant to be.
[[noreturn]] void not_a_command(std::string_view word) {
    std::string best;
    size_t best_distance = 3;  // more edits than two: no suggestion
    for (const zefcat::Command &command : zefcat::registered_commands()) {
        std::string_view name = command.name;
        size_t d = word.size() >= 2 && name.substr(0, word.size()) == word ? 1 : distance(word, name);
        if (d < best_distance) {
            best_distance = d;
            best = name;
        }
    }
    if (std::string_view("help").substr(0, word.size()) == word || distance(word, "help") < best_distance)
        best = "help";
    zefcat::usage_problem(zefcat::shown(word) + " is not a command" + (best.empty() ? "" : "; did you mean " + best + "?") +
                          " (zefcat --help lists them)");
}

// The first word that is not an option must name a command (or be help);
// said plainly before CLI11 would say only that a command is required.
// Returns the index of that word, or 0 when there is none.
int command_word(int argc, char **argv) {
    for (int i = 1; i < argc; ++i) {
        std::string_view word = argv[i];
        if (word == "-L" || word == "--library" || word == "--wait") {
            ++i;
            continue;
        }
        if (word.empty() || word.front() == '-') continue;
        if (word == "help") return i;
        for (const zefcat::Command &command : zefcat::registered_commands())
            if (word == command.name) return i;
        not_a_command(word);
    }
    return 0;
}

// zefcat help [COMMAND]: what --help says, for zefcat or for one command.
int help(CLI::App &app, int argc, char **argv, int at) {
    if (at + 1 >= argc) {
        std::cout << app.help();
        return 0;
    }
    if (at + 2 < argc) zefcat::usage_problem("help: name one command (zefcat help COMMAND)");
    std::string_view word = argv[at + 1];
    for (CLI::App *command : app.get_subcommands({}))
        if (command->get_name() == word) {
            std::cout << command->help("zefcat");
            return 0;
        }
    not_a_command(word);
}

// What a command printed must have arrived: a full disk or a device error
// behind standard output is a failure, never a success.
int output_arrived(int status) {
    std::cout.flush();
    errno = 0;
    bool written = std::fflush(stdout) == 0 && std::ferror(stdout) == 0 && std::cout.good();
    if (written) return status;
    int error = errno;
    zefcat::print_problem(std::string("cannot write standard output: ") +
                          (error != 0 ? std::strerror(error) : "the output was refused"));
    return status == 0 || status == zefcat::kExitCut ? zefcat::kExitFailure : status;
}

}  // namespace

int main(int argc, char **argv) {
    zefcat::Tool tool(std::cout, std::cerr);
    CLI::App app{"zefcat: catalog entries through the zefxbaml access method", "zefcat"};
    app.require_subcommand(1);
    app.fallthrough();
    app.footer(kFooter);
    app.set_version_flag("-V,--version", std::string("zefcat ") + zefcat::kVersion);
    app.add_option("-L,--library", tool.library_options(), "assign a library: NAME=DIR")
        ->type_name("NAME=DIR")
        ->allow_extra_args(false)
        ->take_all();
    app.add_option("--wait", tool.wait_seconds(),
                   "how long a write waits for an entry another process is writing (default 60; 0: "
                   "fail at once)")
        ->type_name("SECONDS")
        ->check(CLI::Range(0.0, 86400.0));
    for (const zefcat::Command &command : zefcat::registered_commands())
        command.attach(*app.add_subcommand(command.name, command.summary), tool);

    try {
        int at = command_word(argc, argv);
        if (at > 0 && std::string_view(argv[at]) == "help") {
            // Options before it still count: zefcat -V help shows the version.
            for (int i = 1; i < at; ++i)
                if (std::string_view(argv[i]) == "-V" || std::string_view(argv[i]) == "--version") {
                    std::cout << "zefcat " << zefcat::kVersion << '\n';
                    return 0;
                }
            return help(app, argc, argv, at);
        }
        if (at == 0 && !std::any_of(argv + 1, argv + argc, [](const char *word) {
                std::string_view w = word;
                return w == "-h" || w == "--help" || w == "-V" || w == "--version";
            }))
            zefcat::usage_problem("name a command (zefcat --help lists them)");
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp &help) {
        return app.exit(help);
    } catch (const CLI::CallForAllHelp &help) {
        return app.exit(help);
    } catch (const CLI::CallForVersion &version) {
        return app.exit(version);
    } catch (const CLI::ParseError &error) {
        // One line, naming the command it was for.
        std::string where = "zefcat";
        for (const CLI::App *command : app.get_subcommands()) where += " " + command->get_name();
        zefcat::print_problem((where == "zefcat" ? std::string() : where.substr(7) + ": ") + error.what() +
                              " (" + where + " --help)");
        return zefcat::kExitUsage;
    } catch (const zefcat::Problem &problem) {
        zefcat::print_problem(problem.what());
        return problem.exit_status();
    } catch (const zefhost::LoadError &error) {
        zefcat::print_problem(error.what());
        return zefcat::kExitFailure;
    } catch (const std::exception &error) {
        zefcat::print_problem(error.what());
        return zefcat::kExitFailure;
    }
    return output_arrived(tool.exit_status());
}
