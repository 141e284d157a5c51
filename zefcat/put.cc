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
#include "entry_put.h"
#include "file_types.h"
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
    std::vector<std::string> rest;  // [FILE|-] then the options; or FILE... and options
    bool carriage = false;
    std::string type;  // --type: the type of every file put into a catalog
    bool compress = false;
    bool no_compress = false;
};

}  // namespace

int64_t put_file(Session &session, const std::string &name, const std::string &file,
                 const std::vector<std::string> &options, bool carriage, bool append, const std::string &context,
                 const KeptVersion *kept) {
    AssignedEntry entry = assign_entry(session, name, NameUse::kWrite, context);
    EntryForm form = form_of_type(entry.type);
    CopyOptions copy = copy_options(session, options, form, append, carriage, context);
    if (form == EntryForm::kLines) check_record_room(copy.settings, entry.type, true, context);
    // An append goes on as the entry was written, unless told otherwise.
    StoredEntry before;
    if (appends(copy)) {
        before = stored_entry(session, entry.physical);
        if (before.attributes)
            copy = with_stored_attributes(session, std::move(copy), *before.attributes, options, form, true,
                                          carriage, context);
    }
    // The input first: a file that cannot be read leaves the entry untouched.
    Input input(file, context, kept == nullptr);
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
    if (kept != nullptr) {
        if (kept->attributes) remember_attributes(session, entry.physical, *kept->attributes, context);
        remember_times(session, entry.physical, kept->created, kept->modified, context);
    } else if (!appends(copy) || !before.exists || before.attributes) {
        VersionAttributes attributes = attributes_in_force(session, *stream, plan, copy, before.attributes);
        // A put keeps its file's time and mode; an appended entry is no one file.
        if (!appends(copy)) {
            attributes.file_time = input.file_time();
            attributes.file_mode = input.file_mode();
        }
        remember_attributes(session, entry.physical, attributes, context);
    }
    return copy_in(*stream, input, form, copy, carriage, context);
}

namespace {

int run(Tool &tool, const PutArguments &arguments, bool append) {
    std::string context = std::string(append ? "append " : "put ") + shown(arguments.name);
    if (arguments.compress || arguments.no_compress)
        tool.host().catalogs().set_compress_writes(arguments.compress);
    std::vector<std::string> files, options;
    for (const std::string &argument : arguments.rest)
        (looks_like_option(argument) ? options : files).push_back(argument);
    bool into_catalog = !append && name_parts(arguments.name).size() == 2;
    if (into_catalog || (!append && files.size() > 1)) {
        if (!into_catalog)
            usage_problem(context + ": several files go into a catalog: zefcat put LIB.CAT FILE...");
        return put_files(tool, arguments.name, files, options, arguments.type, arguments.carriage);
    }
    if (!arguments.type.empty())
        usage_problem(context + ": --type is for files put into a catalog (zefcat put LIB.CAT FILE...); "
                                "here the name gives the type");
    // The file, when there is one, comes before the options.
    std::string file = "-";
    options = arguments.rest;
    if (!options.empty() && !looks_like_option(options.front())) {
        file = options.front();
        options.erase(options.begin());
    }
    for (const std::string &option : options)
        if (!looks_like_option(option))
            usage_problem(context + ": " + option +
                          " is not an option: options are KEY=VALUE, MOD, ATTR or CATALOG");
    int64_t cut = put_file(tool.session(), arguments.name, file, options, arguments.carriage, append, context);
    return cut > 0 ? kExitCut : 0;
}

const char *kFooterCommon = R"(
FILE is a file to read, or - (the default) for standard input. OPTIONS are
the host's: LRECL=n, RECFM=V|F|P|S, DESC='text', ENCODING=name, ATTR, ...

--compress keeps the new version compressed (zstd, chunk by chunk, where
that saves space); every reader reads it as before. Without it a library's
setting decides (zefcat config LIB compress=zstd).

Text entry types (SOURCE, LOG, OUTPUT, HTML, XML, CSV, ...) are written one
line to a record; lines longer than the record length are cut, each cut is
noted, and the exit status is 3. Binary types (GIF, JPEG, PNG, PDF, JAR) are
written byte for byte, so that get gives back the same file; RECFM=P and
--carriage, which would add a byte to them, are refused.

A put records the file's modification time and permission bits with the
entry (get -p gives them back); an append drops them.
)";

const char *kFooterMany = R"(
Many files at once: zefcat put LIB.CAT FILE... puts each file into the
catalog as an entry named after it: the file name without its extension,
upper-cased, must keep the name rules, and the type comes from the
extension (--type TYPE gives every file that type instead):
%TABLE%
Each file is its own write. A file that cannot be put (a name the rules
refuse, a file that cannot be read, two files that would be one entry) is
said on standard error and the others still go in; standard output says
what went where and how many were put and refused. The exit status is 1
when any file was refused. The options, if any, go with every file.

Examples:
  zefcat put work.notes.readme.source README.md
  zefcat put mylib.reports.jan.source jan.txt LRECL=80 RECFM=F DESC='January report'
  zefcat put work.notes *.txt *.log
  zefcat put work.data --type csv jan.dat feb.dat)";

const char *kFooterAppend = R"(
Examples:
  zefcat append work.notes.todo.source more.txt
  some-command | zefcat append work.logs.build.log)";

// The footer; put's with the extension table written out from the table itself.
std::string footer(bool append) {
    if (append) return std::string(kFooterCommon) + kFooterAppend;
    std::string many = kFooterMany;
    std::string table;
    for (const std::string &line : type_table_lines()) table += (table.empty() ? "" : "\n") + line;
    many.replace(many.find("%TABLE%"), 7, table);
    return kFooterCommon + many;
}

void attach_to(CLI::App &command, Tool &tool, bool append) {
    auto arguments = std::make_shared<PutArguments>();
    command.add_option("NAME", arguments->name,
                       append ? "the entry: library.catalog.entry.type"
                              : "the entry (library.catalog.entry.type), or a catalog (library.catalog) for many files")
        ->required();
    command.add_option("FILE_AND_OPTIONS", arguments->rest,
                       append ? "[FILE|-] then the host's options" : "[FILE|-] then the host's options; or FILE... for a catalog")
        ->expected(0, -1);
    if (!append)
        command.add_option("--type", arguments->type, "the type of every file put into a catalog")
            ->type_name("TYPE");
    command.add_flag("--carriage", arguments->carriage,
                     "each line's first character is its carriage control (implies RECFM=P)");
    auto *compress = command.add_flag("--compress", arguments->compress,
                                      "keep the new version's chunks compressed (zstd) where that saves space");
    command.add_flag("--no-compress", arguments->no_compress, "keep them as they are, whatever the library's setting")
        ->excludes(compress);
    command.footer(footer(append));
    command.callback([&tool, arguments, append] { tool.finish(run(tool, *arguments, append)); });
}

void attach_put(CLI::App &command, Tool &tool) { attach_to(command, tool, false); }
void attach_append(CLI::App &command, Tool &tool) { attach_to(command, tool, true); }

}  // namespace
}  // namespace zefcat

ZEFCAT_COMMAND(put, "write a file into a catalog entry, replacing it, or many files into a catalog", zefcat::attach_put);
ZEFCAT_COMMAND(append, "add a file to the end of a catalog entry", zefcat::attach_append);
