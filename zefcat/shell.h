// zefcat shell: one host session driven by a script, one command a line,
// so that filerefs, their options, open streams and directory handles last
// from one command to the next, and every slot a host uses can be reached:
//
//     assign F1 work.notes.readme.source LRECL=80     slots 30 and 0
//     open F1 output                                  slots 11 and 35
//     line F1 first record                            the routine table's write
//     close F1                                        slot 21
//     read F1                                         slots 11, 35, 18 and 21
//
// A failing command prints one line and, in a script, ends it (unless
// --keep-going); typed at a terminal, the shell carries on. A record cut to
// the record length (written or read) is noted and the script goes on; it
// then ends with exit status 3 unless a command failed. When a script
// ends, open streams are closed; when it stops on a failure, streams open
// for writing are abandoned instead, so their entries keep what they had.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "entry_copy.h"
#include "session.h"
#include "shell_words.h"

namespace zefcat {

class Tool;

class Shell {
public:
    // `source` names the script in messages ("-" for standard input).
    Shell(Tool &tool, std::string source, bool keep_going, bool interactive);
    ~Shell();
    Shell(const Shell &) = delete;
    Shell &operator=(const Shell &) = delete;

    // Runs every line of `in`; the exit status.
    int run(std::istream &in);

private:
    struct OpenStream {
        Stream stream;
        CopyOptions options;
        EntryForm form;
    };

    void execute(const ShellLine &line, const std::string &context);
    void finish(bool failed);

    // Filerefs.
    void assign(const ShellLine &line, const std::string &context);
    void assign_like(const ShellLine &line, const std::string &context);
    void deassign(const ShellLine &line, const std::string &context);
    void list_filerefs(const std::string &context);
    void test_assigned(const ShellLine &line, const std::string &context);
    void test_exists(const ShellLine &line, const std::string &context);
    void physical_name(const ShellLine &line, const std::string &context);
    void erase(const ShellLine &line, const std::string &context);
    std::string assigned_name(const FilerefName &fileref);
    void information(const ShellLine &line, const std::string &context);
    void show_options(const ShellLine &line, const std::string &context);
    void set_defaults(const ShellLine &line, const std::string &context);

    // Streams.
    void open(const ShellLine &line, const std::string &context);
    void write(const ShellLine &line, const std::string &context);
    void write_line(const ShellLine &line, const std::string &context);
    void read(const ShellLine &line, const std::string &context);
    void note(const ShellLine &line, const std::string &context);
    void point(const ShellLine &line, const std::string &context);
    void flush(const ShellLine &line, const std::string &context);
    void close(const ShellLine &line, const std::string &context);

    // Directories and members.
    void list_directory(const ShellLine &line, const std::string &context);
    void open_directory(const ShellLine &line, const std::string &context);
    void close_directory(const ShellLine &line, const std::string &context);
    void member(const ShellLine &line, const std::string &context);
    void member_exists(const ShellLine &line, const std::string &context);

    // Helpers.
    // The open statement of an open through `fileref`: its own options, or
    // a block made from the defaults' image when it gives none; with what
    // the fileref's assignment settled.
    CopyOptions open_options(const FilerefName &fileref, const std::vector<std::string> &options,
                             EntryForm form, bool append, const std::string &context);
    EntryForm form_of_fileref(const FilerefName &fileref);
    OpenStream &open_stream(const std::string &fileref, const std::string &context);
    // The directory held open on a fileref, or one opened for this command.
    Directory &directory_for(const FilerefName &fileref, std::optional<Directory> &temporary,
                             const std::string &context);

    Tool &tool_;
    Session &session_;
    std::string source_;
    bool keep_going_;
    bool interactive_;
    std::map<std::string, FilerefName> filerefs_;  // assigned in this session
    std::map<std::string, OptionSettings> assigned_;  // what each fileref's options settled
    std::map<std::string, OpenStream> streams_;    // by fileref
    std::map<std::string, Directory> directories_;  // held open, by fileref
    std::vector<uint8_t> defaults_;  // image of the default open options (empty: none)
    bool cut_ = false;  // a record was cut to the record length (exit status 3)
};

}  // namespace zefcat
