// zefcat ls: what there is. `ls LIB.CAT` lists a catalog's entries, read
// through the module's directory slots, with the store's sizes, times and
// descriptions beside them; `ls LIB.CAT.ENTRY[.TYPE]` lists the entries of
// that name; `ls LIB` lists the catalogs of a library and `ls` the
// libraries, both from the host's own settings and files. Every part may
// be a pattern (patterns.h); a pattern that matches nothing is a failure.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <utility>

#include "command.h"
#include "errors.h"
#include "listing.h"
#include "matching.h"
#include "names.h"
#include "patterns.h"
#include "tool.h"
#include "written_with.h"
#include "zefhost/catalog/catalog_error.h"
#include "zefhost/catalog/services.h"

namespace zefcat {
namespace {

namespace catalog = zefhost::catalog;

enum class SortBy { kName, kSize, kTime };

struct LsArguments {
    std::string name;
    bool json = false;
    bool tabs = false;
    bool table = false;
    bool long_form = false;
    SortBy sort = SortBy::kName;
};

// How the rows are shown: times for a person (local minutes) or ISO UTC.
struct View {
    bool utc_times = true;
    bool long_form = false;
    SortBy sort = SortBy::kName;
};

std::string when(const View &view, int64_t microseconds) {
    return view.utc_times ? utc_second(microseconds) : local_minute(microseconds);
}

// Largest (or newest) first, as ls -S and ls -t; rows without a value last,
// and the name order kept among equals.
template <typename Row, typename Key>
void sort_descending(std::vector<Row> &rows, Key key) {
    std::stable_sort(rows.begin(), rows.end(), [&key](const Row &a, const Row &b) {
        std::optional<int64_t> x = key(a), y = key(b);
        if (x && y) return *x > *y;
        return x.has_value() && !y.has_value();
    });
}

ListCell count_cell(std::optional<int64_t> value) {
    return value ? ListCell(std::to_string(*value), value) : ListCell("?", std::nullopt);
}

// ------------------------------------------------------------ libraries --

struct LibraryLine {
    std::string name;
    std::string directory;
    std::string source;
    std::optional<int64_t> catalogs, entries, bytes;
};

// Each library with what its catalogs hold; a catalog that cannot be read
// counts as a catalog, its entries as none.
Listing list_libraries(Tool &tool, const View &view) {
    catalog::Services &services = tool.host().catalogs();
    std::vector<LibraryLine> lines;
    for (const auto &[name, setting] : tool.libraries().settings()) {
        // A database's connection text may hold a password: it is never shown.
        std::string place = catalog::names_database(setting.directory.string())
                                ? "(a database that cannot be used: zefcat ls " + name + " says why)"
                                : setting.directory.string() + " (not a directory)";
        LibraryLine line{name, place, setting.source, {}, {}, {}};
        if (auto library = services.library(name)) {
            line.directory = library->location();
            auto catalogs = library_catalogs(tool, name);
            line.catalogs = static_cast<int64_t>(catalogs.size());
            line.entries = 0;
            line.bytes = 0;
            for (const catalog::CatalogSummary &summary : catalogs) {
                try {
                    for (const catalog::EntryInfo &info : services.list_entries(name, summary.name)) {
                        *line.entries += 1;
                        *line.bytes += info.row.bytes;
                    }
                } catch (const catalog::CatalogError &) {
                }
            }
        }
        lines.push_back(std::move(line));
    }
    if (view.sort == SortBy::kSize) sort_descending(lines, [](const LibraryLine &l) { return l.bytes; });

    Listing listing({{"LIBRARY", "library"},
                     {"DIRECTORY", "directory"},
                     {"SET BY", "set_by"},
                     {"CATALOGS", "catalogs", true},
                     {"ENTRIES", "entries", true},
                     {"BYTES", "bytes", true}});
    for (const LibraryLine &line : lines)
        listing.add({{line.name}, {line.directory}, {line.source}, count_cell(line.catalogs),
                     count_cell(line.entries), count_cell(line.bytes)});
    return listing;
}

// ------------------------------------------------------------- catalogs --

struct CatalogLine {
    CatalogPlace place;
    std::optional<int64_t> entries;
    int64_t size = 0;
    int64_t modified = 0;
};

// The catalogs of the libraries matching `library`; with a leading LIBRARY
// column when the pattern could reach more than one.
Listing list_catalogs(Tool &tool, const std::string &library, const std::string &context, const View &view) {
    catalog::Services &services = tool.host().catalogs();
    std::vector<CatalogLine> lines;
    for (const std::string &name : matching_libraries(tool, library, context)) {
        std::vector<catalog::CatalogSummary> catalogs;
        try {
            catalogs = services.list_catalogs(name);
        } catch (const catalog::CatalogError &failure) {
            throw Problem(context + ": " + catalog_detail_text(failure.what()));
        }
        for (const catalog::CatalogSummary &summary : catalogs) {
            // A damaged or foreign catalog is listed without a count.
            lines.push_back(CatalogLine{{name, summary.name}, summary.entries, summary.size, summary.modified});
        }
    }
    if (has_wildcard(library) && lines.empty()) throw Problem(context + ": nothing matches");
    if (view.sort == SortBy::kSize) sort_descending(lines, [](const CatalogLine &l) { return l.size; });
    if (view.sort == SortBy::kTime) sort_descending(lines, [](const CatalogLine &l) { return l.modified; });

    bool qualified = has_wildcard(library);
    std::vector<ListColumn> columns;
    if (qualified) columns.push_back({"LIBRARY", "library"});
    for (ListColumn column : std::vector<ListColumn>{{"CATALOG", "catalog"},
                                                     {"ENTRIES", "entries", true},
                                                     {"SIZE", "size", true},
                                                     {"MODIFIED", "modified"}})
        columns.push_back(column);
    Listing listing(columns);
    for (const CatalogLine &line : lines) {
        std::vector<ListCell> row;
        if (qualified) row.emplace_back(line.place.library);
        row.emplace_back(line.place.catalog);
        row.push_back(line.entries ? ListCell(std::to_string(*line.entries), line.entries) : ListCell("?", std::nullopt));
        row.emplace_back(std::to_string(line.size), line.size);
        row.emplace_back(line.modified ? when(view, line.modified) : "");
        listing.add(std::move(row));
    }
    return listing;
}

// -------------------------------------------------------------- entries --

struct EntryLine {
    EntryPlace place;
    std::optional<catalog::EntryRow> row;  // none: the store did not say
};

// A value that is not known: "?" for a person, null in JSON.
ListCell unknown() {
    ListCell cell("?");
    cell.absent = true;
    return cell;
}

std::vector<ListColumn> entry_columns(bool qualified, bool long_form) {
    std::vector<ListColumn> columns;
    if (qualified) columns.push_back({"CATALOG", "catalog"});
    columns.push_back({"NAME", "name"});
    columns.push_back({"TYPE", "type"});
    // What each entry was written with (null: not known): JSON only,
    // unless --long shows it.
    std::vector<ListColumn> written{{"RECFM", "recfm", false, !long_form},
                                    {"LRECL", "lrecl", true, !long_form},
                                    {"ENCODING", "encoding", false, !long_form}};
    // What the store keeps of each version (null: not known).
    std::vector<ListColumn> stored{{"STORED", "stored", true, !long_form},
                                   {"CHECKSUM", "checksum", false, !long_form}};
    if (long_form) {
        columns.insert(columns.end(), written.begin(), written.end());
        columns.push_back({"SIZE", "size", true});
        columns.push_back(stored[0]);
        columns.push_back({"CREATED", "created"});
        columns.push_back({"MODIFIED", "modified"});
        columns.push_back(stored[1]);
        columns.push_back({"DESCRIPTION", "description"});
        return columns;
    }
    columns.push_back({"SIZE", "size", true});
    columns.push_back({"MODIFIED", "modified"});
    columns.push_back({"DESCRIPTION", "description"});
    columns.insert(columns.end(), written.begin(), written.end());
    columns.insert(columns.end(), stored.begin(), stored.end());
    return columns;
}

std::vector<ListCell> entry_cells(const EntryLine &line, bool qualified, const View &view) {
    std::vector<ListCell> written, cells;
    const auto &attributes = line.row ? line.row->attributes : std::nullopt;
    if (attributes) {
        written.emplace_back(record_format_letters(attributes->record_format));
        written.emplace_back(attributes->lrecl > 0 ? std::to_string(attributes->lrecl) : "",
                             attributes->lrecl > 0 ? std::optional<int64_t>(attributes->lrecl) : std::nullopt);
        written.emplace_back(attributes->encoding);
    } else {
        for (int i = 0; i < 3; ++i) written.push_back(view.long_form ? unknown() : ListCell::none());
    }
    // The space the version takes in the store, and its checksum.
    ListCell stored = view.long_form ? unknown() : ListCell::none();
    ListCell checksum = view.long_form ? ListCell("-") : ListCell::none();
    if (line.row && line.row->stored_bytes >= 0)
        stored = ListCell(std::to_string(line.row->stored_bytes), line.row->stored_bytes);
    if (line.row && line.row->checksum.present()) checksum = ListCell(line.row->checksum.text());
    if (checksum.text == "-") checksum.absent = true;
    if (qualified) cells.emplace_back(line.place.catalog.name());
    cells.emplace_back(line.place.name);
    cells.emplace_back(line.place.type);
    if (view.long_form) cells.insert(cells.end(), written.begin(), written.end());
    if (line.row) {
        cells.emplace_back(std::to_string(line.row->bytes), line.row->bytes);
        if (view.long_form) cells.push_back(stored);
        if (view.long_form) cells.emplace_back(utc_second(line.row->created));
        cells.emplace_back(view.long_form ? utc_second(line.row->modified) : when(view, line.row->modified));
        if (view.long_form) cells.push_back(checksum);
        cells.emplace_back(line.row->description);
    } else {
        cells.emplace_back("", std::nullopt);
        if (view.long_form) cells.push_back(stored);
        if (view.long_form) cells.emplace_back("");
        cells.emplace_back("");
        if (view.long_form) cells.push_back(checksum);
        cells.emplace_back("");
    }
    if (!view.long_form) {
        cells.insert(cells.end(), written.begin(), written.end());
        cells.push_back(stored);
        cells.push_back(checksum);
    }
    return cells;
}

// The entries matching the parts from the third on (all of them for a
// catalog name), with the store's metadata beside each. A catalog that
// cannot be listed fails a listing of one catalog; among several it is
// said and the others are listed (*status is then 1).
Listing list_entries(Tool &tool, const std::vector<std::string> &parts, const std::string &context,
                     const View &view, int *status) {
    bool several = has_wildcard(parts[0]) || has_wildcard(parts[1]);
    std::string entry = parts.size() > 2 ? parts[2] : "*";
    std::string type = parts.size() > 3 ? parts[3] : "";
    std::vector<EntryLine> lines;
    std::vector<CatalogPlace> catalogs = matching_catalogs(tool, parts[0], parts[1], context);
    for (const CatalogPlace &place : catalogs) {
        std::vector<EntryPlace> entries;
        try {
            entries = matching_entries(tool, place, entry, type, context);
        } catch (const Problem &problem) {
            if (!several) throw;
            print_problem(std::string(problem.what()) + " (" + place.name() + ")");
            *status = std::max(*status, problem.exit_status());
            continue;
        }
        std::map<std::pair<std::string, std::string>, catalog::EntryRow> metadata;
        try {
            for (catalog::EntryInfo &info : tool.host().catalogs().list_entries(place.library, place.catalog))
                metadata.emplace(std::make_pair(info.key.name, info.key.type), std::move(info.row));
        } catch (const catalog::CatalogError &) {
            // Listed without the store's metadata.
        }
        for (EntryPlace &found : entries) {
            auto row = metadata.find({catalog::upper(found.name), catalog::upper(found.type)});
            lines.push_back({std::move(found), row == metadata.end() ? std::nullopt
                                                                     : std::optional<catalog::EntryRow>(row->second)});
        }
    }
    bool named = parts.size() > 2 || several;
    if (named && lines.empty() && *status == 0) {
        bool pattern = several || has_wildcard(entry) || has_wildcard(type);
        throw Problem(context + (pattern ? ": nothing matches" : ": no such entry"));
    }
    auto size = [](const EntryLine &l) { return l.row ? std::optional<int64_t>(l.row->bytes) : std::nullopt; };
    auto modified = [](const EntryLine &l) { return l.row ? std::optional<int64_t>(l.row->modified) : std::nullopt; };
    if (view.sort == SortBy::kSize) sort_descending(lines, size);
    if (view.sort == SortBy::kTime) sort_descending(lines, modified);

    Listing listing(entry_columns(several, view.long_form));
    for (const EntryLine &line : lines) listing.add(entry_cells(line, several, view));
    return listing;
}

int run(Tool &tool, const LsArguments &arguments) {
    ListFormat format = arguments.json    ? ListFormat::kJson
                        : arguments.tabs  ? ListFormat::kTabs
                        : arguments.table ? ListFormat::kTable
                                          : ListFormat::kAutomatic;
    std::string context = "ls" + (arguments.name.empty() ? "" : " " + shown(arguments.name));
    std::vector<std::string> parts = name_parts(arguments.name);
    if (parts.size() > 4 || (parts.size() == 4 && parts[3].find('.') != std::string::npos))
        usage_problem(context + ": ls lists entries (library.catalog.entry.type), a catalog (library.catalog), "
                                "a library, or the libraries");
    require_name_or_pattern(arguments.name, context);
    tool.session();  // the libraries assigned
    bool for_people = format == ListFormat::kTable ||
                      (format == ListFormat::kAutomatic && isatty(STDOUT_FILENO) == 1);
    View view{!for_people, arguments.long_form, arguments.sort};
    int status = 0;
    switch (parts.size()) {
    case 0:
        list_libraries(tool, view).print(tool.out(), format);
        break;
    case 1:
        list_catalogs(tool, parts[0], context, view).print(tool.out(), format);
        break;
    default:
        list_entries(tool, parts, context, view, &status).print(tool.out(), format);
    }
    return status;
}

const char *kFooter = R"(
NAME is a catalog (library.catalog), entries (library.catalog.entry, of any
type, or library.catalog.entry.type), a library, or nothing for the
libraries. Any part may be a shell-style pattern, in any case: * any run of
characters, ? any one, [abc] one of a set ([!abc] none of it). Quote it for
your shell. A pattern that matches nothing is a failure (exit status 1), and
so is an entry that is not there. When a pattern reaches several catalogs
(or libraries), a first column names the catalog (or library) of each line.

On a terminal the listing is a table; piped or redirected it is one line per
entry with tab-separated fields (name, type, size in bytes, modified time in
UTC, description); --json gives an array of objects, which also say what
each entry was written with (recfm, lrecl, encoding), the bytes it takes in
the store (stored: less than its size when compressed, more by the record
headers when not) and its checksum (XXH3-128; null when not known). --long
shows those too, and when each entry was created: name, type, recfm, lrecl,
encoding, size, stored, created, modified (ISO UTC), checksum, description;
? or - (JSON null) for what an entry written before catalogs kept it does
not say.

--sort size lists the largest first, --sort time the most recently modified
first (catalogs alike; libraries by the bytes of their entries).

The libraries: name, directory, where it was set, and its catalogs, their
entries and the bytes those hold.

Examples:
  zefcat ls work.notes
  zefcat ls 'work.notes.t*' --long
  zefcat ls 'work.*.*.log' --sort size
  zefcat ls work.notes --json
  zefcat ls work)";

void attach(CLI::App &command, Tool &tool) {
    auto arguments = std::make_shared<LsArguments>();
    command.add_option("NAME", arguments->name, "entries, a catalog, a library (patterns allowed), or nothing");
    auto json = command.add_flag("--json", arguments->json, "a JSON array of objects");
    auto tabs = command.add_flag("--tsv", arguments->tabs, "tab-separated lines, even on a terminal");
    auto table = command.add_flag("--table", arguments->table, "an aligned table, even when piped");
    command.add_flag("-l,--long", arguments->long_form,
                     "record format, record length, encoding, size, created and modified of each entry");
    command
        .add_option_function<std::string>(
            "--sort",
            [arguments](const std::string &order) {
                arguments->sort = order == "size" ? SortBy::kSize : order == "time" ? SortBy::kTime : SortBy::kName;
            },
            "name (the default), size (largest first) or time (newest first)")
        ->type_name("name|size|time")
        ->check(CLI::IsMember({"name", "size", "time"}));
    json->excludes(tabs)->excludes(table);
    tabs->excludes(table);
    command.footer(kFooter);
    command.callback([&tool, arguments] { tool.finish(run(tool, *arguments)); });
}

}  // namespace
}  // namespace zefcat

ZEFCAT_COMMAND(ls, "list entries, a catalog, a library's catalogs, or the libraries", zefcat::attach);
