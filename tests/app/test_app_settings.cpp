#include <gtest/gtest.h>

#include <cstdlib>

#include "app/app_settings.h"
#include "services/db/engine/connection_info.h"

using namespace quorix;

TEST(AppSettings, StartUpDefaults) {
    setenv("HOME", "/home/someone/", 1);
    AppSettings s;
    s.setDefaults();
    EXPECT_EQ(s.getDBType(), "access");
    EXPECT_EQ(s.getDSN(), "/home/someone/Book.mdb");
    EXPECT_EQ(s.getUser(), "");
    EXPECT_EQ(s.getPassword(), "");
    EXPECT_EQ(s.getRowset(), "ROWSET");
    EXPECT_EQ(s.getRow(), "ROW");
}

TEST(AppSettings, ConnectionStrings) {
    struct Case {
        const char *type, *dsn, *user, *password, *expected;
    };
    const Case cases[] = {
        {"access", "C:\\Book.mdb", "", "",
         "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=C:\\Book.mdb"},
        {"ole3.51", "/d/a.mdb", "", "", "Provider=Microsoft.Jet.OLEDB.3.51;Data Source=/d/a.mdb"},
        {"sqlserver", "srv", "sa", "pw",
         "Provider=sqloledb;Data Source=srv;User ID=sa;Password=pw"},
        {"oracle", "x", "", "", "Provider=;Data Source=x"},
        {"other", "x", "", "", "Provider=;Data Source=x"},
        {"access", "a.mdb", "admin", "",
         "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=a.mdb;User ID=admin"},
        {"access", "a.mdb", "",
         "p;w=", "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=a.mdb;Password=\"p;w=\""},
        {"access", " a.mdb ", " ", "",
         "Provider=Microsoft.Jet.OLEDB.4.0;Data Source= a.mdb ;User ID= "},
    };
    for (const auto& c : cases) {
        AppSettings s;
        s.putDBType(c.type);
        s.putDSN(c.dsn);
        s.putUser(c.user);
        s.putPassword(c.password);
        EXPECT_EQ(buildConnectionString(s), c.expected);
    }
}

TEST(AppSettings, NoFieldCanRewriteAnother) {
    // Each field holding text that looks like another key (or a quote) reaches the engine as
    // it was given.
    const std::string tricky[] = {
        "secret;User ID=mallory",
        "secret;Data Source=x.db;Provider=Microsoft.Jet.OLEDB.4.0",
        "postgres;Password=zzz",
        "dbname='a;Password=b'",
        "\"quoted\";Provider=x",
        "'single';User ID=u",
        "a\"\"b;",
    };
    for (const auto& t : tricky) {
        for (int field = 0; field < 3; ++field) {
            SCOPED_TRACE(t + " in field " + std::to_string(field));
            AppSettings s;
            s.putDBType("postgresql");
            s.putDSN(field == 0 ? t : "host=db1");
            s.putUser(field == 1 ? t : "taro");
            s.putPassword(field == 2 ? t : "pw");
            const ConnectionInfo info = parseConnectionString(buildConnectionString(s));
            EXPECT_EQ(info.provider, "PostgreSQL");
            EXPECT_EQ(info.dataSource, s.getDSN());
            EXPECT_EQ(info.user, s.getUser());
            EXPECT_EQ(info.password, s.getPassword());
        }
    }
}
