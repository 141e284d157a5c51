#include "matching.h"

#include <optional>

#include "errors.h"
#include "names.h"
#include "patterns.h"
#include "session.h"
#include "tool.h"
#include "zefhost/catalog/names.h"
#include "zefhost/catalog/services.h"

namespace zefcat {

namespace catalog = zefhost::catalog;

std::string EntryPlace::full() const { return catalog.name() + "." + name + (type.empty() ? "" : "." + type); }

void require_name_or_pattern(std::string_view name, std::string_view context) {
    std::vector<std::string> parts = name_parts(name);
    require_pattern_characters(name, context);
    const NamePart order[] = {NamePart::kLibrary, NamePart::kCatalog, NamePart::kEntry, NamePart::kType};
    for (size_t i = 0; i < parts.size(); ++i) {
        if (parts[i].empty() || !has_wildcard(parts[i])) {
            require_name_part(parts[i], order[i], NameUse::kRead, context);
            continue;
        }
        if (i == 3 && parts[i].find('.') != std::string::npos)
            usage_problem(std::string(context) + ": too many parts: a pattern is library.catalog.entry.type");
    }
}

std::vector<catalog::CatalogSummary> library_catalogs(Tool &tool, const std::string &library) {
    try {
        return tool.host().catalogs().list_catalogs(library);
    } catch (const catalog::CatalogError &) {
        return {};
    }
}

std::vector<std::string> matching_libraries(Tool &tool, std::string_view pattern, std::string_view context) {
    catalog::Services &services = tool.host().catalogs();
    std::vector<std::string> names;
    if (!has_wildcard(pattern)) {
        std::string name = catalog::upper(pattern);
        if (!services.library(name)) {
            std::string why = tool.libraries().why_not_assigned(name);
            throw Problem(std::string(context) + ": " +
                          (why.empty() ? "library " + name + " is not assigned; assign it with -L " + name + "=DIR"
                                       : why));
        }
        names.push_back(name);
        return names;
    }
    for (const auto &[name, setting] : tool.libraries().settings())
        if (part_matches(pattern, name) && services.library(name)) names.push_back(name);
    return names;
}

std::vector<CatalogPlace> matching_catalogs(Tool &tool, std::string_view library, std::string_view catalog_pattern,
                                            std::string_view context) {
    std::vector<CatalogPlace> places;
    std::vector<std::string> libraries = matching_libraries(tool, library, context);
    if (!has_wildcard(library) && !has_wildcard(catalog_pattern)) {
        places.push_back({libraries.front(), catalog::upper(catalog_pattern)});
        return places;
    }
    for (const std::string &name : libraries) {
        for (const catalog::CatalogSummary &summary : library_catalogs(tool, name)) {
            const std::string &catalog_name = summary.name;
            if (!part_matches(catalog_pattern, catalog_name)) continue;
            // A file no catalog name leads to cannot be opened as a catalog.
            try {
                require_name_part(catalog_name, NamePart::kCatalog, NameUse::kRead, context);
            } catch (const Problem &) {
                continue;
            }
            places.push_back({name, catalog_name});
        }
    }
    return places;
}

std::vector<EntryPlace> matching_entries(Tool &tool, const CatalogPlace &where, std::string_view entry,
                                         std::string_view type, std::string_view context) {
    Session &session = tool.session();
    Fileref fileref = assign_catalog(session, where.name(), context);
    std::optional<InputOnlyTask> input_only(std::in_place, session);
    Directory directory = Directory::open(session, fileref.name(), context);
    input_only.reset();
    std::vector<EntryPlace> entries;
    std::string member, member_type;
    while (directory.next(&member, &member_type, context)) {
        member_type.erase(member_type.find_last_not_of(' ') + 1);
        if (!part_matches(entry, member)) continue;
        if (!type.empty() && !part_matches(type, member_type)) continue;
        entries.push_back({where, member, member_type});
    }
    directory.close(context);
    return entries;
}

}  // namespace zefcat
