// What put, append, get and the shell's write and read share: how an entry
// is opened for a copy (the open request and the open statement that go
// with its type) and how its contents move (as lines or as bytes, with or
// without transcoding).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "names.h"
#include "session.h"

namespace zefcat {

class Input;
class Output;

// The run size of a stream-form copy: the record length asked for in the
// open request unless the options give one.
inline constexpr int64_t kByteRun = int64_t{1} << 20;
// The record length a text read asks for unless the options give one, so
// that records written with any usual LRECL come back whole.
inline constexpr int64_t kLongestLine = int64_t{1} << 20;

// An open statement for a copy, parsed through slot 30 and held by zefcat
// (its block carries flag 0x10, so the stream never releases it): the
// person's options, then MOD for an append, RECFM=S for a binary type and
// RECFM=P for --carriage.
struct CopyOptions {
    zefhost::ParsedOptions parsed;
    OptionSettings settings;
};
CopyOptions copy_options(Session &session, const std::vector<std::string> &options, EntryForm form,
                         bool append, bool carriage, std::string_view context);

// The open request for a copy in `mode`: stream form with kByteRun for a
// binary type; for text, no format of its own and, when reading without a
// fixed format, kLongestLine.
OpenSpec copy_open_spec(uint32_t mode, EntryForm form, const CopyOptions &options);

// Whether an open stream is moved as bytes: a binary type, or a text type
// other than the line types opened in stream format.
bool moves_bytes(EntryForm form, const Stream &stream, const CopyOptions &options);

// Writes `input` to the open stream and closes it; returns the number of
// lines cut to the record length. On a failure the stream is abandoned,
// never closed, and the entry keeps its previous version. Throws Problem.
int64_t copy_in(Stream &stream, Input &input, EntryForm form, const CopyOptions &options,
                bool carriage, std::string_view context);
// Reads the open stream to `output` (not committed here). Throws Problem.
void copy_out(Stream &stream, Output &output, EntryForm form, const CopyOptions &options,
              bool carriage, std::string_view context);

}  // namespace zefcat
