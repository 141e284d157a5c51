#include "catalog/services.h"

#include "host.h"

namespace zefhost::catalog {

Services::Services(Host &) {}

Services::~Services() = default;

}  // namespace zefhost::catalog
