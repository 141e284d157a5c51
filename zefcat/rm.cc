// zefcat rm: delete entries through the module's deletion (entry_removal.h),
// and catalogs (library.catalog) through the host's catalog store: an empty
// one, or with -r one with its entries. Any part of a name may be a pattern
// (patterns.h): every entry or catalog it matches goes, and one that
// matches nothing is a failure. --dry-run says what would go and removes
// nothing.
#include <algorithm>
#include <string>
#include <vector>

#include "catalog_removal.h"
#include "command.h"
#include "entry_removal.h"
#include "errors.h"
#include "matching.h"
#include "names.h"
#include "patterns.h"
#include "tool.h"
#include "zefhost/catalog/names.h"

namespace zefcat {
namespace {

using zefhost::catalog::upper;

struct RmArguments {
    std::vector<std::string> names;
    bool force = false;
    bool recursive = false;
    bool dry_run = false;
};

class Remover {
public:
    Remover(Tool &tool, const RmArguments &arguments) : tool_(tool), arguments_(arguments) {}

    // Removes what `name` names or matches; the exit status it calls for.
    void remove(const std::string &name) {
        std::string context = "rm " + shown(name);
        try {
            if (is_pattern(name))
                remove_matches(name, context);
            else if (name_parts(name).size() == 2)
                remove_catalog_named(name, context);
            else
                remove_entry_named(name, context);
        } catch (const Problem &problem) {
            failed(problem);
        }
    }
    int status() const { return status_; }

private:
    void failed(const Problem &problem) {
        print_problem(problem.what());
        status_ = std::max(status_, problem.exit_status());
    }

    void remove_catalog_named(const std::string &name, const std::string &context) {
        require_catalog_name(name, context);
        CatalogRemoval how = arguments_.recursive ? CatalogRemoval::kWithEntries : CatalogRemoval::kEmptyOnly;
        std::optional<size_t> entries = remove_catalog(tool_, name, how, arguments_.force, context, arguments_.dry_run);
        if (entries && arguments_.dry_run)
            tool_.out() << "would remove catalog " << upper(name) << " (" << *entries
                        << (*entries == 1 ? " entry" : " entries") << ")\n";
    }

    void remove_entry_named(const std::string &name, const std::string &context) {
        require_entry_name(name, NameUse::kRead, context);
        Removal how = arguments_.dry_run ? Removal::kCheckOnly : Removal::kDelete;
        if (remove_entry(tool_.session(), name, arguments_.force, how, context) && arguments_.dry_run)
            tool_.out() << "would remove " << upper(name) << '\n';
    }

    // Every catalog (two parts) or entry (three parts: of any type; four)
    // the pattern matches, each removed as if it had been named.
    void remove_matches(const std::string &pattern, const std::string &context) {
        std::vector<std::string> parts = name_parts(pattern);
        if (parts.size() < 2)
            usage_problem(context + ": rm removes entries (library.catalog.entry.type) or catalogs (library.catalog)");
        require_name_or_pattern(pattern, context);
        std::vector<CatalogPlace> catalogs = matching_catalogs(tool_, parts[0], parts[1], context);
        bool several = has_wildcard(parts[0]) || has_wildcard(parts[1]);
        size_t matched = 0;
        // Each match is removed as named, never matched again (a name made
        // before the rules may hold a wildcard).
        auto remove_match = [this](const std::string &name, auto how) {
            try {
                how(name, "rm " + shown(name));
            } catch (const Problem &problem) {
                failed(problem);
            }
        };
        if (parts.size() == 2) {
            for (const CatalogPlace &place : catalogs) {
                ++matched;
                remove_match(place.name(), [this](const std::string &n, const std::string &c) { remove_catalog_named(n, c); });
            }
        } else {
            std::string type = parts.size() > 3 ? parts[3] : "";
            for (const CatalogPlace &place : catalogs) {
                std::vector<EntryPlace> entries;
                try {
                    entries = matching_entries(tool_, place, parts[2], type, context);
                } catch (const Problem &problem) {
                    // The one catalog named: its failure is the command's,
                    // unless -f and the catalog is not there at all (one that
                    // cannot be read is no less there).
                    if (!several) {
                        if (arguments_.force && catalog_missing(tool_.session(), place.name(), context)) return;
                        throw;
                    }
                    failed(problem);
                    continue;
                }
                for (const EntryPlace &entry : entries) {
                    ++matched;
                    remove_match(entry.full(), [this](const std::string &n, const std::string &c) { remove_entry_named(n, c); });
                }
            }
        }
        if (matched == 0 && !arguments_.force) throw Problem(context + ": nothing matches");
    }

    Tool &tool_;
    const RmArguments &arguments_;
    int status_ = 0;
};

int run(Tool &tool, const RmArguments &arguments) {
    tool.session();  // the libraries assigned
    Remover remover(tool, arguments);
    for (const std::string &name : arguments.names) remover.remove(name);
    return remover.status();
}

const char *kFooter = R"text(
A catalog (library.catalog) is removed when it is empty; -r removes it with its
entries. Its file and the files beside it go.

Any part of a name may be a shell-style pattern, in any case (* ? [abc], as
for ls; quote it for your shell): every entry or catalog it matches is
removed. A pattern of three parts (library.catalog.entry) matches entries of
any type; a name of three parts without a wildcard is the CATAMS entry, as
everywhere. A pattern that matches nothing is a failure (exit status 1)
unless -f is given.

--dry-run makes every check a removal would and removes nothing: it prints
"would remove NAME" for each entry and "would remove catalog NAME (N entries)"
for each catalog, and fails where the removal would fail.

Examples:
  zefcat rm work.notes.old.source work.notes.older.source
  zefcat rm --dry-run 'work.logs.*.log'
  zefcat rm 'work.notes.tmp*'
  zefcat rm -r work.oldnotes)text";

void attach(CLI::App &command, Tool &tool) {
    auto arguments = std::make_shared<RmArguments>();
    command.add_option("NAME", arguments->names, "library.catalog.entry.type, or library.catalog; patterns allowed")
        ->required()
        ->expected(1, -1);
    command.add_flag("-f,--force", arguments->force,
                     "no complaint about entries or catalogs that are not there, or patterns that match nothing");
    command.add_flag("-r,--recursive", arguments->recursive, "remove a catalog with the entries in it");
    command.add_flag("-n,--dry-run", arguments->dry_run, "say what would be removed, and remove nothing");
    command.footer(kFooter);
    command.callback([&tool, arguments] { tool.finish(run(tool, *arguments)); });
}

}  // namespace
}  // namespace zefcat

ZEFCAT_COMMAND(rm, "delete catalog entries or catalogs (patterns allowed)", zefcat::attach);
