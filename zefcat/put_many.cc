// zefcat put LIB.CAT FILE...: many files at once, each its own entry and
// its own write, so that one refused file leaves the others in.
#include <map>
#include <string>
#include <vector>

#include "entry_copy.h"
#include "entry_put.h"
#include "errors.h"
#include "file_types.h"
#include "matching.h"
#include "names.h"
#include "tool.h"
#include "zefhost/catalog/names.h"

namespace zefcat {

namespace {

using zefhost::catalog::upper;

// The entry `file` becomes in `catalog`. Throws a usage Problem when its
// name breaks the name rules.
std::string entry_for(const std::string &catalog, const std::string &file, const std::string &type,
                      const std::string &context) {
    FileName parts = file_name_parts(file);
    require_name_part(parts.stem, NamePart::kEntry, NameUse::kWrite, context);
    return upper(catalog) + "." + parts.stem + "." + (type.empty() ? type_for_extension(parts.extension) : type);
}

}  // namespace

int put_files(Tool &tool, const std::string &catalog, const std::vector<std::string> &files,
              const std::vector<std::string> &options, const std::string &type, bool carriage) {
    std::string context = "put " + shown(catalog);
    require_catalog_name(catalog, context);
    if (files.empty())
        usage_problem(context + ": name the files to put into the catalog (standard input needs an entry "
                                "name: library.catalog.entry.type)");
    std::string given_type = upper(type);
    if (!type.empty()) require_name_part(type, NamePart::kType, NameUse::kWrite, context + ": --type");
    Session &session = tool.session();
    // What every file would meet alike is said once, before anything is written.
    matching_libraries(tool, name_parts(catalog)[0], context);
    copy_options(session, options, EntryForm::kLines, false, carriage, context);

    std::map<std::string, std::string> put;  // entry -> the file put into it
    size_t refused = 0, cut = 0;
    for (const std::string &file : files) {
        std::string file_context = context + ": " + shown(file);
        try {
            if (file == "-") usage_problem(file_context + ": standard input needs an entry name");
            std::string entry = entry_for(catalog, file, given_type, file_context);
            if (auto earlier = put.find(entry); earlier != put.end())
                usage_problem(file_context + ": " + shown(earlier->second) + " was put into " + entry +
                              " already; rename one of them");
            if (put_file(session, entry, file, options, carriage, false, "put " + entry) > 0) ++cut;
            put.emplace(entry, file);
            tool.out() << "put " << file << " as " << entry << '\n';
        } catch (const Problem &problem) {
            print_problem(std::string(problem.what()) + " (not put)");
            ++refused;
        }
    }
    tool.out() << put.size() << (put.size() == 1 ? " file" : " files") << " put";
    if (refused > 0) tool.out() << ", " << refused << " refused";
    tool.out() << '\n';
    return refused > 0 ? kExitFailure : cut > 0 ? kExitCut : 0;
}

}  // namespace zefcat
