// Which library names zefcat's host knows, and where each one's catalogs
// live: `-L NAME=DIR` on the command line (repeatable), then the
// environment's ZEF_LIBRARIES=NAME=DIR:NAME=DIR, and always WORK, which is
// ./zefdata unless ZEF_WORK (or -L WORK=DIR) says otherwise. In place of a
// directory a library may name a PostgreSQL database: NAME=postgresql://...
// (a libpq URI) or NAME=postgresql:KEYWORD=VALUE ... (a keyword string). In
// ZEF_LIBRARIES such a setting runs to the next ":NAME=" that starts another
// library, so the colons of a URI need no escaping.
//
// WORK's directory is made when a command first needs it. A command that
// only reads still needs the library assigned; its directory is then made
// for the command and taken away again when it stayed empty, so reading
// never leaves a ./zefdata behind.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace zefhost::catalog {
class Services;
}

namespace zefcat {

inline constexpr const char *kWorkLibrary = "WORK";
inline constexpr const char *kDefaultWorkDirectory = "zefdata";

struct LibrarySetting {
    std::string name;  // upper case
    std::filesystem::path directory;  // also the database's connection text
    std::string source;  // where it was set: "-L", "ZEF_LIBRARIES", "ZEF_WORK", "default"
};

class Libraries {
public:
    // The settings of the command line (`-L` values, in order) and the
    // environment. Throws a usage Problem for a setting that is not
    // NAME=DIR or whose name cannot be a library name.
    void read_settings(const std::vector<std::string> &option_values, const char *env_libraries,
                       const char *env_work);

    // Assigns every library whose directory exists; WORK's directory is
    // made first. A later -L of a name replaces the earlier setting.
    void assign(zefhost::catalog::Services &services);
    // Takes WORK's directory away again if assign() made it and it is
    // still empty.
    ~Libraries();

    Libraries() = default;
    Libraries(const Libraries &) = delete;
    Libraries &operator=(const Libraries &) = delete;

    const std::map<std::string, LibrarySetting> &settings() const { return settings_; }
    // Why the library of that name (any case) is not assigned although a
    // setting names it; empty when nothing was said about it.
    std::string why_not_assigned(const std::string &name) const;

    // ZEF_LIBRARIES's settings, one per library.
    static std::vector<std::string> split_library_list(const std::string &all);

private:
    std::map<std::string, LibrarySetting> settings_;
    std::map<std::string, std::string> refused_;
    std::filesystem::path made_work_directory_;
};

}  // namespace zefcat
