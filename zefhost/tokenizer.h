// The host's option tokenizer. An OptionSource is the opaque option source
// the host hands to the option slot (slot 30) for one statement: the
// statement's option text, scanned once into tokens, a cursor over them and
// the statement record whose status word the module marks.
//
// Tokens: names (a letter or '_' first, then letters, digits, '_', and '-'
// where a name character follows it, so ENCODING=utf-8 reads as one name),
// delivered in upper case; numbers (a run of digits); quoted strings in
// either quote, a doubled quote standing for one, kept as written with their
// quotes; any other character alone is punctuation ('=' among them); the end
// of the text. A quote left open fails with kUnterminatedQuote when the scan
// reaches it, a token over 32767 characters with kTokenTooLong.
//
// The host calls the option slot once per option:
//
//     while (!source.at_end()) {
//         source.begin_option();
//         status = slot30(..., flags, source.handle(), &taken, &block);
//         source.finish_option(taken);
//         if (status != 0) break;              // a rejected option ends the statement
//     }
//
// finish_option moves the cursor to just after the tokens the module took,
// so a token it read but did not take starts the next option.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "zefxbaml/abi.h"

namespace zefhost {

class OptionSource {
public:
    explicit OptionSource(std::string_view text);
    OptionSource(const OptionSource &) = delete;
    OptionSource &operator=(const OptionSource &) = delete;

    // What the host passes as the option source; from() turns it back.
    void *handle() { return this; }
    static OptionSource *from(void *source) { return static_cast<OptionSource *>(source); }

    const std::string &text() const { return text_; }
    zef::StatementRecord *statement() { return &statement_; }

    void begin_option() { option_start_ = cursor_; }
    // Cursor to just after the first `taken` tokens of the option (clamped
    // to the tokens scanned; a negative count counts as 0).
    void finish_option(int taken);
    // Whether the next token is the end of the text.
    bool at_end() const;
    // Index of the next token, for tests of the rewinding.
    size_t cursor() const { return cursor_; }

    // yxatok's work: the next token into the record, cursor past it (the end
    // token is delivered again and again). Returns 0 or the scan failure met.
    int32_t deliver(zef::Token *token);

private:
    struct Scanned {
        int16_t kind;
        std::string text;  // NUL-terminated by std::string; never changed once scanned
        int32_t failure;   // nonzero: the scan stopped here with this status
    };
    void scan();

    std::string text_;
    std::vector<Scanned> tokens_;  // ends with the end token or a failure
    size_t cursor_ = 0;
    size_t option_start_ = 0;
    zef::StatementRecord statement_{};
};

}  // namespace zefhost
