#include "export_manifest.h"

#include <nlohmann/json.hpp>

#include <cctype>
#include <climits>
#include <cstdio>
#include <ctime>
#include <set>

#include "errors.h"
#include "zefhost/catalog/names.h"
#include "zefhost/encodings.h"
#include "zefxbaml/stream_block.h"

namespace zefcat {

namespace {

using zefhost::catalog::VersionAttributes;
using Json = nlohmann::ordered_json;

constexpr int kMicroDigits = 6;
constexpr int kNanoDigits = 9;
constexpr uint32_t kDefaultMode = 0644;

std::string lower(std::string_view text) {
    std::string lowered(text);
    for (char &c : lowered) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lowered;
}

int64_t power_of_ten(int digits) {
    int64_t value = 1;
    for (int i = 0; i < digits; ++i) value *= 10;
    return value;
}

// RECFM letters and the bits each stands for (P with its companion bit).
struct FormatLetter {
    char letter;
    uint32_t bits;
};
constexpr FormatLetter kFormatLetters[] = {
    {'V', zef::kRecordVariable},
    {'F', zef::kRecordFixed},
    {'P', zef::kRecordPrint | 0x01},
    {'S', zef::kRecordStream},
};

std::string format_letters(uint32_t bits) {
    std::string letters;
    for (const FormatLetter &f : kFormatLetters)
        if ((bits & f.bits) == f.bits) letters += f.letter;
    return letters;
}

std::optional<uint32_t> format_bits(std::string_view letters) {
    uint32_t bits = 0;
    for (char c : letters) {
        const FormatLetter *found = nullptr;
        for (const FormatLetter &f : kFormatLetters)
            if (f.letter == c) found = &f;
        if (found == nullptr || (bits & found->bits) != 0) return std::nullopt;
        bits |= found->bits;
    }
    return bits;
}

std::string octal_mode(uint32_t mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", mode & 0777);
    return text;
}

std::optional<uint32_t> parse_mode(std::string_view text) {
    if (text.empty() || text.size() > 4) return std::nullopt;
    uint32_t mode = 0;
    for (char c : text) {
        if (c < '0' || c > '7') return std::nullopt;
        mode = mode * 8 + static_cast<uint32_t>(c - '0');
    }
    if (mode > 0777) return std::nullopt;
    return mode;
}

Json entry_json(const ManifestEntry &entry) {
    Json line = Json::object();
    line["file"] = entry.file;
    line["name"] = entry.name;
    line["type"] = entry.type;
    line["form"] = entry.form == EntryForm::kBytes ? "binary" : "text";
    line["size"] = entry.size;
    line["description"] = entry.description;
    if (entry.written_with) {
        line["written_with"] = Json{{"recfm", format_letters(entry.written_with->record_format)},
                                    {"lrecl", entry.written_with->lrecl},
                                    {"encoding", entry.written_with->encoding}};
    } else {
        line["written_with"] = nullptr;
    }
    line["created"] = iso_time(entry.created, kMicroDigits);
    line["modified"] = iso_time(entry.modified, kMicroDigits);
    line["file_time"] = entry.file_time ? Json(iso_time(*entry.file_time, kNanoDigits)) : Json(nullptr);
    line["file_mode"] = entry.file_mode ? Json(octal_mode(*entry.file_mode)) : Json(nullptr);
    return line;
}

// The checks of one line; each returns why it does not hold together.
class LineReader {
public:
    explicit LineReader(const Json &line) : line_(line) {}

