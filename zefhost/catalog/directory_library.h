// A library kept in a directory: each catalog one SQLite file in it
// ("<name>.zcat", lower case), with the companions SQLite and the writers'
// locks keep beside it while it is in use, and the library's settings in
// "zef-library.conf" (lines of "key = value").
#pragma once

#include <filesystem>

#include "library_store.h"

namespace zefhost::catalog {

class DirectoryLibrary final : public LibraryStore {
public:
    DirectoryLibrary(std::string name, std::filesystem::path directory, bool read_only)
        : LibraryStore(std::move(name), read_only), directory_(std::move(directory)) {}

    const std::filesystem::path &directory() const { return directory_; }
    std::filesystem::path file(const std::string &catalog) const;
    std::filesystem::path settings_file() const { return directory_ / "zef-library.conf"; }

    std::string location() const override { return directory_.string(); }
    std::string catalog_place(const std::string &catalog) const override { return file(catalog).string(); }
    std::shared_ptr<Store> open(const std::string &catalog, bool writing, int busy_timeout_ms,
                                bool &created) override;
    bool exists(const std::string &catalog) override;
    std::string catalog_identity(const std::string &catalog) override;
    void remove_if_empty(const std::string &catalog) noexcept override;
    std::vector<CatalogSummary> catalogs() override;
    Removal remove_catalog(const std::string &catalog, bool with_entries, bool dry_run, int busy_timeout_ms) override;
    LibrarySettings settings() override;
    void save_settings(const LibrarySettings &settings) override;
    Compaction vacuum(const std::string &catalog, int busy_timeout_ms) override;

private:
    std::filesystem::path directory_;
};

}  // namespace zefhost::catalog
