// The one error type of the catalog store: a host catalog status and a text
// for people. Store code throws it; every vector-48 routine catches it at its
// boundary and answers the status, so nothing ever unwinds into the module.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "zefxbaml/abi.h"

namespace zefhost::catalog {

class CatalogError : public std::runtime_error {
public:
    CatalogError(int32_t status, const std::string &what) : std::runtime_error(what), status_(status) {}
    int32_t status() const { return status_; }

private:
    int32_t status_;
};

[[noreturn]] inline void fail(int32_t status, const std::string &what) {
    throw CatalogError(status, what);
}

}  // namespace zefhost::catalog
