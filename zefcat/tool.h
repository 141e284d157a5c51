// What every zefcat command works with: a stand-in host with the module
// loaded as the host loads it and the libraries assigned (made on first
// use, so that --help loads nothing), where output goes, and the exit
// status.
#pragma once

#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "libraries.h"
#include "session.h"
#include "zefhost/host.h"
#include "zefhost/module_session.h"

namespace zefcat {

class Tool {
public:
    explicit Tool(std::ostream &out, std::ostream &err);
    ~Tool();

    // The module zefcat loads: $ZEFXBAML_MODULE, else zefxbaml.so next to
    // the zefcat executable.
    static std::string default_module_path();

    zefhost::Host &host();
    zefhost::ModuleSession &module();
    // The host with its libraries assigned and the module loaded.
    Session &session();

    // The -L values of the command line; read when the session is made.
    std::vector<std::string> &library_options() { return library_options_; }
    const Libraries &libraries() const { return libraries_; }
    // --wait: how long a write waits for an entry another process writes.
    double &wait_seconds() { return wait_seconds_; }

    std::ostream &out() { return out_; }
    std::ostream &err() { return err_; }

    // A command's callback reports its exit status here.
    void finish(int status) { exit_status_ = status; }
    int exit_status() const { return exit_status_; }

private:
    // Gives the catalog services the --wait bound and, on a terminal, a
    // note for when a write starts to wait.
    void configure_waiting();

    std::ostream &out_;
    std::ostream &err_;
    std::vector<std::string> library_options_;
    // Taken down last: it removes a WORK directory that stayed empty.
    Libraries libraries_;
    std::unique_ptr<zefhost::Host> host_;
    std::unique_ptr<zefhost::ModuleSession> module_;
    std::unique_ptr<Session> session_;
    int exit_status_ = 0;
    double wait_seconds_ = 60;
};

}  // namespace zefcat
