// The tables of a database library. A library is one schema (its name in
// lower case) of a PostgreSQL database, made on first use, and every
// catalog of the library is a row of `catalogs` there:
//
//   zef_format  one row: the format version of the schema's tables
//   catalogs    name -> when it was made
//   entries     (catalog, name, type) -> the committed content and the
//               entry's metadata (the columns of a catalog file's entries)
//   writers     one row per open writer of an entry of a catalog; its
//               identity column hands out every content id of the schema
//   pieces      (content, ordinal) -> one chunk of a content, as in a file
//   chunks      id -> the packed blocks, stored uncompressed out of line
//
// Contents and chunks belong to one catalog through the entry or writer
// that names them.
#pragma once

#include <cstdint>

#include "postgres.h"

namespace zefhost::catalog {

// Version 2 added checksums, stored sizes, file times and modes, and
// compressed chunks. Tables of version 1 are read as they are and brought
// to version 2 by the first writer.
inline constexpr int32_t kDatabaseFormatVersion = 2;
inline constexpr int32_t kOldestDatabaseFormatVersion = 1;

// The format version of the schema's tables: 0 when there is no such
// schema (or no tables in it). Throws CatalogError.
int32_t database_format_version(pg::Connection &connection, const std::string &schema);

// Makes the schema and its tables unless they are there (two processes
// doing it at once make them once), then checks their format version.
// Throws CatalogError: kCatalogDamaged for tables of another format.
void ensure_database_tables(pg::Connection &connection, const std::string &schema, const std::string &shown);

// Brings tables of an older format version to kDatabaseFormatVersion
// (another process may have done it meanwhile). Throws CatalogError.
void upgrade_database_tables(pg::Connection &connection, const std::string &schema);

// Throws CatalogError(kCatalogDamaged) unless this code reads `version`.
void check_database_format(int32_t version, const std::string &schema, const std::string &shown);

}  // namespace zefhost::catalog
