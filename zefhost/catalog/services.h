// The stand-in host's catalog services: libraries (a name assigned to a
// directory), catalogs (one SQLite file each) and the routines of vector 48.
#pragma once

#include <string>

namespace zefhost {

class Host;

namespace catalog {

class Services {
public:
    // Puts the catalog routines into vector 48 of the host.
    explicit Services(Host &host);
    ~Services();
    Services(const Services &) = delete;
    Services &operator=(const Services &) = delete;
};

}  // namespace catalog
}  // namespace zefhost
