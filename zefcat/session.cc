#include "session.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <utility>

#include "errors.h"
#include "libraries.h"
#include "zefhost/catalog/services.h"
#include "zefhost/host.h"
#include "zefhost/tokenizer.h"
#include "zefhost/translation_tables.h"
#include "zefxbaml/option_block.h"
#include "zefxbaml/routine_table.h"
#include "zefxbaml/status.h"

namespace zefcat {

// --------------------------------------------------------------- names --

FilerefName::FilerefName() { std::memset(text_, ' ', sizeof text_); }

FilerefName::FilerefName(std::string_view name) {
    if (name.empty() || name.size() > sizeof text_)
        usage_problem("fileref " + shown(name) + ": a fileref has 1 to 8 characters");
    std::memset(text_, ' ', sizeof text_);
    // Filerefs are found by their name folded as the module folds it (the
    // host's table, Latin-1 letters too), so the host assigns them so.
    std::string folded = zefhost::upper_case_name(name);
    std::memcpy(text_, folded.data(), folded.size());
}

std::string FilerefName::text() const {
    std::string text(text_, sizeof text_);
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

bool FilerefName::blank() const { return text().empty(); }

// ------------------------------------------------------------- session --

Session::Session(zefhost::Host &host, zefhost::ModuleSession &module, const Libraries &libraries)
    : host_(host), module_(module), libraries_(libraries) {}

void Session::before_call() {
    host_.clear_inserts();
    host_.catalogs().clear_last_error();
}

void Session::fail(int32_t status, std::string_view context) {
    // The catalog services name the library they do not know; say why the
    // setting that names it did not take.
    if (status == zef::kCatalogLibraryNotAssigned) {
        const std::string &detail = host_.catalogs().last_error();
        size_t open = detail.find('"');
        size_t close = open == std::string::npos ? open : detail.find('"', open + 1);
        if (close != std::string::npos) {
            std::string why = libraries_.why_not_assigned(detail.substr(open + 1, close - open - 1));
            if (!why.empty()) throw Problem(std::string(context) + ": " + why + " (0x8001C001)");
        }
    }
    fail_status(host_, status, context);
}

zefhost::ParsedOptions Session::parse_options(std::string_view text, uint32_t flags,
                                              std::string_view context,
                                              const std::vector<std::string> *options,
                                              zef::OptionBlock *into) {
    auto parse = slot<zef::fn::yxlpars>(slot::kParse);
    zefhost::ParsedOptions parsed;
    zefhost::OptionSource source(text);
    zef::OptionBlock *block = into;
    while (!source.at_end()) {
        source.begin_option();
        parsed.taken = 0;
        before_call();
        parsed.status = parse(nullptr, host_.owner_record(), nullptr, flags, source.handle(),
                              &parsed.taken, &block);
        source.finish_option(parsed.taken);
        if (parsed.status != 0) break;  // a rejected option ends the statement
        ++parsed.accepted;
    }
    parsed.block = hold(block);
    if (parsed.status == 0) return parsed;
    std::string where(context);
    if (options != nullptr && static_cast<size_t>(parsed.accepted) < options->size())
        where += ": " + shown((*options)[static_cast<size_t>(parsed.accepted)]);
    fail(parsed.status, where);
}

zefhost::OptionBlockHandle Session::hold(zef::OptionBlock *block) const {
    return zefhost::OptionBlockHandle(block, slot<zef::fn::yxlhbfr>(slot::kReleaseOptions));
}

std::vector<uint8_t> Session::image_of(const zef::OptionBlock *block, std::string_view context) {
    void *image = nullptr;
    int32_t length = 0;
    before_call();
    int32_t status = slot<zef::fn::yxlhh2p>(slot::kImage)(nullptr, nullptr,
                                                          const_cast<zef::OptionBlock *>(block),
                                                          &image, &length);
    if (status != 0) fail(status, context);
    std::vector<uint8_t> bytes(static_cast<const uint8_t *>(image),
                               static_cast<const uint8_t *>(image) + std::max(length, 0));
    // The image came from the current owner's pool and goes back there.
    zef::Pool *pool = host_.owner_record()->pool;
    pool->release(pool, image, 0, 4);
    return bytes;
}

zef::OptionBlock *Session::block_from(const std::vector<uint8_t> &image, std::string_view context) {
    zef::OptionBlock *block = nullptr;
    before_call();
    int32_t status = slot<zef::fn::yxlhp2h>(slot::kBlockFromImage)(
        nullptr, nullptr, image.data(), static_cast<int32_t>(image.size()), &block);
    if (status != 0) fail(status, context);
    return block;
}

OptionSettings Session::settings_of(const zef::OptionBlock *block, std::string_view context) {
    OptionSettings settings;
    if (block == nullptr) return settings;
    std::vector<uint8_t> image = image_of(block, context);
    zef::OptionBlock copy{};
    std::memcpy(&copy, image.data(), std::min(sizeof copy, image.size()));

    settings.record_format = copy.record_format;
    settings.append = (copy.mode & zef::kModeAppend) != 0;
    settings.lrecl = copy.lrecl;
    settings.encoding_given = (copy.encoding_flags & zef::kEncodingGiven) != 0;
    settings.encoding = copy.encoding;
    settings.attr = copy.attr != 0;
    int16_t described = std::clamp<int16_t>(copy.description_length, 0, zef::kDescriptionWidth);
    settings.description.assign(copy.description, static_cast<size_t>(described));
    return settings;
}

InputOnlyTask::InputOnlyTask(Session &session) : session_(session) { session_.host().set_task_access(1); }
InputOnlyTask::~InputOnlyTask() { session_.host().set_task_access(0); }

// ------------------------------------------------------------ filerefs --

Fileref Fileref::assign(Session &session, FilerefName name, std::string_view physical,
                        std::string_view options_text, std::string_view context,
                        const std::vector<std::string> *options, OptionSettings *settings) {
    zefhost::ParsedOptions parsed;
    if (!options_text.empty()) parsed = session.parse_options(options_text, 0, context, options);
    if (settings != nullptr) *settings = session.settings_of(parsed.block.get(), context);
    session.before_call();
    int32_t status = session.slot<zef::fn::yxlasgn>(slot::kAssign)(
        name.data(), nullptr, kMethodName, physical.data(), static_cast<int32_t>(physical.size()),
        parsed.block.get());
    if (status != 0) session.fail(status, context);
    parsed.block.take();  // the fileref's now
    return Fileref(session, name);
}

Fileref Fileref::assign_like(Session &session, FilerefName name, std::string_view existing,
                             std::string_view extension, std::string_view options_text,
                             std::string_view context, const std::vector<std::string> *options,
                             OptionSettings *settings) {
    zefhost::ParsedOptions parsed;
    if (!options_text.empty()) parsed = session.parse_options(options_text, 0, context, options);
    if (settings != nullptr && parsed.block) *settings = session.settings_of(parsed.block.get(), context);
    session.before_call();
    int32_t status = session.slot<zef::fn::yxlasl>(slot::kAssignLike)(
        name.data(), nullptr, kMethodName, existing.data(), static_cast<int32_t>(existing.size()),
        extension.empty() ? nullptr : extension.data(), static_cast<int32_t>(extension.size()),
        nullptr, parsed.block.get());
    if (status != 0) session.fail(status, context);
    parsed.block.take();
    return Fileref(session, name);
}

Fileref::Fileref(Fileref &&other) noexcept
    : session_(std::exchange(other.session_, nullptr)), name_(other.name_) {}

Fileref::~Fileref() {
    if (session_ != nullptr) deassign();
}

std::string Fileref::physical_name(std::string_view context) const {
    char buffer[1024];
    session_->before_call();
    int32_t status = session_->slot<zef::fn::yxlpnam>(slot::kPhysicalName)(name_.data(), buffer);
    if (status != 0) session_->fail(status, context);
    return std::string(buffer, strnlen(buffer, sizeof buffer));
}

int32_t Fileref::deassign() {
    Session *session = std::exchange(session_, nullptr);
    if (session == nullptr) return 0;
    session->before_call();
    return session->slot<zef::fn::yxldasg>(slot::kDeassign)(name_.data(), nullptr);
}

// ------------------------------------------------------------- streams --

Stream::Stream(Session &session, zef::StreamBlock *stream, bool member, uint32_t mode)
    : session_(&session), stream_(stream), member_(member), mode_(mode) {}

Stream::Stream(Stream &&other) noexcept
    : session_(other.session_),
      stream_(std::exchange(other.stream_, nullptr)),
      table_(other.table_),
      member_(other.member_),
      mode_(other.mode_),
      lrecl_(other.lrecl_),
      encoding_(other.encoding_),
      line_routines_(other.line_routines_) {}

namespace {

zef::OpenRequest open_request(const OpenPlan &plan) {
    zef::OpenRequest request{};
    request.open_mode = plan.mode;
    request.record_format = plan.record_format;
    request.lrecl = plan.lrecl;
    request.option_block = plan.options;
    return request;
}

}  // namespace

Stream Stream::open(Session &session, const FilerefName &fileref, const OpenPlan &plan,
                    std::string_view context) {
    zef::OpenRequest request = open_request(plan);
    zef::StreamBlock *block = nullptr;
    session.before_call();
    int32_t status = session.slot<zef::fn::yxlopn>(slot::kOpen)(&block, fileref.data(), nullptr, &request);
    if (status != 0 || block == nullptr) session.fail(status, context);
    Stream stream(session, block, false, plan.mode);
    stream.lrecl_ = request.lrecl;
    stream.encoding_ = request.encoding;
    stream.take_routine_table(context);
    return stream;
}

Stream Stream::open_member(Session &session, Directory &directory, std::string_view member,
                           const char *kind8, const OpenPlan &plan, std::string_view context) {
    zef::OpenRequest request = open_request(plan);
    zef::StreamBlock *block = nullptr;
    session.before_call();
    int32_t status = session.slot<zef::fn::yxlmopn>(slot::kMemberOpen)(
        &block, directory.handle(), member.data(), static_cast<int32_t>(member.size()), kind8, &request);
    if (status != 0 || block == nullptr) session.fail(status, context);
    Stream stream(session, block, true, plan.mode);
    stream.lrecl_ = request.lrecl;
    stream.encoding_ = request.encoding;
    stream.take_routine_table(context);
    return stream;
}

void Stream::take_routine_table(std::string_view context) {
    session_->before_call();
    int32_t status = session_->slot<zef::fn::yxlamvc>(slot::kRoutineTable)(stream_, &table_);
    if (status != 0) session_->fail(status, context);
    // The general write routine is the vector's; anything else is the line routine.
    line_routines_ = reinterpret_cast<void *>(table_->write) !=
                     session_->module().vector()[slot::kWrite].routine;
}

Stream::~Stream() {
    if (stream_ == nullptr) return;
    if (writing()) {
        abandon();
        return;
    }
    session_->before_call();
    if (member_)
        session_->slot<zef::fn::yxlmcls>(slot::kMemberClose)(std::exchange(stream_, nullptr));
    else
        session_->slot<zef::fn::yxlcls>(slot::kClose)(std::exchange(stream_, nullptr));
}

int32_t Stream::read(char **data, int64_t *length, char *carriage) {
    session_->before_call();
    return table_->read(stream_, data, length, carriage);
}

int32_t Stream::write(const char *data, int64_t length, char carriage) {
    session_->before_call();
    if (!line_routines_) return table_->write(stream_, data, length, static_cast<unsigned char>(carriage));
    // The line routine takes a carriage request: 3 for '1', 2 for '2', else a blank.
    int32_t request = carriage == '1' ? 3 : carriage == '2' ? 2 : 1;
    return table_->write(stream_, data, length, request);
}

int32_t Stream::flush() {
    session_->before_call();
    return session_->slot<zef::fn::yxlflsh>(slot::kFlush)(stream_);
}

int32_t Stream::note(int64_t *position) {
    session_->before_call();
    return table_->note(stream_, position);
}

int32_t Stream::point(int64_t position) {
    session_->before_call();
    return table_->point(stream_, position);
}

void Stream::close(std::string_view context) {
    zef::StreamBlock *stream = std::exchange(stream_, nullptr);
    if (stream == nullptr) return;
    session_->before_call();
    int32_t status = member_ ? session_->slot<zef::fn::yxlmcls>(slot::kMemberClose)(stream)
                             : session_->slot<zef::fn::yxlcls>(slot::kClose)(stream);
    // A member whose close failed stays open; it is left as abandoned.
    if (status != 0) session_->fail(status, context);
}

void Stream::abandon() { stream_ = nullptr; }

// --------------------------------------------------------- directories --

Directory Directory::open(Session &session, const FilerefName &fileref, std::string_view context) {
    zef::DirectoryHandle *handle = nullptr;
    session.before_call();
    int32_t status = session.slot<zef::fn::yxldopn>(slot::kDirectoryOpen)(&handle, fileref.data(), nullptr);
    if (status != 0 || handle == nullptr) session.fail(status, context);
    return Directory(session, handle);
}

Directory::Directory(Directory &&other) noexcept
    : session_(other.session_),
      handle_(std::exchange(other.handle_, nullptr)),
      scan_(std::exchange(other.scan_, nullptr)) {}

Directory::~Directory() {
    if (handle_ == nullptr) return;
    session_->before_call();
    session_->slot<zef::fn::yxldcls>(slot::kDirectoryClose)(std::exchange(handle_, nullptr));
}

bool Directory::next(std::string *name, std::string *type, std::string_view context) {
    char name_field[32];
    char type_field[8];
    int32_t length = 0;
    session_->before_call();
    int32_t status = session_->slot<zef::fn::yxldnxt>(slot::kDirectoryNext)(&scan_, handle_, name_field,
                                                                            &length, type_field);
    if (status != 0) {
        scan_ = nullptr;  // the module closed the scan; the next call starts a new one
        if (status == zef::kEndOfList) return false;
        session_->fail(status, context);
    }
    name->assign(name_field, static_cast<size_t>(std::clamp(length, 0, 32)));
    type->assign(type_field, sizeof type_field);
    return true;
}

int32_t Directory::member_exists(std::string_view member, const char *type8) {
    session_->before_call();
    return session_->slot<zef::fn::yxlmex>(slot::kMemberExists)(
        handle_, member.data(), static_cast<int32_t>(member.size()), type8);
}

int32_t Directory::information() {
    session_->before_call();
    int32_t status = session_->slot<zef::fn::yxldins>(slot::kDirectoryInformationStart)(handle_);
    if (status != 0) return status;
    return session_->slot<zef::fn::yxldinf>(slot::kDirectoryInformationEnd)(handle_);
}

void Directory::close(std::string_view context) {
    zef::DirectoryHandle *handle = std::exchange(handle_, nullptr);
    if (handle == nullptr) return;
    session_->before_call();
    int32_t status = session_->slot<zef::fn::yxldcls>(slot::kDirectoryClose)(handle);
    if (status != 0) session_->fail(status, context);
}

}  // namespace zefcat
