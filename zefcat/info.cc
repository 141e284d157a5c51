// zefcat info: what the module tells the host about an entry or a catalog.
// For an entry: the file information by name and of the open entry (slot
// 8), and the information items of the open entry (slots 9 and 10, the
// "Catalog Name" item), with the store's description, size and times
// beside them, and what the entry's version was written with. For a catalog: the file information by name, its directory's
// information (slots 23 and 24, which hold no items) and its members.
#include <nlohmann/json.hpp>

#include <cstdio>
#include <string>
#include <vector>

#include "command.h"
#include "errors.h"
#include "listing.h"
#include "names.h"
#include "tool.h"
#include "written_with.h"
#include "zefhost/catalog/catalog_error.h"
#include "zefhost/catalog/services.h"
#include "zefxbaml/status.h"

namespace zefcat {
namespace {

struct InfoArguments {
    std::string name;
    bool json = false;
};

// The items shown, in order: a label and its value (a number when it is one).
struct Item {
    std::string label;
    std::string key;
    std::string text;
    std::optional<int64_t> number;
    std::optional<nlohmann::ordered_json> json = std::nullopt;  // the JSON value, when not the text or number
};

constexpr uint32_t kAllItems = 0x3F;
constexpr uint64_t kKindCatalog = 0x2;

std::string record_format_text(int32_t code) {
    switch (code) {
    case 0x08: return "F (fixed)";
    case 0x18: return "F P (fixed, carriage control)";
    case 0x30: return "P (carriage control)";
    default: return "V (variable or stream)";
    }
}

std::string field_text(const char *field, size_t width) {
    std::string text(field, width);
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

zef::FileInformationRequest information_by_name(Session &session, const Fileref &fileref,
                                                 const std::string &context) {
    zef::FileInformationRequest request{};
    session.before_call();
    int32_t status = session.slot<zef::fn::yxlinfo>(slot::kInformation)(nullptr, fileref.name().data(), nullptr,
                                                                         0, nullptr, &request);
    if (status != 0) session.fail(status, context);
    return request;
}

// What the entry's version was written with: "RECFM=F LRECL=80", and in
// JSON an object of recfm, lrecl and encoding ("" for none), null when not known.
Item written_with_item(const std::optional<zefhost::catalog::VersionAttributes> &written) {
    if (!written) return {"Written with", "written_with", "(not known)", std::nullopt, nlohmann::ordered_json()};
    nlohmann::ordered_json object = nlohmann::ordered_json::object();
    object["recfm"] = record_format_letters(written->record_format);
    object["lrecl"] = written->lrecl > 0 ? nlohmann::ordered_json(written->lrecl) : nlohmann::ordered_json();
    object["encoding"] = written->encoding;
    return {"Written with", "written_with", attributes_text(*written), std::nullopt, object};
}

void add_metadata(Tool &tool, const std::vector<std::string> &parts, bool json, std::vector<Item> &items) {
    // A person reads local minutes; a program gets UTC seconds.
    auto when = [json](int64_t microseconds) { return json ? utc_second(microseconds) : local_minute(microseconds); };
    try {
        std::string name = parts[2];
        for (char &c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        for (const auto &info : tool.host().catalogs().list_entries(parts[0], parts[1])) {
            if (info.key.name != name) continue;
            const auto &row = info.row;
            items.push_back({"Description", "description", row.description, std::nullopt});
            items.push_back({"Size", "size", std::to_string(row.bytes) + " bytes", row.bytes});
            items.push_back({"Records", "records", std::to_string(row.blocks), row.blocks});
            items.push_back({"Created", "created", when(row.created), std::nullopt});
            items.push_back({"Modified", "modified", when(row.modified), std::nullopt});
            items.push_back(written_with_item(row.attributes));
            // The file the version was put from: its time and permission bits.
            const auto &a = row.attributes;
            if (a && (a->file_time || a->file_mode)) {
                char mode[8] = "";
                if (a->file_mode) std::snprintf(mode, sizeof mode, "%04o", *a->file_mode);
                std::string text = a->file_time ? "modified " + when(*a->file_time / 1000) : "";
                if (a->file_mode) text += std::string(text.empty() ? "" : ", ") + "mode " + mode;
                nlohmann::ordered_json object = nlohmann::ordered_json::object();
                object["modified"] = a->file_time ? nlohmann::ordered_json(utc_second(*a->file_time / 1000))
                                                  : nlohmann::ordered_json();
                object["mode"] = a->file_mode ? nlohmann::ordered_json(mode) : nlohmann::ordered_json();
                items.push_back({"From file", "file", text, std::nullopt, object});
            } else {
                items.push_back({"From file", "file", "(not known)", std::nullopt, nlohmann::ordered_json()});
            }
            if (row.stored_bytes >= 0)
                items.push_back({"Stored", "stored",
                                 std::to_string(row.stored_bytes) + " bytes" +
                                     (row.stored_bytes < row.bytes ? " (compressed)" : ""),
                                 row.stored_bytes});
            else
                items.push_back({"Stored", "stored", "(not known)", std::nullopt, nlohmann::ordered_json()});
            items.push_back({"Checksum", "checksum",
                             row.checksum.present() ? "XXH3-128 " + row.checksum.text() : "(none kept)", std::nullopt,
                             row.checksum.present() ? nlohmann::ordered_json(row.checksum.text())
                                                    : nlohmann::ordered_json()});
            return;
        }
    } catch (const zefhost::catalog::CatalogError &) {
        // Shown without the store's metadata.
    }
}

std::vector<Item> entry_items(Tool &tool, const std::string &name, bool json, const std::string &context) {
    Session &session = tool.session();
    AssignedEntry entry = assign_entry(session, name, NameUse::kRead, context);
    zef::FileInformationRequest by_name = information_by_name(session, entry.fileref, context);

    session.before_call();
    int32_t status = session.slot<zef::fn::yxlexp>(slot::kExists)(entry.fileref.name().data(), nullptr);
    if (status == zef::kEntryMissing) throw Problem(context + ": no such entry (0x80001006)");
    if (status != 0) session.fail(status, context);

    Stream stream = Stream::open(session, entry.fileref.name(), OpenPlan{}, context);
    zef::FileInformationRequest opened{};
    session.before_call();
    status = session.slot<zef::fn::yxlinfo>(slot::kInformation)(stream.block(), nullptr, nullptr,
                                                                 kAllItems, nullptr, &opened);
    if (status != 0) session.fail(status, context);

    zef::InformationRecord *record = nullptr;
    session.before_call();
    status = session.slot<zef::fn::yxlins>(slot::kInformationStart)(stream.block(), &record);
    if (status < 0) session.fail(status, context);
    std::string label(record->item_label, static_cast<size_t>(record->label_length));
    std::string value(record->item_value, static_cast<size_t>(record->value_length));
    session.before_call();
    status = session.slot<zef::fn::yxlinf>(slot::kInformationEnd)(stream.block(), record);
    if (status != 0) session.fail(status, context);
    stream.close(context);

    std::vector<Item> items;
    items.push_back({"Name", "name", entry.physical, std::nullopt});
    items.push_back({"Type", "type", entry.type, std::nullopt});
    items.push_back({"File name", "file_name", std::string(by_name.name, static_cast<size_t>(by_name.name_length)), std::nullopt});
    items.push_back({"Kind", "kind", (by_name.kind_flags & kKindCatalog) ? "catalog" : "entry", std::nullopt});
    items.push_back({"Device", "device", field_text(by_name.device_type, sizeof by_name.device_type), std::nullopt});
    items.push_back({"Record format", "record_format", record_format_text(opened.record_format_code), std::nullopt});
    items.push_back({"Record length", "lrecl", std::to_string(opened.lrecl), opened.lrecl});
    items.push_back({label, "catalog_name", value, std::nullopt});
    add_metadata(tool, name_parts(name), json, items);
    return items;
}

std::vector<Item> catalog_items(Tool &tool, const std::string &name, const std::string &context) {
    Session &session = tool.session();
    Fileref fileref = assign_catalog(session, name, context);
    zef::FileInformationRequest by_name = information_by_name(session, fileref, context);

    std::optional<InputOnlyTask> input_only(std::in_place, session);
    std::optional<Directory> directory;
    directory.emplace(Directory::open(session, fileref.name(), context));
    input_only.reset();
    int32_t status = directory->information();
    if (status != 0) session.fail(status, context);
    int64_t members = 0;
    std::string member, type;
    while (directory->next(&member, &type, context)) ++members;
    directory->close(context);

    std::vector<std::string> parts = name_parts(name);
    std::string upper_name = name;
    for (char &c : upper_name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    std::vector<Item> items;
    items.push_back({"Name", "name", upper_name, std::nullopt});
    items.push_back({"Kind", "kind", (by_name.kind_flags & kKindCatalog) ? "catalog" : "entry", std::nullopt});
    items.push_back({"Device", "device", field_text(by_name.device_type, sizeof by_name.device_type), std::nullopt});
    items.push_back({"Entries", "entries", std::to_string(members), members});
    try {
        auto &services = tool.host().catalogs();
        if (services.library_directory(parts[0]))
            items.push_back({"File", "file", services.catalog_file(parts[0], parts[1]).string(), std::nullopt});
        else
            items.push_back({"Place", "place", services.catalog_place(parts[0], parts[1]), std::nullopt});
    } catch (const zefhost::catalog::CatalogError &) {
    }
    return items;
}

int run(Tool &tool, const InfoArguments &arguments) {
    std::string context = "info " + shown(arguments.name);
    size_t parts = name_parts(arguments.name).size();
    if (parts < 2)
        usage_problem(context + ": name an entry (library.catalog.entry.type) or a catalog (library.catalog)");
    std::vector<Item> items = parts == 2 ? catalog_items(tool, arguments.name, context)
                                         : entry_items(tool, arguments.name, arguments.json, context);
    if (arguments.json) {
        nlohmann::ordered_json object = nlohmann::ordered_json::object();
        for (const Item &item : items)
            object[item.key] = item.json     ? *item.json
                               : item.number ? nlohmann::ordered_json(*item.number)
                                             : nlohmann::ordered_json(item.text);
        tool.out() << object.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
        return 0;
    }
    size_t width = 0;
    for (const Item &item : items) width = std::max(width, item.label.size());
    for (const Item &item : items)
        tool.out() << item.label << std::string(width - item.label.size() + 2, ' ') << escaped_controls(item.text)
                   << '\n';
    return 0;
}

void attach(CLI::App &command, Tool &tool) {
    auto arguments = std::make_shared<InfoArguments>();
    command.add_option("NAME", arguments->name, "library.catalog.entry.type, or library.catalog")->required();
    command.add_flag("--json", arguments->json, "a JSON object");
    command.footer("\nExample:\n  zefcat info work.notes.readme.source");
    command.callback([&tool, arguments] { tool.finish(run(tool, *arguments)); });
}

}  // namespace
}  // namespace zefcat

ZEFCAT_COMMAND(info, "show what the module tells about an entry or a catalog", zefcat::attach);
