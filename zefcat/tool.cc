#include "tool.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <ostream>

#include "zefhost/catalog/services.h"

namespace zefcat {

Tool::Tool(std::ostream &out, std::ostream &err) : out_(out), err_(err) {}

Tool::~Tool() {
    // The session and the module first, then the host, which ends what is
    // still open in its catalogs, then the libraries.
    session_.reset();
    module_.reset();
    host_.reset();
}

std::string Tool::default_module_path() {
    std::error_code error;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    std::string beside = error ? std::string() : (self.parent_path() / "zefxbaml.so").string();
    return zefhost::module_path(beside);
}

zefhost::Host &Tool::host() {
    if (!host_) host_ = std::make_unique<zefhost::Host>();
    return *host_;
}

zefhost::ModuleSession &Tool::module() {
    if (!module_) module_ = std::make_unique<zefhost::ModuleSession>(host(), default_module_path());
    return *module_;
}

void Tool::configure_waiting() {
    auto limit = std::chrono::milliseconds(static_cast<int64_t>(std::llround(wait_seconds_ * 1000)));
    zefhost::catalog::Services &catalogs = host().catalogs();
    catalogs.set_writer_wait(limit);
    // A transaction of another process is short, but may be slow on a busy
    // machine: never wait less for one than for an entry.
    catalogs.set_busy_timeout(std::max(limit, std::chrono::milliseconds(10000)));
    // Said only to a person watching: a script sees only what happened.
    if (isatty(STDERR_FILENO) != 1) return;
    char bound[32];
    if (limit.count() % 1000 == 0)
        std::snprintf(bound, sizeof bound, "%lld s", static_cast<long long>(limit.count() / 1000));
    else
        std::snprintf(bound, sizeof bound, "%.1f s", static_cast<double>(limit.count()) / 1000);
    catalogs.set_wait_notice([this, bound = std::string(bound)](const std::string &what) {
        out_.flush();
        err_ << "zefcat: waiting: " << what << " (up to " << bound << ", --wait sets how long)" << std::endl;
    });
}

Session &Tool::session() {
    if (!session_) {
        libraries_.read_settings(library_options_, std::getenv("ZEF_LIBRARIES"), std::getenv("ZEF_WORK"));
        libraries_.assign(host().catalogs());
        configure_waiting();
        session_ = std::make_unique<Session>(host(), module(), libraries_);
    }
    return *session_;
}

}  // namespace zefcat
