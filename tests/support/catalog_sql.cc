#include "support/catalog_sql.h"

#include <sqlite3.h>

namespace zeftest {

std::string file_sql(const std::filesystem::path &file, const std::string &statements) {
    sqlite3 *db = nullptr;
    std::string result;
    if (sqlite3_open(file.c_str(), &db) != SQLITE_OK) {
        sqlite3_close(db);
        return "cannot open";
    }
    char *error = nullptr;
    auto keep = [](void *out, int, char **values, char **) {
        *static_cast<std::string *>(out) = values[0] ? values[0] : "";
        return 0;
    };
    if (sqlite3_exec(db, statements.c_str(), keep, &result, &error) != SQLITE_OK) {
        result = error ? error : "error";
        sqlite3_free(error);
    }
    sqlite3_close(db);
    return result;
}

}  // namespace zeftest
