#include "store.h"

#include <chrono>
#include <set>

#include "catalog_error.h"
#include "entry_layout.h"

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

std::vector<std::string> Store::check() {
    StoreSession &s = main();
    Transaction snapshot(s, StoreSession::Kind::read);
    std::vector<std::string> problems = s.store_problems();
    std::set<int64_t> live_contents;
    for (const EntryInfo &e : s.entries()) {
        live_contents.insert(e.row.content);
        std::vector<Piece> content = s.pieces(e.row.content);
        try {
            check_layout(e.key, e.row, content);
        } catch (const CatalogError &err) {
            problems.push_back(err.what());
        }
        for (const Piece &p : content) {
            if (p.chunk_bytes < 0) continue;  // told above
            std::optional<std::span<const uint8_t>> bytes = s.load_chunk(p.chunk);
            if (!bytes) continue;
            try {
                check_chunk(e.key, p, *bytes);
            } catch (const CatalogError &err) {
                problems.push_back(err.what());
            }
        }
        s.release_chunk();
    }
    // Attributes that read as unknown because they are out of range.
    for (const EntryKey &key : s.entries_with_bad_attributes())
        problems.push_back("entry " + key.name + "." + key.type + ": what it was written with is out of range");
    for (int64_t content : s.writers(nullptr)) live_contents.insert(content);
    for (int64_t content : s.piece_contents())
        if (!live_contents.count(content)) problems.push_back("pieces of unknown content " + std::to_string(content));
    if (int64_t unused = s.unused_chunks(); unused != 0)
        problems.push_back(std::to_string(unused) + " chunks that no piece uses");
    return problems;
}

}  // namespace zefhost::catalog
