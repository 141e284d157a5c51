#include "entry_copy.h"

#include <memory>

#include "copy.h"
#include "errors.h"
#include "option_checks.h"
#include "progress.h"
#include "transcode.h"
#include "zefxbaml/option_block.h"
#include "zefxbaml/stream_block.h"

namespace zefcat {

namespace {

// Opens again of a read whose entry turned out to hold longer records.
constexpr int kMostReopens = 3;

}  // namespace

CopyOptions copy_options(Session &session, const std::vector<std::string> &given, EntryForm form,
                         bool append, bool carriage, std::string_view context, std::string_view extra) {
    check_option_words(given, context);
    std::string text = option_statement(given);
    auto add = [&text](const char *option) { text += text.empty() ? option : std::string(" ") + option; };
    if (append) add("MOD");
    if (form == EntryForm::kBytes) add("RECFM=S");
    if (carriage) add("RECFM=P");
    if (!extra.empty()) add(std::string(extra).c_str());
    CopyOptions options;
    options.parsed = session.parse_options(text, zef::kNotOwned, context, &given);
    options.settings = session.settings_of(options.parsed.block.get(), context);
    check_record_length(options.settings, context);
    refuse_binary_changes(form, options, context);
    return options;
}

void refuse_binary_changes(EntryForm form, const CopyOptions &options, std::string_view context) {
    if (form != EntryForm::kBytes) return;
    if (((options.settings.record_format | options.assigned.record_format) & zef::kRecordPrint) == 0) return;
    usage_problem(std::string(context) +
                  ": a binary entry is moved byte for byte and takes no carriage control "
                  "(RECFM=P, --carriage)");
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

Stream open_for_copy(Session &session, const FilerefName &fileref, uint32_t mode, EntryForm form,
                     const CopyOptions &options, std::string_view context) {
    return open_for_copy(mode, form, options, context, [&](const OpenPlan &plan) {
        return Stream::open(session, fileref, plan, context);
    });
}

Stream open_for_copy(uint32_t mode, EntryForm form, const CopyOptions &options, std::string_view context,
                     const std::function<Stream(const OpenPlan &)> &open) {
    OpenPlan plan = copy_open_plan(mode, form, options);
    bool own_length = mode == zef::kOpenInput && form == EntryForm::kLines && plan.lrecl > 0 &&
                      (options.record_format() & (zef::kRecordStream | zef::kRecordFixed)) == 0 &&
                      options.settings.lrecl <= 0 && options.assigned.lrecl <= 0;
    for (int reopened = 0;; ++reopened) {
        Stream stream = open(plan);
        // The open sized its block buffer to the entry's longest block.
        int64_t longest = zef::stream_block_length(stream.block());
        // A writer may put in a longer version between two opens; after a
        // few, what is still cut is noted as cut.
        if (!own_length || longest <= plan.lrecl || reopened == kMostReopens) return stream;
        stream.close(context);
        plan.lrecl = longest;
    }
}

int64_t copy_out(Stream &stream, Output &output, EntryForm form, const CopyOptions &options,
                 bool carriage, std::string_view context, int64_t limit) {
    std::unique_ptr<Transcoder> transcoder = transcoder_for(stream, form, false);
    Progress progress(std::string(context), -1);
    int64_t cut = 0;
    if (moves_bytes(form, stream, options))
        read_bytes(stream, output, transcoder.get(), progress, context, limit);
    else
        cut = read_lines(stream, output, LineOptions{carriage, transcoder.get()}, progress, context, limit).cut;
    progress.finish();
    return cut;
}

}  // namespace zefcat
