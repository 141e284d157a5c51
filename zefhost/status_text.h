// Plain words for a status, for people: the module's statuses, the catalog
// services' and the stand-in kernel's. Tools print "text (0x80001004)".
#pragma once

#include <cstdint>
#include <string>

namespace zefhost {

// What the status means; for a status no one here knows, "unknown failure",
// "unknown note" according to its sign. 0 is "success".
std::string describe_status(int32_t status);

}  // namespace zefhost
