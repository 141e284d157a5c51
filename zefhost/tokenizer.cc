#include "tokenizer.h"

#include <cstring>
#include <limits>

#include "host.h"
#include "kernel_routines.h"
#include "kernel_statuses.h"

namespace zefhost {

namespace {

constexpr size_t kLongestToken = std::numeric_limits<int16_t>::max();
// Placed in a token's scan state by yxatoki, removed by yxatokt.
constexpr char kReadyMark[4] = {'Z', 'T', 'O', 'K'};

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }
bool is_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_name_char(char c) { return is_letter(c) || is_digit(c) || c == '_'; }
char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

OptionSource::OptionSource(std::string_view text) : text_(text) {
    scan();
    // The tokens never move again: their texts stay where yxatok points.
    tokens_.shrink_to_fit();
}

void OptionSource::scan() {
    const std::string &t = text_;
    size_t i = 0;
    // Adds a token; false (and the failure in its place) when it is too long.
    auto add = [this](int16_t kind, std::string text) {
        if (text.size() > kLongestToken) {
            tokens_.push_back({zef::kTokenEnd, {}, kTokenTooLong});
            return false;
        }
        tokens_.push_back({kind, std::move(text), 0});
        return true;
    };
    while (true) {
        while (i < t.size() && is_blank(t[i])) ++i;
        if (i >= t.size()) break;
        const size_t start = i;
        const char c = t[i];
        if (is_letter(c) || c == '_') {
            std::string name;
            while (i < t.size() &&
                   (is_name_char(t[i]) || (t[i] == '-' && i + 1 < t.size() && is_name_char(t[i + 1]))))
                name += upper(t[i++]);
            if (!add(zef::kTokenName, std::move(name))) return;
        } else if (is_digit(c)) {
            while (i < t.size() && is_digit(t[i])) ++i;
            if (!add(zef::kTokenNumber, t.substr(start, i - start))) return;
        } else if (c == '\'' || c == '"') {
            ++i;
            bool closed = false;
            while (i < t.size()) {
                if (t[i] != c) {
                    ++i;
                } else if (i + 1 < t.size() && t[i + 1] == c) {
                    i += 2;  // a doubled quote stands for one
                } else {
                    ++i;
                    closed = true;
                    break;
                }
            }
            if (!closed) {
                tokens_.push_back({zef::kTokenEnd, {}, kUnterminatedQuote});
                return;
            }
            if (!add(zef::kTokenQuoted, t.substr(start, i - start))) return;
        } else {
            ++i;
            add(zef::kTokenPunctuation, std::string(1, c));
        }
    }
    tokens_.push_back({zef::kTokenEnd, {}, 0});
}

void OptionSource::finish_option(int taken) {
    const size_t last = tokens_.size() - 1;
    size_t to = option_start_ + static_cast<size_t>(taken > 0 ? taken : 0);
    cursor_ = to > last ? last : to;
}

bool OptionSource::at_end() const {
    const Scanned &next = tokens_[cursor_];
    return next.failure == 0 && next.kind == zef::kTokenEnd;
}

int32_t OptionSource::deliver(zef::Token *token) {
    const Scanned &next = tokens_[cursor_];
    if (next.failure != 0) return next.failure;
    token->kind = next.kind;
    token->text = next.text.c_str();
    token->length = static_cast<int16_t>(next.text.size());
    token->statement = &statement_;
    if (next.kind != zef::kTokenEnd) ++cursor_;
    return 0;
}

namespace kernel {

// Readies a token record for a scan. Returns 0.
int32_t yxatoki(zef::Token *token) {
    HostCall call(zef::routine::yxatoki);
    if (call.failure()) return *call.failure();
    if (token == nullptr) return kBadArgument;
    token->kind = zef::kTokenEnd;
    token->text = "";
    token->length = 0;
    std::memset(token->scan_state, 0, sizeof token->scan_state);
    std::memcpy(token->scan_state, kReadyMark, sizeof kReadyMark);
    return 0;
}

// Delivers the next token of the option source into the readied record and
// sets its statement record; the flags word carries nothing the stand-in
// uses. Returns 0, the scan failure met, kTokenNotReady or kBadArgument.
int32_t yxatok(uint32_t, void *source, zef::Token *token) {
    HostCall call(zef::routine::yxatok);
    if (call.failure()) return *call.failure();
    std::optional<int64_t> odd = Host::current().odd_answer(zef::routine::yxatok);
    if (source == nullptr || token == nullptr) return kBadArgument;
    if (std::memcmp(token->scan_state, kReadyMark, sizeof kReadyMark) != 0) return kTokenNotReady;
    int32_t status = OptionSource::from(source)->deliver(token);
    if (odd == 0) token->text = nullptr;
    if (odd == 1) token->statement = nullptr;
    return status;
}

// Ends the scan of the token record. Returns 0.
int32_t yxatokt(zef::Token *token) {
    HostCall call(zef::routine::yxatokt);
    if (call.failure()) return *call.failure();
    if (token != nullptr) std::memset(token->scan_state, 0, sizeof token->scan_state);
    return 0;
}

// Converts the whole number in text[0..length) (blanks around it allowed, a
// sign in front) into *value; *work receives the count of characters used.
// Returns 0, or kNotANumber with *value unchanged.
int32_t wzrlchr(const char *text, int32_t length, int32_t, int32_t *work, int64_t *value) {
    HostCall call(zef::routine::wzrlchr);
    if (call.failure()) return *call.failure();
    if (text == nullptr || length <= 0 || value == nullptr) return kNotANumber;
    std::string_view digits(text, strnlen(text, static_cast<size_t>(length)));
    while (!digits.empty() && digits.front() == ' ') digits.remove_prefix(1);
    while (!digits.empty() && digits.back() == ' ') digits.remove_suffix(1);
    const size_t used = digits.size();
    bool negative = false;
    if (!digits.empty() && (digits.front() == '-' || digits.front() == '+')) {
        negative = digits.front() == '-';
        digits.remove_prefix(1);
    }
    if (digits.empty()) return kNotANumber;
    // Accumulate as a negative number, which has room for the most negative value.
    int64_t result = 0;
    constexpr int64_t kLowest = std::numeric_limits<int64_t>::min();
    for (char d : digits) {
        if (!is_digit(d)) return kNotANumber;
        const int digit = d - '0';
        if (result < (kLowest + digit) / 10) return kNotANumber;
        result = result * 10 - digit;
    }
    if (!negative) {
        if (result == kLowest) return kNotANumber;
        result = -result;
    }
    *value = result;
    if (work != nullptr) *work = static_cast<int32_t>(used);
    return 0;
}

}  // namespace kernel
}  // namespace zefhost
