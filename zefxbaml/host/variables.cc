#include "host/variables.h"

#include "host/chains.h"

namespace host {

bool has_variable_lookup() {
    zef::AttributeAnchor *anchor = attribute_anchor();
    return anchor != nullptr && anchor->variable_lookup != nullptr;
}

int32_t lookup_variable(const char *name, int32_t length, int32_t param, double **binding) {
    return attribute_anchor()->variable_lookup(name, length, 1, param, 1, binding);
}

}  // namespace host
