// What put, append, get and the shell's write and read share: how an entry
// is opened for a copy (the open request and the open statement that go
// with its type) and how its contents move (as lines or as bytes, with or
// without transcoding).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "names.h"
#include "session.h"

namespace zefcat {

class Input;
class Output;
class Transcoder;

// The run size of a stream-form copy: the record length asked for in the
// open request unless the options give one.
inline constexpr int64_t kByteRun = int64_t{1} << 20;
// The record length a text read first asks for unless the options give
// one; an entry with longer records is opened again with its longest
// (open_for_copy).
inline constexpr int64_t kLongestLine = int64_t{1} << 20;

// An open statement for a copy, parsed through slot 30 and held by zefcat
// (its block carries flag 0x10, so the stream never releases it): the
// person's options, then MOD for an append, RECFM=S for a binary type and
// RECFM=P for --carriage.
struct CopyOptions {
    zefhost::ParsedOptions parsed;
    OptionSettings settings;
    // What the fileref's own options (given at assignment) settled; they
    // count where the open's options leave the format open, and an
    // ENCODING given at assignment puts the stream in stream form.
    OptionSettings assigned;

    // The record format the stream gets from the options.
    uint32_t record_format() const;
};
// `extra` (host options) goes after all of them. Refuses (with a usage
// Problem) options that would change a binary entry's bytes.
CopyOptions copy_options(Session &session, const std::vector<std::string> &options, EntryForm form,
                         bool append, bool carriage, std::string_view context,
                         std::string_view extra = {});

// A binary entry is moved byte for byte: a carriage-control character
// (RECFM=P, --carriage), given to the open or at assignment, would add a
// byte to every run written and cannot be read back. Throws a usage
// Problem for one.
void refuse_binary_changes(EntryForm form, const CopyOptions &options, std::string_view context);

// The open request for a copy in `mode`: stream form with kByteRun for a
// binary type; for text, no format of its own, and kByteRun for stream
// form or kLongestLine for reading (or updating) without a fixed format.
OpenPlan copy_open_plan(uint32_t mode, EntryForm form, const CopyOptions &options);

// Whether an open stream is moved as bytes: a binary type, or a text type
// other than the line types opened in stream format.
bool moves_bytes(EntryForm form, const Stream &stream, const CopyOptions &options);

// The transcoder a copy into (or out of) the stream needs, or none: binary
// types are never transcoded, and a stream without an encoding is moved as
// it is.
std::unique_ptr<Transcoder> transcoder_for(const Stream &stream, EntryForm form, bool into_stream);

// Writes `input` to the open stream, which stays open; the number of lines
// cut to the record length. Throws Problem; the stream is left to the caller.
int64_t write_all(Stream &stream, Input &input, EntryForm form, const CopyOptions &options,
                  bool carriage, std::string_view context);
// write_all, then closes the stream. On a failure the stream is abandoned,
// never closed, and the entry keeps its previous version. Throws Problem.
int64_t copy_in(Stream &stream, Input &input, EntryForm form, const CopyOptions &options,
                bool carriage, std::string_view context);
// Opens the entry of `fileref` for a copy in `mode` (copy_open_plan). When
// zefcat chose the record length of a read (no LRECL given, not stream
// form nor fixed) and the entry holds a record longer than it, the stream
// is opened again with the entry's longest block as its record length, so
// that every record comes back whole. Throws Problem.
Stream open_for_copy(Session &session, const FilerefName &fileref, uint32_t mode, EntryForm form,
                     const CopyOptions &options, std::string_view context);
// The same through `open`, which opens with the plan it is given (a
// member of a directory, say).
Stream open_for_copy(uint32_t mode, EntryForm form, const CopyOptions &options, std::string_view context,
                     const std::function<Stream(const OpenPlan &)> &open);

// Reads the open stream to `output` (not committed here): everything, or at
// most `limit` records (bytes in stream form). The number of records cut
// to the record length, each noted on standard error. Throws Problem.
int64_t copy_out(Stream &stream, Output &output, EntryForm form, const CopyOptions &options,
              bool carriage, std::string_view context, int64_t limit = -1);

}  // namespace zefcat
