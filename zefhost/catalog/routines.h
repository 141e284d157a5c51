// The catalog routines of vector 48 as the module calls them. Each is a
// plain function of the prototype in host/abi.h: it checks the mark byte and
// planned failures (HostCall), validates what it was given, does its work
// through Services::live() and answers a host catalog status; no exception
// ever leaves it.
#pragma once

namespace zefhost {
class Host;
}

namespace zefhost::catalog {

// Puts every vector-48 routine into its slot of the host's vectors.
void install_catalog_routines(Host &host);

}  // namespace zefhost::catalog
