// zefcat export: every entry of a catalog as a file named after it, text
// as get writes it and binary byte for byte, with a manifest that says
// what the files do not (export_manifest.h), into a folder or straight
// into a tar or zip archive (archive_files.h). Each entry is read through
// the module as get reads it; an entry that cannot be exported is said and
// the others still go.
#include <sys/stat.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "archive_files.h"
#include "command.h"
#include "copy.h"
#include "entry_copy.h"
#include "errors.h"
#include "export_manifest.h"
#include "matching.h"
#include "names.h"
#include "tool.h"
#include "written_with.h"
#include "zefhost/catalog/catalog_error.h"
#include "zefhost/catalog/names.h"
#include "zefhost/catalog/services.h"
#include "zefhost/host.h"

namespace zefcat {
namespace {

namespace catalog = zefhost::catalog;

// Reads that find the entry written between the look at it and the open.
constexpr int kReadAttempts = 3;

struct ExportArguments {
    std::string catalog;
    std::string destination;
    bool force = false;
    bool json = false;
};

struct Exported {
    std::string entry;  // LIB.CAT.NAME.TYPE
    std::string file;
};
struct Refused {
    std::string what;  // the entry
    std::string why;
};

// Where the files go: a folder, or an archive being written. Each file is
// written to a spool first (in the folder, or beside the archive), and
// given its name (or added to the archive) only once whole and checked.
class Destination {
public:
    Destination(const std::string &path, std::optional<ArchiveFormat> format, std::string_view context)
        : path_(path), context_(context) {
        if (format) archive_.emplace(path, *format, context);
        std::filesystem::path folder = format ? std::filesystem::path(path).parent_path() : std::filesystem::path(path);
        spool_folder_ = folder.empty() ? "." : folder.string();
    }

    bool is_archive() const { return archive_.has_value(); }

    Output spool() { return Output::spool(spool_folder_, context_); }

    // Puts the committed spool in place as `file`.
    void place(const std::string &file, Output &spool, int64_t size, int64_t time, uint32_t mode) {
        if (archive_)
            archive_->add_file(file, spool.spool_path(), size, time, mode);
        else
            spool.place_spool((std::filesystem::path(path_) / file).string());
    }

