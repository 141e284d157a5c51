#include "postgres.h"

#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <vector>

#include "catalog_error.h"

namespace zefhost::catalog::pg {

namespace {

// The server's message without its trailing newline, or libpq's own.
std::string message_of(PGconn *conn, PGresult *result) {
    std::string text = result ? libpq().PQresultErrorMessage(result) : "";
    if (text.empty() && conn) text = libpq().PQerrorMessage(conn);
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    // Only the first line: the rest is context for a database's own log.
    if (size_t newline = text.find('\n'); newline != std::string::npos) text.resize(newline);
    return text;
}

}  // namespace

int32_t status_for(std::string_view sqlstate) {
    if (sqlstate == "55P03" || sqlstate == "40001" || sqlstate == "40P01" || sqlstate == "57014")
        return zef::kCatalogEntryInUse;
    if (sqlstate == "42P01" || sqlstate == "3F000" || sqlstate == "42703") return zef::kCatalogDamaged;
    return zef::kCatalogIoFailure;
}

int64_t Result::integer(int row, int column) const {
    const char *text = libpq().PQgetvalue(result_, row, column);
    int64_t value = 0;
    if (text == nullptr) return 0;
    std::from_chars(text, text + libpq().PQgetlength(result_, row, column), value);
    return value;
}

std::string Result::text(int row, int column) const {
    return std::string(libpq().PQgetvalue(result_, row, column), static_cast<size_t>(libpq().PQgetlength(result_, row, column)));
}

std::string Result::bytea_text(int row, int column) const {
    size_t length = 0;
    unsigned char *bytes =
        libpq().PQunescapeBytea(reinterpret_cast<const unsigned char *>(libpq().PQgetvalue(result_, row, column)), &length);
    if (bytes == nullptr) return {};
    std::string out(reinterpret_cast<const char *>(bytes), length);
    libpq().PQfreemem(bytes);
    return out;
}

std::span<const uint8_t> Result::bytes(int row, int column) const {
    return {reinterpret_cast<const uint8_t *>(libpq().PQgetvalue(result_, row, column)),
            static_cast<size_t>(libpq().PQgetlength(result_, row, column))};
}

Connection::Connection(const std::string &conninfo, std::string shown) : owner_(getpid()), shown_(std::move(shown)) {
    // The connection text is taken whole (expand_dbname); the application
    // name says who the session is unless PGAPPNAME or the text says otherwise.
    const char *keywords[] = {"dbname", "fallback_application_name", nullptr};
    const char *values[] = {conninfo.c_str(), "zefhost", nullptr};
    conn_ = libpq().PQconnectdbParams(keywords, values, 1);
    if (conn_ == nullptr) catalog::fail(zef::kCatalogIoFailure, shown_ + ": cannot connect: out of memory");
    if (libpq().PQstatus(conn_) != CONNECTION_OK) {
        std::string why = message_of(conn_, nullptr);
        libpq().PQfinish(conn_);
        conn_ = nullptr;
        catalog::fail(zef::kCatalogIoFailure, shown_ + ": cannot connect: " + why);
    }
    // Notices (a schema that already exists, say) are not for people.
    libpq().PQsetNoticeProcessor(conn_, [](void *, const char *) {}, nullptr);
}

Connection::~Connection() {
    if (conn_ != nullptr && !foreign()) libpq().PQfinish(conn_);
}

bool Connection::foreign() const { return getpid() != owner_; }

void Connection::refuse_if_foreign() const {
    if (foreign())
        catalog::fail(zef::kCatalogIoFailure,
                      shown_ + ": the session belongs to process " + std::to_string(owner_) + ", not to this one");
}

void Connection::exec(const char *sql) {
    refuse_if_foreign();
    if (sent_ != nullptr) discard();
    PGresult *result = libpq().PQexec(conn_, sql);
    ExecStatusType status = result ? libpq().PQresultStatus(result) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) fail(result, sql);
    libpq().PQclear(result);
}

bool Connection::try_exec(const char *sql) noexcept {
    if (foreign()) return false;
    if (sent_ != nullptr) discard();
    PGresult *result = libpq().PQexec(conn_, sql);
    bool ok = result && (libpq().PQresultStatus(result) == PGRES_COMMAND_OK || libpq().PQresultStatus(result) == PGRES_TUPLES_OK);
    libpq().PQclear(result);
    return ok;
}

