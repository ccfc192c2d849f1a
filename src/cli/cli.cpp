#include "cli/cli.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <ostream>
#include <sstream>

#include "app/app_settings.h"
#include "definition_file/definition_file.h"
#include "generation/column_types.h"
#include "generation/table_creation.h"
#include "generation/table_layout.h"
#include "generation/type_proposal.h"
#include "exporting/table_export.h"
#include "generation/type_translation.h"
#include "loading/document_loader.h"
#include "loading/key_links.h"
#include "services/db/catalog.h"
#include "services/db/connection.h"
#include "services/text/text.h"
#include "xml_analysis/xml_loading.h"

namespace quorix {

namespace {

const char kIndentUnit[] = "･･";

// A password file holds one line; anything larger is not one.
constexpr std::size_t kPasswordFileLimit = 4096;

const char kUsage[] =
    "使い方:\n"
    "  quorix-cli analyse DOC.xml [--rowset TAG] [--row TAG] [--db-type KEY] [-o FILE.qxd]\n"
    "                    [--propose] [--evidence] [--link-keys] [--attributes] [--name-tables]\n"
    "      XML文書から列の定義を作り、定義ファイルとして書き出します（-o がなければ標準出力）。\n"
    "      --propose: データから提案した型と桁数を書きます。\n"
    "      --evidence: 定義の代わりに、各行のデータの傾向をタブ区切りで表示します。\n"
    "      --link-keys: 入れ子の表がどれも親の表のキーで始まるよう、まとめるだけの要素の行を\n"
    "                   「×」にして、その下の最初の行のキーを「親」にします。入れ子の表を持つ\n"
    "                   表には、先頭に自動番号の列を作ります。\n"
    "      --attributes: 要素の属性も、その要素の下の「@名前」の行にして列にします。\n"
    "      --name-tables: 名前のない表に、その行の要素の名前を表名として付けます。\n"
    "  quorix-cli sql FILE.qxd [--db-type KEY]\n"
    "      定義から作成されるSQLを表示します。\n"
    "  quorix-cli create FILE.qxd --data-source SRC [--db-type KEY] [--user U] "
    "[--password-file F]\n"
    "                    [--new-database]\n"
    "      定義の表を一つのトランザクションで作成します。\n"
    "      --new-database: データベース（SQLiteのファイルまたはサーバーのデータベース）を\n"
    "                      新しく作ってから作成します。既にあれば何も変えずに止まります。\n"
    "  quorix-cli load FILE.qxd DOC.xml... --data-source SRC [--db-type KEY] [--create] [--user "
    "U]\n"
    "                    [--password-file F] [--reject FILE] [--new-database]\n"
    "                    [--mode insert|skip|update|replace] [--summary] [--add-columns]\n"
    "                    [--remember]\n"
    "      XML文書の行を定義の表に一つのトランザクションで取り込みます（--create: 表も作成）。\n"
    "      文書はいくつでも、並べた順に取り込みます。フォルダーはその中の *.xml と *.xml.gz\n"
    "      を名前の順に、「-」は標準入力を読みます。gzip で圧縮された文書もそのまま読めます。\n"
    "      --reject: エラーのある行は飛ばして、位置・表・列・値・理由をFILEに書きます。\n"
    "      --mode: 表に同じキーの行が既にあるとき: insert 止める（既定）、skip その行と入れ子の\n"
    "              行を飛ばす、update 値を更新して入れ子の行を文書のものに置き換える、\n"
    "              replace 表の中身を文書の行に入れ替える。\n"
    "      --add-columns: 表にない列の行は、その表に列として加えます（値のない行は NULL）。\n"
    "                     取り込みと同じトランザクションで加えるので、失敗すれば加えません\n"
    "                     （MariaDB / MySQL では加えられません）。\n"
    "      --remember: 取り込んだ文書を表 quorix_loaded_documents に記録し、同じ内容の文書を\n"
    "                  同じ表に前にも取り込んでいればそう伝えます（エラーにはしません）。\n"
    "      --summary: 表ごとの件数を「表名 タブ 追加 タブ 更新 タブ 飛ばし タブ 削除」の行で\n"
    "                 標準出力に書きます（報告は標準エラーに）。\n"
    "  quorix-cli export FILE.qxd --data-source SRC [--db-type KEY] [-o FILE.xml] [--table "
    "NAME]\n"
    "                    [--user U] [--password-file F]\n"
    "      定義の表の行を、定義の形の一つのXML文書に書き出します（-o がなければ標準出力）。\n"
    "      入れ子の表の行は、キーで結ばれた親の行の中に書きます。読み直せば同じ値になります。\n"
    "      --table: その表だけを、列ごとの要素で平らに書き出します。\n"
    "  quorix-cli --version\n"
    "  KEY: sqlite または access（既定。SQLiteのファイル）、postgresql または postgres、\n"
    "       mysql または mariadb（MariaDB / MySQL）、ole3.51、sqlserver（analyse の型の名前だけ）\n"
    "終了コード: 0 成功、1 中止または失敗（何も作成されません）、2 引数の誤り\n";

// Collects what a command would show in the status line.
class StreamPort : public UserPort {
public:
    void setStatus(const std::string& text) override { m_status = text; }
    std::string status() const override { return m_status; }
    void beep() override {}
    bool askYesNo(const std::string&, const std::string&, MessageIcon) override { return false; }
    void showMessage(const std::string&, const std::string&, MessageIcon) override {}
    std::optional<std::string> chooseFile(const FileDialogRequest&) override { return {}; }

private:
    std::string m_status;
};

// Status texts use CR LF between lines; a terminal wants LF.
std::string lines(std::string text) {
    std::string out;
    for (char c : text)
        if (c != '\r') out += c;
    return out;
}

// How many single-character edits turn @p a into @p b.
std::size_t editDistance(const std::string& a, const std::string& b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// " 「x」のことですか？" for the nearest of @p names, when one is near enough to be meant.
std::string didYouMean(const std::string& given, const std::vector<std::string>& names) {
    std::string best;
    std::size_t distance = 3;
    for (const std::string& n : names)
        if (const std::size_t d = editDistance(given, n); d < distance) {
            distance = d;
            best = n;
        }
    return best.empty() ? "" : "「" + best + "」のことですか？";
}

struct Arguments {
    std::string command;
    std::string file;
    std::vector<std::string> documents;  // of "load", in the order given
    std::map<std::string, std::string> options;
};

// Parses "command FILE [--option value]..."; nullopt with a message on a mistake.
std::optional<Arguments> parse(const std::vector<std::string>& args,
                               const std::vector<std::string>& allowed, std::ostream& err) {
    Arguments a;
    a.command = args.at(0);
    // Every command's options, to tell an option of another command from one that is none.
    static const std::vector<std::string> everyOption = {
        "--rowset", "--row", "--db-type", "-o", "--evidence", "--propose", "--link-keys",
        "--attributes", "--name-tables", "--data-source", "--user", "--password-file",
        "--new-database", "--create", "--reject", "--mode", "--summary", "--add-columns",
        "--remember", "--table"};
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.size() > 1 && arg[0] == '-') {  // "-" alone is standard input
            if (std::find(allowed.begin(), allowed.end(), arg) == allowed.end()) {
                if (std::find(everyOption.begin(), everyOption.end(), arg) != everyOption.end())
                    err << "quorix-cli: オプション「" << displayText(arg) << "」は「" << a.command
                        << "」では使用できません。\n";
                else
                    err << "quorix-cli: オプション「" << displayText(arg) << "」はありません。"
                        << didYouMean(arg, allowed) << "--help で使い方を表示します。\n";
                return std::nullopt;
            }
            if (arg == "--evidence" || arg == "--propose" || arg == "--create" ||
                arg == "--new-database" || arg == "--link-keys" || arg == "--attributes" ||
                arg == "--name-tables" || arg == "--summary" || arg == "--add-columns" ||
                arg == "--remember") {
                a.options[arg] = "yes";  // a switch without a value
                continue;
            }
            if (i + 1 >= args.size()) {
                err << "quorix-cli: オプション「" << arg << "」に値がありません。\n";
                return std::nullopt;
            }
            a.options[arg] = args[++i];
        } else if (a.file.empty()) {
            a.file = arg;
        } else if (a.command == "load") {
            a.documents.push_back(arg);
        } else {
            err << "quorix-cli: 余分な引数「" << displayText(arg) << "」があります。\n";
            return std::nullopt;
        }
    }
    if (a.file.empty() || (a.command == "load" && a.documents.empty())) {
        err << "quorix-cli: 「" << a.command << "」にはファイルを指定してください。\n";
        return std::nullopt;
    }
    // A file named that is not there is a mistake in the arguments, found before any work.
    std::vector<std::string> inputs = a.documents;
    inputs.insert(inputs.begin(), a.file);
    for (const std::string& f : inputs) {
        std::error_code ec;
        if (f != "-" && !std::filesystem::exists(f, ec)) {
            err << "quorix-cli: ファイル「" << displayText(f) << "」がありません。\n";
            return std::nullopt;
        }
    }
    return a;
}

std::string option(const Arguments& a, const std::string& name, const std::string& fallback) {
    const auto it = a.options.find(name);
    return it == a.options.end() ? fallback : it->second;
}

// The database type asked for, by the key files keep: the names the window shows are taken too
// ("sqlite" for "access", "postgres", "mariadb").
std::string dbTypeOption(const Arguments& a, const std::string& fallback) {
    const std::string key = option(a, "--db-type", fallback);
    if (key == "sqlite") return "access";
    if (key == "postgres") return "postgresql";
    if (key == "mariadb") return "mysql";
    return key;
}

bool knownDbType(const std::string& key, std::ostream& err) {
    if (!providerFor(key).empty() && !typeNamesFor(key).empty()) return true;
    err << "quorix-cli: データベースタイプ「" << displayText(key)
        << "」はサポートされていません。使えるのは sqlite（access）、postgresql（postgres）、"
           "mysql（mariadb）、ole3.51、sqlserver（analyse の型の名前だけ）です。\n";
    return false;
}


int analyse(const Arguments& a, std::ostream& out, std::ostream& err) {
    DefinitionContext context;
    context.rowset = option(a, "--rowset", context.rowset);
    context.row = option(a, "--row", context.row);
    context.dbType = dbTypeOption(a, context.dbType);
    if (!knownDbType(context.dbType, err)) return 2;
    StreamPort port;
    const bool attributes = a.options.count("--attributes") > 0;
    std::size_t attributesLeft = 0;
    auto tmpl = ReadStructureTemplate(a.file, context.rowset, context.row, port, {}, true,
                                      attributes, &attributesLeft);
    if (!tmpl) {
        err << "quorix-cli: XML文書「" << displayText(a.file) << "」を読み込めません。"
            << lines(port.status()) << "\n";
        return 1;
    }
    // New lines get the type the window's chooser starts with.
    const auto names = typeNamesFor(context.dbType);
    const std::string chooser =
        names.at(static_cast<std::size_t>(initialTypeIndex(context.dbType)));
    std::unique_ptr<DefinitionTable> table;
    try {
        table = FillDefinitionTable(
            *tmpl, [&](const std::string& t) { return DBDatatype(context.dbType, t); }, kIndentUnit,
            chooser);
    } catch (const ServiceError& e) {
        err << "quorix-cli: XML文書を読み込めません。" << e.description() << "\n";
        return 1;
    }
    if (attributesLeft > 0)
        err << "quorix-cli: 注意: 列にしていない属性が " << attributesLeft
            << " 種類あります（--attributes で列にします）。\n";
    if (a.options.count("--propose")) {
        const ProposalCount proposed = applyProposals(*table, context.dbType, ProposalScope::All);
        if (!proposed.slashDateLines.empty()) err << "quorix-cli: " << proposalReport(proposed) << "\n";
    }
    if (a.options.count("--link-keys")) {
        const KeyLinkResult linked = linkNestedKeys(*table, context.dbType, kIndentUnit);
        err << "quorix-cli: " << keyLinkReport(linked) << "\n";
        for (const auto& why : linked.unlinked) err << "quorix-cli: " << why << "\n";
    }
    if (a.options.count("--name-tables")) nameTables(*table);
    std::string text;
    if (a.options.count("--evidence")) {
        for (const auto& row : evidenceTable(table->records())) {
            for (std::size_t c = 0; c < row.size(); ++c) text += (c ? "\t" : "") + row[c];
            text += "\n";
        }
    } else {
        text = formatDefinition(*table, context);
    }
    const auto target = a.options.find("-o");
    if (target == a.options.end()) {
        out << text;
        return 0;
    }
    const std::string error = writeFileAtomically(target->second, text);
    if (!error.empty()) {
        err << "quorix-cli: ファイル「" << displayText(target->second) << "」を保存できません。("
            << error << ")\n";
        return 1;
    }
    return 0;
}

// The definition of a file and its layout; nullopt after saying why.
std::optional<std::pair<DefinitionFile, std::unique_ptr<LayoutDocument>>> layoutOf(
    const Arguments& a, std::string& dbType, std::ostream& err, int& status) {
    auto loaded = loadDefinitionFile(a.file);
    if (auto* message = std::get_if<std::string>(&loaded)) {
        err << "quorix-cli: " << *message << "\n";
        status = 1;
        return std::nullopt;
    }
    DefinitionFile file = std::move(std::get<DefinitionFile>(loaded));
    dbType = dbTypeOption(a, file.context.dbType);
    if (!knownDbType(dbType, err)) {
        status = 2;
        return std::nullopt;
    }
    // The SQL Server vocabulary is for showing SQL only: its names are never put in.
    if (dbType != file.context.dbType && dbType != "sqlserver") {
        // Types of the file's engine move into the asked one; what cannot is named.
        const std::string report = translationReport(
            translateTypes(*file.table, file.context.dbType, dbType, true), dbType);
        if (!report.empty()) err << "quorix-cli: 注意: " << report << "\n";
    }
    LayoutResult layout = buildTableLayout(*file.table, dbType, kIndentUnit);
    if (layout.outcome != LayoutResult::Outcome::Done) {
        const int line = file.table->records().absolutePosition();
        err << "quorix-cli: " << lines(layout.message);
        if (line > 0) err << "（" << line << "行目の定義）";
        err << "\n";
        status = 1;
        return std::nullopt;
    }
    return std::make_pair(std::move(file), std::move(layout.layout));
}

int sql(const Arguments& a, std::ostream& out, std::ostream& err) {
    std::string dbType;
    int status = 0;
    if (dbTypeOption(a, "") == "sqlserver") {
        // Its type names can be chosen in a definition; no engine of ours makes its SQL.
        err << "quorix-cli: データベースタイプ「sqlserver」の SQL は表示できません（型の名前を"
               "選べるだけです）。\n";
        return 1;
    }
    auto made = layoutOf(a, dbType, err, status);
    if (!made) return status;
    const SqlScript script = layoutSql(*made->second, providerFor(dbType));
    if (!script.ok) {
        err << "quorix-cli: " << lines(script.text) << "\n";
        return 1;
    }
    out << script.text;
    return 0;
}

// Removes the database this run made, after a failure; says what became of it.
std::string removeMadeDatabase(const std::string& connectionString) {
    try {
        Catalog().dropDatabase(connectionString);
        return "新しく作成したデータベースも削除しました。";
    } catch (const ServiceError& e) {
        return "新しく作成したデータベースを削除できません。" + lines(e.description());
    }
}

// Opens the database that --data-source, --user and --password-file name; false (with
// @p status) after saying why.
bool openDatabase(const Arguments& a, const std::string& dbType, Connection& connection,
                  std::ostream& err, int& status, std::string* made = nullptr) {
    std::string password;
    if (const auto f = a.options.find("--password-file"); f != a.options.end()) {
        std::string reason;
        const auto text = readRegularFile(f->second, kPasswordFileLimit, reason);
        if (!text) {
            err << "quorix-cli: パスワードファイル「" << displayText(f->second)
                << "」を読み込めません。" << reason << "\n";
            status = 2;
            return false;
        }
        // The first line is the password.
        password = text->substr(0, text->find('\n'));
        if (!password.empty() && password.back() == '\r') password.pop_back();
    }
    AppSettings settings;
    settings.setDefaults();
    settings.putDBType(dbType);
    settings.putDSN(a.options.at("--data-source"));
    settings.putUser(option(a, "--user", ""));
    settings.putPassword(password);
    connection.setConnectionString(buildConnectionString(settings));
    if (a.options.count("--new-database")) {
        // As "新規作成" in the connection dialog, but never over an existing database.
        try {
            Catalog().create(buildConnectionString(settings));
            if (made) *made = buildConnectionString(settings);
        } catch (const ServiceError& e) {
            err << "quorix-cli: データベースを作成できません。" << lines(e.description()) << "\n";
            status = 1;
            return false;
        }
    }
    try {
        connection.open();
    } catch (const ServiceError& e) {
        err << "quorix-cli: データベースは開けません。" << lines(e.description()) << "\n";
        if (made && !made->empty()) err << "quorix-cli: " << removeMadeDatabase(*made) << "\n";
        status = 1;
        // A database file that is not there yet: say how one is made.
        std::error_code ec;
        if ((dbType == "access" || dbType == "ole3.51") && !a.options.count("--new-database") &&
            !std::filesystem::exists(a.options.at("--data-source"), ec)) {
            err << "quorix-cli: ファイル「" << displayText(a.options.at("--data-source"))
                << "」がありません。新しいデータベースは --new-database で作成します。\n";
            status = 2;
        }
        return false;
    }
    const std::string note = connection.run([](DatabaseSession& s) { return s.openingNote(); });
    if (!note.empty()) err << "quorix-cli: 注意: " << note << "\n";
    return true;
}

// A definition's layout and the database it goes to, opened.
struct Opened {
    DefinitionFile file;
    std::unique_ptr<LayoutDocument> layout;
    std::string dbType;
    Connection connection;
    Catalog catalog;
    std::string madeDatabase;  // the connection string of a database this run made
    // After a failure: a database this run made goes again; what became of it, or nothing.
    std::string undoMade() {
        if (madeDatabase.empty()) return {};
        catalog.setActiveConnection(nullptr);
        connection.close();
        return removeMadeDatabase(madeDatabase);
    }
};

// What create and load start from; null (with @p status) after saying why.
std::unique_ptr<Opened> openTarget(const Arguments& a, std::ostream& err, int& status) {
    if (!a.options.count("--data-source")) {
        err << "quorix-cli: 「" << a.command << "」には --data-source を指定してください。\n";
        status = 2;
        return nullptr;
    }
    auto opened = std::make_unique<Opened>();
    auto made = layoutOf(a, opened->dbType, err, status);
    if (!made) return nullptr;
    opened->file = std::move(made->first);
    opened->layout = std::move(made->second);
    if (!openDatabase(a, opened->dbType, opened->connection, err, status, &opened->madeDatabase))
        return nullptr;
    opened->catalog.setActiveConnection(&opened->connection);
    return opened;
}

int create(const Arguments& a, std::ostream& out, std::ostream& err) {
    int status = 0;
    auto target = openTarget(a, err, status);
    if (!target) return status;
    const CreationResult created =
        createLayoutTables(*target->layout, target->connection, target->catalog);
    if (!created.ok) {
        for (const auto& e : created.errors) err << "quorix-cli: " << lines(e) << "\n";
        err << "quorix-cli: " << creationFailureOutcome(created) << "\n";
        if (const std::string undone = target->undoMade(); !undone.empty())
            err << "quorix-cli: " << undone << "\n";
        return 1;
    }
    out << creationReport(created.createdTables, "\n") << "\n";
    return 0;
}

// The documents named, a folder as its documents (*.xml, *.xml.gz) in the order of their
// names; nullopt after saying why.
std::optional<std::vector<std::string>> documentsOf(const Arguments& a, std::ostream& err) {
    std::vector<std::string> documents;
    for (const std::string& d : a.documents) {
        std::error_code ec;
        if (d == "-" || !std::filesystem::is_directory(d, ec)) {
            documents.push_back(d);
            continue;
        }
        std::vector<std::string> inside;
        for (const auto& entry : std::filesystem::directory_iterator(d, ec)) {
            const std::string name = entry.path().filename().string();
            auto ends = [&](const std::string& tail) {
                return name.size() > tail.size() &&
                       name.compare(name.size() - tail.size(), tail.size(), tail) == 0;
            };
            if (entry.is_regular_file(ec) && (ends(".xml") || ends(".xml.gz")))
                inside.push_back(entry.path().string());
        }
        if (ec || inside.empty()) {
            err << "quorix-cli: フォルダー「" << displayText(d) << "」に XML 文書がありません。\n";
            return std::nullopt;
        }
        std::sort(inside.begin(), inside.end());
        documents.insert(documents.end(), inside.begin(), inside.end());
    }
    if (std::count(documents.begin(), documents.end(), "-") > 1) {
        err << "quorix-cli: 標準入力（-）は一度しか読めません。\n";
        return std::nullopt;
    }
    return documents;
}

int load(const Arguments& a, std::ostream& out, std::ostream& err) {
    const auto documents = documentsOf(a, err);
    if (!documents) return 2;
    int status = 0;
    auto target = openTarget(a, err, status);
    if (!target) return status;
    LoadRequest request;
    request.documentPath = documents->front();
    request.documents = *documents;
    request.rowset = target->file.context.rowset;
    request.row = target->file.context.row;
    request.dbType = target->dbType;
    request.createTables = a.options.count("--create") > 0;
    request.rejectPath = option(a, "--reject", "");
    request.addColumns = a.options.count("--add-columns") > 0;
    request.remember = a.options.count("--remember") > 0;
    if (const auto mode = parseLoadMode(option(a, "--mode", "insert")))
        request.mode = *mode;
    else {
        err << "quorix-cli: 取り込み方法「" << displayText(option(a, "--mode", ""))
            << "」はありません（insert、skip、update、replace のどれかです）。\n";
        return 2;
    }
    request.inputs = {a.file, option(a, "--data-source", "")};
    // How far the read is, on a terminal only.
    const bool terminal = &err == &std::cerr && isatty(STDERR_FILENO);
    int shown = -1;
    const XmlReadProgress progress = [&](std::uint64_t done, std::uint64_t total) {
        const int percent = total ? static_cast<int>(done * 100 / total) : 0;
        if (terminal && percent != shown) {
            shown = percent;
            err << "\rquorix-cli: 取り込み中 " << percent << "%" << std::flush;
        }
        return true;
    };
    const LoadResult loaded =
        loadDocument(*target->layout, request, target->connection, target->catalog, progress);
    if (shown >= 0) err << "\r\x1b[K" << std::flush;
    if (!loaded.ok) {
        err << "quorix-cli: " << lines(loaded.message) << "\n";
        // Only where the rows' outcome is known: an unknown one may have committed.
        if (!loaded.outcomeUnknown)
            if (const std::string undone = target->undoMade(); !undone.empty())
                err << "quorix-cli: " << undone << "\n";
        return 1;
    }
    const bool summary = a.options.count("--summary") > 0;
    (summary ? err : out) << loadReport(loaded) << "\n";
    if (loaded.documents.size() > 1)
        for (const DocumentCounts& d : loaded.documents)
            err << "quorix-cli: "
                << displayText(std::filesystem::path(d.document).filename().string()) << ": "
                << grouped(d.rows) << " 行\n";
    if (loaded.mode != LoadMode::Insert)
        for (const TableCounts& c : loaded.counts) err << "quorix-cli: " << tableReport(c) << "\n";
    if (summary) {
        out << "table\tinserted\tupdated\tskipped\tdeleted\n";
        for (const TableCounts& c : loaded.counts)
            out << c.table << '\t' << c.inserted << '\t' << c.updated << '\t' << c.skipped << '\t'
                << c.deleted << '\n';
    }
    return 0;
}

int exportDocument(const Arguments& a, std::ostream& out, std::ostream& err) {
    if (!a.options.count("--data-source")) {
        err << "quorix-cli: 「export」には --data-source を指定してください。\n";
        return 2;
    }
    std::string dbType;
    int status = 0;
    auto made = layoutOf(a, dbType, err, status);
    if (!made) return status;
    Connection connection;
    if (!openDatabase(a, dbType, connection, err, status)) return status;
    ExportRequest request;
    request.rowset = made->first.context.rowset;
    request.row = made->first.context.row;
    request.dbType = dbType;
    request.outputPath = option(a, "-o", "");
    request.table = option(a, "--table", "");
    const ExportResult result =
        exportTables(*made->second, request, connection, request.outputPath.empty() ? &out : nullptr);
    if (!result.ok) {
        err << "quorix-cli: " << lines(result.message) << "\n";
        return 1;
    }
    err << "quorix-cli: " << exportReport(result) << "\n";
    for (const auto& [table, rows] : result.rows)
        err << "quorix-cli: 表「" << table << "」: " << grouped(rows) << " 行\n";
    return 0;
}

}  // namespace

