#include "store.h"

#include <chrono>
#include <set>

#include "catalog_error.h"
#include "entry_layout.h"
#include "stored_chunk.h"

namespace zefhost::catalog {

int64_t now_microseconds() {
    using namespace std::chrono;
    return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
}

bool Store::reclaim_dead_writers(StoreSession &session, const EntryKey *key) {
    bool live = false;
    for (int64_t content : session.claim_writers(key)) {
        if (writer_alive(session, content)) {
            live = true;
            continue;
        }
        session.drop_content(content);
        session.remove_writer(content);
    }
    return live;
}

Store::Leftovers Store::collect_leftovers(const std::string &catalog_name) {
    StoreSession &s = main();
    Transaction t(s, StoreSession::Kind::durable_write);
    Leftovers collected;
    collected.dead_writers = static_cast<int64_t>(s.writers(nullptr).size());
    if (reclaim_dead_writers(s, nullptr))
        fail(zef::kCatalogEntryInUse, "an entry of " + catalog_name + " is being written");
    collected.unused_chunks = s.drop_unused_chunks();
    t.commit();
    return collected;
}

Verification Store::verify(const EntryKey *only) {
    StoreSession &s = main();
    Transaction snapshot(s, StoreSession::Kind::read);
    Verification out;
    if (only == nullptr) out.catalog_problems = s.store_problems();
    std::set<int64_t> live_contents;
    ChunkDecoder decoder;
    for (const EntryInfo &e : s.entries()) {
        live_contents.insert(e.row.content);
        if (only != nullptr && e.key != *only) continue;
        EntryVerdict verdict{e.key, e.row.checksum.present() ? EntryVerdict::State::sound : EntryVerdict::State::unchecked,
                             {}};
        auto note = [&verdict](const CatalogError &err) {
            verdict.state = EntryVerdict::State::damaged;
            verdict.problems.push_back(err.what());
        };
        if (e.row.checksum.kept == Checksum::Kept::malformed) {
            verdict.state = EntryVerdict::State::damaged;
            verdict.problems.push_back("entry " + e.key.name + "." + e.key.type + ": its checksum is malformed");
        }
        std::vector<Piece> content = s.pieces(e.row.content);
        try {
            check_layout(e.key, e.row, content);
        } catch (const CatalogError &err) {
            note(err);
            // Chunks are read only by counts that hold together (a
            // compressed one is decoded into a buffer of its piece's size).
            if (err.status() != zef::kCatalogIoFailure) content.clear();
        }
        for (const Piece &p : content) {
            if (p.chunk_bytes < 0) continue;  // told above
            std::optional<std::span<const uint8_t>> bytes = s.load_chunk(p.chunk);
            if (!bytes) continue;
            try {
                decoder.decode(e.key, p, *bytes);
            } catch (const CatalogError &err) {
                note(err);
            }
        }
        s.release_chunk();
        out.entries.push_back(std::move(verdict));
    }
    if (only != nullptr) return out;
    // Attributes that read as unknown because they are out of range.
    for (const EntryKey &key : s.entries_with_bad_attributes())
        out.catalog_problems.push_back("entry " + key.name + "." + key.type +
                                       ": what it was written with is out of range");
    for (int64_t content : s.writers(nullptr)) live_contents.insert(content);
    for (int64_t content : s.piece_contents())
        if (!live_contents.count(content))
            out.catalog_problems.push_back("pieces of unknown content " + std::to_string(content));
    if (int64_t unused = s.unused_chunks(); unused != 0)
        out.catalog_problems.push_back(std::to_string(unused) + " chunks that no piece uses");
    return out;
}

std::vector<std::string> Store::check() {
    Verification v = verify();
    std::vector<std::string> problems = std::move(v.catalog_problems);
    for (EntryVerdict &e : v.entries) problems.insert(problems.end(), e.problems.begin(), e.problems.end());
    return problems;
}

}  // namespace zefhost::catalog
