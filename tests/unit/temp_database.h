// A test fixture with a library database in a fresh temporary folder.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "library/connection.h"
#include "temp_folder.h"

namespace vellum {

// How long a test waits for an outcome that normally comes at once: long
// enough for a loaded CI machine, never a budget the code has to meet.
inline constexpr std::chrono::seconds kGenerousWait{30};

class TempDatabaseTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(folder_.path().empty());
        ASSERT_TRUE(connection_.Open(DatabasePath()));
    }
    void TearDown() override { connection_.Close(); }

    LibraryConnection& connection() { return connection_; }
    // Closes the connection (landing what waits, stopping its helper thread)
    // and opens it again.
    void Reconnect() {
        connection_.Close();
        ASSERT_TRUE(connection_.Open(DatabasePath()));
    }
    std::string DatabasePath() const { return folder_.path() + "/vellumdb.db"; }
    const std::string& folder() const { return folder_.path(); }

    void Exec(const std::string& sql) {
        ASSERT_EQ(sqlite3_exec(connection_.Handle(), sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sql;
    }

    // The first column of the first row, as text ("" for no row or NULL).
    std::string Scalar(const std::string& sql) {
        Statement statement(connection_.Handle(), sql.c_str());
        if (statement.Get() == nullptr || sqlite3_step(statement.Get()) != SQLITE_ROW) return "";
        const unsigned char* text = sqlite3_column_text(statement.Get(), 0);
        return text != nullptr ? reinterpret_cast<const char*>(text) : "";
    }

    // The query's values as another connection sees them (committed rows
    // only), one per row, joined by ";".
    std::string Committed(const std::string& sql) {
        sqlite3* other = nullptr;
        sqlite3_open(DatabasePath().c_str(), &other);
        sqlite3_busy_timeout(other, 5000);
        std::string values;
        sqlite3_exec(
            other, sql.c_str(),
            [](void* out, int, char** row, char**) {
                std::string& text = *static_cast<std::string*>(out);
                if (!text.empty()) text += ";";
                text += row[0] != nullptr ? row[0] : "NULL";
                return 0;
            },
            &values, nullptr);
        sqlite3_close(other);
        return values;
    }

    // Starts again on a database whose `list` was created by another tool.
    void Reopen(const std::string& foreignSchema) {
        connection_.Close();
        std::filesystem::remove(DatabasePath());
        sqlite3* other = nullptr;
        ASSERT_EQ(sqlite3_open(DatabasePath().c_str(), &other), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(other, foreignSchema.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(other);
        ASSERT_TRUE(connection_.Open(DatabasePath()));
    }

private:
    TempFolder folder_;
    LibraryConnection connection_;
};

}  // namespace vellum
