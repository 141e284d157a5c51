// Temporary files that an interrupted zefcat does not leave behind. While a
// file made here is registered, SIGINT, SIGTERM, SIGHUP and SIGPIPE first
// remove it and then end the process as the signal would have (a signal the
// process was started with ignored stays ignored). Registration and its end
// happen with those signals blocked, so no signal falls between making the
// file and registering it, or between putting it in place and forgetting it.
#pragma once

#include <string>

namespace zefcat {

// Makes a file from `pattern` (ending in XXXXXX, which mkostemp replaces
// in place) and registers it; its descriptor, or -1 with errno set.
int make_temporary_file(std::string &pattern);

// Renames the registered file `path` to `target` and forgets it; the
// rename's result (0, or -1 with errno set). It stays registered when the
// rename fails.
int rename_temporary_file(const std::string &path, const std::string &target);

// Removes the registered file `path` and forgets it.
void remove_temporary_file(const std::string &path);

}  // namespace zefcat
