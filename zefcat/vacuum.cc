// zefcat vacuum: gives back the space that deleted and replaced entry
// versions and writers that died (their staged pieces) hold, through the
// host's catalog store (the module has no such request). One line per
// catalog with its size before and after, then a total; a catalog that
// another process keeps from being compacted is said on standard error and
// makes the exit status 1, while the others are still compacted.
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "command.h"
#include "errors.h"
#include "matching.h"
#include "names.h"
#include "tool.h"
#include "zefhost/catalog/catalog_error.h"
#include "zefhost/catalog/services.h"

namespace zefcat {
namespace {

namespace catalog = zefhost::catalog;

struct VacuumArguments {
    std::vector<std::string> names;
    bool json = false;
};

// "512 B", "4.0 KiB", "1.3 MiB", "2.0 GiB".
std::string human_bytes(int64_t bytes) {
    const char *units[] = {"B", "KiB", "MiB", "GiB", "TiB"};
    double value = static_cast<double>(bytes < 0 ? -bytes : bytes);
    size_t unit = 0;
    while (value >= 1024 && unit + 1 < std::size(units)) {
        value /= 1024;
        ++unit;
    }
    char text[32];
    if (unit == 0)
        std::snprintf(text, sizeof text, "%lld B", static_cast<long long>(bytes < 0 ? -bytes : bytes));
    else
        std::snprintf(text, sizeof text, "%.1f %s", value, units[unit]);
    return text;
}

// One compacted catalog (or a database library's shared tables).
struct Compacted {
    std::string name;  // LIB.CAT, or LIB for every catalog of a database library
    catalog::LibraryStore::Compaction result;
};

std::string size_text(int64_t before, int64_t after) {
    std::string text = human_bytes(before) + " -> " + human_bytes(after) + " (" + std::to_string(before) + " -> " +
                       std::to_string(after) + " bytes), ";
    int64_t gained = before - after;
    if (gained > 0) return text + human_bytes(gained) + " given back";
    if (gained < 0) return text + "grew by " + human_bytes(-gained);
    return text + "nothing given back";
}

std::string collected_text(const catalog::Store::Leftovers &collected) {
    std::vector<std::string> parts;
    if (collected.dead_writers > 0)
        parts.push_back("the staged pieces of " + std::to_string(collected.dead_writers) +
                        (collected.dead_writers == 1 ? " dead writer" : " dead writers"));
    if (collected.unused_chunks > 0)
        parts.push_back(std::to_string(collected.unused_chunks) +
                        (collected.unused_chunks == 1 ? " unused chunk" : " unused chunks"));
    if (parts.empty()) return "";
    return "; collected " + parts.front() + (parts.size() > 1 ? " and " + parts.back() : "");
}

class Vacuum {
public:
    explicit Vacuum(Tool &tool) : tool_(tool), services_(tool.host().catalogs()) {}

    // Compacts what `name` (LIB or LIB.CAT) names; failures are said and
    // counted, and the next catalog is compacted all the same.
    void compact(const std::string &name) {
        std::string context = "vacuum " + shown(name);
        try {
            std::vector<std::string> parts = name_parts(name);
            if (parts.size() == 1) {
                require_library_name(name, context);
                compact_library(catalog::upper(parts[0]), context);
            } else {
                require_catalog_name(name, context);
                compact_one(catalog::upper(parts[0]), catalog::upper(parts[1]), context);
            }
        } catch (const Problem &problem) {
            failed(catalog::upper(name), problem);
        }
    }

    void report(bool json) const {
        int64_t before = 0, after = 0;
        for (const Compacted &c : done_) {
            before += c.result.before;
            after += c.result.after;
        }
        if (json) {
            nlohmann::ordered_json catalogs = nlohmann::ordered_json::array();
            for (const Compacted &c : done_) catalogs.push_back(json_of(c));
            for (const auto &[name, why] : failures_) catalogs.push_back({{"catalog", name}, {"error", why}});
            nlohmann::ordered_json object = nlohmann::ordered_json::object();
            object["catalogs"] = catalogs;
            object["total"] = {{"before", before}, {"after", after}, {"given_back", before - after}};
            tool_.out() << object.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
            return;
        }
        for (const Compacted &c : done_) {
            std::string label = c.name;
            if (c.result.shared && c.name.find('.') == std::string::npos) {
                label += " (the tables its catalogs share)";
            } else if (c.result.shared) {
                label += " (the tables of library " + c.name.substr(0, c.name.find('.')) + ", which its catalogs share)";
            }
            tool_.out() << label << ": " << size_text(c.result.before, c.result.after)
                        << collected_text(c.result.collected) << '\n';
        }
        if (!done_.empty() || failures_.empty()) tool_.out() << "total: " << size_text(before, after) << '\n';
    }

    int status() const { return status_; }

private:
    void failed(const std::string &name, const Problem &problem) {
        print_problem(problem.what());
        failures_.emplace_back(name, problem.what());
        status_ = std::max(status_, problem.exit_status());
    }

