#pragma once

#include <string>

namespace quorix {

/// The settings of the main window. Other windows read and write them only through the
/// accessors, which neither validate nor trim.
class AppSettings {
public:
    void putDBType(const std::string& v) { DBType = v; }
    const std::string& getDBType() const { return DBType; }
    void putDSN(const std::string& v) { DSN = v; }
    const std::string& getDSN() const { return DSN; }
    void putUser(const std::string& v) { User = v; }
    const std::string& getUser() const { return User; }
    void putPassword(const std::string& v) { Password = v; }
    const std::string& getPassword() const { return Password; }
    void putRowset(const std::string& v) { Rowset = v; }
    const std::string& getRowset() const { return Rowset; }
    void putRow(const std::string& v) { Row = v; }
    const std::string& getRow() const { return Row; }
    /// Whether the attributes of a document's elements become lines ("属性も列にする").
    void putAttributes(bool v) { Attributes = v; }
    bool getAttributes() const { return Attributes; }
    /// What a load does with rows whose key is there already: "insert", "skip", "update",
    /// "replace" ("取り込み方法").
    void putLoadMode(const std::string& v) { LoadMode = v; }
    const std::string& getLoadMode() const { return LoadMode; }
    /// Whether each load notes its documents in the database ("取り込んだ文書を記録する").
    void putRemember(bool v) { Remember = v; }
    bool getRemember() const { return Remember; }
    void putDlgFlg(bool v) { DlgFlg = v; }
    bool getDlgFlg() const { return DlgFlg; }
    void putConnStatus(bool v) { ConnStatus = v; }
    bool getConnStatus() const { return ConnStatus; }

    /// Start-up values: "access", the default data source, no user or password,
    /// "ROWSET" and "ROW".
    void setDefaults();

private:
    std::string DBType;
    std::string DSN;
    std::string User;
    std::string Password;
    std::string Rowset;
    std::string Row;
    bool Attributes = false;
    std::string LoadMode = "insert";
    bool Remember = false;
    bool DlgFlg = false;
    bool ConnStatus = false;
};

/// The default data source: Book.mdb in the user's home folder, as an absolute path.
std::string defaultDataSource();

/// The provider name for a database type key; empty for "oracle" and unknown keys.
std::string providerFor(const std::string& dbType);

/// "Provider=...;Data Source=..." with ";User ID=" and ";Password=" when not empty, each
/// value quoted where it must be so that it reaches the engine as it was given.
std::string buildConnectionString(const AppSettings& settings);

}  // namespace quorix
