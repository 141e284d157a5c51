#include "entry_removal.h"

#include <string>

#include "errors.h"
#include "session.h"
#include "zefxbaml/status.h"

namespace zefcat {

bool remove_entry(Session &session, std::string_view name, bool missing_ok, Removal how,
                  std::string_view context) {
    Fileref fileref = Fileref::assign(session, FilerefName(), name, {}, context);
    session.before_call();
    int32_t status = session.slot<zef::fn::yxlexp>(slot::kExists)(fileref.name().data(), nullptr);
    if (status == zef::kEntryMissing || status == zef::kCatalogMissing) {
        if (missing_ok) return false;
        throw Problem(std::string(context) + (status == zef::kEntryMissing ? ": no such entry (0x80001006)"
                                                                          : ": no such catalog (0x8001C002)"));
    }
    if (status != 0) session.fail(status, context);
    if (how == Removal::kCheckOnly) return true;
    session.before_call();
    status = session.slot<zef::fn::yxldel>(slot::kDelete)(fileref.name().data(), nullptr);
    if (status != 0) session.fail(status, context);
    return true;
}

bool catalog_missing(Session &session, std::string_view name, std::string_view context) {
    try {
        Fileref fileref = Fileref::assign(session, FilerefName(), name, {}, context);
        session.before_call();
        return session.slot<zef::fn::yxlexp>(slot::kExists)(fileref.name().data(), nullptr) == zef::kCatalogMissing;
    } catch (const Problem &) {
        return false;
    }
}

}  // namespace zefcat
