// zefcat verify: reads back every chunk of every entry named (all of them
// in every library when none is) and checks it against the checksums kept
// with it, and the catalog's own structures; one line per damaged entry or
// catalog, then a summary. Entries written before checksums were kept are
// checked as far as their blocks show, and the summary says how many.
#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "command.h"
#include "errors.h"
#include "matching.h"
#include "names.h"
#include "patterns.h"
#include "tool.h"
#include "zefhost/catalog/catalog_error.h"
#include "zefhost/catalog/services.h"
#include "zefxbaml/abi.h"

namespace zefcat {
namespace {

namespace catalog = zefhost::catalog;
using State = catalog::EntryVerdict::State;

struct VerifyArguments {
    std::string name;
    bool verbose = false;
    bool json = false;
};

struct Tally {
    int catalogs = 0;
    int entries = 0;
    int sound = 0;
    int unchecked = 0;
    nlohmann::ordered_json damaged = nlohmann::ordered_json::array();
    nlohmann::ordered_json unchecked_names = nlohmann::ordered_json::array();
};

// "entry E.T: why" and "entry E.T damaged: why" say the entry the line
// already names: only the why is kept.
std::string why(const std::string &problem, const catalog::EntryKey &key) {
    std::string prefix = "entry " + key.name + "." + key.type;
    if (problem.rfind(prefix, 0) != 0) return problem;
    std::string rest = problem.substr(prefix.size());
    for (const char *lead : {" damaged: ", ": "})
        if (rest.rfind(lead, 0) == 0) return rest.substr(std::string(lead).size());
    return problem;
}

std::string joined(const std::vector<std::string> &texts) {
    std::string out;
    for (const std::string &text : texts) out += (out.empty() ? "" : "; ") + text;
    return out;
}

void report_damage(Tool &tool, Tally &tally, const VerifyArguments &arguments, const std::string &what,
                   const std::string &problems) {
    tally.damaged.push_back({{"name", what}, {"problems", problems}});
    if (!arguments.json) tool.out() << what << ": damaged: " << shown(problems, 400) << '\n';
}

void verify_catalog(Tool &tool, const CatalogPlace &place, const std::vector<std::string> &parts,
                    const VerifyArguments &arguments, Tally &tally) {
    bool whole = parts.size() <= 2;
    std::string entry = whole ? "*" : parts[2];
    std::string type = parts.size() > 3 ? parts[3] : "";
    catalog::Verification verification;
    try {
        // One entry named outright is read alone; otherwise the catalog is
        // read whole and the entries that match are kept.
        if (!whole && !has_wildcard(entry) && parts.size() > 3 && !has_wildcard(type))
            verification = tool.host().catalogs().verify_catalog(place.library, place.catalog,
                                                                std::pair<std::string_view, std::string_view>(entry, type));
        else
            verification = tool.host().catalogs().verify_catalog(place.library, place.catalog);
    } catch (const catalog::CatalogError &failure) {
        if (failure.status() == zef::kCatalogEntryMissing)
            throw Problem("verify " + shown(arguments.name) + ": no such entry");
        if (failure.status() == zef::kCatalogMissing)
            throw Problem("verify " + shown(arguments.name) + ": no such catalog");
        ++tally.catalogs;
        report_damage(tool, tally, arguments, place.name(), catalog_detail_text(failure.what()));
        return;
    }
    ++tally.catalogs;
    if (whole && !verification.catalog_problems.empty())
        report_damage(tool, tally, arguments, place.name(), joined(verification.catalog_problems));
    for (const catalog::EntryVerdict &verdict : verification.entries) {
        if (!part_matches(entry, verdict.key.name) || (!type.empty() && !part_matches(type, verdict.key.type)))
            continue;
        EntryPlace found{place, verdict.key.name, verdict.key.type};
        ++tally.entries;
        switch (verdict.state) {
        case State::sound:
            ++tally.sound;
            if (arguments.verbose && !arguments.json) tool.out() << found.full() << ": sound\n";
            break;
        case State::unchecked:
            ++tally.unchecked;
            tally.unchecked_names.push_back(found.full());
            if (arguments.verbose && !arguments.json) tool.out() << found.full() << ": no checksum\n";
            break;
        case State::damaged: {
            std::vector<std::string> whys;
            for (const std::string &problem : verdict.problems) whys.push_back(why(problem, verdict.key));
            report_damage(tool, tally, arguments, found.full(), joined(whys));
            break;
        }
        }
    }
}

std::string counted(int n, const char *one, const char *many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

int run(Tool &tool, const VerifyArguments &arguments) {
    std::string context = "verify" + (arguments.name.empty() ? "" : " " + shown(arguments.name));
    std::vector<std::string> parts = name_parts(arguments.name);
    if (parts.size() > 4 || (parts.size() == 4 && parts[3].find('.') != std::string::npos))
        usage_problem(context + ": name entries (library.catalog.entry.type), a catalog, a library, or nothing");
    require_name_or_pattern(arguments.name, context);
    tool.session();  // the libraries assigned
    std::string library = parts.empty() ? "*" : parts[0];
    std::string catalog_name = parts.size() > 1 ? parts[1] : "*";
    Tally tally;
    std::vector<CatalogPlace> catalogs = matching_catalogs(tool, library, catalog_name, context);
    for (const CatalogPlace &place : catalogs) verify_catalog(tool, place, parts, arguments, tally);
    bool pattern = is_pattern(arguments.name);
    if (parts.size() > 2 && tally.entries == 0 && tally.damaged.empty())
        throw Problem(context + (pattern ? ": nothing matches" : ": no such entry"));
    if (parts.size() == 1 && has_wildcard(library) && catalogs.empty()) throw Problem(context + ": nothing matches");

    int damaged = static_cast<int>(tally.damaged.size());
    if (arguments.json) {
        nlohmann::ordered_json object = nlohmann::ordered_json::object();
        object["catalogs"] = tally.catalogs;
        object["entries"] = tally.entries;
        object["sound"] = tally.sound;
        object["damaged"] = tally.damaged;
        object["without_checksum"] = tally.unchecked_names;
        tool.out() << object.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
    } else {
        tool.out() << "verified " << counted(tally.catalogs, "catalog", "catalogs") << ", "
                   << counted(tally.entries, "entry", "entries") << ": " << tally.sound << " sound, "
                   << damaged << " damaged";
        if (tally.unchecked > 0)
            tool.out() << ", " << tally.unchecked << " without a checksum (written before checksums were kept: "
                       << "their blocks were checked, their bytes cannot be)";
        tool.out() << '\n';
    }
    return damaged > 0 ? kExitFailure : 0;
}

const char *kFooter = R"(
NAME is entries (library.catalog.entry.type or library.catalog.entry), a
catalog, a library, or nothing for every catalog of every library; any part
may be a shell-style pattern. Every chunk of every entry named is read back
and checked against the checksum kept with it (XXH3-128 of its blocks), and
each entry's pieces against the entry's own checksum; a catalog named whole
is also checked for what no entry owns. Each damaged entry or catalog gets
one line on standard output, then a summary. Entries written before
checksums were kept are checked as far as their blocks show and counted as
without a checksum.

Reading never hands out damaged bytes either: get fails on them with an I/O
failure, and get -o leaves the file it would have written untouched.

Exit status: 0 nothing damaged, 1 something damaged (or nothing matched),
2 a bad name.

Examples:
  zefcat verify
  zefcat verify work.notes
  zefcat verify 'work.*.*.log' --verbose)";

void attach(CLI::App &command, Tool &tool) {
    auto arguments = std::make_shared<VerifyArguments>();
    command.add_option("NAME", arguments->name, "entries, a catalog, a library, or nothing for all");
    command.add_flag("-v,--verbose", arguments->verbose, "a line for every entry, sound or not");
    command.add_flag("--json", arguments->json, "a JSON object: counts, damaged entries and why, entries without a checksum");
    command.footer(kFooter);
    command.callback([&tool, arguments] { tool.finish(run(tool, *arguments)); });
}

}  // namespace
}  // namespace zefcat

ZEFCAT_COMMAND(verify, "check every entry's bytes against their checksums", zefcat::attach);
