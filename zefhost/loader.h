// The host's loader: maps zefxbaml.so and runs its load sequence the way the
// host does, mcn_main first, then the constructor that the image information
// record's component list names, and registers the control block it built.
#pragma once

#include <stdexcept>
#include <string>

#include "zefxbaml/control_block.h"
#include "zefxbaml/image.h"

namespace zefhost {

class Host;

// A step of the load sequence failed; what() says which and why.
class LoadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What the load sequence found and built.
struct LoadedModule {
    std::string path;
    void *handle = nullptr;  // stays open for the life of the process
    const zef::ImageInformation *image = nullptr;  // what mcn_main returned
    const zef::ComponentNode *component = nullptr;
    zef::AccessMethodBlock *block = nullptr;  // the host's from now on
};

// Where the module is loaded from: $ZEFXBAML_MODULE when it is set and not
// empty, else `fallback` when not empty, else the module of this build.
std::string module_path(const std::string &fallback = {});

// Loads the module at `path` into the process (once; later loads share it),
// calls mcn_main with the host's global control block, follows the component
// list to the constructor, has it build a control block and registers that
// block with the host under its method name. Throws LoadError.
LoadedModule load_module(Host &host, const std::string &path);

}  // namespace zefhost
