// libpq, loaded when a database library is first used rather than when the
// program starts. Its dependencies (TLS, Kerberos, LDAP and theirs) made up
// two thirds of the start-up of every zefcat run, database or not, and a
// machine without libpq still serves directory libraries.
#pragma once

#include <libpq-fe.h>

namespace zefhost::catalog::pg {

// The libpq functions the store calls, listed once: the table below has a
// member of each, and the loader looks up every one, so none is left null.
#define ZEF_LIBPQ_FUNCTIONS(X) \
    X(PQclear) \
    X(PQcmdStatus) \
    X(PQconnectdbParams) \
    X(PQconninfoFree) \
    X(PQconninfoParse) \
    X(PQerrorMessage) \
    X(PQexec) \
    X(PQexecPrepared) \
    X(PQfinish) \
    X(PQfreemem) \
    X(PQgetResult) \
    X(PQgetisnull) \
    X(PQgetlength) \
    X(PQgetvalue) \
    X(PQntuples) \
    X(PQprepare) \
    X(PQresultErrorField) \
    X(PQresultErrorMessage) \
    X(PQresultStatus) \
    X(PQsendQueryPrepared) \
    X(PQsetNoticeProcessor) \
    X(PQstatus) \
    X(PQtransactionStatus) \
    X(PQunescapeBytea)

// The functions, by their own names.
struct LibPq {
#define ZEF_LIBPQ_MEMBER(name) decltype(&::name) name;
    ZEF_LIBPQ_FUNCTIONS(ZEF_LIBPQ_MEMBER)
#undef ZEF_LIBPQ_MEMBER
};

// libpq, loaded on the first call (from any thread). Throws CatalogError
// (kCatalogIoFailure, with the loader's reason) when it cannot be loaded;
// the next call tries again.
const LibPq &libpq();

}  // namespace zefhost::catalog::pg
