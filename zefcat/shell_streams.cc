// The shell's stream commands: open (slots 11 and 35), write and line (the
// routine table's write: the line routine for SOURCE, LOG and OUTPUT, slot
// 19's otherwise), read (the table's read), note and point (the table's),
// flush (20) and close (21, or 27 for a member).
#include <algorithm>
#include <cctype>
#include <iostream>
#include <string>

#include "copy.h"
#include "errors.h"
#include "names.h"
#include "shell.h"
#include "shell_words.h"
#include "tool.h"
#include "transcode.h"
#include "zefxbaml/option_block.h"
#include "zefxbaml/status.h"

namespace zefcat {

namespace {

bool all_digits(const std::string &text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
}

uint32_t open_mode(const std::string &word, const std::string &context) {
    std::string mode = word;
    std::transform(mode.begin(), mode.end(), mode.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (mode == "input") return zef::kOpenInput;
    if (mode == "output") return zef::kOpenOutput;
    if (mode == "append") return zef::kOpenAppend;
    if (mode == "update") return zef::kOpenUpdate;
    usage_problem(context + ": " + word + " is not a mode: input, output, append or update");
}

}  // namespace

CopyOptions Shell::open_options(const FilerefName &fileref, const std::vector<std::string> &options,
                                EntryForm form, bool append, const std::string &context) {
    CopyOptions copy;
    if (!options.empty() || defaults_.empty()) {
        copy = copy_options(session_, options, form, append, false, context);
    } else {
        // No options of its own: the open's block is made from the defaults' image.
        std::string extra = append ? "MOD" : "";
        if (form == EntryForm::kBytes) extra += extra.empty() ? "RECFM=S" : " RECFM=S";
        zef::OptionBlock *block = session_.block_from(defaults_, context);
        copy.parsed = session_.parse_options(extra, zef::kNotOwned, context, nullptr, block);
        copy.settings = session_.settings_of(copy.parsed.block.get(), context);
    }
    if (auto assigned = assigned_.find(fileref.text()); assigned != assigned_.end())
        copy.assigned = assigned->second;
    refuse_binary_changes(form, copy, context);
    return copy;
}

EntryForm Shell::form_of_fileref(const FilerefName &fileref) {
    char buffer[1024];
    session_.before_call();
    int32_t status = session_.slot<zef::fn::yxlpnam>(slot::kPhysicalName)(fileref.data(), buffer);
    // A name without a physical name is refused by the open with the module's words.
    if (status != 0) return EntryForm::kLines;
    std::vector<std::string> parts = name_parts(std::string(buffer, strnlen(buffer, sizeof buffer)));
    return form_of_type(parts.size() == 4 ? parts.back() : "CATAMS");
}

Shell::OpenStream &Shell::open_stream(const std::string &fileref, const std::string &context) {
    auto found = streams_.find(FilerefName(fileref).text());
    if (found == streams_.end())
        usage_problem(context + ": " + fileref + " has no open stream (open " + fileref + " MODE first)");
    return found->second;
}

void Shell::open(const ShellLine &line, const std::string &context) {
    FilerefName name(unquoted(word(line, 0, "the fileref", context)));
    uint32_t mode = open_mode(word(line, 1, "the mode: input, output, append or update", context), context);
    if (streams_.count(name.text()) != 0)
        usage_problem(context + ": " + name.text() + " is open already (close it first)");
    EntryForm form = form_of_fileref(name);
    CopyOptions copy = open_options(name, words_from(line, 2), form, false, context);
    Stream stream = open_for_copy(session_, name, mode, form, copy, context);
    streams_.emplace(name.text(), OpenStream{std::move(stream), std::move(copy), form});
}

void Shell::write(const ShellLine &line, const std::string &context) {
    FilerefName name(unquoted(word(line, 0, "the fileref", context)));
    std::vector<std::string> options = words_from(line, 1);
    if (!line.input) usage_problem(context + ": write needs its input: write FREF < FILE");
    Input input(*line.input, context);

    auto open = streams_.find(name.text());
    if (open == streams_.end()) {
        EntryForm form = form_of_fileref(name);
        CopyOptions copy = open_options(name, options, form, false, context);
        Stream stream = Stream::open(session_, name, copy_open_plan(zef::kOpenOutput, form, copy), context);
        if (copy_in(stream, input, form, copy, false, context) > 0) cut_ = true;
        return;
    }
    if (!options.empty()) usage_problem(context + ": the stream is open already: its options were given to open");
    if (!open->second.stream.writing()) usage_problem(context + ": " + name.text() + " is open for input");
    try {
        if (write_all(open->second.stream, input, open->second.form, open->second.options, false, context) > 0)
            cut_ = true;
    } catch (const Problem &problem) {
        open->second.stream.abandon();
        streams_.erase(open);
        throw Problem(std::string(problem.what()) + "; the stream is given up, its entry keeps what it had",
                      problem.exit_status());
    }
}

void Shell::write_line(const ShellLine &line, const std::string &context) {
    std::string fileref = unquoted(word(line, 0, "the fileref", context));
    OpenStream &open = open_stream(fileref, context);
    if (!open.stream.writing()) usage_problem(context + ": " + fileref + " is open for input");
    std::string text = text_after_words(line.raw, 2);
    std::unique_ptr<Transcoder> transcoder = transcoder_for(open.stream, open.form, true);
    if (transcoder) {
        try {
            text = transcoder->whole(text);
        } catch (const Problem &problem) {
            throw Problem(context + ": " + problem.what());
        }
    }
    if (moves_bytes(open.form, open.stream, open.options)) text += '\n';
    int32_t status = open.stream.write(text.data(), static_cast<int64_t>(text.size()), ' ');
    if (status == zef::kRecordTruncated) {
        cut_ = true;
        print_note(context, "cut to " + std::to_string(open.stream.lrecl()) + " bytes (the record length)");
    } else if (status != 0) {
        open.stream.abandon();
        streams_.erase(FilerefName(fileref).text());
        try {
            session_.fail(status, context);
        } catch (const Problem &problem) {
            throw Problem(std::string(problem.what()) + "; the stream is given up, its entry keeps what it had",
                          problem.exit_status());
        }
    }
}

void Shell::read(const ShellLine &line, const std::string &context) {
    FilerefName name(unquoted(word(line, 0, "the fileref", context)));
    size_t next = 1;
    int64_t count = -1;
    if (line.words.size() > next && all_digits(line.words[next])) count = std::stoll(line.words[next++]);
    std::vector<std::string> options = words_from(line, next);
    Output output(line.output.value_or("-"), tool_.libraries(), context);

    auto open = streams_.find(name.text());
    if (open == streams_.end()) {
        EntryForm form = form_of_fileref(name);
        CopyOptions copy = open_options(name, options, form, false, context);
        Stream stream = open_for_copy(session_, name, zef::kOpenInput, form, copy, context);
        if (copy_out(stream, output, form, copy, false, context, count) > 0) cut_ = true;
        stream.close(context);
        output.commit();
        return;
    }
    if (!options.empty()) usage_problem(context + ": the stream is open already: its options were given to open");
    if (!open->second.stream.reading()) usage_problem(context + ": " + name.text() + " is open for writing");
    if (copy_out(open->second.stream, output, open->second.form, open->second.options, false, context, count) > 0)
        cut_ = true;
    output.commit();
}

void Shell::note(const ShellLine &line, const std::string &context) {
    OpenStream &open = open_stream(unquoted(word(line, 0, "the fileref", context)), context);
    int64_t position = 0;
    int32_t status = open.stream.note(&position);
    if (status != 0) session_.fail(status, context);
    std::cout << position << '\n';
}

void Shell::point(const ShellLine &line, const std::string &context) {
    OpenStream &open = open_stream(unquoted(word(line, 0, "the fileref", context)), context);
    const std::string &position = word(line, 1, "the position (a number from note)", context);
    if (!all_digits(position)) usage_problem(context + ": " + position + " is not a position");
    int32_t status = open.stream.point(std::stoll(position));
    if (status != 0) session_.fail(status, context);
}

void Shell::flush(const ShellLine &line, const std::string &context) {
    OpenStream &open = open_stream(unquoted(word(line, 0, "the fileref", context)), context);
    int32_t status = open.stream.flush();
    if (status != 0) session_.fail(status, context);
}

void Shell::close(const ShellLine &line, const std::string &context) {
    std::string fileref = unquoted(word(line, 0, "the fileref", context));
    open_stream(fileref, context);
    auto node = streams_.extract(FilerefName(fileref).text());
    node.mapped().stream.close(context);
}

}  // namespace zefcat
