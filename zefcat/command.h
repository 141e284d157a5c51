// How a zefcat command joins the tool: each command file defines a Command
// and registers it with a static ZEFCAT_COMMAND(...) line; main() turns every
// registered command into a subcommand, in name order.
//
//     namespace {
//     void attach(CLI::App &command, zefcat::Tool &tool) {
//         command.add_option("name", ...);
//         command.callback([&tool] { tool.finish(run(tool)); });
//     }
//     }  // namespace
//     ZEFCAT_COMMAND(about, "show what the host sees of the module", attach);
#pragma once

#include <CLI/CLI.hpp>

#include <vector>

namespace zefcat {

class Tool;

struct Command {
    const char *name;
    const char *summary;
    // Adds the command's options and its callback to its subcommand.
    void (*attach)(CLI::App &command, Tool &tool);
};

// Adds a command to the tool; returns true so that a static can hold it.
bool register_command(const Command &command);
// Every registered command, sorted by name.
std::vector<Command> registered_commands();

}  // namespace zefcat

#define ZEFCAT_COMMAND(name, summary, attach)            \
    [[maybe_unused]] static const bool zefcat_command_##name = \
        ::zefcat::register_command(::zefcat::Command{#name, summary, attach})
