// zefcat import: what zefcat export wrote (a folder, or a tar or zip
// archive, recognised from what it holds) read back into a catalog. Each
// entry is put as zefcat put puts a file, its own write that becomes the
// entry's only when whole, with the description, what it was written with
// and the file time and mode the manifest gives.
//
// The source is untrusted: only plain file names the manifest names are
// read, never a path, a link or anything but a file, each at most as long
// as the manifest says; whatever does not hold together is refused and
// said, and the rest still goes in. A manifest that is not one refuses
// the whole import.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

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
#include "entry_put.h"
#include "errors.h"
#include "export_manifest.h"
#include "matching.h"
#include "names.h"
#include "output.h"
#include "tool.h"
#include "written_with.h"
#include "zefhost/catalog/names.h"
#include "zefhost/encodings.h"
#include "zefxbaml/stream_block.h"

namespace zefcat {
namespace {

namespace catalog = zefhost::catalog;

// The record length of a text entry whose own was not known, unless a
// line of its file needs more (with its control byte).
constexpr int64_t kDefaultLrecl = 256;

struct ImportArguments {
    std::string source;
    std::string catalog;
    bool force = false;
    bool json = false;
};

// A file of the source, as its folder or archive lists it.
struct SourceFile {
    MemberKind kind = MemberKind::kOther;
    std::optional<int64_t> size;
    int copies = 0;
};

struct Imported {
    std::string file;
    std::string entry;
};
struct Refused {
    std::string file;
    std::string why;
};

// What the source holds: its manifest, and its files by name.
struct SourceListing {
    std::optional<std::string> manifest;
    std::map<std::string, SourceFile> files;
    std::vector<Refused> refused;  // members that are not plain file names
};

const char *kind_words(MemberKind kind) {
    switch (kind) {
    case MemberKind::kDirectory: return "a folder";
    case MemberKind::kSymbolicLink: return "a symbolic link";
    case MemberKind::kHardLink: return "a hard link";
    case MemberKind::kFile: return "a file";
    default: return "not a plain file";
    }
}

// An archive member's name as a file name of the export: "./" in front is
// taken away; none when it is a path (a /, .., nothing) rather than a name.
std::optional<std::string> plain_name(std::string name) {
    while (name.starts_with("./")) name.erase(0, 2);
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) return std::nullopt;
    return name;
}

[[noreturn]] void manifest_too_long(const std::string &context) {
    throw Problem(context + ": " + kManifestFile + " is longer than " + std::to_string(kLongestManifest >> 20) +
                  " MB; nothing imported");
}

SourceListing list_folder(const std::string &folder, const std::string &context) {
    SourceListing listing;
    std::error_code error;
    for (const auto &found : std::filesystem::directory_iterator(folder, error)) {
        std::string name = found.path().filename().string();
        struct stat status {};
        if (::lstat(found.path().c_str(), &status) != 0) continue;
        SourceFile &file = listing.files[name];
        ++file.copies;
        file.kind = S_ISREG(status.st_mode)   ? MemberKind::kFile
                    : S_ISDIR(status.st_mode) ? MemberKind::kDirectory
                    : S_ISLNK(status.st_mode) ? MemberKind::kSymbolicLink
                                              : MemberKind::kOther;
        if (file.kind == MemberKind::kFile) file.size = status.st_size;
    }
    if (error) throw Problem(context + ": cannot read " + shown(folder) + ": " + error.message());

    auto manifest = listing.files.find(kManifestFile);
    if (manifest == listing.files.end() || manifest->second.kind != MemberKind::kFile) return listing;
    int fd = ::open((std::filesystem::path(folder) / kManifestFile).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) throw Problem(context + ": cannot read " + kManifestFile + ": " + std::strerror(errno));
    std::string text;
    char buffer[65536];
    for (;;) {
        ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        text.append(buffer, static_cast<size_t>(got));
        if (static_cast<int64_t>(text.size()) > kLongestManifest) {
            ::close(fd);
            manifest_too_long(context);
        }
    }
    ::close(fd);
    listing.manifest = std::move(text);
    return listing;
}

// The first pass over an archive: every member's header, and the manifest.
SourceListing list_archive(const std::string &path, const std::string &context) {
    SourceListing listing;
    ArchiveReader reader(path, context);
    ArchiveMember member;
    while (reader.next(&member)) {
        std::optional<std::string> name = plain_name(member.name);
        if (!name) {
            // The folder the archive was made from ("." or "./") is no member of its own.
            if (member.kind == MemberKind::kDirectory && (member.name == "." || plain_name(member.name + "x") == "x"))
                continue;
            listing.refused.push_back({shown(member.name), "a path, not a file name: never written anywhere"});
            continue;
        }
        SourceFile &file = listing.files[*name];
        ++file.copies;
        file.kind = member.kind;
        file.size = member.size;
        if (*name != kManifestFile || member.kind != MemberKind::kFile || file.copies > 1) continue;
        if (member.size && *member.size > kLongestManifest) manifest_too_long(context);
        std::string text;
        for (std::string_view chunk = reader.read(1 << 20); !chunk.empty(); chunk = reader.read(1 << 20)) {
            text.append(chunk);
            if (static_cast<int64_t>(text.size()) > kLongestManifest) manifest_too_long(context);
        }
        listing.manifest = std::move(text);
    }
    return listing;
}

// Why the source's file for `line` cannot be imported; empty when it can.
std::string file_problem(const SourceListing &listing, const ManifestEntry &line) {
    auto found = listing.files.find(line.file);
    if (found == listing.files.end()) return "the manifest names it, but there is no such file";
    const SourceFile &file = found->second;
    if (file.copies > 1) return "the archive holds it " + std::to_string(file.copies) + " times";
    if (file.kind != MemberKind::kFile)
        return std::string("it is ") + kind_words(file.kind) + ": only plain files are imported";
    if (file.size && *file.size != line.size)
        return "it has " + std::to_string(*file.size) + " bytes; the manifest says " + std::to_string(line.size);
    return {};
}

// The longest line of a text file, in bytes.
int64_t longest_line(const std::string &path, const std::string &context) {
    Input input(path, context, false);
    int64_t longest = 0, current = 0;
    for (std::string_view chunk = input.read_chunk(1 << 20); !chunk.empty(); chunk = input.read_chunk(1 << 20))
        for (char c : chunk) {
            if (c == '\n') {
                longest = std::max(longest, current);
                current = 0;
            } else {
                ++current;
            }
        }
    return std::max(longest, current);
}

// The host's options that write the entry as the manifest says it was
// written, with its description.
std::vector<std::string> put_options(const ManifestEntry &line, const std::string &file, const std::string &context) {
    std::vector<std::string> options;
    const auto &written = line.written_with;
    if (written && line.form == EntryForm::kLines) {
        if (written->record_format != 0)
            for (char letter : record_format_letters(written->record_format))
                options.push_back(std::string("RECFM=") + letter);
        if (written->lrecl > 0) options.push_back("LRECL=" + std::to_string(written->lrecl));
        if (!written->encoding.empty())
            options.push_back(std::string("ENCODING=") +
                              zefhost::encoding_name(zefhost::find_encoding(written->encoding)));
    } else if (line.form == EntryForm::kLines) {
        // Nothing known: room for the longest line and its control byte.
        options.push_back("LRECL=" + std::to_string(std::max(kDefaultLrecl, longest_line(file, context) + 1)));
    }
    if (!line.description.empty()) {
        std::string quoted = "DESC='";
        for (char c : line.description) {
            if (c == '\'') quoted += '\'';
            quoted += c;
        }
        options.push_back(quoted + "'");
    }
    return options;
}

class Importer {
public:
    Importer(Tool &tool, const ImportArguments &arguments, const std::string &context)
        : tool_(tool), arguments_(arguments), context_(context) {
        std::vector<std::string> parts = name_parts(arguments.catalog);
        catalog_ = catalog::upper(parts[0]) + "." + catalog::upper(parts[1]);
    }

