// The host's handling of the options of one assignment or open statement:
// the option text is tokenized into an OptionSource, and the module's option
// slot (slot 30) is called once per option, the first call also making the
// statement's option block, until the text ends or an option is rejected.
//
//     zefhost::ParsedOptions parsed = zefhost::parse_option_statement(module, "lrecl=80 mod");
//     if (parsed.status != 0) std::cerr << parsed.message << "\n";
//     status = assign(..., parsed.block.get());
//     if (status == 0) parsed.block.take();   // the fileref owns it now
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "zefxbaml/method_routines.h"

namespace zefhost {

class Host;
class ModuleSession;

// Holds an option block for the caller and releases it through the module's
// option-release slot (slot 36) when it goes, unless take() handed it on.
// The host (and the loaded module) must outlive it.
class OptionBlockHandle {
public:
    OptionBlockHandle() = default;
    OptionBlockHandle(zef::OptionBlock *block, zef::fn::yxlhbfr release)
        : block_(block), release_(release) {}
    ~OptionBlockHandle() { reset(); }
    OptionBlockHandle(OptionBlockHandle &&other) noexcept;
    OptionBlockHandle &operator=(OptionBlockHandle &&other) noexcept;
    OptionBlockHandle(const OptionBlockHandle &) = delete;
    OptionBlockHandle &operator=(const OptionBlockHandle &) = delete;

    zef::OptionBlock *get() const { return block_; }
    explicit operator bool() const { return block_ != nullptr; }
    // The block belongs to whoever receives it (an assignment that took it).
    zef::OptionBlock *take();
    // Releases the block now.
    void reset();

private:
    zef::OptionBlock *block_ = nullptr;
    zef::fn::yxlhbfr release_ = nullptr;
};

struct OptionStatementSettings {
    zef::OwnerRecord *owner = nullptr;  // null: the host's current owner record
    uint32_t flags = 0;                 // the caller's flags word (0x10: block not owned)
    // An empty option text still yields a block (one call without a source),
    // as an assignment that wants one anyway asks.
    bool block_when_empty = false;
};

struct ParsedOptions {
    OptionBlockHandle block;  // the statement's block; empty when none was made
    int32_t status = 0;       // 0, or the status of the call that ended the statement
    int32_t taken = 0;        // the taken-token count of the last call
    int accepted = 0;         // options accepted before the statement ended
    bool marked = false;      // the module marked the statement record as rejected
    std::string message;      // what the host shows for a failure; empty on success
};

// Parses `text` through the option slot `parse`; `release` is the module's
// option-release slot that the returned handle uses.
ParsedOptions parse_option_statement(Host &host, zef::fn::yxlpars parse, zef::fn::yxlhbfr release,
                                     std::string_view text,
                                     const OptionStatementSettings &settings = {});
// The same through the slots of a loaded module.
ParsedOptions parse_option_statement(const ModuleSession &module, std::string_view text,
                                     const OptionStatementSettings &settings = {});

// What the host shows for a failure status: its text, then the message
// inserts the module handed over for it (a 4-byte length insert ahead of a
// text insert is not shown; trailing blanks and zero bytes are dropped).
std::string describe_failure(const Host &host, int32_t status);

}  // namespace zefhost
