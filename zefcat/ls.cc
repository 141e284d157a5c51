// zefcat ls: what there is. `ls LIB.CAT` lists a catalog's entries, read
// through the module's directory slots, with the store's sizes, times and
// descriptions beside them; `ls LIB` lists the catalogs of a library and
// `ls` the libraries, both from the host's own settings and files.
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <utility>

#include "command.h"
#include "errors.h"
#include "listing.h"
#include "names.h"
#include "tool.h"
#include "written_with.h"
#include "zefhost/catalog/catalog_error.h"
#include "zefhost/catalog/services.h"

namespace zefcat {
namespace {

namespace catalog = zefhost::catalog;

struct LsArguments {
    std::string name;
    bool json = false;
    bool tabs = false;
    bool table = false;
};

std::string upper(std::string text) {
    for (char &c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string trimmed(std::string text) {
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

Listing list_libraries(Tool &tool) {
    Listing listing({{"LIBRARY", "library"}, {"DIRECTORY", "directory"}, {"SET BY", "set_by"}});
    for (const auto &[name, setting] : tool.libraries().settings()) {
        auto library = tool.host().catalogs().library(name);
        listing.add({{name},
                     {library ? library->location() : setting.directory.string() + " (not a directory)"},
                     {setting.source}});
    }
    return listing;
}

Listing list_catalogs(Tool &tool, const std::string &library, const std::string &context, bool utc_times) {
    catalog::Services &services = tool.host().catalogs();
    if (!services.library(library)) {
        std::string why = tool.libraries().why_not_assigned(library);
        throw Problem(context + ": " + (why.empty() ? "library " + upper(library) +
                                                          " is not assigned; assign it with -L " +
                                                          upper(library) + "=DIR"
                                                    : why));
    }
    Listing listing({{"CATALOG", "catalog"},
                     {"ENTRIES", "entries", true},
                     {"SIZE", "size", true},
                     {"MODIFIED", "modified"}});
    std::vector<catalog::CatalogSummary> catalogs;
    try {
        catalogs = services.list_catalogs(library);
    } catch (const catalog::CatalogError &failure) {
        throw Problem(context + ": " + catalog_detail_text(failure.what()));
    }
    for (const catalog::CatalogSummary &c : catalogs) {
        listing.add({{c.name},
                     {c.entries ? std::to_string(*c.entries) : "?", c.entries},
                     {std::to_string(c.size), c.size},
                     {c.modified ? (utc_times ? utc_second(c.modified) : local_minute(c.modified)) : ""}});
    }
    return listing;
}

// The catalog's entries as the module's directory slots give them, with the
// store's metadata beside them.
Listing list_entries(Tool &tool, const std::string &name, const std::vector<std::string> &parts,
                     const std::string &context, bool utc_times) {
    Session &session = tool.session();
    Fileref fileref = assign_catalog(session, name, context);
    std::optional<InputOnlyTask> input_only(std::in_place, session);
    Directory directory = Directory::open(session, fileref.name(), context);
    input_only.reset();

    std::map<std::pair<std::string, std::string>, catalog::EntryRow> metadata;
    try {
        for (catalog::EntryInfo &info : tool.host().catalogs().list_entries(parts[0], parts[1]))
            metadata.emplace(std::make_pair(info.key.name, info.key.type), std::move(info.row));
    } catch (const catalog::CatalogError &) {
        // Listed without the store's metadata.
    }

    Listing listing({{"NAME", "name"},
                     {"TYPE", "type"},
                     {"SIZE", "size", true},
                     {"MODIFIED", "modified"},
                     {"DESCRIPTION", "description"},
                     // What each entry was written with (null: not known).
                     {"RECFM", "recfm", false, true},
                     {"LRECL", "lrecl", true, true},
                     {"ENCODING", "encoding", false, true}});
    std::string member, type;
    while (directory.next(&member, &type, context)) {
        type = trimmed(type);
        auto found = metadata.find({upper(member), upper(type)});
        if (found == metadata.end()) {
            listing.add({{member}, {type}, {"", std::nullopt}, {""}, {""}, ListCell::none(),
                         {"", std::nullopt}, ListCell::none()});
            continue;
        }
        const catalog::EntryRow &row = found->second;
        const auto &written = row.attributes;
        listing.add({{member},
                     {type},
                     {std::to_string(row.bytes), row.bytes},
                     {utc_times ? utc_second(row.modified) : local_minute(row.modified)},
                     {row.description},
                     written ? ListCell(record_format_letters(written->record_format)) : ListCell::none(),
                     {"", written && written->lrecl > 0 ? std::optional<int64_t>(written->lrecl) : std::nullopt},
                     written ? ListCell(written->encoding) : ListCell::none()});
    }
    directory.close(context);
    return listing;
}

int run(Tool &tool, const LsArguments &arguments) {
    ListFormat format = arguments.json    ? ListFormat::kJson
                        : arguments.tabs  ? ListFormat::kTabs
                        : arguments.table ? ListFormat::kTable
                                          : ListFormat::kAutomatic;
    std::string context = "ls" + (arguments.name.empty() ? "" : " " + shown(arguments.name));
    std::vector<std::string> parts = name_parts(arguments.name);
    tool.session();  // the libraries assigned
    bool for_people = format == ListFormat::kTable ||
                      (format == ListFormat::kAutomatic && isatty(STDOUT_FILENO) == 1);
    switch (parts.size()) {
    case 0:
        list_libraries(tool).print(tool.out(), format);
        break;
    case 1:
        require_library_name(parts[0], context);
        list_catalogs(tool, parts[0], context, !for_people).print(tool.out(), format);
        break;
    case 2:
        list_entries(tool, arguments.name, parts, context, !for_people).print(tool.out(), format);
        break;
    default:
        usage_problem(context + ": ls lists a catalog (library.catalog), a library, or the libraries");
    }
    return 0;
}

const char *kFooter = R"(
On a terminal the listing is a table; piped or redirected it is one line per
entry with tab-separated fields (name, type, size in bytes, modified time in
UTC, description); --json gives an array of objects, which also say what
each entry was written with (recfm, lrecl, encoding; null when not known).

Examples:
  zefcat ls work.notes
  zefcat ls work.notes --json
  zefcat ls work)";

void attach(CLI::App &command, Tool &tool) {
    auto arguments = std::make_shared<LsArguments>();
    command.add_option("NAME", arguments->name, "library.catalog, or a library, or nothing");
    auto json = command.add_flag("--json", arguments->json, "a JSON array of objects");
    auto tabs = command.add_flag("--tsv", arguments->tabs, "tab-separated lines, even on a terminal");
    auto table = command.add_flag("--table", arguments->table, "an aligned table, even when piped");
    json->excludes(tabs)->excludes(table);
    tabs->excludes(table);
    command.footer(kFooter);
    command.callback([&tool, arguments] { tool.finish(run(tool, *arguments)); });
}

}  // namespace
}  // namespace zefcat

ZEFCAT_COMMAND(ls, "list a catalog's entries, a library's catalogs, or the libraries", zefcat::attach);
