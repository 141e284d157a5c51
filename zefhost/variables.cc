#include "variables.h"

#include <utility>

#include "host.h"

namespace zefhost {

std::string Variables::key(std::string_view name) {
    while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
    while (!name.empty() && (name.back() == ' ' || name.back() == '\0')) name.remove_suffix(1);
    std::string upper(name);
    for (char &c : upper)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return upper;
}

void Variables::set(std::string_view name, double value) {
    auto &slot = values_[key(name)];
    if (slot)
        *slot = value;
    else
        slot = std::make_unique<double>(value);
}

void Variables::remove(std::string_view name) { values_.erase(key(name)); }

double *Variables::find(std::string_view name) {
    auto it = values_.find(key(name));
    return it == values_.end() ? nullptr : it->second.get();
}

// Binds *binding to the variable called name[0..length); 1 when there is
// none. The other arguments carry nothing the stand-in needs.
int32_t Variables::lookup(const char *name, int32_t length, int32_t, int32_t, int32_t,
                          double **binding) {
    Variables &variables = Host::current().variables();
    variables.count_lookup();
    if (std::optional<int32_t> odd = std::exchange(variables.next_answer_, std::nullopt)) return *odd;
    if (name == nullptr || length <= 0) return kNoSuchVariable;
    double *value = variables.find(std::string_view(name, static_cast<size_t>(length)));
    if (value == nullptr) return kNoSuchVariable;
    if (binding != nullptr) *binding = value;
    return 0;
}

}  // namespace zefhost
