// zefcat as a host: every request goes to the loaded module through its
// method vector, the way the host makes it. Session holds the stand-in host
// and the module; Fileref, Stream and Directory hold what the module hands
// out (an assigned fileref, an open stream with its routine table, a
// directory handle) and give it back when they go.
//
//     Fileref f = Fileref::assign(session, FilerefName(), "work.notes.readme.source", "", what);
//     Stream out = Stream::open(session, f.name(), OpenPlan{zef::kOpenOutput}, what);
//     out.write("a line", 6, ' ');
//     out.close(what);     // the entry's new version becomes visible here
//
// A stream opened for writing that is not closed is abandoned, never
// closed: the host keeps the entry as it was (see Stream::abandon).
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "zefhost/module_session.h"
#include "zefhost/option_statement.h"
#include "zefxbaml/method_routines.h"
#include "zefxbaml/stream_block.h"

namespace zefhost {
class Host;
}

namespace zefcat {

class Libraries;

// The slots of the method vector zefcat calls.
namespace slot {
inline constexpr int kAssign = 0;
inline constexpr int kDeassign = 1;
inline constexpr int kFilerefExists = 2;
inline constexpr int kExists = 3;
inline constexpr int kPhysicalName = 4;
inline constexpr int kNextFileref = 6;
inline constexpr int kInformation = 8;
inline constexpr int kInformationStart = 9;
inline constexpr int kInformationEnd = 10;
inline constexpr int kOpen = 11;
inline constexpr int kNote = 12;
inline constexpr int kPoint = 13;
inline constexpr int kRead = 18;
inline constexpr int kWrite = 19;
inline constexpr int kFlush = 20;
inline constexpr int kClose = 21;
inline constexpr int kDirectoryClose = 22;
inline constexpr int kDirectoryInformationStart = 23;
inline constexpr int kDirectoryInformationEnd = 24;
inline constexpr int kDirectoryNext = 25;
inline constexpr int kDirectoryOpen = 26;
inline constexpr int kMemberClose = 27;
inline constexpr int kMemberExists = 28;
inline constexpr int kMemberOpen = 29;
inline constexpr int kParse = 30;
inline constexpr int kAssignLike = 31;
inline constexpr int kDelete = 32;
inline constexpr int kImage = 33;
inline constexpr int kBlockFromImage = 34;
inline constexpr int kRoutineTable = 35;
inline constexpr int kReleaseOptions = 36;
}  // namespace slot

// The method name the host assigns filerefs under.
inline constexpr char kMethodName[8] = {'Z', 'E', 'F', 'X', 'B', 'A', 'M', 'L'};

// An 8-character blank-padded fileref name, as the slots take it.
class FilerefName {
public:
    // All blanks: the host makes a name up when it is assigned.
    FilerefName();
    // Throws a usage Problem for an empty name or one over 8 characters.
    explicit FilerefName(std::string_view name);

    char *data() { return text_; }
    const char *data() const { return text_; }
    // The name without its trailing blanks.
    std::string text() const;
    bool blank() const;

private:
    char text_[8];
};

// What an option statement settled, as the host reads it from the image of
// the statement's block (slot 33).
struct OptionSettings {
    uint32_t record_format = 0;  // RECFM bits: 0x20 V, 0x08 F, 0x11 P, 0x02 S
    bool append = false;         // MOD
    int64_t lrecl = 0;
    bool encoding_given = false;
    int32_t encoding = 0;
    bool attr = false;
    std::string description;
};

class Session {
public:
    // The host and the module must outlive the session; `libraries` says
    // why a library is not assigned when a request meets one that is not.
    Session(zefhost::Host &host, zefhost::ModuleSession &module, const Libraries &libraries);

    zefhost::Host &host() { return host_; }
    zefhost::ModuleSession &module() { return module_; }

    // The routine of slot n, as prototype Fn.
    template <typename Fn>
    Fn slot(int n) const {
        return module_.slot<Fn>(n);
    }

