// A host with the module loaded as the host's loader loads it.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "zefhost/host.h"
#include "zefhost/module_session.h"
#include "zefxbaml/control_block.h"
#include "zefxbaml/image.h"
#include "zefxbaml/method_routines.h"
#include "zefxbaml/status.h"

class ModuleTest : public ::testing::Test {
protected:
    zefhost::Host host;
    zefhost::ModuleSession module{host};

    template <typename T>
    T *exported(const char *name) {
        return static_cast<T *>(module.address_of(name));
    }
};