const std::string &Connection::prepared(const char *sql) {
    auto found = prepared_.find(std::string_view(sql));
    if (found == prepared_.end()) {
        std::string name = "z" + std::to_string(prepared_.size());
        PGresult *prepared = libpq().PQprepare(conn_, name.c_str(), sql, 0, nullptr);
        if (prepared == nullptr || libpq().PQresultStatus(prepared) != PGRES_COMMAND_OK) fail(prepared, sql);
        libpq().PQclear(prepared);
        found = prepared_.emplace(sql, std::move(name)).first;
    }
    return found->second;
}

namespace {

// libpq's parameter arrays for `params`, which must outlive them.
struct ParamArrays {
    std::vector<const char *> values;
    std::vector<int> lengths;
    std::vector<int> formats;
    explicit ParamArrays(std::initializer_list<Param> params);
};

ParamArrays::ParamArrays(std::initializer_list<Param> params) {
    values.reserve(params.size());
    for (const Param &p : params) {
        switch (p.kind) {
        case Param::Kind::text:
            values.push_back(p.text.c_str());
            lengths.push_back(0);
            formats.push_back(0);
            break;
        case Param::Kind::bytes:
            // A zero-length value needs a non-null pointer to be '' and not NULL.
            values.push_back(p.size ? static_cast<const char *>(p.data) : "");
            lengths.push_back(static_cast<int>(p.size));
            formats.push_back(1);
            break;
        case Param::Kind::null:
            values.push_back(nullptr);
            lengths.push_back(0);
            formats.push_back(0);
            break;
        }
    }
}

}  // namespace

Result Connection::run(const char *sql, std::initializer_list<Param> params, bool binary_result) {
    refuse_if_foreign();
    if (sent_ != nullptr) discard();
    const std::string &name = prepared(sql);
    ParamArrays a(params);
    PGresult *raw = libpq().PQexecPrepared(conn_, name.c_str(), static_cast<int>(a.values.size()), a.values.data(),
                                   a.lengths.data(), a.formats.data(), binary_result ? 1 : 0);
    ExecStatusType status = raw ? libpq().PQresultStatus(raw) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) fail(raw, sql);
    return Result(raw);
}

void Connection::send(const char *sql, std::initializer_list<Param> params, bool binary_result) {
    refuse_if_foreign();
    if (sent_ != nullptr) discard();
    const std::string &name = prepared(sql);
    ParamArrays a(params);
    if (libpq().PQsendQueryPrepared(conn_, name.c_str(), static_cast<int>(a.values.size()), a.values.data(),
                            a.lengths.data(), a.formats.data(), binary_result ? 1 : 0) != 1)
        fail(nullptr, sql);
    sent_ = sql;
}

Result Connection::receive() {
    const char *sql = sent_;
    sent_ = nullptr;
    refuse_if_foreign();
    PGresult *raw = libpq().PQgetResult(conn_);
    // The rest of what the request answered (nothing, for one statement).
    while (PGresult *more = libpq().PQgetResult(conn_)) libpq().PQclear(more);
    ExecStatusType status = raw ? libpq().PQresultStatus(raw) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) fail(raw, sql ? sql : "receive");
    return Result(raw);
}

void Connection::discard() noexcept {
    sent_ = nullptr;
    if (foreign()) return;
    while (PGresult *result = libpq().PQgetResult(conn_)) libpq().PQclear(result);
}

void Connection::fail(PGresult *result, std::string_view doing) const {
    std::string why = message_of(conn_, result);
    const char *state = result ? libpq().PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    int32_t status = libpq().PQstatus(conn_) != CONNECTION_OK ? zef::kCatalogIoFailure
                     : state != nullptr                ? status_for(state)
                                                       : zef::kCatalogIoFailure;
    libpq().PQclear(result);
    std::string what = shown_ + ": ";
    // The first words of the statement say what was being done.
    what += doing.substr(0, std::min<size_t>(doing.size(), 48));
    if (doing.size() > 48) what += "...";
    what += ": " + (libpq().PQstatus(conn_) != CONNECTION_OK && why.empty() ? std::string("connection lost") : why);
    catalog::fail(status, what);
}

std::string quoted_identifier(std::string_view name) {
    std::string out = "\"";
    for (char c : name) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

}  // namespace zefhost::catalog::pg
