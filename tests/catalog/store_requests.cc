#include "store_requests.h"

namespace cattest {

int32_t write_blocks(std::string_view catalog, std::string_view name, int32_t mode, const std::vector<Block> &blocks) {
    void *cat = nullptr, *entry = nullptr;
    int32_t status = open_catalog("work", catalog, zef::kLibraryWrite, &cat);
    if (status != 0) return status;
    status = open_entry(cat, name, "DATA", mode, &entry);
    if (status == 0) {
        for (const Block &b : blocks)
            if ((status = write_block(entry, b)) != 0) break;
        int32_t closed = close_entry(entry);
        if (status == 0) status = closed;
    }
    int32_t closed = close_catalog(cat);
    return status != 0 ? status : closed;
}

int32_t run_request(zefhost::catalog::Services &s, Op op) {
    switch (op) {
    case Op::read:
        return read_entry("work", "c", "a", "DATA").status;
    case Op::write_new:
        return write_blocks("c", "n", zef::kMemberOutput, numbered_blocks("n", 3000));
    case Op::replace:
        return write_blocks("c", "a", zef::kMemberOutput, numbered_blocks("r", 3000));
    case Op::append:
        return write_blocks("c", "a", zef::kMemberAppend, numbered_blocks("p", 10));
    case Op::remove_entry: {
        void *cat = nullptr;
        int32_t status = open_catalog("work", "c", zef::kLibraryWrite, &cat);
        if (status != 0) return status;
        status = remove(cat, "a", "DATA");
        close_catalog(cat);
        return status;
    }
    case Op::new_catalog:
        return write_blocks("m", "n", zef::kMemberOutput, numbered_blocks("n", 10));
    case Op::remove_catalog:
        return status_of([&] { s.remove_catalog("work", "c", true); });
    case Op::vacuum:
        return status_of([&] { s.vacuum_catalog("work", "c"); });
    case Op::vacuum_library:
        return status_of([&] { s.vacuum_catalog("work", ""); });
    case Op::list_catalogs:
        return status_of([&] { s.list_catalogs("work"); });
    case Op::catalog_exists:
        return status_of([&] { s.catalog_exists("work", "c"); });
    case Op::check:
        return status_of([&] { s.check_catalog("work", "c"); });
    case Op::list_entries:
        return status_of([&] { s.list_entries("work", "c"); });
    case Op::scan_type:
    case Op::scan_all: {
        void *cat = nullptr, *scan = nullptr;
        int32_t status = open_catalog("work", "c", zef::kLibraryInput, &cat);
        if (status != 0) return status;
        status = status_of([&] { s.open_scan(cat, op == Op::scan_type ? "DATA    " : nullptr, &scan); });
        if (status == 0) s.close_scan(scan);
        close_catalog(cat);
        return status;
    }
    case Op::describe:
    case Op::find: {
        void *cat = nullptr;
        int32_t status = open_catalog("work", "c", zef::kLibraryInput, &cat);
        if (status != 0) return status;
        int64_t size = 0;
        status = op == Op::find ? cattest::find(cat, "a", "DATA") : cattest::describe(cat, "a", "DATA", &size);
        close_catalog(cat);
        return status;
    }
    }
    return -1;
}

}  // namespace cattest
