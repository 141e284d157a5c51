#include "written_with.h"

#include "errors.h"
#include "names.h"
#include "zefhost/catalog/catalog_error.h"
#include "zefhost/catalog/services.h"
#include "zefhost/encodings.h"
#include "zefhost/host.h"

namespace zefcat {

namespace {

// The record format bits that change what the records are (V is the default).
constexpr uint32_t kShapeBits = zef::kRecordFixed | zef::kRecordPrint | zef::kRecordStream | 0x01;

struct EntryParts {
    std::string library, catalog, name, type;
};

EntryParts entry_parts(std::string_view physical) {
    std::vector<std::string> parts = name_parts(physical);
    if (parts.size() < 3) throw Problem(std::string(physical) + ": not an entry name");
    return EntryParts{parts[0], parts[1], parts[2], parts.size() > 3 ? parts[3] : "CATAMS"};
}

std::string encoding_in(const OptionSettings &settings) {
    const char *name = zefhost::encoding_name(settings.encoding);
    return name != nullptr ? name : std::to_string(settings.encoding);
}

std::string encoding_words(const std::string &encoding) {
    return encoding.empty() ? "no ENCODING" : "ENCODING=" + encoding;
}

}  // namespace

std::string record_format_letters(uint32_t bits) {
    std::string letters;
    if (bits & zef::kRecordVariable) letters += 'V';
    if (bits & zef::kRecordFixed) letters += 'F';
    if (bits & zef::kRecordPrint) letters += 'P';
    if (bits & zef::kRecordStream) letters += 'S';
    return letters.empty() ? "V" : letters;
}

std::string attributes_text(const VersionAttributes &attributes) {
    std::string text = "RECFM=" + record_format_letters(attributes.record_format);
    if (attributes.lrecl > 0) text += " LRECL=" + std::to_string(attributes.lrecl);
    if (!attributes.encoding.empty()) text += " ENCODING=" + attributes.encoding;
    return text;
}

StoredEntry stored_entry(Session &session, std::string_view physical) {
    StoredEntry stored;
    try {
        EntryParts parts = entry_parts(physical);
        auto row = session.host().catalogs().entry_row(parts.library, parts.catalog, parts.name, parts.type);
        if (!row) return stored;
        stored.exists = true;
        stored.attributes = row->attributes;
    } catch (const zefhost::catalog::CatalogError &) {
    } catch (const Problem &) {
    }
    return stored;
}

bool appends(const CopyOptions &copy) { return copy.settings.append || copy.assigned.append; }

CopyOptions with_stored_attributes(Session &session, CopyOptions copy, const VersionAttributes &stored,
                                   const std::vector<std::string> &given, EntryForm form, bool writing,
                                   bool carriage, std::string_view context) {
    // A binary type is always moved as the bytes it holds.
    if (form == EntryForm::kBytes) return copy;
    uint32_t given_format = copy.record_format();
    int64_t given_lrecl = copy.settings.lrecl > 0 ? copy.settings.lrecl : copy.assigned.lrecl;
    bool encoding_given = copy.settings.encoding_given || copy.assigned.encoding_given;
    std::string given_encoding = copy.settings.encoding_given ? encoding_in(copy.settings)
                                 : encoding_given             ? encoding_in(copy.assigned)
                                                              : "";
    uint32_t format = given_format != 0 ? given_format : stored.record_format;
    bool fixed = (format & zef::kRecordFixed) != 0;

    if (writing) {
        std::string why;
        if (given_format != 0 && (given_format & kShapeBits) != (stored.record_format & kShapeBits))
            why = "RECFM=" + record_format_letters(stored.record_format) + ", not RECFM=" +
                  record_format_letters(given_format);
        else if (encoding_given && given_encoding != stored.encoding)
            why = encoding_words(stored.encoding) + ", not " + encoding_words(given_encoding);
        else if (fixed && given_lrecl > 0 && stored.lrecl > 0 && given_lrecl != stored.lrecl)
            why = "fixed-length records of LRECL=" + std::to_string(stored.lrecl) + ", not LRECL=" +
                  std::to_string(given_lrecl);
        if (!why.empty())
            usage_problem(std::string(context) + ": the entry was written with " + why +
                          "; append with what it was written with (or give none), or put to replace it");
    }

    std::string extra;
    auto add = [&extra](const std::string &option) { extra += (extra.empty() ? "" : " ") + option; };
    if (given_format == 0 && stored.record_format != 0)
        for (char letter : record_format_letters(stored.record_format)) add(std::string("RECFM=") + letter);
    // Reading, only a fixed format needs its record length: any other
    // reads records whole.
    if (given_lrecl <= 0 && stored.lrecl > 0 && (writing || fixed)) add("LRECL=" + std::to_string(stored.lrecl));
    if (!encoding_given && !stored.encoding.empty()) {
        int32_t id = zefhost::find_encoding(stored.encoding);
        if (id != 0) add(std::string("ENCODING=") + zefhost::encoding_name(id));
    }
    if (extra.empty()) return copy;
    return copy_options(session, given, form, writing, carriage, context, extra);
}

VersionAttributes attributes_in_force(Session &session, const Stream &stream, const OpenPlan &plan,
                                      const CopyOptions &copy,
                                      const std::optional<VersionAttributes> &stored) {
    VersionAttributes attributes;
    attributes.record_format = copy.record_format();
    // The record length as the open settles it: the open's options, the
    // fileref's, the open request's, the host's default.
    zefhost::Host &host = session.host();
    if (copy.settings.lrecl > 0)
        attributes.lrecl = copy.settings.lrecl;
    else if (copy.assigned.lrecl > 0)
        attributes.lrecl = copy.assigned.lrecl;
    else if (plan.lrecl > 0)
        attributes.lrecl = plan.lrecl;
    else if (host.default_lrecl_usable() && host.default_lrecl() > 0)
        attributes.lrecl = host.default_lrecl();
    if (stored && stored->lrecl > attributes.lrecl) attributes.lrecl = stored->lrecl;
    if (const char *name = zefhost::encoding_name(stream.encoding()); stream.encoding() != 0 && name != nullptr)
        attributes.encoding = name;
    return attributes;
}

void remember_attributes(Session &session, std::string_view physical, const VersionAttributes &attributes,
                         std::string_view context) {
    EntryParts parts = entry_parts(physical);
    try {
        session.host().catalogs().set_written_attributes(parts.library, parts.catalog, parts.name, parts.type,
                                                         attributes);
    } catch (const zefhost::catalog::CatalogError &error) {
        throw Problem(std::string(context) + ": cannot keep what the entry is written with: " + error.what());
    }
}

void remember_times(Session &session, std::string_view physical, int64_t created, int64_t modified,
                    std::string_view context) {
    EntryParts parts = entry_parts(physical);
    try {
        session.host().catalogs().set_written_times(parts.library, parts.catalog, parts.name, parts.type, created,
                                                    modified);
    } catch (const zefhost::catalog::CatalogError &error) {
        throw Problem(std::string(context) + ": cannot keep the entry's times: " + error.what());
    }
}

}  // namespace zefcat