    std::string text(const char *key, std::string *value) {
        auto found = line_.find(key);
        if (found == line_.end() || !found->is_string()) return std::string("no text \"") + key + "\"";
        *value = found->get<std::string>();
        return {};
    }
    std::string number(const Json &object, const char *key, int64_t *value) {
        auto found = object.find(key);
        if (found == object.end() || !found->is_number_integer()) return std::string("no whole number \"") + key + "\"";
        *value = found->get<int64_t>();
        return {};
    }
    std::string time(const char *key, int digits, std::optional<int64_t> *value, bool may_be_null) {
        auto found = line_.find(key);
        if (found != line_.end() && found->is_null() && may_be_null) return {};
        std::optional<int64_t> parsed;
        if (found != line_.end() && found->is_string()) parsed = parse_iso_time(found->get<std::string>(), digits);
        if (!parsed) return std::string("\"") + key + "\" is not a time like 2026-12-08T09:14:10Z";
        *value = parsed;
        return {};
    }

private:
    const Json &line_;
};

std::string read_written_with(const Json &value, std::optional<VersionAttributes> *written_with) {
    if (value.is_null()) return {};
    if (!value.is_object()) return "\"written_with\" is neither an object nor null";
    LineReader reader(value);
    std::string recfm, encoding;
    int64_t lrecl = 0;
    auto recfm_at = value.find("recfm");
    auto encoding_at = value.find("encoding");
    if (recfm_at == value.end() || !recfm_at->is_string()) return "\"written_with\" has no text \"recfm\"";
    if (encoding_at == value.end() || !encoding_at->is_string()) return "\"written_with\" has no text \"encoding\"";
    if (std::string why = reader.number(value, "lrecl", &lrecl); !why.empty()) return "\"written_with\" has " + why;
    recfm = recfm_at->get<std::string>();
    encoding = encoding_at->get<std::string>();
    std::optional<uint32_t> bits = format_bits(recfm);
    if (!bits) return "\"recfm\" " + shown(recfm) + " is not a record format (letters V, F, P, S)";
    if (!encoding.empty() && zefhost::find_encoding(encoding) == 0)
        return "\"encoding\" " + shown(encoding) + " is not an encoding zefcat knows";
    std::optional<VersionAttributes> checked = zefhost::catalog::checked_attributes(*bits, lrecl, encoding);
    if (!checked) return "\"written_with\" holds a record length out of range";
    *written_with = checked;
    return {};
}

// Fills `entry` from `line`; why it does not hold together, or empty.
std::string read_line(const Json &line, ManifestEntry *entry) {
    if (!line.is_object()) return "not an object";
    LineReader reader(line);
    std::string form;
    for (auto [key, value] : {std::pair{"file", &entry->file}, {"name", &entry->name}, {"type", &entry->type},
                              {"form", &form}, {"description", &entry->description}})
        if (std::string why = reader.text(key, value); !why.empty()) return why;
    // Named as the checks below name it, whatever the line held.
    std::string given_file = entry->file;
    if (std::string why = unexportable_name(entry->name, entry->type); !why.empty()) return why;
    entry->name = zefhost::catalog::upper(entry->name);
    entry->type = zefhost::catalog::upper(entry->type);
    std::string expected = entry_file_name(entry->name, entry->type);
    if (given_file != expected)
        return "\"file\" " + shown(given_file) + " is not the file of " + entry->name + "." + entry->type +
               " (" + expected + ")";
    entry->form = form_of_type(entry->type);
    if (form != (entry->form == EntryForm::kBytes ? "binary" : "text"))
        return "\"form\" " + shown(form) + " is not the form of type " + entry->type;
    if (std::string why = reader.number(line, "size", &entry->size); !why.empty()) return why;
    if (entry->size < 0) return "\"size\" is negative";
    if (entry->description.size() > 256) return "the description is longer than 256 bytes";
    auto written = line.find("written_with");
    if (written == line.end()) return "no \"written_with\"";
    if (std::string why = read_written_with(*written, &entry->written_with); !why.empty()) return why;
    std::optional<int64_t> created, modified;
    if (std::string why = reader.time("created", kMicroDigits, &created, false); !why.empty()) return why;
    if (std::string why = reader.time("modified", kMicroDigits, &modified, false); !why.empty()) return why;
    entry->created = *created;
    entry->modified = *modified;
    if (std::string why = reader.time("file_time", kNanoDigits, &entry->file_time, true); !why.empty()) return why;
    auto mode = line.find("file_mode");
    if (mode != line.end() && !mode->is_null()) {
        std::optional<uint32_t> bits = mode->is_string() ? parse_mode(mode->get<std::string>()) : std::nullopt;
        if (!bits) return "\"file_mode\" is not permission bits in octal (like 0644)";
        entry->file_mode = bits;
    }
    if ((entry->file_time || entry->file_mode) && !entry->written_with)
        return "a file time or mode without \"written_with\"";
    return {};
}

}  // namespace

int64_t ManifestEntry::member_time() const {
    if (file_time) return *file_time;
    // An entry's time past what nanoseconds hold (the year 2262; a catalog
    // or a manifest may hold any up to 9999) is dated the last time they do.
    int64_t nanoseconds = 0;
    if (__builtin_mul_overflow(modified, int64_t{1000}, &nanoseconds)) return modified < 0 ? INT64_MIN : INT64_MAX;
    return nanoseconds;
}

uint32_t ManifestEntry::member_mode() const { return file_mode ? *file_mode : kDefaultMode; }

std::string entry_file_name(std::string_view name, std::string_view type) {
    return lower(name) + "." + lower(type);
}

std::string unexportable_name(std::string_view name, std::string_view type) {
    try {
        std::string context = shown(std::string(name) + "." + std::string(type));
        require_name_part(name, NamePart::kEntry, NameUse::kWrite, context);
        require_name_part(type, NamePart::kType, NameUse::kWrite, context);
    } catch (const Problem &problem) {
        return problem.what();
    }
    return {};
}

std::string manifest_text(const Manifest &manifest) {
    Json document = Json::object();
    document["format"] = kManifestFormat;
    document["version"] = kManifestVersion;
    Json entries = Json::array();
    for (const ManifestEntry &entry : manifest.entries) entries.push_back(entry_json(entry));
    document["entries"] = std::move(entries);
    return document.dump(2) + "\n";
}

Manifest parse_manifest(std::string_view text, std::string_view context) {
    std::string where = std::string(context) + ": " + kManifestFile;
    Json document = Json::parse(text.begin(), text.end(), nullptr, false);
    if (document.is_discarded()) throw Problem(where + " is not JSON");
    if (!document.is_object()) throw Problem(where + " is not a JSON object");
    auto format = document.find("format");
    if (format == document.end() || *format != kManifestFormat)
        throw Problem(where + " is not a zefcat export manifest (no \"format\": \"" + kManifestFormat + "\")");
    auto version = document.find("version");
    if (version == document.end() || !version->is_number_integer() || *version != kManifestVersion)
        throw Problem(where + " is of another version than " + std::to_string(kManifestVersion) +
                      ", which this zefcat reads");
    auto entries = document.find("entries");
    if (entries == document.end() || !entries->is_array()) throw Problem(where + " has no \"entries\" array");

    Manifest manifest;
    std::set<std::string> files;
    for (size_t i = 0; i < entries->size(); ++i) {
        ManifestEntry entry;
        entry.refused = read_line((*entries)[i], &entry);
        if (entry.file.empty()) entry.file = "entry " + std::to_string(i + 1);
        if (entry.refused.empty() && !files.insert(entry.file).second)
            entry.refused = "the manifest names " + entry.file + " more than once";
        manifest.entries.push_back(std::move(entry));
    }
    return manifest;
}

std::string iso_time(int64_t value, int digits) {
    int64_t unit = power_of_ten(digits);
    int64_t seconds = value / unit, fraction = value % unit;
    if (fraction < 0) {
        fraction += unit;
        --seconds;
    }
    std::time_t whole = static_cast<std::time_t>(seconds);
    std::tm parts{};
    gmtime_r(&whole, &parts);
    char text[64];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &parts);
    char tail[32];
    std::snprintf(tail, sizeof tail, ".%0*lldZ", digits, static_cast<long long>(fraction));
    return std::string(text) + tail;
}

