// zefcat get: read a catalog entry to standard output or a file. Binary
// types come back byte for byte; text types one line per record, each one
// whole unless LRECL= asks for less (then every cut is noted and the exit
// status is 3). Options not given are taken from what the entry was written
// with. A file named with -o is written as output.h says.
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

namespace zefcat {
namespace {

struct GetArguments {
    std::string name;
    std::vector<std::string> options;
    std::string output = "-";
    bool carriage = false;
    bool preserve = false;
};

int run(Tool &tool, const GetArguments &arguments) {
    std::string context = "get " + shown(arguments.name);
    for (const std::string &option : arguments.options)
        if (!looks_like_option(option))
            usage_problem(context + ": " + option +
                          " is not an option: options are KEY=VALUE, MOD, ATTR or CATALOG");

    if (arguments.output.empty())
        usage_problem(context + ": -o needs a file name (- is standard output)");
    if (arguments.preserve && arguments.output == "-")
        usage_problem(context + ": -p gives the file -o names the entry's file time and mode; standard output "
                                "has none");

    Session &session = tool.session();
    AssignedEntry entry = assign_entry(session, arguments.name, NameUse::kRead, context);
    EntryForm form = form_of_type(entry.type);
    CopyOptions copy = copy_options(session, arguments.options, form, false,
                                    arguments.carriage, context);
    if (form == EntryForm::kLines) check_record_room(copy.settings, entry.type, false, context);
    // Read as the entry was written, unless told otherwise.
    if (form == EntryForm::kLines) {
        StoredEntry stored = stored_entry(session, entry.physical);
        if (stored.attributes)
            copy = with_stored_attributes(session, std::move(copy), *stored.attributes, arguments.options, form,
                                          false, arguments.carriage, context);
    }
    // Settled before the entry is opened: a refused output touches nothing.
    Output output(arguments.output, tool.libraries(), context);
    Stream stream = open_for_copy(session, entry.fileref.name(), zef::kOpenInput, form, copy, context);
    if (arguments.preserve) {
        // What the version opened was put from; an entry that was not put
        // from a file has neither.
        StoredEntry stored = stored_entry(session, entry.physical);
        if (stored.attributes) output.keep_file_attributes(stored.attributes->file_time, stored.attributes->file_mode);
    }
    int64_t cut = copy_out(stream, output, form, copy, arguments.carriage, context);
    stream.close(context);
    output.commit();
    return cut > 0 ? kExitCut : 0;
}

const char *kFooter = R"(
OPTIONS are the host's, as for put: ENCODING=name reads an entry stored in
that encoding back as UTF-8; RECFM=P drops the carriage-control character of
each record, --carriage shows it as the first character of each line.
Records come back whole; LRECL=n cuts longer ones to n bytes, notes each cut,
and the exit status is 3.

-o FILE replaces a regular file only once the whole entry was read (through
a symbolic link, keeping the file's mode); a device, FIFO or terminal is
written as the shell's > would. The catalogs' own files are refused.
-p gives that file the modification time and permission bits of the file
the entry was put from (put records them); a device keeps its own.

Examples:
  zefcat get work.notes.readme.source
  zefcat get work.pictures.logo.png -o logo.png
  zefcat get -p work.scripts.build.source -o build.sh
  zefcat get work.notes.old.source ENCODING=latin1)";

void attach(CLI::App &command, Tool &tool) {
    auto arguments = std::make_shared<GetArguments>();
    command.add_option("NAME", arguments->name, "the entry: library.catalog.entry.type")->required();
    command.add_option("OPTIONS", arguments->options, "the host's options")->expected(0, -1);
    command.add_option("-o,--output", arguments->output, "write to FILE instead of standard output");
    command.add_flag("-p,--preserve", arguments->preserve,
                     "give the -o file the time and mode of the file the entry was put from");
    command.add_flag("--carriage", arguments->carriage,
                     "show each record's carriage-control character first (implies RECFM=P)");
    command.footer(kFooter);
    command.callback([&tool, arguments] { tool.finish(run(tool, *arguments)); });
}

}  // namespace
}  // namespace zefcat

ZEFCAT_COMMAND(get, "read a catalog entry to standard output or a file", zefcat::attach);
