// The host's messages: the texts of message set 566 (the module's set), the
// host log that ypmlog and ypmrlog write to, and the inserts that wrmksub
// hands over for the status the module returns next.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zefhost {

class Messages {
public:
    static constexpr int32_t kModuleSet = 566;

    // The text of message `number` of `set`; a made-up "message SET-N" for
    // one the host does not hold.
    std::string text(int32_t set, int32_t number) const;
    // Whether the host holds a text for the message.
    bool knows(int32_t set, int32_t number) const;

    // Log lines: "SET-N: text", then " Value: V" or " Fileref: NAME" when
    // the logging routine was given one.
    void log_message(int32_t set, int32_t number, int64_t value);
    void log_message_for_fileref(int32_t set, int32_t number, std::string_view fileref);
    const std::vector<std::string> &log() const { return log_; }
    void clear_log() { log_.clear(); }

    // Inserts exactly as handed over (bytes and lengths as given, a trailing
    // NUL included when the length counted it). Each handover replaces the
    // previous inserts.
    void set_inserts(std::vector<std::string> inserts) { inserts_ = std::move(inserts); }
    const std::vector<std::string> &inserts() const { return inserts_; }
    void clear_inserts() { inserts_.clear(); }
    // Insert i as text: without the trailing NUL bytes; empty when absent.
    std::string insert_text(size_t i) const;

private:
    std::vector<std::string> log_;
    std::vector<std::string> inserts_;
};

}  // namespace zefhost
