#include "entry_transfer.h"

#include <algorithm>
#include <filesystem>
#include <vector>

#include "copy.h"
#include "entry_copy.h"
#include "entry_removal.h"
#include "errors.h"
#include "names.h"
#include "progress.h"
#include "session.h"
#include "written_with.h"
#include "zefhost/catalog/catalog_error.h"
#include "zefhost/catalog/names.h"
#include "zefhost/catalog/services.h"
#include "zefhost/encodings.h"
#include "zefhost/host.h"
#include "zefxbaml/status.h"
#include "zefxbaml/stream_block.h"

namespace zefcat {

namespace catalog = zefhost::catalog;

namespace {

// The host's default record length, which a text target without a known
// record length must be able to exceed.
constexpr int64_t kDefaultLrecl = 256;

struct EntryName {
    std::string library, catalog, name, type;
};

EntryName split(std::string_view physical) {
    std::vector<std::string> parts = name_parts(physical);
    return {parts[0], parts[1], parts[2], parts.size() > 3 ? parts[3] : "CATAMS"};
}

std::optional<catalog::EntryRow> row_of(Session &session, std::string_view physical) {
    EntryName name = split(physical);
    try {
        return session.host().catalogs().entry_row(name.library, name.catalog, name.name, name.type);
    } catch (const catalog::CatalogError &) {
        return std::nullopt;
    }
}

// Whether two physical names lead to one entry: the same entry and type in
// the same catalog file, whatever the library is called.
bool same_entry(Session &session, std::string_view a, std::string_view b) {
    EntryName x = split(a), y = split(b);
    if (catalog::upper(x.name) != catalog::upper(y.name) || catalog::upper(x.type) != catalog::upper(y.type))
        return false;
    try {
        catalog::Services &services = session.host().catalogs();
        std::error_code error;
        return std::filesystem::weakly_canonical(services.catalog_file(x.library, x.catalog), error) ==
               std::filesystem::weakly_canonical(services.catalog_file(y.library, y.catalog), error);
    } catch (const catalog::CatalogError &) {
        return catalog::upper(x.library) == catalog::upper(y.library) &&
               catalog::upper(x.catalog) == catalog::upper(y.catalog);
    }
}

// The options that write an entry as the source was written, with its
// description: RECFM= for each letter, LRECL=, ENCODING=, DESC=.
std::vector<std::string> target_options(const std::optional<catalog::EntryRow> &row, EntryForm form,
                                        int64_t longest_record) {
    std::vector<std::string> options;
    const auto &written = row ? row->attributes : std::nullopt;
    if (written) {
        if (written->record_format != 0)
            for (char letter : record_format_letters(written->record_format))
                options.push_back(std::string("RECFM=") + letter);
        if (written->lrecl > 0) options.push_back("LRECL=" + std::to_string(written->lrecl));
        if (int32_t id = zefhost::find_encoding(written->encoding); !written->encoding.empty() && id != 0)
            options.push_back(std::string("ENCODING=") + zefhost::encoding_name(id));
    } else if (form == EntryForm::kLines) {
        // Nothing known: room for the longest record, and its control byte.
        options.push_back("LRECL=" + std::to_string(std::max(kDefaultLrecl, longest_record + 1)));
    }
    if (row && !row->description.empty()) {
        std::string quoted = "DESC='";
        for (char c : row->description) {
            if (c == '\'') quoted += '\'';
            quoted += c;
        }
        options.push_back(quoted + "'");
    }
    return options;
}

// Moves every record (or run) of `in` to `out`; the records cut.
int64_t transfer(Stream &in, Stream &out, bool bytes, int64_t total, std::string_view context) {
    Progress progress(std::string(context), total);
    int64_t cut = 0, done = 0;
    int64_t run = in.lrecl() > 0 ? in.lrecl() : kByteRun;
    for (;;) {
        char *data = nullptr;
        int64_t length = bytes ? run : 0;
        char carriage = ' ';
        int32_t status = in.read(&data, &length, bytes ? nullptr : &carriage);
        if (status == zef::kEndOfFile) break;
        if (status < 0) in.fail(status, context);
        if (bytes && (data == nullptr || length <= 0)) break;
        length = data != nullptr ? std::max<int64_t>(length, 0) : 0;
        status = out.write(data, length, carriage);
        if (status == zef::kRecordTruncated)
            ++cut;
        else if (status != 0)
            out.fail(status, context);
        done += length;
        progress.update(done);
    }
    progress.finish();
    return cut;
}

}  // namespace

std::optional<EntryVersion> entry_version(Session &session, std::string_view physical) {
    std::optional<catalog::EntryRow> row = row_of(session, physical);
    if (!row) return std::nullopt;
    return EntryVersion{row->content, row->modified, row->bytes};
}

void remove_copied_source(Session &session, const TransferReport &report, std::string_view context) {
    auto kept = [&] {
        return Problem(std::string(context) + ": " + report.source + " was written while it was copied; " +
                       report.target + " holds the version before, and the source was kept");
    };
    if (!report.source_version) throw kept();
    const EntryVersion &copied = *report.source_version;
    EntryName name = split(report.source);
    catalog::Services &catalogs = session.host().catalogs();
    try {
        catalogs.delete_only_version(name.library, name.catalog, name.name, name.type, copied.content,
                                     copied.modified, copied.bytes);
    } catch (const catalog::CatalogError &e) {
        throw Problem(std::string(context) + ": " + e.what());
    }
    struct Ends {
        catalog::Services &catalogs;
        ~Ends() { catalogs.drop_deletion_condition(); }
    } ends{catalogs};
    try {
        remove_entry(session, report.source, false, Removal::kDelete, context);
    } catch (const Problem &) {
        if (catalogs.replaced_at_deletion()) throw kept();
        throw;
    }
}

TransferReport copy_entry(Session &session, std::string_view source_name, std::string_view target_name,
                          OnCut on_cut, std::string_view context) {
    AssignedEntry source = assign_entry(session, source_name, NameUse::kRead, context);
    std::string target_text(target_name);
    if (name_parts(target_name).size() == 2) {
        require_catalog_name(target_name, context);
        EntryName kept = split(source.physical);
        target_text += "." + kept.name + "." + kept.type;
    }
    AssignedEntry target = assign_entry(session, target_text, NameUse::kWrite, context);
    if (same_entry(session, source.physical, target.physical))
        usage_problem(std::string(context) + ": " + source.physical + " and " + target.physical +
                      " are the same entry");
    EntryForm form = form_of_type(source.type);
    if (form_of_type(target.type) != form)
        usage_problem(std::string(context) + ": " + source.type + " entries are " +
                      (form == EntryForm::kBytes ? "binary" : "text") + " and " + target.type + " entries " +
                      (form == EntryForm::kBytes ? "text" : "binary") + "; copy to a type like " + source.type);

    // The source as it was written, its records whole; nothing transcoded.
    std::optional<EntryVersion> looked_at = entry_version(session, source.physical);
    std::optional<catalog::EntryRow> row = row_of(session, source.physical);
    CopyOptions reading = copy_options(session, {}, form, false, false, context);
    if (row && row->attributes)
        reading = with_stored_attributes(session, std::move(reading), *row->attributes, {}, form, false, false,
                                         context);
    Stream in = open_for_copy(session, source.fileref.name(), zef::kOpenInput, form, reading, context);
    // The version opened is the one looked at only if none came between
    // the look and the open; otherwise which one is copied is not known.
    row = row_of(session, source.physical);
    std::optional<EntryVersion> opened;
    if (row) opened = EntryVersion{row->content, row->modified, row->bytes};
    TransferReport report{source.physical, target.physical, 0, opened == looked_at ? opened : std::nullopt};

    std::vector<std::string> given = target_options(row, form, zef::stream_block_length(in.block()));
    CopyOptions writing = copy_options(session, given, form, false, false, context);
    OpenPlan plan = copy_open_plan(zef::kOpenOutput, form, writing);
    Stream out = Stream::open(session, target.fileref.name(), plan, context);
    try {
        if (moves_bytes(form, in, reading) != moves_bytes(form, out, writing))
            usage_problem(std::string(context) + ": " + source.physical + " is kept in " +
                          (moves_bytes(form, in, reading) ? "stream form, which a " + target.type +
                                                                " entry does not take"
                                                          : "records, which a " + target.type +
                                                                " entry in stream form does not keep") +
                          "; copy it to a type like " + source.type);
        if (row && row->attributes) remember_attributes(session, target.physical, *row->attributes, context);
        report.cut = transfer(in, out, moves_bytes(form, in, reading), row ? row->bytes : -1, context);
        in.close(context);
        if (report.cut > 0 && on_cut == OnCut::kAbandon)
            throw Problem(std::string(context) + ": " + std::to_string(report.cut) +
                          (report.cut == 1 ? " record is" : " records are") + " longer than " +
                          target.physical + " keeps (" + std::to_string(out.lrecl()) +
                          " bytes); nothing was written");
        out.close(context);
    } catch (...) {
        if (out.is_open()) out.abandon();
        throw;
    }
    if (report.cut > 0)
        print_note(context, std::to_string(report.cut) + (report.cut == 1 ? " record was" : " records were") +
                                " cut to the " + std::to_string(out.lrecl()) + " bytes " + target.physical +
                                " keeps");
    return report;
}

}  // namespace zefcat
