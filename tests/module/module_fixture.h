// A host with the module loaded as the host's loader loads it.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "module/control_block.h"
#include "module/image.h"
#include "module/method_routines.h"
#include "module/status.h"
#include "zefhost/host.h"
#include "zefhost/module_session.h"

class ModuleTest : public ::testing::Test {
protected:
    zefhost::Host host;
    zefhost::ModuleSession module{host};

    template <typename T>
    T *exported(const char *name) {
        return static_cast<T *>(module.address_of(name));
    }
};
