// The connection texts a person gives a database library, and how messages
// show them: the forms libpq takes, the parts shown (never a password), and
// texts that are no connection at all.
#include <string>

#include "support.h"
#include "support/postgres_cluster.h"
#include "zefhost/catalog/catalog_error.h"

namespace cattest {
namespace {

using zefhost::catalog::CatalogError;

struct Text {
    const char *name;
    // {dir}, {port} and {db} stand for the test database's.
    const char *connection;
    // How catalog_place shows it; "" when it is refused.
    const char *shown;
    int32_t open_status;  // of opening WORK.C for writing through it
};

std::string row_name(const ::testing::TestParamInfo<Text> &info) { return info.param.name; }

class ConnectionText : public CatalogTest, public ::testing::WithParamInterface<Text> {
protected:
    ConnectionText() : CatalogTest(StoreKind::database) {}

    std::string filled(std::string text) const {
        zeftest::PostgresCluster &cluster = zeftest::PostgresCluster::shared();
        std::string db = database->sql("SELECT current_database()");
        auto put = [&](const std::string &mark, const std::string &value) {
            for (size_t at; (at = text.find(mark)) != std::string::npos;) text.replace(at, mark.size(), value);
        };
        put("{dir}", cluster.socket_dir().string());
        put("{port}", std::to_string(cluster.port()));
        put("{db}", db);
        return text;
    }
};

TEST_P(ConnectionText, IsTakenOrRefusedAndShownWithoutSecrets) {
    const Text &row = GetParam();
    std::string connection = filled(row.connection);
    services.deassign_library("work");
    EXPECT_EQ(zefhost::catalog::names_database(connection), std::string_view(row.connection).starts_with("postgres"));
    if (!*row.shown) {
        try {
            services.assign_database_library("work", connection);
            ADD_FAILURE() << "assigned";
        } catch (const CatalogError &e) {
            EXPECT_EQ(e.status(), zef::kCatalogLibraryNotAssigned);
            EXPECT_EQ(std::string(e.what()).find("secret"), std::string::npos) << e.what();
        }
        return;
    }
    services.assign_database_library("work", connection);
    std::string place = services.catalog_place("work", "c");
    EXPECT_EQ(place, filled(row.shown) + " (schema work) catalog WORK.C");
    EXPECT_EQ(place.find("secret"), std::string::npos);
    EXPECT_THROW(services.catalog_file("work", "c"), CatalogError) << "a database keeps no files";
    EXPECT_EQ(services.library_directory("work"), std::nullopt);

    void *cat = nullptr;
    EXPECT_EQ(open_catalog("work", "c", zef::kLibraryWrite, &cat), row.open_status) << services.last_error();
    if (row.open_status == 0) {
        EXPECT_EQ(close_catalog(cat), 0);
        EXPECT_EQ(database->sql("SELECT name FROM catalogs"), "C");
    } else {
        EXPECT_NE(services.last_error().find("cannot connect"), std::string::npos) << services.last_error();
        EXPECT_EQ(services.last_error().find("secret"), std::string::npos) << services.last_error();
    }
}

constexpr int32_t kIo = zef::kCatalogIoFailure;

INSTANTIATE_TEST_SUITE_P(
    Database, ConnectionText,
    ::testing::Values(
        Text{"Uri", "postgresql:///{db}?host={dir}&port={port}&user=zef", "postgresql://zef@:{port}/{db}?host={dir}", 0},
        Text{"ShortScheme", "postgres:///{db}?host={dir}&port={port}&user=zef&password=secret",
             "postgresql://zef@:{port}/{db}?host={dir}", 0},
        Text{"KeywordString", "postgresql:host={dir} port={port} user=zef dbname={db} password=secret",
             "postgresql://zef@:{port}/{db}?host={dir}", 0},
        Text{"NetworkAddress", "postgresql:hostaddr=127.0.0.1 port=1 dbname=d user=u password=secret",
             "postgresql://u@127.0.0.1:1/d", kIo},
        Text{"NameAndAddress", "postgresql:host=localhost hostaddr=127.0.0.1 port=1 dbname=d connect_timeout=5",
             "postgresql://localhost:1/d", kIo},
        Text{"OnlyADatabase", "postgresql:host=127.0.0.1 port=1 dbname=d", "postgresql://127.0.0.1:1/d", kIo},
        Text{"NoScheme", "host={dir} dbname={db} password=secret", "", 0},
        Text{"OtherScheme", "mysql://u:secret@h/d", "", 0},
        Text{"NoValue", "postgresql:host password=secret", "", 0},
        Text{"UnknownKeyword", "postgresql:colour=blue password=secret", "", 0},
        Text{"BadUri", "postgresql://u:secret@[::1/d", "", 0}),
    row_name);

// A library name that is not only letters is its schema's name in lower case.
class DatabaseLibraryName : public CatalogTest {
protected:
    DatabaseLibraryName() : CatalogTest(StoreKind::database) {}
};

TEST_F(DatabaseLibraryName, WithDigitsAndUnderscoresNamesItsSchema) {
    services.assign_database_library("w_1", database->uri());
    write_entry("w_1", "c", "a", "DATA", numbered_blocks("a", 5));
    EXPECT_EQ(database->sql("SELECT count(*) FROM w_1.entries"), "1");
    EXPECT_EQ(database->sql("SELECT count(*) FROM pg_namespace WHERE nspname = 'w_1'"), "1");
}

}  // namespace
}  // namespace cattest
