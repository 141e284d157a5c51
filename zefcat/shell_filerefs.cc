// The shell's fileref commands: assign (slots 30 and 0), assignlike (31),
// deassign (1), filerefs (6), assigned (2), exists (3), pathname (4),
// delete (32), info (8, and 9 and 10 for an open stream, 23 and 24 for a
// held directory), options (30, 33, 36) and defaults (33; opens made from
// it use 34).
#include <iostream>
#include <string>

#include "catalog_removal.h"
#include "copy.h"
#include "errors.h"
#include "names.h"
#include "shell.h"
#include "shell_words.h"
#include "tool.h"
#include "zefhost/kernel_statuses.h"
#include "zefxbaml/option_block.h"
#include "zefxbaml/status.h"

namespace zefcat {

namespace {

std::string joined(const std::vector<std::string> &words) {
    std::string text;
    for (const std::string &w : words) text += (text.empty() ? "" : " ") + w;
    return text;
}

std::string record_format_text(uint32_t bits) {
    std::string text;
    if (bits & 0x20) text += "V";
    if (bits & 0x08) text += "F";
    if (bits & 0x10) text += "P";
    if (bits & 0x02) text += "S";
    return text;
}

std::string host_quoted(const std::string &text) {
    std::string result = "'";
    for (char c : text) result += c == '\'' ? std::string("''") : std::string(1, c);
    return result + "'";
}

}  // namespace

void Shell::assign(const ShellLine &line, const std::string &context) {
    std::string given = unquoted(word(line, 0, "the fileref (or - for a made-up one)", context));
    std::string physical = unquoted(word(line, 1, "the physical name", context));
    std::vector<std::string> options = words_from(line, 2);
    FilerefName name = given == "-" ? FilerefName() : FilerefName(given);
    OptionSettings settings;
    Fileref fileref = Fileref::assign(session_, name, physical, joined(options), context, &options, &settings);
    fileref.keep();
    filerefs_.insert_or_assign(fileref.name().text(), fileref.name());
    assigned_.insert_or_assign(fileref.name().text(), settings);
    if (given == "-") std::cout << fileref.name().text() << '\n';
}

void Shell::assign_like(const ShellLine &line, const std::string &context) {
    std::string given = unquoted(word(line, 0, "the new fileref", context));
    std::string existing = unquoted(word(line, 1, "the fileref to assign like", context));
    size_t next = 2;
    std::string extension;
    if (line.words.size() > next && !looks_like_option(line.words[next])) extension = unquoted(line.words[next++]);
    std::vector<std::string> options = words_from(line, next);
    FilerefName name = given == "-" ? FilerefName() : FilerefName(given);
    // Without options of its own it shares the existing fileref's.
    OptionSettings settings = assigned_[FilerefName(existing).text()];
    Fileref fileref =
        Fileref::assign_like(session_, name, existing, extension, joined(options), context, &options, &settings);
    fileref.keep();
    filerefs_.insert_or_assign(fileref.name().text(), fileref.name());
    assigned_.insert_or_assign(fileref.name().text(), settings);
    if (given == "-") std::cout << fileref.name().text() << '\n';
}

void Shell::deassign(const ShellLine &line, const std::string &context) {
    FilerefName name(unquoted(word(line, 0, "the fileref", context)));
    session_.before_call();
    int32_t status = session_.slot<zef::fn::yxldasg>(slot::kDeassign)(name.data(), nullptr);
    if (status != 0 && status != zef::kStillOpen) session_.fail(status, context);
    filerefs_.erase(name.text());
    assigned_.erase(name.text());
    if (status == zef::kStillOpen)
        print_note(context, "deassigned while still open: its open streams stay usable until they are closed");
}

namespace {

// One fileref of the method's list (slot 6): its name and the physical name
// the list shows.
struct ListedFileref {
    std::string name;
    std::string full;
};

// The next fileref after `cursor`; the slot's status when the list ended or
// the walk failed.
int32_t next_fileref(Session &session, zef::FilerefRecord **cursor, ListedFileref *listed) {
    char name[8];
    const char *full = nullptr;
    int32_t length = 0;
    session.before_call();
    int32_t status = session.slot<zef::fn::yxlnxt>(slot::kNextFileref)(cursor, name, nullptr, &full, &length);
    if (status != 0) return status;
    listed->name.assign(name, sizeof name);
    if (full != nullptr) listed->full.assign(full, static_cast<size_t>(std::max(length, 0)));
    else listed->full.clear();
    return 0;
}

}  // namespace

void Shell::list_filerefs(const std::string &context) {
    zef::FilerefRecord *cursor = nullptr;
    ListedFileref listed;
    for (;;) {
        int32_t status = next_fileref(session_, &cursor, &listed);
        if (status == zef::kEndOfList) break;
        if (status != 0) session_.fail(status, context);
        std::cout << listed.name << "  " << listed.full << '\n';
    }
}

void Shell::test_assigned(const ShellLine &line, const std::string &context) {
    FilerefName name(unquoted(word(line, 0, "the fileref", context)));
    session_.before_call();
    int32_t status = session_.slot<zef::fn::yxlexl>(slot::kFilerefExists)(name.data(), nullptr);
    // The host's second lookup (yxal2am) may be the one that says no.
    bool unknown = status == zef::kFilerefNotAssigned || status == zefhost::kFilerefUnknownToHost;
    if (status != 0 && !unknown) session_.fail(status, context);
    std::cout << name.text() << (status == 0 ? " is assigned" : " is not assigned") << '\n';
}

void Shell::test_exists(const ShellLine &line, const std::string &context) {
    FilerefName name(unquoted(word(line, 0, "the fileref", context)));
    session_.before_call();
    int32_t status = session_.slot<zef::fn::yxlexp>(slot::kExists)(name.data(), nullptr);
    bool missing = status == zef::kEntryMissing || status == zef::kCatalogMissing;
    if (status != 0 && !missing) session_.fail(status, context);
    std::cout << name.text() << (missing ? ": does not exist" : ": exists") << '\n';
}

void Shell::physical_name(const ShellLine &line, const std::string &context) {
    char buffer[1024];
    FilerefName name(unquoted(word(line, 0, "the fileref", context)));
    session_.before_call();
    int32_t status = session_.slot<zef::fn::yxlpnam>(slot::kPhysicalName)(name.data(), buffer);
    if (status != 0) session_.fail(status, context);
    std::cout << std::string(buffer, strnlen(buffer, sizeof buffer)) << '\n';
}

// The physical name a fileref was assigned to, as the fileref list shows
// it; empty when it is not assigned.
std::string Shell::assigned_name(const FilerefName &fileref) {
    zef::FilerefRecord *cursor = nullptr;
    ListedFileref listed;
    while (next_fileref(session_, &cursor, &listed) == 0)
        if (listed.name == std::string_view(fileref.data(), 8)) return listed.full;
    return {};
}

void Shell::erase(const ShellLine &line, const std::string &context) {
    FilerefName name(unquoted(word(line, 0, "the fileref", context)));
    bool with_entries = line.words.size() > 1 && line.words[1] == "-r";
    if (line.words.size() > (with_entries ? 2u : 1u)) usage_problem(context + ": write delete FREF [-r]");
    session_.before_call();
    int32_t status = session_.slot<zef::fn::yxldel>(slot::kDelete)(name.data(), nullptr);
    if (status == zef::kNameUnsuitable) {
        // The module deletes entries; a catalog fileref ("..LIB.CAT") has
        // its catalog removed through the host's store, as zefcat rm does.
        std::string physical = assigned_name(name);
        size_t start = physical.find_first_not_of('.');
        std::string catalog = start == std::string::npos ? std::string() : physical.substr(start);
        if (name_parts(catalog).size() == 2) {
            remove_catalog(tool_, catalog, with_entries ? CatalogRemoval::kWithEntries : CatalogRemoval::kEmptyOnly,
                           false, context);
            return;
        }
    }
    if (status != 0) session_.fail(status, context);
}

void Shell::information(const ShellLine &line, const std::string &context) {
    FilerefName name(unquoted(word(line, 0, "the fileref", context)));
    zef::FileInformationRequest request{};
    session_.before_call();
    int32_t status = session_.slot<zef::fn::yxlinfo>(slot::kInformation)(nullptr, name.data(), nullptr, 0,
                                                                          nullptr, &request);
    if (status != 0) session_.fail(status, context);
    std::cout << "name: " << std::string(request.name, static_cast<size_t>(std::max(request.name_length, 0)))
              << "\nkind: " << ((request.kind_flags & 0x2) ? "catalog" : "entry")
              << "\ndevice: " << std::string(request.device_type, sizeof request.device_type) << '\n';

    if (auto open = streams_.find(name.text()); open != streams_.end()) {
        Stream &stream = open->second.stream;
        zef::FileInformationRequest items{};
        session_.before_call();
        status = session_.slot<zef::fn::yxlinfo>(slot::kInformation)(stream.block(), nullptr, nullptr, 0x3F,
                                                                     nullptr, &items);
        if (status != 0) session_.fail(status, context);
        std::cout << "record format code: " << items.record_format_code << "\nrecord length: " << items.lrecl
                  << '\n';
        zef::InformationRecord *record = nullptr;
        session_.before_call();
        status = session_.slot<zef::fn::yxlins>(slot::kInformationStart)(stream.block(), &record);
        if (status < 0) session_.fail(status, context);
        std::cout << std::string(record->item_label, static_cast<size_t>(record->label_length)) << ": "
                  << std::string(record->item_value, static_cast<size_t>(record->value_length)) << '\n';
        session_.before_call();
        status = session_.slot<zef::fn::yxlinf>(slot::kInformationEnd)(stream.block(), record);
        if (status != 0) session_.fail(status, context);
    }
    if (auto held = directories_.find(name.text()); held != directories_.end()) {
        status = held->second.information();
        if (status != 0) session_.fail(status, context);
        std::cout << "directory: open, no information items\n";
    }
}

void Shell::show_options(const ShellLine &line, const std::string &context) {
    std::vector<std::string> options = words_from(line, 0);
    zefhost::ParsedOptions parsed = session_.parse_options(joined(options), 0, context, &options);
    OptionSettings settings = session_.settings_of(parsed.block.get(), context);
    std::string text;
    auto add = [&text](const std::string &part) { text += (text.empty() ? "" : " ") + part; };
    if (settings.lrecl != 0) add("LRECL=" + std::to_string(settings.lrecl));
    if (settings.record_format != 0) add("RECFM=" + record_format_text(settings.record_format));
    if (settings.append) add("MOD");
    if (settings.attr) add("ATTR");
    if (settings.encoding_given) add("ENCODING=" + std::to_string(settings.encoding));
    if (!settings.description.empty()) add("DESC=" + host_quoted(settings.description));
    std::cout << (text.empty() ? "(nothing set)" : text) << '\n';
}

void Shell::set_defaults(const ShellLine &line, const std::string &context) {
    std::vector<std::string> options = words_from(line, 0);
    if (options.empty()) {
        defaults_.clear();
        return;
    }
    zefhost::ParsedOptions parsed = session_.parse_options(joined(options), zef::kNotOwned, context, &options);
    defaults_ = session_.image_of(parsed.block.get(), context);
}

}  // namespace zefcat
