#include "kernel_routines.h"

#include "host.h"

namespace zefhost {

namespace {

struct Installed {
    zef::RoutineAddress at;
    void *routine;
};

template <typename Fn>
void *address_of(Fn *fn) {
    return reinterpret_cast<void *>(fn);
}

}  // namespace

void install_kernel_routines(Host &host) {
    namespace r = zef::routine;
    const Installed routines[] = {
        {r::yymheap, address_of(&kernel::yymheap)},   {r::ypmstr, address_of(&kernel::ypmstr)},
        {r::ypmlog, address_of(&kernel::ypmlog)},     {r::ypmrlog, address_of(&kernel::ypmrlog)},
        {r::wrmksub, address_of(&kernel::wrmksub)},   {r::znamdiv, address_of(&kernel::znamdiv)},
        {r::yxam2am, address_of(&kernel::yxam2am)},   {r::yxamscp, address_of(&kernel::yxamscp)},
        {r::yxal2am, address_of(&kernel::yxal2am)},   {r::yxaunql, address_of(&kernel::yxaunql)},
        {r::yxatoki, address_of(&kernel::yxatoki)},   {r::yxatok, address_of(&kernel::yxatok)},
        {r::yxatokt, address_of(&kernel::yxatokt)},   {r::wzrlchr, address_of(&kernel::wzrlchr)},
        {r::wztxcei, address_of(&kernel::wztxcei)},   {r::yyrn6gf, address_of(&kernel::yyrn6gf)},
        {r::ytrakgt, address_of(&kernel::ytrakgt)},   {r::ytraknp, address_of(&kernel::ytraknp)},
        {r::wzsxcch, address_of(&kernel::wzsxcch)},   {r::wzsxrch, address_of(&kernel::wzsxrch)},
        {r::wzstrup, address_of(&kernel::wzstrup)},   {r::wzstrlo, address_of(&kernel::wzstrlo)},
        {r::wxvalid, address_of(&kernel::wxvalid)},
    };
    for (const Installed &i : routines) host.set_routine(i.at, i.routine);
}

namespace kernel {

// The pool the module releases into: the storage pool it obtains from.
zef::Pool *yymheap() {
    HostCall call(zef::routine::yymheap);
    return Host::current().storage_pool().pool();
}

// The host's own validation routine, which the module only places into its
// method slot 7. The stand-in's accepts whatever it is given.
int32_t wxvalid(...) {
    HostCall call(zef::routine::wxvalid);
    if (call.failure()) return *call.failure();
    return 0;
}

}  // namespace kernel
}  // namespace zefhost
