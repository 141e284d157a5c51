#include "postgres_store.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <iterator>
#include <system_error>

#include "catalog_error.h"
#include "chunk.h"
#include "postgres_schema.h"

namespace zefhost::catalog {

namespace {

constexpr size_t kIdleConnections = 4;
// A request for chunks asks for about this many stored bytes (and at most
// kChunksAhead + 1 chunks): enough that the round trip costs little against
// the transfer, little enough that the first bytes go out early and the
// batches a reader holds at once stay small.
constexpr int64_t kBatchBytes = 1 << 20;
constexpr size_t kChunksAhead = 15;

// FNV-1a, folded to 31 bits so that the keys read the same as int4 and as
// the oid columns of pg_locks. Two things that share keys only wait for
// each other needlessly (or a dead writer's leftovers wait for a later
// collection).
int32_t key_of(std::string_view a, std::string_view b = {}) {
    uint64_t hash = 14695981039346656037ull;
    auto mix = [&hash](std::string_view text) {
        for (unsigned char c : text) {
            hash ^= c;
            hash *= 1099511628211ull;
        }
    };
    mix(a);
    mix(std::string_view("\0", 1));
    mix(b);
    return static_cast<int32_t>((hash ^ (hash >> 31) ^ (hash >> 62)) & 0x7FFFFFFF);
}

// The columns of an entry row as each format version holds them (index:
// version - 1); what an older version lacks reads as unknown.
const char *const kEntryColumns[] = {
    "content, description, created, modified, blocks, bytes, longest, record_format, lrecl, encoding, "
    "NULL, NULL, NULL, NULL",
    "content, description, created, modified, blocks, bytes, longest, record_format, lrecl, encoding, "
    "checksum, stored_bytes, file_time, file_mode",
};
static_assert(std::size(kEntryColumns) == kDatabaseFormatVersion);

std::string entry_columns(int32_t format_version) {
    return kEntryColumns[std::clamp(format_version, 1, kDatabaseFormatVersion) - 1];
}

Checksum checksum_from(const pg::Result &r, int row, int column) {
    if (r.is_null(row, column)) return Checksum{};
    std::string bytes = r.bytea_text(row, column);
    return Checksum::stored(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size(), false);
}

EntryRow row_from(const pg::Result &r, int row, int first) {
    EntryRow out;
    out.content = r.integer(row, first);
    out.description = r.bytea_text(row, first + 1);
    out.created = r.integer(row, first + 2);
    out.modified = r.integer(row, first + 3);
    out.blocks = r.integer(row, first + 4);
    out.bytes = r.integer(row, first + 5);
    out.longest = r.integer(row, first + 6);
    if (!r.is_null(row, first + 7) && !r.is_null(row, first + 8) && !r.is_null(row, first + 9))
        out.attributes = checked_attributes(r.integer(row, first + 7), r.integer(row, first + 8), r.text(row, first + 9));
    if (out.attributes && !r.is_null(row, first + 12)) out.attributes->file_time = r.integer(row, first + 12);
    if (out.attributes && !r.is_null(row, first + 13))
        out.attributes->file_mode = checked_file_mode(r.integer(row, first + 13));
    out.checksum = checksum_from(r, row, first + 10);
    out.stored_bytes = r.is_null(row, first + 11) ? -1 : r.integer(row, first + 11);
    return out;
}

pg::Connection &connection_of(StoreSession &session) { return static_cast<PostgresSession &>(session).connection(); }

// A session-level advisory lock, let go on destruction (or with its
// session, if that ends first).
class AdvisoryLock final : public HeldLock {
public:
    AdvisoryLock(pg::Connection &connection, LockKeys keys) : connection_(connection), keys_(keys) {}
    ~AdvisoryLock() override {
        try {
            if (!connection_.broken())
                connection_.run("SELECT pg_advisory_unlock($1::int4, $2::int4)", {keys_.space, keys_.object});
        } catch (...) {
            // A lost session has let it go already.
        }
    }

private:
    pg::Connection &connection_;
    LockKeys keys_;
};

bool try_lock(pg::Connection &connection, LockKeys keys) {
    pg::Result r = connection.run("SELECT pg_try_advisory_lock($1::int4, $2::int4)", {keys.space, keys.object});
    return r.rows() == 1 && r.text(0, 0) == "t";
}

}  // namespace

LockKeys catalog_presence_keys(const std::string &schema, const std::string &catalog) {
    return {key_of(schema, "catalog"), key_of(catalog)};
}

LockKeys entry_keys(const std::string &schema, const std::string &catalog, const EntryKey &key) {
    return {key_of(schema, "entry"), key_of(catalog, key.name + "." + key.type)};
}

LockKeys writer_keys(const std::string &schema, int64_t content) {
    return {key_of(schema, "writer"), static_cast<int32_t>(content & 0x7FFFFFFF)};
}

std::unique_ptr<pg::Connection> connect(const DatabasePlace &place, bool read_only) {
    auto connection = std::make_unique<pg::Connection>(place.conninfo, place.shown);
    std::string setup = "SET search_path TO " + pg::quoted_identifier(place.schema) +
                        "; SET lock_timeout = " + std::to_string(place.busy_timeout_ms) +
                        "; SET bytea_output = 'hex'";
    // Reading through a read-only library: nothing may write by mistake.
    if (read_only) setup += "; SET default_transaction_read_only = on";
    connection->exec(setup.c_str());
    return connection;
}

// ------------------------------------------------------------------ session --

PostgresSession::~PostgresSession() {
    release_chunk();
    rollback();
}

void PostgresSession::begin(Kind kind) {
    reading_ = kind == Kind::read;
    connection_->run(kind == Kind::read ? "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY" : "BEGIN");
    try {
        if (kind == Kind::read) {
            // A writer elsewhere may have brought older tables up to date
            // since this session looked, and written what only the new
            // columns describe (compressed chunks): read in this
            // transaction's snapshot, with the rows it reads.
            if (format_version_ < kDatabaseFormatVersion) {
                pg::Result version = connection_->run("SELECT max(version) FROM zef_format");
                if (version.rows() == 1 && !version.is_null(0, 0))
                    format_version_ = std::clamp(static_cast<int32_t>(version.integer(0, 0)), format_version_,
                                                 kDatabaseFormatVersion);
            }
        } else {
            // Staged data is not yet anyone's: a commit that a crashed
            // server loses costs only its writer, whose session ends with it.
            connection_->run(kind == Kind::write ? "SET LOCAL synchronous_commit = off"
                                                 : "SET LOCAL synchronous_commit = on");
        }
    } catch (...) {
        // The caller's transaction never began: it must not stay open.
        connection_->try_exec("ROLLBACK");
        throw;
    }
}

void PostgresSession::commit() {
    drop_in_flight();
    end_helper();
    reading_ = false;
    // The server answers COMMIT of a failed transaction with a rollback.
    if (connection_->run("COMMIT").command() != "COMMIT")
        fail(zef::kCatalogIoFailure, connection_->shown() + ": the transaction was rolled back");
}

void PostgresSession::rollback() noexcept {
    drop_in_flight();
    // The second session's transaction ends with it.
    end_helper();
    helper_refused_ = false;
    reading_ = false;
    if (!connection_->broken() && connection_->in_transaction()) connection_->try_exec("ROLLBACK");
}

std::optional<EntryRow> PostgresSession::entry(const EntryKey &key) {
    pg::Result r = connection_->run(
        ("SELECT " + entry_columns(format_version_) + " FROM entries WHERE catalog = $1 AND name = $2 AND type = $3")
            .c_str(),
        {catalog_, key.name, key.type});
    if (r.rows() == 0) return std::nullopt;
    return row_from(r, 0, 0);
}

std::vector<EntryInfo> PostgresSession::entries() {
    // Byte order, as a catalog file sorts them, whatever the database's collation.
    pg::Result r = connection_->run(("SELECT name, type, " + entry_columns(format_version_) +
                                     " FROM entries WHERE catalog = $1 ORDER BY name COLLATE \"C\", type COLLATE \"C\"")
                                        .c_str(),
                                    {catalog_});
    std::vector<EntryInfo> out;
    out.reserve(static_cast<size_t>(r.rows()));
    for (int i = 0; i < r.rows(); ++i) out.push_back(EntryInfo{EntryKey{r.text(i, 0), r.text(i, 1)}, row_from(r, i, 2)});
    return out;
}

std::vector<EntryKey> PostgresSession::keys(const std::string &type_filter) {
    pg::Result r = connection_->run(
        "SELECT name, type FROM entries WHERE catalog = $1 AND ($2::text IS NULL OR type = $2) "
        "ORDER BY name COLLATE \"C\", type COLLATE \"C\"",
        {catalog_, type_filter.empty() ? pg::Param::null() : pg::Param(type_filter)});
    std::vector<EntryKey> out;
    out.reserve(static_cast<size_t>(r.rows()));
    for (int i = 0; i < r.rows(); ++i) out.push_back(EntryKey{r.text(i, 0), r.text(i, 1)});
    return out;
}

std::vector<Piece> PostgresSession::pieces(int64_t content) {
    // octet_length of an uncompressed out-of-line value is read from its
    // pointer: the chunk itself is not fetched.
    pg::Result r = connection_->run(
        format_version_ < 2
            ? "SELECT p.ordinal, p.first_block, p.block_count, p.bytes, p.longest, p.chunk, "
              "coalesce(octet_length(c.data), -1), NULL, 0 FROM pieces AS p LEFT JOIN chunks AS c ON c.id = p.chunk "
              "WHERE p.content = $1 ORDER BY p.ordinal"
            : "SELECT p.ordinal, p.first_block, p.block_count, p.bytes, p.longest, p.chunk, "
              "coalesce(octet_length(c.data), -1), p.checksum, p.codec FROM pieces AS p "
              "LEFT JOIN chunks AS c ON c.id = p.chunk WHERE p.content = $1 ORDER BY p.ordinal",
        {content});
    std::vector<Piece> out;
    out.reserve(static_cast<size_t>(r.rows()));
    for (int i = 0; i < r.rows(); ++i) {
        Piece p{r.integer(i, 0), r.integer(i, 1), r.integer(i, 2), r.integer(i, 3), r.integer(i, 4),
                r.integer(i, 5), r.integer(i, 6), Checksum{}, kChunkPlain};
        p.checksum = checksum_from(r, i, 7);
        p.codec = static_cast<int32_t>(std::clamp<int64_t>(r.integer(i, 8), INT32_MIN, INT32_MAX));
        out.push_back(p);
    }
    return out;
}

namespace {

const char *const kChunksById = "SELECT id, data FROM chunks WHERE id = ANY($1::bigint[])";

// "{a,b,c}": the ids of a request's chunks as a bigint[] parameter.
std::string id_array(std::span<const int64_t> ids) {
    std::string text = "{";
    for (size_t i = 0; i < ids.size(); ++i) text += (i ? "," : "") + std::to_string(ids[i]);
    return text + "}";
}

// How many of `pieces` one request asks for beside `already` bytes of
// chunks it holds: until their chunks pass kBatchBytes, at most
// kChunksAhead + 1 chunks in all, and at least one when it holds none. A
// chunk of unknown length counts as one of the target's length; a length
// read from the database counts for no more than a whole batch.
size_t batch_length(std::span<const Piece> pieces, int64_t already = 0) {
    size_t count = 0;
    size_t most = kChunksAhead + 1 - (already > 0 ? 1 : 0);
    int64_t bytes = already;
    while (count < pieces.size() && count < most && bytes < kBatchBytes) {
        int64_t length = pieces[count].chunk_bytes >= 0 ? pieces[count].chunk_bytes : int64_t{kChunkTarget};
        bytes += std::clamp<int64_t>(length, 1, kBatchBytes);
        ++count;
    }
    return count;
}

std::vector<int64_t> chunk_ids(std::span<const Piece> pieces) {
    std::vector<int64_t> ids;
    ids.reserve(pieces.size());
    for (const Piece &p : pieces) ids.push_back(p.chunk);
    return ids;
}

}  // namespace

PostgresSession::Batch PostgresSession::batch_of(pg::Result result) {
    Batch batch;
    batch.rows = std::move(result);
    for (int row = 0; row < batch.rows.rows(); ++row) {
        std::span<const uint8_t> id_bytes = batch.rows.bytes(row, 0);
        if (id_bytes.size() != 8) continue;
        uint64_t id = 0;
        for (uint8_t b : id_bytes) id = (id << 8) | b;  // int8 in binary: big-endian
        batch.ids.emplace_back(static_cast<int64_t>(id), row);
    }
    return batch;
}

std::optional<std::span<const uint8_t>> PostgresSession::Batch::find(int64_t chunk) const {
    for (const auto &[id, row] : ids)
        if (id == chunk) return rows.bytes(row, 1);
    return std::nullopt;
}

void PostgresSession::start_helper() {
    if (helper_ || helper_coming_.valid() || helper_refused_ || !connect_more_ || !reading_) return;
    try {
        // The second session reads from this transaction's snapshot, so
        // that both deliver the one version this reader opened. A refused
        // export would end this transaction too: the privilege is asked
        // first (not in the same statement: the server checks it for a
        // call it never makes).
        pg::Result allowed = connection_->run("SELECT has_function_privilege('pg_export_snapshot()', 'EXECUTE')");
        if (allowed.rows() != 1 || allowed.text(0, 0) != "t")
            throw CatalogError(zef::kCatalogIoFailure, "snapshots may not be exported");
        std::string snapshot = connection_->run("SELECT pg_export_snapshot()").text(0, 0);
        if (snapshot.empty() || snapshot.find_first_not_of("0123456789ABCDEF-") != std::string::npos)
            throw CatalogError(zef::kCatalogIoFailure, "unexpected snapshot name");
        helper_coming_ = std::async(std::launch::async, [connect = connect_more_, snapshot] {
            std::unique_ptr<pg::Connection> helper = connect();
            helper->exec(("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY; SET TRANSACTION SNAPSHOT '" + snapshot +
                          "'")
                             .c_str());
            return helper;
        });
    } catch (const CatalogError &) {
        // One session serves as well, only more slowly.
        helper_refused_ = true;
    } catch (const std::system_error &) {
        helper_refused_ = true;  // no thread to make it on
    }
}

pg::Connection *PostgresSession::ready_helper() {
    if (helper_coming_.valid() && helper_coming_.wait_for(std::chrono::seconds(0)) == std::future_status::ready) {
        try {
            helper_ = helper_coming_.get();
        } catch (...) {
            // The server refused the session, or the snapshot was gone.
            helper_refused_ = true;
        }
    }
    return helper_.get();
}

void PostgresSession::end_helper() noexcept {
    if (helper_coming_.valid() && connection_->foreign()) {
        // Forked while the helper was being made: the thread making it is
        // not in this process, and waiting for it (as get() and the
        // future's end both would) never ends. Left as it is.
        new std::future<std::unique_ptr<pg::Connection>>(std::move(helper_coming_));
    }
    if (helper_coming_.valid()) {
        try {
            helper_coming_.get();
        } catch (...) {
        }
    }
    helper_.reset();
}

std::optional<std::span<const uint8_t>> PostgresSession::load_chunk(int64_t chunk, std::span<const Piece> next) {
    if (auto held = current_.find(chunk)) return held;
    // A chunk per round trip would leave the server and this process each
    // waiting for the other, and one server session reassembles chunks more
    // slowly than a reader delivers them. Chunks come about a megabyte at a
    // time; a long entry is read on two sessions, and while this process
    // delivers one batch the server works on the next two.
    std::optional<std::span<const uint8_t>> asked;
    while (!asked && !in_flight_.empty()) {
        InFlight oldest = std::move(in_flight_.front());
        in_flight_.erase(in_flight_.begin());
        current_ = batch_of(oldest.connection->receive());
        asked = current_.find(chunk);
    }
    if (!asked) {
        drop_in_flight();
        // More than a request's worth to follow: the second session is
        // started now, while this one is idle, and is ready by the time the
        // first answer has been delivered.
        if (batch_length(next, int64_t{kChunkTarget}) < next.size()) start_helper();
        std::vector<int64_t> wanted{chunk};
        // The asked chunk's own length is not known here: counted as the target's.
        std::vector<int64_t> with = chunk_ids(next.first(batch_length(next, int64_t{kChunkTarget})));
        wanted.insert(wanted.end(), with.begin(), with.end());
        current_ = batch_of(connection_->run(kChunksById, {id_array(wanted)}, true));
        asked = current_.find(chunk);
        if (!asked) return std::nullopt;
    }
    // The chunks named to follow that neither this batch nor a request
    // under way holds, asked for ahead.
    size_t held = 0;
    while (held < next.size() && current_.find(next[held].chunk)) ++held;
    for (const InFlight &request : in_flight_) held += request.ids.size();
    auto busy = [this](const pg::Connection *lane) {
        return std::any_of(in_flight_.begin(), in_flight_.end(),
                           [lane](const InFlight &r) { return r.connection == lane; });
    };
    ready_helper();
    while (held < next.size()) {
        pg::Connection *lane = nullptr;
        if (!busy(connection_.get()))
            lane = connection_.get();
        else if (helper_ && !busy(helper_.get()))
            lane = helper_.get();
        if (lane == nullptr) break;
        std::vector<int64_t> ids = chunk_ids(next.subspan(held, batch_length(next.subspan(held))));
        lane->send(kChunksById, {id_array(ids)}, true);
        held += ids.size();
        in_flight_.push_back(InFlight{lane, std::move(ids)});
    }
    return asked;
}

void PostgresSession::drop_in_flight() noexcept {
    for (InFlight &request : in_flight_) request.connection->discard();
    in_flight_.clear();
}

void PostgresSession::release_chunk() noexcept {
    drop_in_flight();
    current_ = Batch();
}

void PostgresSession::put_entry(const EntryKey &key, const EntryRow &row) {
    std::span<const uint8_t> description(reinterpret_cast<const uint8_t *>(row.description.data()),
                                         row.description.size());
    const std::optional<VersionAttributes> &a = row.attributes;
    auto optional = [](bool known, auto value) { return known ? pg::Param(value) : pg::Param::null(); };
    connection_->run(
        "INSERT INTO entries(catalog, name, type, content, description, created, modified, blocks, bytes, "
        "longest, record_format, lrecl, encoding, checksum, stored_bytes, file_time, file_mode) "
        "VALUES($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11, $12, $13, $14, $15, $16, $17) "
        "ON CONFLICT (catalog, name, type) DO UPDATE SET content = excluded.content, "
        "description = excluded.description, created = excluded.created, modified = excluded.modified, "
        "blocks = excluded.blocks, bytes = excluded.bytes, longest = excluded.longest, "
        "record_format = excluded.record_format, lrecl = excluded.lrecl, encoding = excluded.encoding, "
        "checksum = excluded.checksum, stored_bytes = excluded.stored_bytes, file_time = excluded.file_time, "
        "file_mode = excluded.file_mode",
        {catalog_, key.name, key.type, row.content, pg::Param::bytes(description), row.created, row.modified,
         row.blocks, row.bytes, row.longest,
         optional(a.has_value(), static_cast<int64_t>(a ? a->record_format : 0)),
         optional(a.has_value(), a ? a->lrecl : 0), a ? pg::Param(a->encoding) : pg::Param::null(),
         row.checksum.present() ? pg::Param::bytes(row.checksum.span()) : pg::Param::null(),
         optional(row.stored_bytes >= 0, row.stored_bytes),
         optional(a && a->file_time, a && a->file_time ? *a->file_time : 0),
         optional(a && a->file_mode, static_cast<int64_t>(a && a->file_mode ? *a->file_mode : 0))});
}

void PostgresSession::delete_entry_row(const EntryKey &key) {
    connection_->run("DELETE FROM entries WHERE catalog = $1 AND name = $2 AND type = $3",
                     {catalog_, key.name, key.type});
}

void PostgresSession::drop_content(int64_t content) {
    connection_->run("DELETE FROM chunks WHERE id IN (SELECT chunk FROM pieces WHERE content = $1)", {content});
    connection_->run("DELETE FROM pieces WHERE content = $1", {content});
}

int64_t PostgresSession::stage_piece(int64_t content, const Piece &piece, std::span<const uint8_t> bytes,
                                     int64_t replaced_chunk) {
    pg::Result r = connection_->run("INSERT INTO chunks(data) VALUES($1) RETURNING id", {pg::Param::bytes(bytes)});
    int64_t chunk = r.integer(0, 0);
    if (replaced_chunk != 0) connection_->run("DELETE FROM chunks WHERE id = $1", {replaced_chunk});
    connection_->run(
        "INSERT INTO pieces(content, ordinal, first_block, block_count, bytes, longest, chunk, checksum, codec) "
        "VALUES($1, $2, $3, $4, $5, $6, $7, $8, $9) ON CONFLICT (content, ordinal) DO UPDATE SET "
        "first_block = excluded.first_block, block_count = excluded.block_count, bytes = excluded.bytes, "
        "longest = excluded.longest, chunk = excluded.chunk, checksum = excluded.checksum, codec = excluded.codec",
        {content, piece.ordinal, piece.first_block, piece.block_count, piece.bytes, piece.longest, chunk,
         piece.checksum.present() ? pg::Param::bytes(piece.checksum.span()) : pg::Param::null(),
         int64_t{piece.codec}});
    return chunk;
}

void PostgresSession::merge_content(int64_t staged, int64_t content) {
    connection_->run(
        "DELETE FROM chunks WHERE id IN (SELECT old.chunk FROM pieces AS old JOIN pieces AS new "
        "ON new.ordinal = old.ordinal WHERE old.content = $1 AND new.content = $2)",
        {content, staged});
    connection_->run(
        "INSERT INTO pieces(content, ordinal, first_block, block_count, bytes, longest, chunk, checksum, codec) "
        "SELECT $1, ordinal, first_block, block_count, bytes, longest, chunk, checksum, codec FROM pieces "
        "WHERE content = $2 ON CONFLICT (content, ordinal) DO UPDATE SET first_block = excluded.first_block, "
        "block_count = excluded.block_count, bytes = excluded.bytes, longest = excluded.longest, "
        "chunk = excluded.chunk, checksum = excluded.checksum, codec = excluded.codec",
        {content, staged});
    connection_->run("DELETE FROM pieces WHERE content = $1", {staged});
}

int64_t PostgresSession::add_writer(const EntryKey &key) {
    // The catalog row is held against removal until this transaction ends;
    // a catalog removed meanwhile is missing, not written into.
    pg::Result there = connection_->run("SELECT 1 FROM catalogs WHERE name = $1 FOR KEY SHARE", {catalog_});
    if (there.rows() == 0) fail(zef::kCatalogMissing, connection_->shown() + ": catalog " + catalog_ + " was removed");
    char host[256] = "";
    ::gethostname(host, sizeof host - 1);
    pg::Result r = connection_->run(
        "INSERT INTO writers(catalog, name, type, pid, client, started) VALUES($1, $2, $3, $4, $5, $6) "
        "RETURNING content",
        {catalog_, key.name, key.type, static_cast<int64_t>(getpid()), std::string_view(host), now_microseconds()});
    return r.integer(0, 0);
}

void PostgresSession::remove_writer(int64_t content) {
    connection_->run("DELETE FROM writers WHERE content = $1", {content});
}

std::vector<int64_t> PostgresSession::writers(const EntryKey *key) {
    pg::Result r = key ? connection_->run("SELECT content FROM writers WHERE catalog = $1 AND name = $2 AND type = $3",
                                          {catalog_, key->name, key->type})
                       : connection_->run("SELECT content FROM writers WHERE catalog = $1", {catalog_});
    std::vector<int64_t> out;
    for (int i = 0; i < r.rows(); ++i) out.push_back(r.integer(i, 0));
    return out;
}

std::vector<int64_t> PostgresSession::claim_writers(const EntryKey *key) {
    // A writer deletes its row in the transaction of its close: held here,
    // the row keeps that close waiting until this transaction ends.
    pg::Result r =
        key ? connection_->run("SELECT content FROM writers WHERE catalog = $1 AND name = $2 AND type = $3 FOR UPDATE",
                               {catalog_, key->name, key->type})
            : connection_->run("SELECT content FROM writers WHERE catalog = $1 FOR UPDATE", {catalog_});
    std::vector<int64_t> out;
    for (int i = 0; i < r.rows(); ++i) out.push_back(r.integer(i, 0));
    return out;
}

bool PostgresSession::empty() {
    pg::Result r = connection_->run(
        "SELECT NOT EXISTS (SELECT 1 FROM entries WHERE catalog = $1) AND "
        "NOT EXISTS (SELECT 1 FROM writers WHERE catalog = $1)",
        {catalog_});
    return r.rows() == 1 && r.text(0, 0) == "t";
}

std::vector<int64_t> PostgresSession::piece_contents() {
    // This catalog's contents, and those that no entry or writer of any
    // catalog names (every catalog's check tells of those).
    pg::Result r = connection_->run(
        "SELECT DISTINCT p.content FROM pieces AS p WHERE "
        "NOT EXISTS (SELECT 1 FROM entries AS e WHERE e.content = p.content AND e.catalog <> $1) AND "
        "NOT EXISTS (SELECT 1 FROM writers AS w WHERE w.content = p.content AND w.catalog <> $1)",
        {catalog_});
    std::vector<int64_t> out;
    for (int i = 0; i < r.rows(); ++i) out.push_back(r.integer(i, 0));
    return out;
}

int64_t PostgresSession::unused_chunks() {
    pg::Result r = connection_->run(
        "SELECT count(*) FROM chunks AS c WHERE NOT EXISTS (SELECT 1 FROM pieces AS p WHERE p.chunk = c.id)");
    return r.rows() == 1 ? r.integer(0, 0) : 0;
}

int64_t PostgresSession::drop_unused_chunks() {
    // The chunks of every catalog of the library: they share the table. A
    // chunk another session is staging is not visible here until its piece is.
    pg::Result r = connection_->run(
        "WITH gone AS (DELETE FROM chunks AS c WHERE NOT EXISTS (SELECT 1 FROM pieces AS p WHERE p.chunk = c.id) "
        "RETURNING 1) SELECT count(*) FROM gone");
    return r.rows() == 1 ? r.integer(0, 0) : 0;
}

std::vector<EntryKey> PostgresSession::entries_with_bad_attributes() {
    pg::Result r = connection_->run(
        format_version_ < 2
            ? "SELECT name, type, record_format, lrecl, encoding, NULL FROM entries WHERE catalog = $1 AND "
              "(record_format IS NOT NULL OR lrecl IS NOT NULL OR encoding IS NOT NULL)"
            : "SELECT name, type, record_format, lrecl, encoding, file_mode FROM entries WHERE catalog = $1 AND "
              "(record_format IS NOT NULL OR lrecl IS NOT NULL OR encoding IS NOT NULL OR file_time IS NOT NULL "
              "OR file_mode IS NOT NULL)",
        {catalog_});
    std::vector<EntryKey> out;
    for (int i = 0; i < r.rows(); ++i) {
        bool whole = !r.is_null(i, 2) && !r.is_null(i, 3) && !r.is_null(i, 4);
        bool bad_mode = !r.is_null(i, 5) && !checked_file_mode(r.integer(i, 5));
        if (!whole || bad_mode || !checked_attributes(r.integer(i, 2), r.integer(i, 3), r.text(i, 4)))
            out.push_back(EntryKey{r.text(i, 0), r.text(i, 1)});
    }
    return out;
}

// -------------------------------------------------------------------- store --

std::string PostgresStore::identity_of(const DatabasePlace &place, const std::string &catalog) {
    return "database " + place.shown + " " + place.schema + "." + catalog;
}

PostgresStore::PostgresStore(DatabasePlace place, std::string catalog, bool writable)
    : Store(writable, identity_of(place, catalog), place.shown + " " + place.library + "." + catalog),
      place_(std::move(place)),
      catalog_(std::move(catalog)) {
    std::unique_ptr<pg::Connection> main = connect(place_, !writable_);
    int32_t version = database_format_version(*main, place_.schema);
    if (version == 0) fail(zef::kCatalogMissing, "catalog " + place_.library + "." + catalog_ + " does not exist");
    check_database_format(version, place_.schema, place_.shown);
    format_version_ = version;
    if (writable_) {
        // Held before the catalog is looked at, so that it is never removed
        // as empty under a writer.
        LockKeys keys = catalog_presence_keys(place_.schema, catalog_);
        main->run("SELECT pg_advisory_lock_shared($1::int4, $2::int4)", {keys.space, keys.object});
    }
    pg::Result there = main->run("SELECT 1 FROM catalogs WHERE name = $1", {catalog_});
    if (there.rows() == 0)
        fail(zef::kCatalogMissing, "catalog " + place_.library + "." + catalog_ + " does not exist");
    if (writable_ && version < kDatabaseFormatVersion) {
        upgrade_database_tables(*main, place_.schema);
        version = database_format_version(*main, place_.schema);
        check_database_format(version, place_.schema, place_.shown);
        format_version_ = version;
    }
    main_ = std::make_unique<PostgresSession>(std::move(main), catalog_, format_version_,
                                              [this] { return connect(place_, !writable_); });
}

PostgresStore::~PostgresStore() {
    // Ending the sessions lets go of every lock they hold, but only once
    // the server has seen them end: the presence lock is let go of first,
    // so that a removal of the catalog just after finds it free.
    if (writable_ && main_) {
        pg::Connection &connection = static_cast<PostgresSession &>(*main_).connection();
        if (!connection.broken()) {
            LockKeys keys = catalog_presence_keys(place_.schema, catalog_);
            try {
                connection.run("SELECT pg_advisory_unlock_shared($1::int4, $2::int4)", {keys.space, keys.object});
            } catch (const CatalogError &) {
                // Then the session's end lets go of it.
            }
        }
    }
    idle_.clear();
    main_.reset();
}

std::unique_ptr<StoreSession> PostgresStore::acquire() {
    if (!idle_.empty()) {
        auto session = std::move(idle_.back());
        idle_.pop_back();
        return session;
    }
    // A store that only reads lends its catalog-level session to an entry
    // handle rather than connecting again (a get then waits for one
    // connection fewer); main() makes another if it is asked for meanwhile.
    // A writable store's holds the catalog's presence lock, and stays.
    if (!writable_ && main_ && !main_->in_transaction()) return std::move(main_);
    return std::make_unique<PostgresSession>(connect(place_, !writable_), catalog_, format_version_,
                                             [this] { return connect(place_, !writable_); });
}

void PostgresStore::give_back(std::unique_ptr<StoreSession> session) {
    if (!session) return;
    session->release_chunk();
    session->rollback();
    // A session the server ended is of no further use.
    if (connection_of(*session).broken()) return;
    if (!main_) {
        main_ = std::move(session);  // the lent session, or one in its place
        return;
    }
    if (idle_.size() >= kIdleConnections) return;
    idle_.push_back(std::move(session));
}

std::unique_ptr<HeldLock> PostgresStore::lock_entry(StoreSession &session, const EntryKey &key,
                                                    const std::string &what, const WaitPolicy &wait) {
    pg::Connection &c = connection_of(session);
    LockKeys keys = entry_keys(place_.schema, catalog_, key);
    // Polled rather than waited for on the server, so that the wait has the
    // same bound and notice as a directory library's.
    wait_for_turn(wait, what, [&] { return try_lock(c, keys); });
    return std::make_unique<AdvisoryLock>(c, keys);
}

std::unique_ptr<HeldLock> PostgresStore::lock_writer(StoreSession &session, int64_t content) {
    pg::Connection &c = connection_of(session);
    LockKeys keys = writer_keys(place_.schema, content);
    c.run("SELECT pg_advisory_lock($1::int4, $2::int4)", {keys.space, keys.object});
    return std::make_unique<AdvisoryLock>(c, keys);
}

bool PostgresStore::writer_alive(StoreSession &session, int64_t content) {
    // Any session's hold, this one's included (advisory locks are
    // re-entrant, so trying to take it would not tell).
    LockKeys keys = writer_keys(place_.schema, content);
    pg::Result r = connection_of(session).run(
        "SELECT EXISTS (SELECT 1 FROM pg_locks WHERE locktype = 'advisory' AND granted AND objsubid = 2 "
        "AND database = (SELECT oid FROM pg_database WHERE datname = current_database()) "
        "AND classid = $1::int4::oid AND objid = $2::int4::oid)",
        {keys.space, keys.object});
    return r.rows() == 1 && r.text(0, 0) == "t";
}

}  // namespace zefhost::catalog
