// A host with the module loaded, for the text utility tests: they call the
// exported routines by name, as the module's other routines and the host do.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "zefhost/host.h"
#include "zefhost/module_session.h"
#include "zefxbaml/status.h"

class TextTest : public ::testing::Test {
protected:
    zefhost::Host host;
    zefhost::ModuleSession module{host};
    const zefhost::TextUtilities &text = module.text();

    static std::string bytes(const void *data, size_t length) {
        return std::string(static_cast<const char *>(data), length);
    }
};
