#include "entry_copy.h"

#include <memory>

#include "copy.h"
#include "fileref/option_block.h"
#include "progress.h"
#include "stream/stream_block.h"
#include "transcode.h"

namespace zefcat {

CopyOptions copy_options(Session &session, const std::vector<std::string> &given, EntryForm form,
                         bool append, bool carriage, std::string_view context, std::string_view extra) {
    std::string text = option_statement(given);
    auto add = [&text](const char *option) { text += text.empty() ? option : std::string(" ") + option; };
    if (append) add("MOD");
    if (form == EntryForm::kBytes) add("RECFM=S");
    if (carriage) add("RECFM=P");
    if (!extra.empty()) add(std::string(extra).c_str());
    CopyOptions options;
    options.parsed = session.parse_options(text, zef::kNotOwned, context, &given);
    options.settings = session.settings_of(options.parsed.block.get(), context);
    return options;
}

uint32_t CopyOptions::record_format() const {
    if (assigned.encoding_given) return zef::kRecordStream;
    return settings.record_format != 0 ? settings.record_format : assigned.record_format;
}

OpenPlan copy_open_plan(uint32_t mode, EntryForm form, const CopyOptions &options) {
    OpenPlan plan;
    plan.mode = mode;
    plan.options = options.parsed.block.get();
    if (form == EntryForm::kBytes) {
        plan.record_format = zef::kRecordStream;
        plan.lrecl = kByteRun;
    } else if ((options.record_format() & zef::kRecordStream) != 0) {
        plan.lrecl = kByteRun;
    } else if ((mode & (zef::kOpenInput | zef::kOpenUpdate)) != 0) {
        // A fixed format pads every record to the record length: it is only
        // asked for with the LRECL the person gives.
        bool fixed = (options.record_format() & zef::kRecordFixed) != 0;
        plan.lrecl = fixed ? 0 : kLongestLine;
    }
    return plan;
}

bool moves_bytes(EntryForm form, const Stream &stream, const CopyOptions &options) {
    if (form == EntryForm::kBytes) return true;
    return !stream.line_routines() && (options.record_format() & zef::kRecordStream) != 0;
}

std::unique_ptr<Transcoder> transcoder_for(const Stream &stream, EntryForm form, bool into_stream) {
    if (form == EntryForm::kBytes || stream.encoding() == 0) return nullptr;
    const char *encoding = iconv_name_of(stream.encoding());
    return into_stream ? std::make_unique<Transcoder>("UTF-8", encoding)
                       : std::make_unique<Transcoder>(encoding, "UTF-8");
}

int64_t write_all(Stream &stream, Input &input, EntryForm form, const CopyOptions &options,
                  bool carriage, std::string_view context) {
    std::unique_ptr<Transcoder> transcoder = transcoder_for(stream, form, true);
    Progress progress(std::string(context), input.size());
    WriteReport report;
    if (moves_bytes(form, stream, options))
        report = write_bytes(stream, input, transcoder.get(), progress, context);
    else
        report = write_lines(stream, input, LineOptions{carriage, transcoder.get()}, progress, context);
    progress.finish();
    return report.cut;
}

int64_t copy_in(Stream &stream, Input &input, EntryForm form, const CopyOptions &options,
                bool carriage, std::string_view context) {
    try {
        int64_t cut = write_all(stream, input, form, options, carriage, context);
        stream.close(context);
        return cut;
    } catch (...) {
        stream.abandon();
        throw;
    }
}

void copy_out(Stream &stream, Output &output, EntryForm form, const CopyOptions &options,
              bool carriage, std::string_view context, int64_t limit) {
    std::unique_ptr<Transcoder> transcoder = transcoder_for(stream, form, false);
    Progress progress(std::string(context), -1);
    if (moves_bytes(form, stream, options))
        read_bytes(stream, output, transcoder.get(), progress, context, limit);
    else
        read_lines(stream, output, LineOptions{carriage, transcoder.get()}, progress, context, limit);
    progress.finish();
}

}  // namespace zefcat
