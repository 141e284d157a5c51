#include "listing.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <nlohmann/json.hpp>
#include <ostream>

namespace zefcat {

namespace {

// Tabs and line ends inside a value would break a line of tabs.
std::string one_line(std::string text) {
    std::replace_if(text.begin(), text.end(), [](char c) { return c == '\t' || c == '\n' || c == '\r'; }, ' ');
    return text;
}

std::string formatted(int64_t microseconds, const char *pattern, bool utc) {
    std::time_t seconds = static_cast<std::time_t>(microseconds / 1000000);
    std::tm parts{};
    if (utc)
        gmtime_r(&seconds, &parts);
    else
        localtime_r(&seconds, &parts);
    char text[64];
    std::strftime(text, sizeof text, pattern, &parts);
    return text;
}

}  // namespace

// A terminal must not act on what a name or a description holds: control
// characters are shown as \t, \n, \r or \xNN.
std::string escaped_controls(const std::string &text) {
    std::string result;
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7F) {
            result += c;
        } else if (c == '\t') {
            result += "\\t";
        } else if (c == '\n') {
            result += "\\n";
        } else if (c == '\r') {
            result += "\\r";
        } else {
            char code[8];
            std::snprintf(code, sizeof code, "\\x%02X", byte);
            result += code;
        }
    }
    return result;
}

std::string local_minute(int64_t microseconds) { return formatted(microseconds, "%Y-%m-%d %H:%M", false); }
std::string utc_second(int64_t microseconds) { return formatted(microseconds, "%Y-%m-%dT%H:%M:%SZ", true); }

void Listing::print(std::ostream &out, ListFormat format) const {
    if (format == ListFormat::kAutomatic)
        format = isatty(STDOUT_FILENO) == 1 ? ListFormat::kTable : ListFormat::kTabs;

    if (format == ListFormat::kJson) {
        nlohmann::ordered_json array = nlohmann::ordered_json::array();
        for (const auto &row : rows_) {
            nlohmann::ordered_json object = nlohmann::ordered_json::object();
            for (size_t i = 0; i < columns_.size(); ++i) {
                const ListCell &cell = row[i];
                if (columns_[i].number)
                    object[columns_[i].key] = cell.number ? nlohmann::ordered_json(*cell.number) : nullptr;
                else if (cell.absent)
                    object[columns_[i].key] = nullptr;
                else
                    object[columns_[i].key] = cell.text;
            }
            array.push_back(std::move(object));
        }
        // Texts are bytes as stored; ones that are not UTF-8 are mended, not refused.
        out << array.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
        return;
    }

    // Tabs and the table show the columns before the first JSON-only one.
    size_t shown = 0;
    while (shown < columns_.size() && !columns_[shown].json_only) ++shown;

    if (format == ListFormat::kTabs) {
        for (const auto &row : rows_) {
            for (size_t i = 0; i < shown; ++i)
                out << (i ? "\t" : "") << one_line(row[i].text);
            out << '\n';
        }
        return;
    }

    std::vector<size_t> widths(shown);
    for (size_t i = 0; i < shown; ++i) {
        widths[i] = columns_[i].heading.size();
        for (const auto &row : rows_) widths[i] = std::max(widths[i], escaped_controls(row[i].text).size());
    }
    auto line = [&](const std::vector<std::string> &texts) {
        std::string text;
        for (size_t i = 0; i < shown; ++i) {
            bool last = i + 1 == shown;
            std::string padding(widths[i] - texts[i].size(), ' ');
            if (i) text += "  ";
            text += columns_[i].number ? padding + texts[i] : last ? texts[i] : texts[i] + padding;
        }
        text.erase(text.find_last_not_of(' ') + 1);
        out << text << '\n';
    };
    std::vector<std::string> headings;
    for (const ListColumn &column : columns_) headings.push_back(column.heading);
    line(headings);
    for (const auto &row : rows_) {
        std::vector<std::string> texts;
        for (const ListCell &cell : row) texts.push_back(escaped_controls(cell.text));
        line(texts);
    }
}

}  // namespace zefcat
