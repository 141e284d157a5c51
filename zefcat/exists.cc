// zefcat exists: whether an entry (or, for library.catalog, a catalog) is
// there, as the module's existence test (slot 3) answers it. Exit status 0:
// it exists; 1: it does not; 2: the question could not be asked (a bad
// name, an unassigned library, a damaged catalog).
#include <string>

#include "command.h"
#include "errors.h"
#include "names.h"
#include "tool.h"
#include "zefxbaml/status.h"

namespace zefcat {
namespace {

struct ExistsArguments {
    std::string name;
    bool verbose = false;
};

int run(Tool &tool, const ExistsArguments &arguments) {
    std::string context = "exists " + shown(arguments.name);
    try {
        size_t parts = name_parts(arguments.name).size();
        if (parts < 2)
            usage_problem(context + ": name an entry (library.catalog.entry.type) or a catalog (library.catalog)");
        if (parts == 2)
            require_catalog_name(arguments.name, context);
        else
            require_entry_name(arguments.name, NameUse::kRead, context);
        Session &session = tool.session();
        Fileref fileref = Fileref::assign(session, FilerefName(), arguments.name, {}, context);
        session.before_call();
        int32_t status = session.slot<zef::fn::yxlexp>(slot::kExists)(fileref.name().data(), nullptr);
        bool missing = status == zef::kEntryMissing || status == zef::kCatalogMissing;
        if (status != 0 && !missing) session.fail(status, context);
        if (arguments.verbose)
            tool.out() << arguments.name << (missing ? " does not exist" : " exists") << '\n';
        return missing ? 1 : 0;
    } catch (const Problem &problem) {
        throw Problem(problem.what(), kExitUsage);  // neither yes nor no
    }
}

void attach(CLI::App &command, Tool &tool) {
    auto arguments = std::make_shared<ExistsArguments>();
    command.add_option("NAME", arguments->name, "library.catalog.entry.type, or library.catalog")->required();
    command.add_flag("-v,--verbose", arguments->verbose, "say the answer as well");
    command.footer("\nExit status: 0 it exists, 1 it does not, 2 the question could not be asked.");
    command.callback([&tool, arguments] { tool.finish(run(tool, *arguments)); });
}

}  // namespace
}  // namespace zefcat

ZEFCAT_COMMAND(exists, "tell by the exit status whether an entry or a catalog exists", zefcat::attach);
