#include "module_session.h"

#include <dlfcn.h>

#include "host.h"

namespace zefhost {

ModuleSession::ModuleSession(Host &host, const std::string &path)
    : host_(host), loaded_(load_module(host, path)) {
    text_.vzatl = symbol<decltype(text_.vzatl)>("vzatl");
    text_.vzmp = symbol<decltype(text_.vzmp)>("vzmp");
    text_.wzstcat = symbol<decltype(text_.wzstcat)>("wzstcat");
    text_.wzstcom = symbol<decltype(text_.wzstcom)>("wzstcom");
    text_.wzstlen = symbol<decltype(text_.wzstlen)>("wzstlen");
    text_.wzstrip = symbol<decltype(text_.wzstrip)>("wzstrip");
    text_.wzstrpq = symbol<decltype(text_.wzstrpq)>("wzstrpq");
    text_.wztxxlt = symbol<decltype(text_.wztxxlt)>("wztxxlt");
}

zef::VersionRecord ModuleSession::version() const {
    zef::VersionRecord record{};
    symbol<zef::VersionRoutine>("qxvercn1")(&record);
    return record;
}

void *ModuleSession::address_of(const char *name) const {
    void *address = dlsym(loaded_.handle, name);
    if (address == nullptr)
        throw LoadError(loaded_.path + " does not export " + std::string(name));
    return address;
}

}  // namespace zefhost
