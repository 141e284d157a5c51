// zefcat rm: delete entries through the module's deletion (slot 32). Each
// name is first tested (slot 3), so that a missing entry is reported as
// such and a missing catalog is not made by the deletion's open.
#include <algorithm>
#include <string>
#include <vector>

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
};

void remove_one(Session &session, const std::string &name, bool force) {
    std::string context = "rm " + name;
    require_entry_name(name, context);
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
    Session &session = tool.session();
    int worst = 0;
    for (const std::string &name : arguments.names) {
        try {
            remove_one(session, name, arguments.force);
        } catch (const Problem &problem) {
            print_problem(problem.what());
            worst = std::max(worst, problem.exit_status());
        }
    }
    return worst;
}

void attach(CLI::App &command, Tool &tool) {
    auto arguments = std::make_shared<RmArguments>();
    command.add_option("NAME", arguments->names, "library.catalog.entry.type")->required()->expected(1, -1);
    command.add_flag("-f,--force", arguments->force, "no complaint about entries that are not there");
    command.footer("\nExample:\n  zefcat rm work.notes.old.source work.notes.older.source");
    command.callback([&tool, arguments] { tool.finish(run(tool, *arguments)); });
}

}  // namespace
}  // namespace zefcat

ZEFCAT_COMMAND(rm, "delete catalog entries", zefcat::attach);
