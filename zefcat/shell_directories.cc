// The shell's directory commands, on a fileref that names a catalog:
// dir (slots 26, 25 and 22), opendir and closedir (26 and 22), member
// (29, the routine table, and 27) and memberexists (28). A command on a
// fileref without a held directory opens one for itself and closes it
// again; when it only reads, it opens the catalog for input.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <iostream>
#include <string>

#include "copy.h"
#include "errors.h"
#include "names.h"
#include "shell.h"
#include "shell_words.h"
#include "tool.h"
#include "zefxbaml/option_block.h"
#include "zefxbaml/status.h"

namespace zefcat {

namespace {

std::string upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

std::string trimmed(std::string text) {
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

// An 8-character blank-padded field, cut to 8.
struct Field8 {
    char text[8];
    explicit Field8(std::string_view value) {
        std::memset(text, ' ', sizeof text);
        std::memcpy(text, value.data(), std::min(value.size(), sizeof text));
    }
};

// A member's form: from the type after its first period, else from the
// member kind (whose leading letters choose the type).
EntryForm form_of_member(const std::string &member, const std::string &kind) {
    size_t dot = member.find('.');
    if (dot != std::string::npos) return form_of_type(member.substr(dot + 1));
    for (const char *binary : {"GIF", "JPEG", "PNG", "PDF", "JAR"})
        if (kind.rfind(binary, 0) == 0) return EntryForm::kBytes;
    return EntryForm::kLines;
}

}  // namespace

Directory &Shell::directory_for(const FilerefName &fileref, std::optional<Directory> &temporary,
                                const std::string &context) {
    auto held = directories_.find(fileref.text());
    if (held != directories_.end()) return held->second;
    temporary.emplace(Directory::open(session_, fileref, context));
    return *temporary;
}

void Shell::list_directory(const ShellLine &line, const std::string &context) {
    FilerefName name(unquoted(word(line, 0, "the catalog's fileref", context)));
    std::optional<Directory> temporary;
    std::optional<InputOnlyTask> input_only(std::in_place, session_);
    Directory &directory = directory_for(name, temporary, context);
    input_only.reset();
    std::string member, type;
    while (directory.next(&member, &type, context)) std::cout << member << '.' << trimmed(type) << '\n';
    if (temporary) temporary->close(context);
}

void Shell::open_directory(const ShellLine &line, const std::string &context) {
    FilerefName name(unquoted(word(line, 0, "the catalog's fileref", context)));
    if (directories_.count(name.text()) != 0)
        usage_problem(context + ": a directory is open on " + name.text() + " already");
    directories_.emplace(name.text(), Directory::open(session_, name, context));
}

void Shell::close_directory(const ShellLine &line, const std::string &context) {
    FilerefName name(unquoted(word(line, 0, "the catalog's fileref", context)));
    auto node = directories_.extract(name.text());
    if (node.empty()) usage_problem(context + ": no directory is open on " + name.text());
    node.mapped().close(context);
}

void Shell::member(const ShellLine &line, const std::string &context) {
    FilerefName name(unquoted(word(line, 0, "the catalog's fileref", context)));
    std::string member = unquoted(word(line, 1, "the member", context));
    size_t next = 2;
    std::string kind;
    if (line.words.size() > next && !looks_like_option(line.words[next])) kind = upper(unquoted(line.words[next++]));
    std::vector<std::string> options(line.words.begin() + static_cast<std::ptrdiff_t>(std::min(next, line.words.size())),
                                     line.words.end());
    Field8 kind8(kind);
    EntryForm form = form_of_member(member, kind);
    bool writing = line.input.has_value();

    std::optional<Directory> temporary;
    std::optional<InputOnlyTask> input_only;
    if (!writing) input_only.emplace(session_);
    Directory &directory = directory_for(name, temporary, context);
    input_only.reset();
    {
        CopyOptions copy = open_options(name, options, form, false, context);
        if (writing) {
            Input input(*line.input, context);
            Stream stream = Stream::open_member(session_, directory, member, kind8.text,
                                                copy_open_plan(zef::kOpenOutput, form, copy), context);
            if (copy_in(stream, input, form, copy, false, context) > 0) cut_ = true;
        } else {
            Output output(line.output.value_or("-"), tool_.libraries(), context);
            Stream stream = open_for_copy(zef::kOpenInput, form, copy, context, [&](const OpenPlan &plan) {
                return Stream::open_member(session_, directory, member, kind8.text, plan, context);
            });
            if (copy_out(stream, output, form, copy, false, context) > 0) cut_ = true;
            stream.close(context);
            output.commit();
        }
    }
    if (temporary) temporary->close(context);
}

void Shell::member_exists(const ShellLine &line, const std::string &context) {
    FilerefName name(unquoted(word(line, 0, "the catalog's fileref", context)));
    std::string member = unquoted(word(line, 1, "the member", context));
    std::string type = line.words.size() > 2 ? upper(unquoted(line.words[2])) : "CATAMS";
    std::optional<Directory> temporary;
    std::optional<InputOnlyTask> input_only(std::in_place, session_);
    Directory &directory = directory_for(name, temporary, context);
    input_only.reset();
    int32_t status = directory.member_exists(member, Field8(type).text);
    if (status != 0 && status != zef::kCatalogEntryMissing) session_.fail(status, context);
    std::cout << member << (status == 0 ? ": exists" : ": does not exist") << '\n';
    if (temporary) temporary->close(context);
}

}  // namespace zefcat
