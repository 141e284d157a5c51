// A listing printed the way a person or a program wants it: an aligned
// table with a heading on a terminal, tab-separated lines without one when
// standard output is a pipe or a file, or a JSON array of objects.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zefcat {

enum class ListFormat { kAutomatic, kTable, kTabs, kJson };

struct ListColumn {
    std::string heading;  // the table's heading
    std::string key;      // the JSON key
    bool number = false;  // right-aligned in the table; a JSON number
    bool json_only = false;  // shown only in JSON (so that tab-separated fields stay as they were)
};

// One value: its text, and for a number column the number (none: JSON null).
struct ListCell {
    ListCell(std::string text) : text(std::move(text)) {}
    ListCell(std::string text, std::optional<int64_t> number) : text(std::move(text)), number(number) {}
    ListCell(const char *text) : text(text) {}
    // No value: empty text, JSON null.
    static ListCell none() {
        ListCell cell("");
        cell.absent = true;
        return cell;
    }
    std::string text;
    std::optional<int64_t> number;
    bool absent = false;
};

class Listing {
public:
    explicit Listing(std::vector<ListColumn> columns) : columns_(std::move(columns)) {}
    void add(std::vector<ListCell> row) { rows_.push_back(std::move(row)); }
    size_t size() const { return rows_.size(); }
    // kAutomatic: a table when standard output is a terminal, else tabs.
    void print(std::ostream &out, ListFormat format) const;

private:
    std::vector<ListColumn> columns_;
    std::vector<std::vector<ListCell>> rows_;
};

// `text` with its control characters shown as \t, \n, \r or \xNN, so that
// a terminal never acts on what a name or a description holds.
std::string escaped_controls(const std::string &text);

// A time in microseconds since the epoch: "2024-05-01 14:03" in local
// time for a table, "2024-05-01T12:03:09Z" for tabs and JSON.
std::string local_minute(int64_t microseconds);
std::string utc_second(int64_t microseconds);

}  // namespace zefcat
