#include "option_statement.h"

#include <utility>

#include "host.h"
#include "module_session.h"
#include "status_text.h"
#include "tokenizer.h"

namespace zefhost {

namespace {

constexpr int kOptionSlot = 30;
constexpr int kOptionReleaseSlot = 36;
// The release slot finds no fileref under this name and releases all the same.
constexpr char kNoFileref[8] = {' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};

std::string trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\0' || text.back() == ' ')) text.pop_back();
    return text;
}

}  // namespace

OptionBlockHandle::OptionBlockHandle(OptionBlockHandle &&other) noexcept
    : block_(std::exchange(other.block_, nullptr)), release_(other.release_) {}

OptionBlockHandle &OptionBlockHandle::operator=(OptionBlockHandle &&other) noexcept {
    if (this != &other) {
        reset();
        block_ = std::exchange(other.block_, nullptr);
        release_ = other.release_;
    }
    return *this;
}

zef::OptionBlock *OptionBlockHandle::take() { return std::exchange(block_, nullptr); }

void OptionBlockHandle::reset() {
    if (zef::OptionBlock *block = std::exchange(block_, nullptr); block != nullptr && release_)
        release_(kNoFileref, nullptr, block);
}

ParsedOptions parse_option_statement(Host &host, zef::fn::yxlpars parse, zef::fn::yxlhbfr release,
                                     std::string_view text,
                                     const OptionStatementSettings &settings) {
    ParsedOptions parsed;
    zef::OwnerRecord *owner = settings.owner ? settings.owner : host.owner_record();
    OptionSource source(text);
    zef::OptionBlock *block = nullptr;

    if (source.at_end() && settings.block_when_empty) {
        host.clear_inserts();
        parsed.status = parse(nullptr, owner, nullptr, settings.flags, nullptr, &parsed.taken, &block);
    }
    while (!source.at_end()) {
        source.begin_option();
        parsed.taken = 0;
        host.clear_inserts();
        parsed.status =
            parse(nullptr, owner, nullptr, settings.flags, source.handle(), &parsed.taken, &block);
        source.finish_option(parsed.taken);
        if (parsed.status != 0) break;  // a rejected option ends the statement
        ++parsed.accepted;
    }

    parsed.block = OptionBlockHandle(block, release);
    parsed.marked = (source.statement()->status_word & 0x1) != 0;
    if (parsed.status != 0) parsed.message = describe_failure(host, parsed.status);
    return parsed;
}

ParsedOptions parse_option_statement(const ModuleSession &module, std::string_view text,
                                     const OptionStatementSettings &settings) {
    return parse_option_statement(module.host(), module.slot<zef::fn::yxlpars>(kOptionSlot),
                                  module.slot<zef::fn::yxlhbfr>(kOptionReleaseSlot), text,
                                  settings);
}

std::string describe_failure(const Host &host, int32_t status) {
    std::string message = describe_status(status);
    const std::vector<std::string> &inserts = host.last_inserts();
    for (size_t i = 0; i < inserts.size(); ++i) {
        // A token's length travels as a 4-byte integer ahead of its text.
        if (inserts[i].size() == sizeof(int32_t) && i + 1 < inserts.size()) continue;
        std::string text = trimmed(inserts[i]);
        if (!text.empty()) message += " " + text;
    }
    return message;
}

}  // namespace zefhost
