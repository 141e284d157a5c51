// Failures whose message insert is a text of the module's message set: the
// text is fetched from the host, ended with a zero byte and handed over as
// insert 1, so that an exit reads `return host::fail_with_message(48, status);`.
#pragma once

#include <cstdint>

namespace host {

// Fetches message `number` of set 566 into a 255-byte buffer, ends it with a
// zero byte, makes it message insert 1 (its length counting that byte) and
// returns `status` unchanged.
int32_t fail_with_message(int32_t number, int32_t status);

}  // namespace host
