// The catalog routines of vector 48 as the module calls them. Each is a
// plain function of the prototype in zefxbaml/abi.h: it checks the mark byte and
// planned failures (HostCall), validates what it was given, does its work
// through Services::live() and answers a host catalog status; no exception
// ever leaves it.
//
// Statuses where the host interface leaves the choice to the stand-in:
//   kCatalogBadRequest     library mode 8 on a read-only library; a library
//                          mode other than 0, 1, 8 (0 is taken as input);
//                          a catalog name that cannot be a file name; a
//                          member mode other than 1, 2, 8; writing through
//                          an input catalog or entry, reading an output
//                          entry; an empty entry name on output; a position
//                          outside the entry; a stale or foreign handle
//   kCatalogEntryInUse     a second writer of an entry (in any process);
//                          deleting an open entry; an entry that grew
//                          between the ylminfo that sized the caller's
//                          buffer and the ylmopen that follows it; a
//                          catalog kept busy by another process past the
//                          wait (10 s)
//   kCatalogDamaged        a file that is not SQLite, not a catalog, of
//                          another format version, or cannot be opened or
//                          created; a chunk that does not decode
//   kCatalogIoFailure      a failed write (disk full, I/O error); the
//                          writer then refuses every write and its close
//                          answers the same, leaving the entry as it was
// ylmclos ends the handle whatever it answers. ylmread delivers at most the
// longest block that ylminfo reported just before the open (when it was
// asked; the module always asks).
#pragma once

namespace zefhost {
class Host;
}

namespace zefhost::catalog {

// Puts every vector-48 routine into its slot of the host's vectors.
void install_catalog_routines(Host &host);

}  // namespace zefhost::catalog
