// zefcat rm: delete entries through the module's deletion (slot 32), and
// catalogs (library.catalog) through the host's catalog store: an empty one,
// or with -r one with its entries. Each entry name is first tested (slot 3),
// so that a missing entry is reported as such and a missing catalog is not
// made by the deletion's open.
#include <algorithm>
#include <string>
#include <vector>

#include "catalog_removal.h"
#include "command.h"
#include "errors.h"
#include "names.h"
#include "tool.h"
#include "zefxbaml/status.h"

namespace zefcat {
namespace {

struct RmArguments {
    std::vector<std::string> names;
    bool force = false;
    bool recursive = false;
};

void remove_one(Tool &tool, const std::string &name, const RmArguments &arguments) {
    std::string context = "rm " + shown(name);
    bool force = arguments.force;
    if (name_parts(name).size() == 2) {
        require_catalog_name(name, context);
        remove_catalog(tool, name, arguments.recursive ? CatalogRemoval::kWithEntries : CatalogRemoval::kEmptyOnly,
                       force, context);
        return;
    }
    require_entry_name(name, NameUse::kRead, context);
    Session &session = tool.session();
    Fileref fileref = Fileref::assign(session, FilerefName(), name, {}, context);
    session.before_call();
    int32_t status = session.slot<zef::fn::yxlexp>(slot::kExists)(fileref.name().data(), nullptr);
    if (status == zef::kEntryMissing || status == zef::kCatalogMissing) {
        if (force) return;
        throw Problem(context + (status == zef::kEntryMissing ? ": no such entry (0x80001006)"
                                                              : ": no such catalog (0x8001C002)"));
    }
    if (status != 0) session.fail(status, context);
    session.before_call();
    status = session.slot<zef::fn::yxldel>(slot::kDelete)(fileref.name().data(), nullptr);
    if (status != 0) session.fail(status, context);
}

int run(Tool &tool, const RmArguments &arguments) {
    tool.session();  // the libraries assigned
    int worst = 0;
    for (const std::string &name : arguments.names) {
        try {
            remove_one(tool, name, arguments);
        } catch (const Problem &problem) {
            print_problem(problem.what());
            worst = std::max(worst, problem.exit_status());
        }
    }
    return worst;
}

void attach(CLI::App &command, Tool &tool) {
    auto arguments = std::make_shared<RmArguments>();
    command.add_option("NAME", arguments->names, "library.catalog.entry.type, or library.catalog")
        ->required()
        ->expected(1, -1);
    command.add_flag("-f,--force", arguments->force, "no complaint about entries or catalogs that are not there");
    command.add_flag("-r,--recursive", arguments->recursive, "remove a catalog with the entries in it");
    command.footer("\nA catalog (library.catalog) is removed when it is empty; -r removes it with its\n"
                   "entries. Its file and the files beside it go.\n\nExamples:\n"
                   "  zefcat rm work.notes.old.source work.notes.older.source\n"
                   "  zefcat rm -r work.oldnotes");
    command.callback([&tool, arguments] { tool.finish(run(tool, *arguments)); });
}

}  // namespace
}  // namespace zefcat

ZEFCAT_COMMAND(rm, "delete catalog entries, or a catalog", zefcat::attach);