namespace {

int runCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty()) {
        err << kUsage;
        return 2;
    }
    const std::string& command = args[0];
    if (command == "--help" || command == "-h" || command == "help") {
        out << kUsage;
        return 0;
    }
    if (command == "--version") {
        out << "quorix-cli " << QUORIX_VERSION << "\n";
        return 0;
    }
    struct Command {
        std::vector<std::string> options;
        int (*run)(const Arguments&, std::ostream&, std::ostream&);
    };
    static const std::map<std::string, Command> commands = {
        {"analyse",
         {{"--rowset", "--row", "--db-type", "-o", "--evidence", "--propose", "--link-keys",
           "--attributes", "--name-tables"},
          analyse}},
        {"sql", {{"--db-type"}, sql}},
        {"create",
         {{"--data-source", "--db-type", "--user", "--password-file", "--new-database"}, create}},
        {"load",
         {{"--data-source", "--db-type", "--user", "--password-file", "--create", "--reject",
           "--new-database", "--mode", "--summary", "--add-columns", "--remember"},
          load}},
        {"export",
         {{"--data-source", "--db-type", "--user", "--password-file", "-o", "--table"},
          exportDocument}},
    };
    const auto it = commands.find(command);
    if (it == commands.end()) {
        std::vector<std::string> names;
        for (const auto& c : commands) names.push_back(c.first);
        err << "quorix-cli: コマンド「" << displayText(command) << "」はありません。"
            << didYouMean(command, names) << "--help で使い方を表示します。\n";
        return 2;
    }
    const auto parsed = parse(args, it->second.options, err);
    if (!parsed) return 2;
    return it->second.run(*parsed, out, err);
}

}  // namespace

int runCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const int status = runCommand(args, out, err);
    // What was not written is not done: a full disk behind standard output is a failure.
    if (!out.flush()) {
        err << "quorix-cli: 標準出力に書き込めません。出力は不完全です。\n";
        return 1;
    }
    return status;
}

}  // namespace quorix
