#include "method_registry.h"


namespace zefhost {

namespace {
constexpr int kNameWidth = 8;
constexpr int32_t kLastUniqueNumber = 99999;
}  // namespace

MethodRegistry::Name8 MethodRegistry::name8(const char *name) {
    Name8 key(kNameWidth, ' ');
    if (name == nullptr) return key;
    for (int i = 0; i < kNameWidth && name[i] != '\0'; ++i) {
        char c = name[i];
        key[i] = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    }
    return key;
}

void MethodRegistry::register_method_block(const char *method8, void *block) {
    methods_[name8(method8)] = block;
    last_registered_ = block;
}

void *MethodRegistry::method_block(const char *method8) const {
    auto it = methods_.find(name8(method8));
    return it == methods_.end() ? nullptr : it->second;
}

void MethodRegistry::know_fileref(const char *fileref8, void *block) {
    filerefs_[name8(fileref8)] = block;
}

void MethodRegistry::forget_fileref(const char *fileref8) { filerefs_.erase(name8(fileref8)); }

void *MethodRegistry::fileref_block(const char *fileref8) const {
    auto it = filerefs_.find(name8(fileref8));
    if (it != filerefs_.end()) return it->second;
    return refuse_unknown_ ? nullptr : last_registered_;
}

std::string MethodRegistry::next_unique_name() {
    if (unique_names_made_ >= kLastUniqueNumber) return {};
    std::string digits = std::to_string(++unique_names_made_);
    return "#LN" + std::string(5 - digits.size(), '0') + digits;
}

}  // namespace zefhost
