// The module as a test or a tool uses it: loaded and anchored to one Host,
// with a control block of its own, and typed access to the method vector and
// the exported text utilities.
//
//     zefhost::Host host;
//     zefhost::ModuleSession module(host);
//     int32_t status = module.slot<zef::fn::yxlpars>(30)(...);
//     int32_t length = module.text().wzstrip(field, 8);
#pragma once

#include <string>

#include "loader.h"
#include "zefxbaml/blank_padded.h"
#include "zefxbaml/method_routines.h"
#include "zefxbaml/translate.h"

namespace zefhost {

class Host;

// The exported text utilities, found by name in the loaded module.
struct TextUtilities {
    decltype(&::vzatl) vzatl;
    decltype(&::vzmp) vzmp;
    decltype(&::wzstcat) wzstcat;
    decltype(&::wzstcom) wzstcom;
    decltype(&::wzstlen) wzstlen;
    decltype(&::wzstrip) wzstrip;
    decltype(&::wzstrpq) wzstrpq;
    decltype(&::wztxxlt) wztxxlt;
};

class ModuleSession {
public:
    // Loads the module (module_path() unless a path is given) and builds a
    // control block for `host`, which must outlive the session. Throws
    // LoadError. The block and its vector belong to the host afterwards.
    explicit ModuleSession(Host &host, const std::string &path = module_path());
    ModuleSession(const ModuleSession &) = delete;
    ModuleSession &operator=(const ModuleSession &) = delete;

    Host &host() const { return host_; }
    const std::string &path() const { return loaded_.path; }

    const zef::ImageInformation &image() const { return *loaded_.image; }
    const zef::ComponentNode &component() const { return *loaded_.component; }
    zef::AccessMethodBlock *control_block() const { return loaded_.block; }
    zef::MethodSlot *vector() const { return loaded_.block->vector; }

    // The routine in slot n of this block's vector, as prototype Fn.
    template <typename Fn>
    Fn slot(int n) const {
        return reinterpret_cast<Fn>(vector()[n].routine);
    }

    // Calls the component's constructor once more, as the host would for a
    // second control block; the block is not registered.
    void construct(zef::AccessMethodBlock **block, int32_t *status) const {
        loaded_.component->constructor(block, status);
    }

    // The version record, as qxvercn1 copies it out.
    zef::VersionRecord version() const;

    const TextUtilities &text() const { return text_; }

    // An exported name of the module, as Fn; throws LoadError when absent.
    template <typename Fn>
    Fn symbol(const char *name) const {
        return reinterpret_cast<Fn>(address_of(name));
    }
    void *address_of(const char *name) const;

private:
    Host &host_;
    LoadedModule loaded_;
    TextUtilities text_;
};

}  // namespace zefhost
