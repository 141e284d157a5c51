// zefcat cp and zefcat mv: copy an entry to another name, in the same
// catalog or another, of the same library or another (entry_transfer.h).
// mv then deletes the source, only once the copy is closed and only if the
// source is still the version that was copied: whenever mv stops, the
// source is whole, or the target is.
#include <string>

#include "command.h"
#include "entry_transfer.h"
#include "errors.h"
#include "tool.h"

namespace zefcat {
namespace {

struct CopyArguments {
    std::string source;
    std::string target;
};

int run(Tool &tool, const CopyArguments &arguments, bool move) {
    std::string context = std::string(move ? "mv " : "cp ") + shown(arguments.source) + " " + shown(arguments.target);
    Session &session = tool.session();
    TransferReport report =
        copy_entry(session, arguments.source, arguments.target, move ? OnCut::kAbandon : OnCut::kKeep, context);
    if (!move) return report.cut > 0 ? kExitCut : 0;
    // A writer may have replaced the source while it was copied: its new
    // version was not copied, and stays.
    remove_copied_source(session, report, context);
    return 0;
}

const char *kCopyFooter = R"(
SOURCE is an entry: library.catalog.entry.type (library.catalog.entry for a
CATAMS entry). TARGET is an entry name, or a catalog (library.catalog) where
the entry keeps its name and type; it may be in another catalog or library.
A TARGET that exists is replaced, as put replaces it: its new contents
become the entry's only when the whole source was copied.

The records (or, for a binary entry or one in stream form, the bytes) are
copied as they are, through the module: nothing is transcoded, and the
target gets the source's description and what it was written with (record
format, record length, encoding). A text entry cannot become a binary one
or back. Records longer than the target keeps are cut, each noted, and the
exit status is 3.

Examples:
  zefcat cp work.notes.todo.source work.notes.todo2.source
  zefcat cp work.notes.todo.source archive.old
  zefcat cp work.notes.report.source mylib.reports.jan.source)";

const char *kMoveFooter = R"(
SOURCE and TARGET as for cp: TARGET is an entry name, or a catalog
(library.catalog) where the entry keeps its name and type, in the same
catalog (a rename) or another one, of any library. A TARGET that exists is
replaced.

mv copies the entry as cp does, then deletes the source, only once the copy
is closed: if mv fails or is stopped at any moment (even killed), the source
is whole, and the target is either as it was or the whole copy. A copy that
would cut records writes nothing, and the source stays; so does a source
another process wrote while it was being copied.

Examples:
  zefcat mv work.notes.draft.source work.notes.final.source
  zefcat mv work.inbox.scan.pdf work.archive)";

void attach_to(CLI::App &command, Tool &tool, bool move) {
    auto arguments = std::make_shared<CopyArguments>();
    command.add_option("SOURCE", arguments->source, "the entry: library.catalog.entry.type")->required();
    command.add_option("TARGET", arguments->target, "an entry name, or a catalog (library.catalog)")->required();
    command.footer(move ? kMoveFooter : kCopyFooter);
    command.callback([&tool, arguments, move] { tool.finish(run(tool, *arguments, move)); });
}

void attach_cp(CLI::App &command, Tool &tool) { attach_to(command, tool, false); }
void attach_mv(CLI::App &command, Tool &tool) { attach_to(command, tool, true); }

}  // namespace
}  // namespace zefcat

ZEFCAT_COMMAND(cp, "copy an entry, into the same catalog or another", zefcat::attach_cp);
ZEFCAT_COMMAND(mv, "move or rename an entry, removing the source once the copy is whole", zefcat::attach_mv);
