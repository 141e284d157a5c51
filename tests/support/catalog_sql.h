// SQL run on a catalog file behind the store's back, as tests damage or
// inspect one.
#pragma once

#include <filesystem>
#include <string>

namespace zeftest {

// Runs the statements on the SQLite file; the first column of the last row
// that any of them gave ("" for none), or the error.
std::string file_sql(const std::filesystem::path &file, const std::string &statements);

}  // namespace zeftest
