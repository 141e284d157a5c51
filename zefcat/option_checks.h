// What zefcat checks in a person's options before the host sees them, so
// that a mistake is refused in words, and before any catalog is opened:
// one argument holding several options, a description that is not quoted
// for the host or is too long, and record lengths that cannot work.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zefcat {

struct OptionSettings;

// The longest record the catalog store takes, and so the largest LRECL.
int64_t largest_record_length();

// Throws a usage Problem for an argument that holds more than one option
// ("DESC='a' LRECL=5"), a DESC the host cannot take as it stands
// (DESC=Notes: the host wants it quoted), and a description over 256 bytes.
void check_option_words(const std::vector<std::string> &options, std::string_view context);

// Throws a usage Problem for an LRECL above largest_record_length().
void check_record_length(const OptionSettings &settings, std::string_view context);

// Throws a usage Problem when the LRECL given leaves no byte for text in a
// record of `type` (upper case) opened for writing or for reading: SOURCE,
// LOG and OUTPUT keep a byte for the line's control, RECFM=P one for the
// carriage control.
void check_record_room(const OptionSettings &settings, std::string_view type, bool writing,
                       std::string_view context);

}  // namespace zefcat
