// zefcat: catalog entries through the zefxbaml access method, loaded the way
// the host loads it. One subcommand per command file (command.h).
#include <algorithm>
#include <iostream>

#include "command.h"
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

int main(int argc, char **argv) {
    zefcat::Tool tool(std::cout, std::cerr);
    CLI::App app{"zefcat: catalog entries through the zefxbaml access method", "zefcat"};
    app.require_subcommand(1);
    for (const zefcat::Command &command : zefcat::registered_commands())
        command.attach(*app.add_subcommand(command.name, command.summary), tool);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &error) {
        return app.exit(error);
    } catch (const zefhost::LoadError &error) {
        std::cerr << "zefcat: " << error.what() << '\n';
        return 2;
    } catch (const std::exception &error) {
        std::cerr << "zefcat: " << error.what() << '\n';
        return 1;
    }
    return tool.exit_status();
}
