// Copying one entry into another through the module, as cp and mv do: the
// source is read through one stream and the target written through
// another, record by record (or run by run for an entry in stream form),
// with no transcoding, so the target holds the source's bytes. The target
// gets the source's description and what it was written with, and its new
// version becomes the entry's only when the whole source was written.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zefcat {

class Session;

// Whether a copy that cut records (to the target's record length) is kept.
enum class OnCut {
    kKeep,     // written, and the cut is noted
    kAbandon,  // the target is left as it was
};

// Which committed version an entry holds: a new version has another
// content or, appended to, another time and size.
struct EntryVersion {
    int64_t content = 0;
    int64_t modified = 0;
    int64_t bytes = 0;
    bool operator==(const EntryVersion &) const = default;
};

struct TransferReport {
    std::string source;  // LIB.CAT.ENTRY.TYPE, as the module names it
    std::string target;
    int64_t cut = 0;  // records cut to the target's record length
    std::optional<EntryVersion> source_version;  // the version copied
};

// The end of a move: deletes the source only if it is still the version
// that was copied, checked in the deletion's own transaction, so that a
// writer that closed a newer version meanwhile keeps it. Throws Problem
// (saying the source was kept) when it is not, or the deletion fails.
void remove_copied_source(Session &session, const TransferReport &report, std::string_view context);

// Copies the entry `source` into `target`: an entry name, or a catalog
// name (library.catalog), where the entry keeps its name and type. A
// target that exists is replaced. Throws Problem: a usage one for names,
// the same entry, or a text entry copied to a binary type (or back); the
// target is then as it was.
TransferReport copy_entry(Session &session, std::string_view source, std::string_view target, OnCut on_cut,
                          std::string_view context);

// The entry's committed version (physical name), or none when it is not
// there.
std::optional<EntryVersion> entry_version(Session &session, std::string_view physical);

}  // namespace zefcat