    // Clears what an earlier request left behind (message inserts, the
    // catalog services' last error), so that a failure's text is its own.
    // Every slot call is made right after it.
    void before_call();

    // Throws the Problem for `status`, met while doing `context`.
    [[noreturn]] void fail(int32_t status, std::string_view context);

    // Parses an option statement through slot 30, one call per option,
    // into a new block or into `into` (which the result then holds).
    // `flags` is the statement's flags word (0x10: no carrier releases the
    // block). Throws a usage Problem; when the statement was made of
    // `options` (one option each), it names the one that was rejected.
    zefhost::ParsedOptions parse_options(std::string_view text, uint32_t flags,
                                         std::string_view context,
                                         const std::vector<std::string> *options = nullptr,
                                         zef::OptionBlock *into = nullptr);
    // Holds `block` for the caller; released through slot 36 when it goes.
    zefhost::OptionBlockHandle hold(zef::OptionBlock *block) const;
    // The image of a block (slot 33), as the host keeps it.
    std::vector<uint8_t> image_of(const zef::OptionBlock *block, std::string_view context);
    // A new block made from an image (slot 34), owned by the current owner.
    zef::OptionBlock *block_from(const std::vector<uint8_t> &image, std::string_view context);
    // Reads a block's settings from its image (slot 33); the image goes back
    // to the owner's pool at once. A null block has the default settings.
    OptionSettings settings_of(const zef::OptionBlock *block, std::string_view context);

private:
    zefhost::Host &host_;
    zefhost::ModuleSession &module_;
    const Libraries &libraries_;
};

// While it lives, the host's task asks only to read (its task access word
// is 1): a directory opened meanwhile opens its catalog for input, so that
// listing a catalog that is not there does not make it.
class InputOnlyTask {
public:
    explicit InputOnlyTask(Session &session);
    ~InputOnlyTask();
    InputOnlyTask(const InputOnlyTask &) = delete;
    InputOnlyTask &operator=(const InputOnlyTask &) = delete;

private:
    Session &session_;
};

// An assigned fileref, deassigned (slot 1) when it goes unless kept.
class Fileref {
public:
    // Assigns `physical` through slot 0, with the options of `options_text`
    // (none when empty), which the fileref then owns. A blank name has the
    // host make one up. Throws Problem.
    // `settings`, when given, receives what the options settled.
    static Fileref assign(Session &session, FilerefName name, std::string_view physical,
                          std::string_view options_text, std::string_view context,
                          const std::vector<std::string> *options = nullptr,
                          OptionSettings *settings = nullptr);
    // Assigns a fileref like `existing` (slot 31), optionally extending a
    // catalog's name by an entry name. Throws Problem.
    static Fileref assign_like(Session &session, FilerefName name, std::string_view existing,
                               std::string_view extension, std::string_view options_text,
                               std::string_view context,
                               const std::vector<std::string> *options = nullptr,
                               OptionSettings *settings = nullptr);

    Fileref(Fileref &&other) noexcept;
    Fileref &operator=(Fileref &&) = delete;
    Fileref(const Fileref &) = delete;
    ~Fileref();

    const FilerefName &name() const { return name_; }
    // The module's physical name of it (slot 4): LIB.CAT.ENTRY.TYPE.
    // Throws Problem.
    std::string physical_name(std::string_view context) const;
    // Leaves the fileref assigned when this object goes.
    void keep() { session_ = nullptr; }
    // Deassigns now; 0, or the status (0x80001024: it was still open, and
    // stays alive for its streams).
    int32_t deassign();

private:
    Fileref(Session &session, FilerefName name) : session_(&session), name_(name) {}
    Session *session_;
    FilerefName name_;
};

// How to open: the open request's fields and the open statement's block.
struct OpenPlan {
    uint32_t mode = zef::kOpenInput;  // 0x1 input, 0x2 output, 0x4 append, 0x8 update
    uint32_t record_format = 0;
    int64_t lrecl = 0;
    zef::OptionBlock *options = nullptr;  // kept by the caller until the stream is closed
};

class Directory;

// An open entry or member stream and its routine table (slot 35). Records
// go through the table, so the line entry types use the line routines.
class Stream {
public:
    // Opens the entry of an assigned fileref (slot 11). Throws Problem.
    static Stream open(Session &session, const FilerefName &fileref, const OpenPlan &plan,
                       std::string_view context);
    // Opens a member of an open directory (slot 29); `kind8` is the member
    // kind for a name without a type. Throws Problem.
    static Stream open_member(Session &session, Directory &directory, std::string_view member,
                              const char *kind8, const OpenPlan &plan, std::string_view context);

