#pragma once

#include <gtest/gtest.h>

#include <string>

#include "services/db/catalog.h"
#include "services/db/connection.h"
#include "support/test_support.h"

namespace quorix::test {

/// A new, empty database file in a fresh folder, with the catalog bound to an open
/// connection on it. Header only: a test that includes it links the database service.
class DatabaseFixture : public ::testing::Test {
protected:
    void SetUp() override {
        path = dir.file("test.mdb");
        catalog.create("Provider=Microsoft.Jet.OLEDB.3.51;Data Source=" + path);
        connection.setConnectionString("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + path);
        connection.open();
        catalog.setActiveConnection(&connection);
    }

    TempDir dir;
    std::string path;
    Connection connection;
    Catalog catalog;
};

}  // namespace quorix::test
