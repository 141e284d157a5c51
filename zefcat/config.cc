// zefcat config: a library's settings, kept in the library for everyone
// who writes into it. `config` shows every library's, `config LIB` one's,
// and `config LIB KEY=VALUE...` changes them.
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

namespace zefcat {
namespace {

namespace catalog = zefhost::catalog;

struct ConfigArguments {
    std::string library;
    std::vector<std::string> settings;
};

void set(catalog::LibrarySettings &settings, const std::string &text, const std::string &context) {
    size_t equals = text.find('=');
    std::string key = text.substr(0, equals);
    std::string value = equals == std::string::npos ? "" : text.substr(equals + 1);
    if (key == "compress" && (value == "zstd" || value == "none")) {
        settings.compress = value == "zstd";
        return;
    }
    if (key == "compress") usage_problem(context + ": compress is zstd or none, not " + shown(value));
    usage_problem(context + ": " + shown(text) + " is not a setting (known: compress=zstd|none)");
}

std::string settings_text(const catalog::LibrarySettings &settings) {
    return std::string("compress=") + (settings.compress ? "zstd" : "none");
}

int run(Tool &tool, const ConfigArguments &arguments) {
    std::string context = "config" + (arguments.library.empty() ? "" : " " + shown(arguments.library));
    if (!arguments.library.empty() && name_parts(arguments.library).size() != 1)
        usage_problem(context + ": settings belong to a library: zefcat config LIB [KEY=VALUE...]");
    if (!arguments.settings.empty() && (arguments.library.empty() || has_wildcard(arguments.library)))
        usage_problem(context + ": name the one library whose settings change");
    tool.session();  // the libraries assigned
    catalog::Services &services = tool.host().catalogs();
    std::vector<std::string> libraries =
        matching_libraries(tool, arguments.library.empty() ? "*" : arguments.library, context);
    if (!arguments.settings.empty()) {
        catalog::LibrarySettings settings;
        try {
            settings = services.library_settings(libraries.at(0));
        } catch (const catalog::CatalogError &) {
            // Settings that do not read are replaced whole.
        }
        for (const std::string &text : arguments.settings) set(settings, text, context);
        try {
            services.save_library_settings(libraries.at(0), settings);
        } catch (const catalog::CatalogError &failure) {
            throw Problem(context + ": " + failure.what());
        }
    }
    int status = 0;
    for (const std::string &name : libraries) {
        try {
            tool.out() << name << "  " << settings_text(services.library_settings(name)) << '\n';
        } catch (const catalog::CatalogError &failure) {
            print_problem(context + ": " + name + ": " + failure.what());
            status = kExitFailure;
        }
    }
    return status;
}

const char *kFooter = R"(
Settings:
  compress=zstd|none   whether new versions written into the library keep
                       their chunks compressed (where that saves space);
                       put --compress and --no-compress override it for
                       one command. Reading is the same either way.

A directory library keeps its settings in zef-library.conf in its
directory, a database library in its schema's settings table.

Examples:
  zefcat config
  zefcat config work compress=zstd)";

void attach(CLI::App &command, Tool &tool) {
    auto arguments = std::make_shared<ConfigArguments>();
    command.add_option("LIBRARY", arguments->library, "the library (all of them when none is named)");
    command.add_option("SETTINGS", arguments->settings, "KEY=VALUE settings to keep")->expected(0, -1);
    command.footer(kFooter);
    command.callback([&tool, arguments] { tool.finish(run(tool, *arguments)); });
}

}  // namespace
}  // namespace zefcat

ZEFCAT_COMMAND(config, "show or change a library's settings (compression)", zefcat::attach);