    Stream(Stream &&other) noexcept;
    Stream &operator=(Stream &&) = delete;
    Stream(const Stream &) = delete;
    // Closes a stream opened for input; abandons one opened for writing
    // that was not closed.
    ~Stream();

    // One record, or for stream format a run of *length bytes (0: one
    // record length); the routine's status.
    int32_t read(char **data, int64_t *length, char *carriage);
    // One record; `carriage` is the carriage-control character for P
    // format (the line routine stores '1', '2' or a blank). The routine's
    // status: 0, 0x1009 when the record was cut to the record length.
    int32_t write(const char *data, int64_t length, char carriage);
    int32_t flush();
    int32_t note(int64_t *position);
    int32_t point(int64_t position);

    // The stream's record length and encoding, as the open returned them.
    int64_t lrecl() const { return lrecl_; }
    int32_t encoding() const { return encoding_; }
    bool writing() const { return (mode_ & zef::kOpenWriting) != 0; }
    bool reading() const { return (mode_ & (zef::kOpenInput | zef::kOpenUpdate)) != 0; }
    bool line_routines() const { return line_routines_; }
    bool is_open() const { return stream_ != nullptr; }
    zef::StreamBlock *block() const { return stream_; }

    // Closes (slot 21, or 27 for a member). Throws Problem when the close
    // fails; an entry stream is gone all the same, a member stream whose
    // close failed is abandoned.
    void close(std::string_view context);
    // Leaves the stream open for good: it is never closed, so the host
    // never makes what was written the entry's, and drops it when it ends.
    // The entry stays in use by this process until then.
    void abandon();

    // Throws the Problem for a status this stream's routines returned.
    [[noreturn]] void fail(int32_t status, std::string_view context) const {
        session_->fail(status, context);
    }

private:
    Stream(Session &session, zef::StreamBlock *stream, bool member, uint32_t mode);
    void take_routine_table(std::string_view context);

    Session *session_;
    zef::StreamBlock *stream_;
    zef::RoutineTable *table_ = nullptr;
    bool member_;
    uint32_t mode_;
    int64_t lrecl_ = 0;
    int32_t encoding_ = 0;
    bool line_routines_ = false;
};

// A catalog fileref read as a directory (slots 26, 25, 28, 22).
class Directory {
public:
    // Throws Problem.
    static Directory open(Session &session, const FilerefName &fileref, std::string_view context);
    Directory(Directory &&other) noexcept;
    Directory &operator=(Directory &&) = delete;
    Directory(const Directory &) = delete;
    ~Directory();

    // The next member's name and type (blank padded to 8); false at the end,
    // after which the next call starts from the first member. Throws Problem.
    bool next(std::string *name, std::string *type, std::string_view context);
    // 0 when the member exists, else the status (0x8001C006: it does not).
    int32_t member_exists(std::string_view member, const char *type8);
    // The directory's information items (slots 23 and 24): it has none.
    int32_t information();

    zef::DirectoryHandle *handle() const { return handle_; }
    Session &session() const { return *session_; }
    // Throws Problem when the close fails; the handle is gone all the same.
    void close(std::string_view context);

private:
    Directory(Session &session, zef::DirectoryHandle *handle) : session_(&session), handle_(handle) {}
    Session *session_;
    zef::DirectoryHandle *handle_;
    void *scan_ = nullptr;  // the host's scan cell
};

}  // namespace zefcat
