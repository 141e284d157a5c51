// zefcat about: what the host sees of the module once it has loaded it: the
// image information record, the component, the version record and the
// method vector of a control block.
#include <cstdio>
#include <cstring>
#include <ostream>
#include <string>

#include "command.h"
#include "tool.h"
#include "zefxbaml/slot_names.h"

namespace zefcat {
namespace {

// printf into a string.
template <typename... Args>
std::string format(const char *pattern, Args... args) {
    char line[512];
    std::snprintf(line, sizeof line, pattern, args...);
    return line;
}

// A zero-padded field's text.
std::string text_of(const char *field, size_t width) {
    return std::string(field, strnlen(field, width));
}

// "KEY=" followed by blanks: the key and its (blank) value.
std::string key_value(const char *area) {
    std::string text = area;
    size_t end = text.find_last_not_of(' ');
    text.erase(end == std::string::npos ? 0 : end + 1);
    return text.back() == '=' ? text + " (no value)" : text;
}

void row(std::ostream &out, const char *label, const std::string &value) {
    out << format("  %-20s %s\n", label, value.c_str());
}

void show_image(std::ostream &out, const zef::ImageInformation &image) {
    out << "Image information\n";
    row(out, "eyecatcher", text_of(image.eyecatcher, sizeof image.eyecatcher));
    row(out, "stamp", format("0x%08X", image.stamp));
    row(out, "release", text_of(image.release, sizeof image.release));
    row(out, "build level", text_of(image.build_level, sizeof image.build_level));
    row(out, "build date", text_of(image.build_date, sizeof image.build_date));
    row(out, "level", text_of(image.level_code, sizeof image.level_code));
    row(out, "notice", image.legal_notice ? image.legal_notice : "");
}

void show_component(std::ostream &out, const zef::ComponentNode &node) {
    std::string header;
    for (uint8_t byte : node.header) header += format("%02X ", byte);
    header.pop_back();
    out << "\nComponent\n";
    row(out, "name", text_of(node.name, sizeof node.name));
    row(out, "header", header);
    row(out, "numbers",
        format("%llu %llu %llu %llu %llu %llu", (unsigned long long)node.host_value_8,
               (unsigned long long)node.host_value_16, (unsigned long long)node.host_value_48,
               (unsigned long long)node.host_value_56, (unsigned long long)node.host_value_64,
               (unsigned long long)node.host_value_72));
}

void show_version(std::ostream &out, const zef::VersionRecord &version) {
    out << "\nVersion\n";
    row(out, "release and level", version.release_and_level);
    row(out, "build location", version.build_location);
    row(out, "built", format("%s (%lld)", version.build_date_time,
                             static_cast<long long>(version.build_time)));
    // The fixed identification texts, one to a line; empty ones are left out.
    const char *label = "identification";
    auto identify = [&](const char *text) {
        if (*text == '\0') return;
        row(out, label, text);
        label = "";
    };
    for (const char *text : version.identification_a) identify(text);
    for (const char *text : version.identification_b) identify(text);
    identify(version.identification_13);
    identify(version.identification_15);
    row(out, "hotfix", key_value(version.hotfix));
    row(out, "image description", key_value(version.image_description));
}

// How the host fares with a slot: a routine of the module, the host's own
// wxvalid, or refused (the routine of the not-supported slot, or nothing).
const char *slot_state(const zef::MethodSlot *vector, int slot, void *host_valid) {
    void *routine = vector[slot].routine;
    if (routine == nullptr || routine == vector[zef::kNotSupportedSlot].routine)
        return "not supported";
    if (routine == host_valid) return "host's wxvalid";
    return "supported";
}

void show_vector(std::ostream &out, zefhost::ModuleSession &module, void *host_valid) {
    const zef::AccessMethodBlock &block = *module.control_block();
    const zef::MethodSlot *vector = block.vector;
    out << "\nControl block\n";
    row(out, "eyecatcher", std::string(block.eyecatcher, sizeof block.eyecatcher));
    row(out, "method", std::string(block.method_name, sizeof block.method_name));

    out << format("\nMethod vector (%d slots)\n", zef::kSlotCount);
    out << format("  %4s  %-8s  %-14s  %s\n", "slot", "routine", "state", "request");
    int supported = 0, refused = 0;
    for (const zef::SlotName &name : zef::kSlots) {
        const char *state = slot_state(vector, name.slot, host_valid);
        supported += std::strcmp(state, "supported") == 0;
        refused += std::strcmp(state, "not supported") == 0;
        out << format("  %4d  %-8s  %-14s  %s\n", name.slot, *name.routine ? name.routine : "-",
                      state, name.request);
    }
    out << format("  %d supported, %d not supported, %d served by the host\n", supported, refused,
                  zef::kSlotCount - supported - refused);
}

int run(Tool &tool) {
    zefhost::ModuleSession &module = tool.module();
    std::ostream &out = tool.out();
    out << "Module " << module.path() << "\n\n";
    show_image(out, module.image());
    show_component(out, module.component());
    show_version(out, module.version());
    show_vector(out, module, tool.host().routine(zef::routine::wxvalid));
    return 0;
}

void attach(CLI::App &command, Tool &tool) {
    command.callback([&tool] { tool.finish(run(tool)); });
}

}  // namespace
}  // namespace zefcat

ZEFCAT_COMMAND(about, "show what the host sees of the module", zefcat::attach);