std::optional<int64_t> parse_iso_time(std::string_view text, int digits) {
    // YYYY-MM-DDTHH:MM:SS, then an optional fraction of up to `digits`, then Z.
    constexpr std::string_view kShape = "dddd-dd-ddTdd:dd:dd";
    if (text.size() < kShape.size() + 1 || text.back() != 'Z') return std::nullopt;
    for (size_t i = 0; i < kShape.size(); ++i) {
        bool digit = std::isdigit(static_cast<unsigned char>(text[i])) != 0;
        if (kShape[i] == 'd' ? !digit : text[i] != kShape[i]) return std::nullopt;
    }
    auto number = [&](size_t at, size_t length) {
        int value = 0;
        for (size_t i = at; i < at + length; ++i) value = value * 10 + (text[i] - '0');
        return value;
    };
    std::tm parts{};
    parts.tm_year = number(0, 4) - 1900;
    parts.tm_mon = number(5, 2) - 1;
    parts.tm_mday = number(8, 2);
    parts.tm_hour = number(11, 2);
    parts.tm_min = number(14, 2);
    parts.tm_sec = number(17, 2);
    if (parts.tm_mon > 11 || parts.tm_mday < 1 || parts.tm_mday > 31 || parts.tm_hour > 23 || parts.tm_min > 59 ||
        parts.tm_sec > 59)
        return std::nullopt;
    std::tm checked = parts;
    std::time_t seconds = timegm(&checked);
    if (checked.tm_mday != parts.tm_mday) return std::nullopt;  // the 31st of a shorter month
    // Times that do not fit the unit (nanoseconds reach the year 2262).
    int64_t unit = power_of_ten(digits);
    if (seconds > INT64_MAX / unit - 1 || seconds < INT64_MIN / unit + 1) return std::nullopt;
    std::string_view rest = text.substr(kShape.size(), text.size() - kShape.size() - 1);
    int64_t fraction = 0;
    if (!rest.empty()) {
        if (rest.front() != '.' || rest.size() < 2 || rest.size() - 1 > static_cast<size_t>(digits))
            return std::nullopt;
        int places = 0;
        for (char c : rest.substr(1)) {
            if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
            fraction = fraction * 10 + (c - '0');
            ++places;
        }
        fraction *= power_of_ten(digits - places);
    }
    return static_cast<int64_t>(seconds) * unit + fraction;
}

}  // namespace zefcat