    // Whether the entry of `line` may be written; refuses it otherwise.
    // The entry is the one the module writes: a type it reads as another
    // (ZEF as SOURCE) names that other entry, which may exist, or be named
    // by another line too.
    bool admitted(const ManifestEntry &line) {
        if (!line.refused.empty()) return refuse(line.file, line.refused);
        std::string physical;
        try {
            physical = assign_entry(tool_.session(), target(line), NameUse::kWrite, context_).physical;
        } catch (const Problem &problem) {
            std::string why = problem.what();
            if (why.starts_with(context_ + ": ")) why.erase(0, context_.size() + 2);
            return refuse(line.file, why);
        }
        std::string shown_entry = physical == target(line) ? physical : target(line) + " (" + physical + ")";
        if (auto [first, fresh] = entries_.emplace(physical, line.file); !fresh)
            return refuse(line.file, shown_entry + " is the entry of " + first->second + " too");
        if (stored_entry(tool_.session(), physical).exists && !arguments_.force)
            return refuse(line.file, shown_entry + " exists (--force replaces it)");
        return true;
    }

    // Puts `file` (the source's file of `line`) into its entry.
    void put(const ManifestEntry &line, const std::string &file) {
        std::string entry = target(line);
        std::string entry_context = context_ + ": " + line.file;
        try {
            KeptVersion kept{line.written_with, line.created, line.modified};
            if (kept.attributes) {
                kept.attributes->file_time = line.file_time;
                kept.attributes->file_mode = line.file_mode;
            }
            bool carriage = line.form == EntryForm::kLines && line.written_with &&
                            (line.written_with->record_format & zef::kRecordPrint) != 0;
            std::vector<std::string> options = put_options(line, file, entry_context);
            if (put_file(tool_.session(), entry, file, options, carriage, false, entry_context, &kept) > 0)
                ++cut_;
            imported_.push_back({line.file, entry});
        } catch (const Problem &problem) {
            std::string why = problem.what();
            if (why.starts_with(entry_context + ": ")) why.erase(0, entry_context.size() + 2);
            refuse(line.file, why);
        }
    }

