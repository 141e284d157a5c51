// zefcat get: read a catalog entry to standard output or a file. Binary
// types come back byte for byte; text types one line per record. A file
// named with -o appears only when the whole entry was read. Options not
// given are taken from what the entry was written with.
#include <string>
#include <vector>

#include "command.h"
#include "copy.h"
#include "entry_copy.h"
#include "errors.h"
#include "names.h"
#include "tool.h"
#include "written_with.h"

namespace zefcat {
namespace {

struct GetArguments {
    std::string name;
    std::vector<std::string> options;
    std::string output = "-";
    bool carriage = false;
};

int run(Tool &tool, const GetArguments &arguments) {
    std::string context = "get " + arguments.name;
    for (const std::string &option : arguments.options)
        if (!looks_like_option(option))
            usage_problem(context + ": " + option +
                          " is not an option: options are KEY=VALUE, MOD, ATTR or CATALOG");

    Session &session = tool.session();
    AssignedEntry entry = assign_entry(session, arguments.name, context);
    EntryForm form = form_of_type(entry.type);
    CopyOptions copy = copy_options(session, arguments.options, form, false,
                                    arguments.carriage, context);
    // Read as the entry was written, unless told otherwise.
    if (form == EntryForm::kLines) {
        StoredEntry stored = stored_entry(session, entry.physical);
        if (stored.attributes)
            copy = with_stored_attributes(session, std::move(copy), *stored.attributes, arguments.options, form,
                                          false, arguments.carriage, context);
    }
    Stream stream = Stream::open(session, entry.fileref.name(),
                                 copy_open_plan(zef::kOpenInput, form, copy), context);
    Output output(arguments.output, context);
    copy_out(stream, output, form, copy, arguments.carriage, context);
    stream.close(context);
    output.commit();
    return 0;
}

const char *kFooter = R"(
OPTIONS are the host's, as for put: ENCODING=name reads an entry stored in
that encoding back as UTF-8; RECFM=P drops the carriage-control character of
each record, --carriage shows it as the first character of each line.

Examples:
  zefcat get work.notes.readme.source
  zefcat get work.pictures.logo.png -o logo.png
  zefcat get work.notes.old.source ENCODING=latin1)";

void attach(CLI::App &command, Tool &tool) {
    auto arguments = std::make_shared<GetArguments>();
    command.add_option("NAME", arguments->name, "the entry: library.catalog.entry.type")->required();
    command.add_option("OPTIONS", arguments->options, "the host's options")->expected(0, -1);
    command.add_option("-o,--output", arguments->output, "write to FILE instead of standard output");
    command.add_flag("--carriage", arguments->carriage,
                     "show each record's carriage-control character first (implies RECFM=P)");
    command.footer(kFooter);
    command.callback([&tool, arguments] { tool.finish(run(tool, *arguments)); });
}

}  // namespace
}  // namespace zefcat

ZEFCAT_COMMAND(get, "read a catalog entry to standard output or a file", zefcat::attach);
