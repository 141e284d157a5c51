// The host's side of access-method lookup: the control block each loaded
// access method registered under its 8-character name (yxam2am, yxamscp),
// the control block through which the host knows a fileref (yxal2am), and
// the made-up fileref names of yxaunql.
//
// Names are 8 characters, blank padded, matched without regard to case; a
// name given shorter (ended by a NUL within 8 bytes) is padded with blanks.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace zefhost {

class MethodRegistry {
public:
    using Name8 = std::string;  // exactly 8 characters, upper case, blank padded

    static Name8 name8(const char *name);

    void register_method_block(const char *method8, void *block);
    // Null when no access method of that name has registered.
    void *method_block(const char *method8) const;

    void know_fileref(const char *fileref8, void *block);
    void forget_fileref(const char *fileref8);
    // The control block through which the host knows the fileref: the one
    // recorded for it, else the access method that registered last (the
    // host assigns its filerefs through it, so a name it never recorded is
    // looked for there and reported as not assigned). Null when nothing
    // registered, or when unknown names are refused.
    void *fileref_block(const char *fileref8) const;
    // Makes yxal2am refuse a fileref it has not recorded, instead of naming
    // the last registered access method (for tests of the refusal path).
    void refuse_unknown_filerefs(bool refuse) { refuse_unknown_ = refuse; }

    // The next made-up fileref name, "#LN00001", "#LN00002", ...; empty when
    // the numbers are used up.
    std::string next_unique_name();

private:
    std::map<Name8, void *> methods_;
    std::map<Name8, void *> filerefs_;
    void *last_registered_ = nullptr;
    bool refuse_unknown_ = false;
    int32_t unique_names_made_ = 0;
};

}  // namespace zefhost
