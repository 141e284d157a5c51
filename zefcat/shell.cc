// The shell's loop: reading lines, running each command, reporting the
// failures, and ending the session. The commands themselves live in
// shell_filerefs.cc, shell_streams.cc and shell_directories.cc.
#include "shell.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "command.h"
#include "copy.h"
#include "errors.h"
#include "tool.h"

namespace zefcat {

namespace {

const char *kCommands = R"(Filerefs
  assign FREF NAME [OPTIONS]        assign (FREF - : the host makes a name up)
  assignlike FREF OLD [ENTRY] [OPTIONS]
                                    assign like fileref OLD; ENTRY extends a catalog's name
  deassign FREF                     deassign; its open streams stay usable
  filerefs                          list the filerefs
  assigned FREF                     is FREF assigned?
  exists FREF                       does its entry (or catalog) exist?
  pathname FREF                     its physical name
  info FREF                         file information (and items, when open)
  delete FREF [-r]                  delete its entry, or its catalog (-r: with its entries)
  options [OPTIONS]                 what an option statement sets
  defaults [OPTIONS]                options for every later open that gives none
Streams
  open FREF input|output|append|update [OPTIONS]
  write FREF [OPTIONS] < FILE       write FILE to the open stream, or replace the entry
  line FREF TEXT                    write one record to the open stream
  read FREF [COUNT] [OPTIONS] [> FILE]
                                    read the open stream, or the whole entry
  note FREF, point FREF POSITION, flush FREF, close FREF
Directories (FREF names a catalog: library.catalog)
  dir FREF                          list its members
  opendir FREF, closedir FREF       hold a directory open between commands
  member FREF NAME [KIND] [OPTIONS] [< FILE | > FILE]
                                    read a member, or write it from FILE
  memberexists FREF NAME [TYPE]     does the member exist?
Other
  set NAME VALUE                    a host variable (for NBYTE=NAME)
  echo TEXT, help, quit)";

bool is_terminal(int fd) { return isatty(fd) == 1; }

}  // namespace

Shell::Shell(Tool &tool, std::string source, bool keep_going, bool interactive)
    : tool_(tool),
      session_(tool.session()),
      source_(std::move(source)),
      keep_going_(keep_going),
      interactive_(interactive) {}

Shell::~Shell() { finish(true); }

int Shell::run(std::istream &in) {
    int status = 0;
    std::string text;
    int64_t number = 0;
    for (;;) {
        if (interactive_) {
            std::cout.flush();
            std::cerr << "zefcat> " << std::flush;
        }
        if (!std::getline(in, text)) break;
        ++number;
        std::string location = interactive_ ? std::string() : source_ + ":" + std::to_string(number) + ": ";
        try {
            ShellLine line = parse_shell_line(text);
            if (line.verb.empty()) continue;
            if (line.verb == "quit" || line.verb == "exit") break;
            std::string context = location + line.verb;
            if (!line.words.empty()) context += " " + unquoted(line.words.front());
            execute(line, context);
            std::cout.flush();
        } catch (const Problem &problem) {
            std::string text = problem.what();
            // Problems met while reading the line itself carry no place yet.
            print_problem(text.rfind(location, 0) == 0 ? text : location + text);
            status = std::max(status, problem.exit_status());
            if (!interactive_ && !keep_going_) {
                finish(true);
                return status;
            }
        }
    }
    if (interactive_) std::cerr << '\n';
    finish(false);
    return status == 0 && cut_ ? kExitCut : status;
}