    void require_assigned(const std::string &library, const std::string &context) {
        if (services_.library(library)) return;
        std::string why = tool_.libraries().why_not_assigned(library);
        throw Problem(context + ": " +
                      (why.empty() ? "library " + library + " is not assigned; assign it with -L " + library + "=DIR"
                                   : why));
    }

    // A directory library one catalog file at a time; a database library's
    // catalogs together, since they share the tables compacted.
    void compact_library(const std::string &library, const std::string &context) {
        require_assigned(library, context);
        if (services_.library(library)->directory.empty()) {
            run(library, "", context);
            return;
        }
        for (const catalog::CatalogSummary &summary : library_catalogs(tool_, library)) {
            std::string name = library + "." + summary.name;
            try {
                compact_one(library, summary.name, "vacuum " + name);
            } catch (const Problem &problem) {
                failed(name, problem);
            }
        }
    }

    void compact_one(const std::string &library, const std::string &catalog_name, const std::string &context) {
        require_assigned(library, context);
        run(library, catalog_name, context);
    }

    void run(const std::string &library, const std::string &catalog_name, const std::string &context) {
        std::string name = catalog_name.empty() ? library : library + "." + catalog_name;
        try {
            done_.push_back({name, services_.vacuum_catalog(library, catalog_name)});
        } catch (const catalog::CatalogError &failure) {
            if (failure.status() == zef::kCatalogMissing) throw Problem(context + ": no such catalog");
            throw Problem(context + ": " + catalog_detail_text(failure.what()));
        }
    }

    static nlohmann::ordered_json json_of(const Compacted &c) {
        nlohmann::ordered_json object = nlohmann::ordered_json::object();
        object["catalog"] = c.name;
        object["measured"] = c.result.shared ? "library tables" : "catalog file and write-ahead log";
        object["before"] = c.result.before;
        object["after"] = c.result.after;
        object["given_back"] = c.result.before - c.result.after;
        object["dead_writers"] = c.result.collected.dead_writers;
        object["unused_chunks"] = c.result.collected.unused_chunks;
        return object;
    }

    Tool &tool_;
    catalog::Services &services_;
    std::vector<Compacted> done_;
    std::vector<std::pair<std::string, std::string>> failures_;
    int status_ = 0;
};

int run(Tool &tool, const VacuumArguments &arguments) {
    tool.session();  // the libraries assigned
    Vacuum vacuum(tool);
    for (const std::string &name : arguments.names) vacuum.compact(name);
    vacuum.report(arguments.json);
    return vacuum.status();
}

const char *kFooter = R"text(
Gives back the space of deleted and replaced entry versions, and of writers
that died before their close (the pieces they had staged). First the dead
writers' leftovers and chunks that nothing uses are removed; then the store
is compacted. A live writer is never touched: while an entry is being
written, its catalog is not compacted (try again when it is closed).

A catalog of a directory library is one file, compacted in place (SQLite's
VACUUM), so that processes that have it open keep working on the same
file. Its size is the catalog file and its write-ahead log (NAME.zcat and
NAME.zcat-wal); the fixed room kept beside it for deletions on a full disk
(NAME.zcat-reserve) is not counted. Compacting needs free space for a copy
of the catalog's data beside it and in the temporary directory
($SQLITE_TMPDIR, $TMPDIR or /var/tmp); without it nothing is changed.

A database library keeps every catalog's rows in tables its catalogs share:
compacting LIB.CAT rewrites those tables (VACUUM FULL), and the sizes are
theirs, indexes and out-of-line values included. Naming the library alone
compacts it once for all its catalogs.

Readers may stay open elsewhere and keep reading what they opened. When
another process keeps the compaction from finishing within the wait (it
still reads an older state of a catalog file, or uses a table to be
rewritten), vacuum says that the catalog is in use and that it must wait,
and the exit status is 1: try again once that process is done. The wait is
--wait's, and at least 10 s; other processes' writes go on meanwhile.

Output: one line per catalog, "LIB.CAT: BEFORE -> AFTER (bytes), GIVEN
given back", then "total: ...". --json gives an object: "catalogs" (each
with catalog, measured, before, after, given_back, dead_writers,
unused_chunks, or catalog and error) and "total".

Examples:
  zefcat vacuum work.notes
  zefcat vacuum work
  zefcat vacuum work.notes --json)text";

void attach(CLI::App &command, Tool &tool) {
    auto arguments = std::make_shared<VacuumArguments>();
    command.add_option("NAME", arguments->names, "library.catalog, or a library for every catalog in it")
        ->required()
        ->expected(1, -1);
    command.add_flag("--json", arguments->json, "a JSON object");
    command.footer(kFooter);
    command.callback([&tool, arguments] { tool.finish(run(tool, *arguments)); });
}

}  // namespace
}  // namespace zefcat

ZEFCAT_COMMAND(vacuum, "give back the space of deleted versions and dead writers (catalogs or a library)",
               zefcat::attach);