    bool refuse(const std::string &file, const std::string &why) {
        refused_.push_back({file, why});
        print_problem(context_ + ": " + shown(file) + ": " + why + " (not imported)");
        return false;
    }

    int finish() {
        if (arguments_.json) {
            nlohmann::ordered_json document = nlohmann::ordered_json::object();
            document["source"] = arguments_.source;
            document["catalog"] = catalog_;
            document["imported"] = nlohmann::ordered_json::array();
            for (const Imported &i : imported_) document["imported"].push_back({{"file", i.file}, {"entry", i.entry}});
            document["refused"] = nlohmann::ordered_json::array();
            for (const Refused &r : refused_) document["refused"].push_back({{"file", r.file}, {"reason", r.why}});
            tool_.out() << document.dump(2) << '\n';
        } else {
            for (const Imported &i : imported_) tool_.out() << "imported " << i.file << " as " << i.entry << '\n';
            tool_.out() << imported_.size() << (imported_.size() == 1 ? " entry" : " entries") << " imported";
            if (!refused_.empty()) tool_.out() << ", " << refused_.size() << " refused";
            tool_.out() << '\n';
        }
        return !refused_.empty() ? kExitFailure : cut_ > 0 ? kExitCut : 0;
    }

private:
    std::string target(const ManifestEntry &line) const { return catalog_ + "." + line.name + "." + line.type; }

