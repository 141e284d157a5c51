// zefcat put and zefcat append: write a file (or standard input) into a
// catalog entry, replacing it (put) or adding to its end (append, which
// opens with MOD). Text types go line by line, binary types byte for byte.
// The new contents become the entry's only when everything was written; a
// failure leaves the entry as it was. The entry keeps what it was written
// with (written_with.h), and an append goes on with it.
#include <optional>
#include <string>
#include <vector>

#include "command.h"
#include "copy.h"
#include "entry_copy.h"
#include "errors.h"
#include "names.h"
#include "option_checks.h"
#include "tool.h"
#include "written_with.h"
#include "zefhost/catalog/services.h"
#include "zefhost/host.h"

namespace zefcat {
namespace {

// Opens that may find the entry changed by the writer they waited for.
constexpr int kOpenAttempts = 100;

struct PutArguments {
    std::string name;
    std::vector<std::string> rest;  // [FILE|-] then the options
    bool carriage = false;
};

int run(Tool &tool, const PutArguments &arguments, bool append) {
    std::string context = std::string(append ? "append " : "put ") + shown(arguments.name);
    std::string file = "-";
    std::vector<std::string> options = arguments.rest;
    if (!options.empty() && !looks_like_option(options.front())) {
        file = options.front();
        options.erase(options.begin());
    }
    for (const std::string &option : options)
        if (!looks_like_option(option))
            usage_problem(context + ": " + option +
                          " is not an option: options are KEY=VALUE, MOD, ATTR or CATALOG");

    Session &session = tool.session();
    AssignedEntry entry = assign_entry(session, arguments.name, NameUse::kWrite, context);
    EntryForm form = form_of_type(entry.type);
    CopyOptions copy = copy_options(session, options, form, append,
                                    arguments.carriage, context);
    if (form == EntryForm::kLines) check_record_room(copy.settings, entry.type, true, context);
    // An append goes on as the entry was written, unless told otherwise.
    StoredEntry before;
    if (appends(copy)) {
        before = stored_entry(session, entry.physical);
        if (before.attributes)
            copy = with_stored_attributes(session, std::move(copy), *before.attributes, options, form, true,
                                          arguments.carriage, context);
    }
    // The input first: a file that cannot be read leaves the entry untouched.
    Input input(file, context);
    if (input.is_terminal())
        print_note(context, "reading from the terminal; end with Ctrl-D");

    OpenPlan plan = copy_open_plan(zef::kOpenOutput, form, copy);
    std::optional<Stream> stream;
    for (int attempt = 1; !stream; ++attempt) {
        try {
            stream.emplace(Stream::open(session, entry.fileref.name(), plan, context));
        } catch (const Problem &) {
            // Another writer appended longer records between the module's
            // look at the entry and the open that waited for it: look again.
            if (attempt == kOpenAttempts || !session.host().catalogs().last_error().ends_with(
                                                "was replaced after it was described"))
                throw;
        }
    }
    // The new version is written with these (an append to an entry whose
    // attributes are unknown leaves them unknown: its older records may
    // have been written otherwise).
    if (!appends(copy) || !before.exists || before.attributes)
        remember_attributes(session, entry.physical,
                            attributes_in_force(session, *stream, plan, copy, before.attributes), context);
    int64_t cut = copy_in(*stream, input, form, copy, arguments.carriage, context);
    return cut > 0 ? kExitCut : 0;
}

const char *kFooter = R"(
FILE is a file to read, or - (the default) for standard input. OPTIONS are
the host's: LRECL=n, RECFM=V|F|P|S, DESC='text', ENCODING=name, ATTR, ...

Text entry types (SOURCE, LOG, OUTPUT, HTML, XML, CSV, ...) are written one
line to a record; lines longer than the record length are cut, each cut is
noted, and the exit status is 3. Binary types (GIF, JPEG, PNG, PDF, JAR) are
written byte for byte, so that get gives back the same file; RECFM=P and
--carriage, which would add a byte to them, are refused.

Examples:
  zefcat put work.notes.readme.source README.md
  zefcat put mylib.reports.jan.source jan.txt LRECL=80 RECFM=F DESC='January report'
  some-command | zefcat append work.logs.build.log)";

void attach_to(CLI::App &command, Tool &tool, bool append) {
    auto arguments = std::make_shared<PutArguments>();
    command.add_option("NAME", arguments->name, "the entry: library.catalog.entry.type")->required();
    command.add_option("FILE_AND_OPTIONS", arguments->rest, "[FILE|-] then the host's options")
        ->expected(0, -1);
    command.add_flag("--carriage", arguments->carriage,
                     "each line's first character is its carriage control (implies RECFM=P)");
    command.footer(kFooter);
    command.callback([&tool, arguments, append] { tool.finish(run(tool, *arguments, append)); });
}

void attach_put(CLI::App &command, Tool &tool) { attach_to(command, tool, false); }
void attach_append(CLI::App &command, Tool &tool) { attach_to(command, tool, true); }

}  // namespace
}  // namespace zefcat

ZEFCAT_COMMAND(put, "write a file into a catalog entry, replacing it", zefcat::attach_put);
ZEFCAT_COMMAND(append, "add a file to the end of a catalog entry", zefcat::attach_append);
