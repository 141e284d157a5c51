#include "tool.h"

#include <filesystem>
#include <ostream>

namespace zefcat {

Tool::Tool(std::ostream &out, std::ostream &err) : out_(out), err_(err) {}

Tool::~Tool() = default;

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

}  // namespace zefcat