void Shell::execute(const ShellLine &line, const std::string &context) {
    using Command = void (Shell::*)(const ShellLine &, const std::string &);
    static const std::map<std::string, Command> commands = {
        {"assign", &Shell::assign},
        {"assignlike", &Shell::assign_like},
        {"deassign", &Shell::deassign},
        {"assigned", &Shell::test_assigned},
        {"exists", &Shell::test_exists},
        {"pathname", &Shell::physical_name},
        {"delete", &Shell::erase},
        {"info", &Shell::information},
        {"options", &Shell::show_options},
        {"defaults", &Shell::set_defaults},
        {"open", &Shell::open},
        {"write", &Shell::write},
        {"line", &Shell::write_line},
        {"read", &Shell::read},
        {"note", &Shell::note},
        {"point", &Shell::point},
        {"flush", &Shell::flush},
        {"close", &Shell::close},
        {"dir", &Shell::list_directory},
        {"opendir", &Shell::open_directory},
        {"closedir", &Shell::close_directory},
        {"member", &Shell::member},
        {"memberexists", &Shell::member_exists},
    };
    if (line.verb == "filerefs") return list_filerefs(context);
    if (line.verb == "help") {
        std::cout << kCommands << '\n';
        return;
    }
    if (line.verb == "echo") {
        std::cout << text_after_words(line.raw, 1) << '\n';
        return;
    }
    if (line.verb == "set") {
        if (line.words.size() != 2) usage_problem(context + ": write set NAME VALUE");
        char *end = nullptr;
        double value = std::strtod(line.words[1].c_str(), &end);
        if (end == nullptr || *end != '\0') usage_problem(context + ": " + line.words[1] + " is not a number");
        tool_.host().set_variable(line.words[0], value);
        return;
    }
    auto found = commands.find(line.verb);
    if (found == commands.end())
        usage_problem(context + ": no such command (help lists them)");
    (this->*found->second)(line, context);
}

// Ends the session: streams are closed, or, after a failure, the ones open
// for writing abandoned; held directories closed; filerefs deassigned.
void Shell::finish(bool failed) {
    for (auto &[name, open] : streams_) {
        if (failed && open.stream.writing()) {
            open.stream.abandon();
            print_note(source_, "the stream open on " + name + " was not closed: its entry keeps what it had");
            continue;
        }
        try {
            open.stream.close("close " + name);
        } catch (const Problem &problem) {
            print_problem(problem.what());
        }
    }
    streams_.clear();
    for (auto &[name, directory] : directories_) {
        try {
            directory.close("closedir " + name);
        } catch (const Problem &problem) {
            print_problem(problem.what());
        }
    }
    directories_.clear();
    for (auto &[name, fileref] : filerefs_) {
        session_.before_call();
        session_.slot<zef::fn::yxldasg>(slot::kDeassign)(fileref.data(), nullptr);
    }
    filerefs_.clear();
}

namespace {

struct ShellArguments {
    std::string script;
    bool keep_going = false;
};

int run_shell(Tool &tool, const ShellArguments &arguments) {
    bool from_stdin = arguments.script.empty() || arguments.script == "-";
    bool interactive = from_stdin && is_terminal(STDIN_FILENO);
    std::string source = from_stdin ? "standard input" : arguments.script;
    if (from_stdin) {
        Shell shell(tool, source, arguments.keep_going, interactive);
        return shell.run(std::cin);
    }
    std::error_code error;
    if (std::filesystem::is_directory(arguments.script, error))
        throw Problem("shell: " + shown(arguments.script) + " is a directory, not a script");
    std::ifstream in(arguments.script);
    if (!in) {
        int why = errno;
        throw Problem("shell: cannot read " + shown(arguments.script) + ": " + std::strerror(why));
    }
    Shell shell(tool, source, arguments.keep_going, false);
    return shell.run(in);
}

std::string footer() {
    return std::string("\nCommands, one a line (# begins a comment):\n") + kCommands +
           "\n\nOPTIONS are the host's (LRECL=80 DESC='two words' ...). A script stops at its\n"
           "first failing command, with that command's exit status; one that cut a\n"
           "record to the record length (line, write, read, member) ends with exit status 3.";
}

void attach(CLI::App &command, Tool &tool) {
    auto arguments = std::make_shared<ShellArguments>();
    command.add_option("SCRIPT", arguments->script, "the script to run; - or none: standard input");
    command.add_flag("-k,--keep-going", arguments->keep_going, "carry on after a failing command");
    command.footer(footer());
    command.callback([&tool, arguments] { tool.finish(run_shell(tool, *arguments)); });
}

}  // namespace
}  // namespace zefcat

ZEFCAT_COMMAND(shell, "run commands on filerefs, streams and directories, one a line", zefcat::attach);
