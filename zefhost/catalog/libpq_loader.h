// libpq, loaded when a database library is first used rather than when the
// program starts. Its dependencies (TLS, Kerberos, LDAP and theirs) made up
// two thirds of the start-up of every zefcat run, database or not, and a
// machine without libpq still serves directory libraries.
#pragma once

#include <libpq-fe.h>

namespace zefhost::catalog::pg {

// The libpq functions the store calls, by their own names.
struct LibPq {
    decltype(&::PQclear) PQclear;
    decltype(&::PQcmdStatus) PQcmdStatus;
    decltype(&::PQconnectdbParams) PQconnectdbParams;
    decltype(&::PQconninfoFree) PQconninfoFree;
    decltype(&::PQconninfoParse) PQconninfoParse;
    decltype(&::PQerrorMessage) PQerrorMessage;
    decltype(&::PQexec) PQexec;
    decltype(&::PQexecPrepared) PQexecPrepared;
    decltype(&::PQfinish) PQfinish;
    decltype(&::PQfreemem) PQfreemem;
    decltype(&::PQgetResult) PQgetResult;
    decltype(&::PQgetisnull) PQgetisnull;
    decltype(&::PQgetlength) PQgetlength;
    decltype(&::PQgetvalue) PQgetvalue;
    decltype(&::PQntuples) PQntuples;
    decltype(&::PQprepare) PQprepare;
    decltype(&::PQresultErrorField) PQresultErrorField;
    decltype(&::PQresultErrorMessage) PQresultErrorMessage;
    decltype(&::PQresultStatus) PQresultStatus;
    decltype(&::PQsendQueryPrepared) PQsendQueryPrepared;
    decltype(&::PQsetNoticeProcessor) PQsetNoticeProcessor;
    decltype(&::PQstatus) PQstatus;
    decltype(&::PQtransactionStatus) PQtransactionStatus;
    decltype(&::PQunescapeBytea) PQunescapeBytea;
};

// libpq, loaded on the first call (from any thread). Throws CatalogError
// (kCatalogIoFailure, with the loader's reason) when it cannot be loaded;
// the next call tries again.
const LibPq &libpq();

}  // namespace zefhost::catalog::pg