    Tool &tool_;
    const ImportArguments &arguments_;
    std::string context_;
    std::string catalog_;
    std::vector<Imported> imported_;
    std::vector<Refused> refused_;
    std::map<std::string, std::string> entries_;  // admitted entries (physical names) and their files
    int64_t cut_ = 0;
};

// The second pass over an archive: each admitted entry's member, spooled
// to a temporary file (no longer than the manifest says) and put.
void import_from_archive(Importer &importer, const std::string &path, const std::map<std::string, const ManifestEntry *> &admitted,
                         const std::string &context) {
    ArchiveReader reader(path, context);
    ArchiveMember member;
    std::error_code error;
    std::string spool_folder = std::filesystem::temp_directory_path(error).string();
    if (error) throw Problem(context + ": no folder for temporary files: " + error.message() + " (TMPDIR)");
    while (reader.next(&member)) {
        std::optional<std::string> name = plain_name(member.name);
        if (!name || member.kind != MemberKind::kFile) continue;
        auto found = admitted.find(*name);
        if (found == admitted.end()) continue;
        const ManifestEntry &line = *found->second;
        // A small archive may unpack to far more than it holds: a member
        // that would fill the disk is refused before it is unpacked.
        struct statvfs space {};
        if (::statvfs(spool_folder.c_str(), &space) == 0 &&
            static_cast<uint64_t>(line.size) > uint64_t{space.f_bavail} * space.f_frsize) {
            importer.refuse(line.file, "it unpacks to " + std::to_string(line.size) + " bytes, more than " +
                                           spool_folder + " has free");
            continue;
        }
        Output spool = Output::spool(spool_folder, context);
        int64_t held = 0;
        for (std::string_view chunk = reader.read(1 << 20); !chunk.empty(); chunk = reader.read(1 << 20)) {
            held += static_cast<int64_t>(chunk.size());
            if (held > line.size) break;
            spool.write(chunk);
        }
        if (held != line.size) {
            importer.refuse(line.file, held > line.size ? "it holds more bytes than the manifest says (" +
                                                              std::to_string(line.size) + ")"
                                                        : "it has " + std::to_string(held) + " bytes; the manifest says " +
                                                              std::to_string(line.size));
            continue;
        }
        spool.commit();
        importer.put(line, spool.spool_path());
    }
}

int run(Tool &tool, const ImportArguments &arguments) {
    std::string context = "import " + shown(arguments.source) + " " + shown(arguments.catalog);
    require_catalog_name(arguments.catalog, context);
    if (arguments.source.empty()) usage_problem(context + ": name the folder or archive to import");
    struct stat status {};
    if (::stat(arguments.source.c_str(), &status) != 0)
        throw Problem(context + ": " + shown(arguments.source) + ": " + std::strerror(errno));
    bool folder = S_ISDIR(status.st_mode);
    tool.session();  // the libraries assigned
    matching_libraries(tool, name_parts(arguments.catalog)[0], context);

    SourceListing listing = folder ? list_folder(arguments.source, context) : list_archive(arguments.source, context);
    if (!listing.manifest)
        throw Problem(context + ": " + shown(arguments.source) + " has no " + kManifestFile +
                      ": it is not what zefcat export writes; nothing imported");
    Manifest manifest = parse_manifest(*listing.manifest, context);

    Importer importer(tool, arguments, context);
    for (const Refused &member : listing.refused) importer.refuse(member.file, member.why);
    std::map<std::string, const ManifestEntry *> named;
    for (const ManifestEntry &line : manifest.entries) named.emplace(line.file, &line);
    for (const auto &[name, file] : listing.files)
        if (name != kManifestFile && !named.contains(name))
            importer.refuse(name, "the manifest does not name it");

    std::map<std::string, const ManifestEntry *> admitted;
    for (const ManifestEntry &line : manifest.entries) {
        if (line.refused.empty())
            if (std::string why = file_problem(listing, line); !why.empty()) {
                importer.refuse(line.file, why);
                continue;
            }
        if (!importer.admitted(line)) continue;
        if (folder)
            importer.put(line, (std::filesystem::path(arguments.source) / line.file).string());
        else
            admitted.emplace(line.file, &line);
    }
    if (!folder && !admitted.empty()) import_from_archive(importer, arguments.source, admitted, context);
    return importer.finish();
}

const char *kFooter = R"(
Reads back what zefcat export wrote: a folder, or a tar (plain, gzip, bzip2
or xz) or zip archive, whatever its name, into the catalog LIB.CAT (made if
missing). Each file the manifest names becomes its entry, put as zefcat put
puts a file: its own write, whole or not at all, with the description, what
it was written with and the file time and mode the manifest gives.

An entry that exists is not replaced unless --force is given. A file the
manifest does not name, one it names that is missing or of another size,
a member that is a path, a link or a folder, and a manifest line that does
not hold together are refused and said on standard error; the rest still
goes in, and the exit status is 1. A source without a manifest, or with
one that is not JSON of zefcat export, imports nothing.

Examples:
  zefcat import notes/ work.notes
  zefcat import notes.tar.gz work.restored --force
  zefcat import reports.zip mylib.reports --json)";

void attach(CLI::App &command, Tool &tool) {
    auto arguments = std::make_shared<ImportArguments>();
    command.add_option("SOURCE", arguments->source, "a folder or an archive zefcat export wrote")->required();
    command.add_option("CATALOG", arguments->catalog, "the catalog: library.catalog")->required();
    command.add_flag("-f,--force", arguments->force, "replace entries that exist");
    command.add_flag("--json", arguments->json, "say what was imported as JSON");
    command.footer(kFooter);
    command.callback([&tool, arguments] { tool.finish(run(tool, *arguments)); });
}

}  // namespace
}  // namespace zefcat

ZEFCAT_COMMAND(import, "read a folder or archive that export wrote back into a catalog", zefcat::attach);
