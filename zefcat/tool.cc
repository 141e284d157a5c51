#include "tool.h"

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

Session &Tool::session() {
    if (!session_) {
        libraries_.read_settings(library_options_, std::getenv("ZEF_LIBRARIES"), std::getenv("ZEF_WORK"));
        libraries_.assign(host().catalogs());
        session_ = std::make_unique<Session>(host(), module(), libraries_);
    }
    return *session_;
}

}  // namespace zefcat
