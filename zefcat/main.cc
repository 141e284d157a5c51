// zefcat: catalog entries through the zefxbaml access method, loaded the way
// the host loads it. One subcommand per command file (command.h).
#include <algorithm>
#include <iostream>

#include "command.h"
#include "errors.h"
#include "tool.h"

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

Entries are named library.catalog.entry.type, e.g. work.notes.readme.source.
Every command has --help.

A write (put, append, rm) that finds its entry being written by another
process waits until it is free, up to --wait SECONDS (60 by default).

Exit status: 0 success, 1 failure, 2 usage or option error, 3 lines were cut
to the record length (put, append).)";

// The first word that is not an option must name a command; said plainly
// before CLI11 would say only that a command is required.
void check_command_word(int argc, char **argv) {
    for (int i = 1; i < argc; ++i) {
        std::string_view word = argv[i];
        if (word == "-L" || word == "--library" || word == "--wait") {
            ++i;
            continue;
        }
        if (word.empty() || word.front() == '-') continue;
        for (const zefcat::Command &command : zefcat::registered_commands())
            if (word == command.name) return;
        zefcat::usage_problem(std::string(word) + " is not a command (zefcat --help lists them)");
    }
}

}  // namespace

int main(int argc, char **argv) {
    zefcat::Tool tool(std::cout, std::cerr);
    CLI::App app{"zefcat: catalog entries through the zefxbaml access method", "zefcat"};
    app.require_subcommand(1);
    app.fallthrough();
    app.footer(kFooter);
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
        check_command_word(argc, argv);
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp &help) {
        return app.exit(help);
    } catch (const CLI::CallForAllHelp &help) {
        return app.exit(help);
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
    std::cout.flush();
    return tool.exit_status();
}
