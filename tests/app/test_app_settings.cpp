#include <gtest/gtest.h>

#include <cstdlib>

#include "app/app_settings.h"

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
         "p;w=", "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=a.mdb;Password=p;w="},
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