    void add_manifest(const std::string &text, int64_t time) {
        if (archive_) {
            archive_->add_bytes(kManifestFile, text, time, 0644);
            archive_->commit();
            return;
        }
        Output output = spool();
        output.write(text);
        output.keep_file_attributes(time, 0644);
        output.commit();
        output.place_spool((std::filesystem::path(path_) / kManifestFile).string());
    }

private:
    std::string path_;
    std::string context_;
    std::string spool_folder_;
    std::optional<ArchiveWriter> archive_;
};

// An entry that cannot be exported as it is, wherever it goes.
class NotExportable : public Problem {
public:
    using Problem::Problem;
};

// The size of the file `path`, and (for an entry written as lines) why
// those lines would not put back the `records` it was written from: a
// record that holds a line end, or ends in a carriage return that put
// would take for half of a CRLF line end.
struct WrittenFile {
    int64_t size = 0;
    std::string not_exact;
};
WrittenFile written_file(const std::string &path, bool lines, int64_t records, const std::string &context) {
    Input input(path, context, false);
    WrittenFile written;
    int64_t line_ends = 0;
    char last = 0;
    for (std::string_view chunk = input.read_chunk(1 << 20); !chunk.empty(); chunk = input.read_chunk(1 << 20)) {
        written.size += static_cast<int64_t>(chunk.size());
        if (!lines) continue;
        for (char c : chunk) {
            if (c == '\n') {
                ++line_ends;
                if (last == '\r' && written.not_exact.empty())
                    written.not_exact = "record " + std::to_string(line_ends) + " ends in a carriage return";
            }
            last = c;
        }
    }
    if (lines && written.not_exact.empty() && line_ends != records)
        written.not_exact = "its " + std::to_string(records) + " records hold line ends (" +
                            std::to_string(line_ends) + " lines)";
    return written;
}

// Refuses a destination that would be written over without --force: an
// archive that exists, or in a folder each file (and the manifest) that
// does; with --force, what is not a file or a link is still refused.
void check_destination(const std::string &path, bool archive, const std::vector<std::string> &files, bool force,
                       const std::string &context) {
    struct stat status {};
    if (archive) {
        if (::lstat(path.c_str(), &status) != 0) return;
        if (S_ISDIR(status.st_mode)) throw Problem(context + ": " + shown(path) + " is a folder, not an archive");
        if (!force) throw Problem(context + ": " + shown(path) + " exists (--force replaces it); nothing exported");
        return;
    }
    if (::stat(path.c_str(), &status) == 0 && !S_ISDIR(status.st_mode))
        throw Problem(context + ": " + shown(path) +
                      " exists and is not a folder (name it .tar, .tar.gz, .tgz or .zip for an archive)");
    size_t in_the_way = 0;
    for (const std::string &file : files) {
        std::string where = (std::filesystem::path(path) / file).string();
        if (::lstat(where.c_str(), &status) != 0) continue;
        if (force && (S_ISREG(status.st_mode) || S_ISLNK(status.st_mode))) continue;
        print_problem(context + ": " + shown(where) +
                      (force ? " is not a file, and is not replaced" : " exists (--force replaces it)"));
        ++in_the_way;
    }
    if (in_the_way > 0)
        throw Problem(context + ": " + std::to_string(in_the_way) + (in_the_way == 1 ? " file is" : " files are") +
                      " in the way; nothing exported");
}

// Writes the entry's contents to `output` as get would write them, with
// its carriage-control characters kept for RECFM=P. The entry's row as it
// was when it was opened, and whether it went as lines; a Problem when it
// cannot be read whole.
struct EntryWritten {
    catalog::EntryRow row;
    bool lines = false;
};
EntryWritten write_entry(Session &session, const CatalogPlace &place, const ManifestEntry &line,
                              Output &output, const std::string &context) {
    std::string full = place.name() + "." + line.name + "." + line.type;
    for (int attempt = 1;; ++attempt) {
        std::optional<catalog::EntryRow> before =
            session.host().catalogs().entry_row(place.library, place.catalog, line.name, line.type);
        if (!before) throw Problem(context + ": " + full + " went while it was exported");
        AssignedEntry entry = assign_entry(session, full, NameUse::kRead, context);
        bool carriage = line.form == EntryForm::kLines && before->attributes &&
                        (before->attributes->record_format & zef::kRecordPrint) != 0;
        CopyOptions copy = copy_options(session, {}, line.form, false, carriage, context);
        if (line.form == EntryForm::kLines && before->attributes)
            copy = with_stored_attributes(session, std::move(copy), *before->attributes, {}, line.form, false,
                                          carriage, context);
        Stream stream = open_for_copy(session, entry.fileref.name(), zef::kOpenInput, line.form, copy, context);
        // The reader sees the version it opened; the row must be that one's.
        std::optional<catalog::EntryRow> opened =
            session.host().catalogs().entry_row(place.library, place.catalog, line.name, line.type);
        bool same = opened && opened->content == before->content && opened->modified == before->modified &&
                    opened->bytes == before->bytes;
        if (!same) {
            if (attempt == kReadAttempts) throw Problem(context + ": " + full + " is being written; export it again");
            continue;
        }
        bool lines = !moves_bytes(line.form, stream, copy);
        if (copy_out(stream, output, line.form, copy, carriage, context) > 0)
            throw Problem(context + ": " + full + " has records longer than it was written with; not exported");
        stream.close(context);
        return {*opened, lines};
    }
}

// The manifest line of an entry, from its row.
ManifestEntry manifest_line(const std::string &name, const std::string &type, const catalog::EntryRow &row) {
    ManifestEntry line;
    line.name = name;
    line.type = type;
    line.file = entry_file_name(name, type);
    line.form = form_of_type(type);
    line.description = row.description;
    line.written_with = row.attributes;
    line.created = row.created;
    line.modified = row.modified;
    if (row.attributes) {
        line.file_time = row.attributes->file_time;
        line.file_mode = row.attributes->file_mode;
    }
    return line;
}

void print_summary(Tool &tool, const ExportArguments &arguments, const std::string &catalog_name,
                   const std::vector<Exported> &exported, const std::vector<Refused> &refused) {
    if (arguments.json) {
        nlohmann::ordered_json document = nlohmann::ordered_json::object();
        document["catalog"] = catalog_name;
        document["destination"] = arguments.destination;
        document["exported"] = nlohmann::ordered_json::array();
        for (const Exported &e : exported) document["exported"].push_back({{"entry", e.entry}, {"file", e.file}});
        document["refused"] = nlohmann::ordered_json::array();
        for (const Refused &r : refused) document["refused"].push_back({{"entry", r.what}, {"reason", r.why}});
        tool.out() << document.dump(2) << '\n';
        return;
    }
    for (const Exported &e : exported) tool.out() << "exported " << e.entry << " as " << e.file << '\n';
    tool.out() << exported.size() << (exported.size() == 1 ? " entry" : " entries") << " exported to "
               << arguments.destination;
    if (!refused.empty()) tool.out() << ", " << refused.size() << " refused";
    tool.out() << '\n';
}

int run(Tool &tool, const ExportArguments &arguments) {
    std::string context = "export " + shown(arguments.catalog) + " " + shown(arguments.destination);
    require_catalog_name(arguments.catalog, context);
    if (arguments.destination.empty()) usage_problem(context + ": name a folder or an archive to export to");
    std::optional<ArchiveFormat> format = archive_format_for(arguments.destination);
    Session &session = tool.session();
    std::vector<std::string> parts = name_parts(arguments.catalog);
    CatalogPlace place{catalog::upper(parts[0]), catalog::upper(parts[1])};
    matching_libraries(tool, place.library, context);

    // The entries as the module lists them, with the store's rows.
    std::vector<EntryPlace> entries = matching_entries(tool, place, "*", "", context);
    std::vector<Refused> refused;
    std::vector<ManifestEntry> planned;
    std::map<std::string, std::string> files;  // file -> entry
    for (const EntryPlace &found : entries) {
        std::string entry = found.full();
        if (std::string why = unexportable_name(found.name, found.type); !why.empty()) {
            refused.push_back({entry, why + ": it would not import back"});
            continue;
        }
        ManifestEntry line;
        line.name = catalog::upper(found.name);
        line.type = catalog::upper(found.type);
        line.file = entry_file_name(line.name, line.type);
        line.form = form_of_type(line.type);
        if (auto earlier = files.find(line.file); earlier != files.end()) {
            refused.push_back({entry, "its file " + line.file + " is " + earlier->second + "'s already"});
            continue;
        }
        files.emplace(line.file, entry);
        planned.push_back(std::move(line));
    }
    std::vector<std::string> names;
    for (const ManifestEntry &line : planned) names.push_back(line.file);
    names.push_back(kManifestFile);
    check_destination(arguments.destination, format.has_value(), names, arguments.force, context);
    if (!format) {
        std::error_code error;
        std::filesystem::create_directories(arguments.destination, error);
        if (error) throw Problem(context + ": cannot make " + shown(arguments.destination) + ": " + error.message());
    }

    Destination destination(arguments.destination, format, context);
    Manifest manifest;
    std::vector<Exported> exported;
    int64_t latest = 0;
    for (const ManifestEntry &plan : planned) {
        std::string entry = place.name() + "." + plan.name + "." + plan.type;
        std::string entry_context = context + ": " + entry;
        try {
            Output output = destination.spool();
            EntryWritten written = write_entry(session, place, plan, output, entry_context);
            ManifestEntry line = manifest_line(plan.name, plan.type, written.row);
            output.keep_file_attributes(line.member_time(), line.member_mode());
            output.commit();
            WrittenFile file = written_file(output.spool_path(), written.lines, written.row.blocks, entry_context);
            if (!file.not_exact.empty())
                throw NotExportable(entry_context + ": " + file.not_exact + ": as a file it would not import as it is");
            line.size = file.size;
            destination.place(line.file, output, line.size, line.member_time(), line.member_mode());
            latest = std::max(latest, line.member_time());
            exported.push_back({entry, line.file});
            manifest.entries.push_back(std::move(line));
        } catch (const NotExportable &problem) {
            refused.push_back({entry, std::string(problem.what()).substr(entry_context.size() + 2)});
        } catch (const Problem &problem) {
            // An archive is whole or not there at all.
            if (destination.is_archive())
                throw Problem(std::string(problem.what()) + "; nothing exported", problem.exit_status());
            std::string why = problem.what();
            if (why.starts_with(entry_context + ": ")) why.erase(0, entry_context.size() + 2);
            if (why.starts_with(context + ": ")) why.erase(0, context.size() + 2);
            refused.push_back({entry, why});
        } catch (const catalog::CatalogError &error) {
            if (destination.is_archive())
                throw Problem(entry_context + ": " + error.what() + "; nothing exported");
            refused.push_back({entry, error.what()});
        }
    }
    for (const Refused &r : refused) print_problem(context + ": " + r.what + ": " + r.why + " (not exported)");
    // The manifest takes the time of the latest file, so that exporting the
    // same entries again gives the same archive.
    destination.add_manifest(manifest_text(manifest), latest);
    print_summary(tool, arguments, place.name(), exported, refused);
    return refused.empty() ? 0 : kExitFailure;
}

const char *kFooter = R"(
Writes every entry of the catalog LIB.CAT as a file named after it (its
name and type in lower case: TODO.SOURCE becomes todo.source), and a
manifest, zefcat-manifest.json, that keeps what the files do not: each
entry's type, description, what it was written with (record format, record
length, encoding), its created and modified times, and the file time and
mode put recorded. zefcat import reads it all back.

Text entries are written as get writes them (one line a record, transcoded
to UTF-8 from the encoding they were written with; RECFM=P entries with
their carriage-control character first, as get --carriage shows it), binary
entries byte for byte. Each file gets the time and mode put recorded (else
the entry's modified time and 0644).

DEST is a folder (made if missing) or, by its name, an archive: .tar,
.tar.gz or .tgz, .zip. An archive is written under a temporary name beside
DEST and takes its name only when complete. Files that exist are not
written over (each is named) unless --force is given.

An entry that could not be imported back as it is (for its name, or for a
record ending in a carriage return, which put would take for half of a
CRLF line end) is said on standard error and left out, and the exit status
is 1. So is, in a folder, an entry that
cannot be read; an archive is then not written at all.

Examples:
  zefcat export work.notes notes/
  zefcat export work.notes notes.tar.gz
  zefcat export mylib.reports reports.zip --force --json)";

void attach(CLI::App &command, Tool &tool) {
    auto arguments = std::make_shared<ExportArguments>();
    command.add_option("CATALOG", arguments->catalog, "the catalog: library.catalog")->required();
    command.add_option("DEST", arguments->destination, "a folder, or an archive: .tar, .tar.gz, .tgz, .zip")
        ->required();
    command.add_flag("-f,--force", arguments->force, "write over files (or an archive) that exist");
    command.add_flag("--json", arguments->json, "say what was exported as JSON");
    command.footer(kFooter);
    command.callback([&tool, arguments] { tool.finish(run(tool, *arguments)); });
}

}  // namespace
}  // namespace zefcat

ZEFCAT_COMMAND(export, "write every entry of a catalog into a folder or an archive, with a manifest",
               zefcat::attach);
