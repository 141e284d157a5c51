// zefcat's own handling of what a person types: entry and catalog names
// split as the host splits them, options told from file names and joined
// into one option statement, and the name assigned and the statement parsed
// through the module as a zefcat command does. The input is the command
// line's words, separated by NUL bytes: a name, then options. A word zefcat
// refuses is a Problem it reports; anything else it throws, any crash, or
// anything left behind is a fault.
#include <vector>

#include "harness.h"
#include "zefcat/errors.h"
#include "zefcat/libraries.h"
#include "zefcat/names.h"
#include "zefcat/session.h"

namespace {

constexpr const char *kTarget = "zefcat_names_fuzz";

std::vector<std::string> words(const uint8_t *data, size_t size) {
    std::vector<std::string> out(1);
    for (size_t i = 0; i < size && out.size() < 16; ++i) {
        if (data[i] == 0)
            out.emplace_back();
        else
            out.back().push_back(static_cast<char>(data[i]));
    }
    return out;
}

void use_name(zefcat::Session &session, const std::string &name, const std::vector<std::string> &options) {
    std::vector<std::string> parts = zefcat::name_parts(name);
    if (parts.size() > 4) std::abort();
    for (zefcat::NameUse use : {zefcat::NameUse::kRead, zefcat::NameUse::kWrite}) {
        try {
            zefcat::AssignedEntry entry = zefcat::assign_entry(session, name, use, "fuzz");
            zefcat::form_of_type(entry.type);
        } catch (const zefcat::Problem &) {
        }
    }
    try {
        zefcat::Fileref catalog = zefcat::assign_catalog(session, name, "fuzz");
    } catch (const zefcat::Problem &) {
    }
    std::string statement = zefcat::option_statement(options);
    try {
        zefhost::ParsedOptions parsed = session.parse_options(statement, 0, "fuzz", &options);
    } catch (const zefcat::Problem &) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    zeffuzz::Harness &h = zeffuzz::harness();
    static zefcat::Libraries libraries;
    std::vector<std::string> given = words(data, size);
    std::vector<std::string> options;
    for (size_t i = 1; i < given.size(); ++i)
        if (zefcat::looks_like_option(given[i])) options.push_back(given[i]);
    {
        zefcat::Session session(h.host, h.module, libraries);
        use_name(session, given[0], options);
        // The name as zefcat writes library names: FUZZLIB first.
        use_name(session, std::string(zeffuzz::kLibrary) + "." + given[0], options);
    }
    zeffuzz::check_clean(kTarget);
    return 0;
}
