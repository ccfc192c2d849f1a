#include "definition_file/definition_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <sstream>
#include <vector>

#include "services/db/engine/data_type.h"
#include "services/db/engine/service_error.h"
#include "services/text/text.h"

namespace quorix {

namespace {

const char kMagic[] = "#quorix-definition";
const char kNull[] = "\\N";

std::string escape(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    // A "#" at the start would read as a record of the file's own.
    if (!s.empty() && s[0] == '#') out += '\\';
    for (char c : s) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += c;
        }
    }
    return out;
}

// Undoes escape(); false for an escape it does not know.
bool unescape(const std::string& s, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\') {
            out += s[i];
            continue;
        }
        if (++i == s.size()) return false;
        switch (s[i]) {
            case '\\':
                out += '\\';
                break;
            case 't':
                out += '\t';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case '#':
                out += '#';
                break;
            default:
                return false;
        }
    }
    return true;
}

std::vector<std::string> split(const std::string& line) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const auto tab = line.find('\t', start);
        parts.push_back(line.substr(start, tab == std::string::npos ? tab : tab - start));
        if (tab == std::string::npos) return parts;
        start = tab + 1;
    }
}

std::string lineError(std::size_t line, const std::string& what) {
    return std::to_string(line) + "行目: " + what;
}

const char kLineInfo[] = "#line-info";
const char kLineSource[] = "#line-source";
const char kIndentUnit[] = "･･";

// Older files: each line that came from a document (every line of a version 1 file) gets its
// source from the tag names, level by level; a path two lines would share is left to neither.
void sourcesFromTagNames(RecordSet& rs, bool everyLine) {
    std::vector<std::string> byLevel;
    std::map<std::string, int> seen;
    std::vector<std::pair<int, std::string>> derived;
    for (int row = 0; row < rs.recordCount(); ++row) {
        const FieldValue& lv = rs.valueAt(row, rs.fieldIndex(Field::kLevel));
        const int level = std::holds_alternative<int32_t>(lv) ? std::get<int32_t>(lv) : -1;
        const FieldValue& tv = rs.valueAt(row, rs.fieldIndex(Field::kTagName));
        std::string name = std::holds_alternative<std::string>(tv) ? std::get<std::string>(tv) : "";
        const std::string indent = indentation(kIndentUnit, std::max(level, 0));
        if (level < 0 || static_cast<std::size_t>(level) > byLevel.size() ||
            name.compare(0, indent.size(), indent) != 0)
            continue;
        name.erase(0, indent.size());
        byLevel.resize(static_cast<std::size_t>(level));
        const std::string path =
            level == 0
                ? ""
                : (byLevel.empty() || byLevel.back().empty() ? name : byLevel.back() + "/" + name);
        byLevel.push_back(path);
        if (!everyLine && !lineInfo(rs, row)) continue;
        ++seen[path];
        derived.emplace_back(row, path);
    }
    for (const auto& [row, path] : derived) {
        auto info = lineInfo(rs, row) ? std::make_shared<LineInfo>(*lineInfo(rs, row))
                                      : std::make_shared<LineInfo>();
        if (seen[path] > 1)
            info->sourceUnknown = true;
        else
            info->source = path;
        rs.setAttachmentAt(row, std::move(info));
    }
}

std::string optionalNumber(const std::optional<long long>& n) {
    return n ? std::to_string(*n) : std::string(kNull);
}

// The evidence as numbers, in a fixed order.
std::vector<std::string> evidenceFields(const Evidence& e) {
    auto n = [](long long v) { return std::to_string(v); };
    return {n(e.rows),
            n(e.occurrences),
            n(e.values),
            n(static_cast<long long>(e.longestBytes)),
            n(static_cast<long long>(e.longestChars)),
            n(e.empty),
            n(e.integer),
            n(e.decimal),
            n(e.boolean),
            n(e.date),
            n(e.dateTime),
            n(e.dateTimeTz),
            n(e.text),
            optionalNumber(e.minInteger),
            optionalNumber(e.maxInteger),
            n(e.leadingZero),
            n(e.sign),
            n(e.zeroOrOne),
            n(e.integerDigits),
            n(e.fractionDigits)};
}
constexpr std::size_t kEvidenceFields = 20;

bool toNumber(const std::string& s, long long& out) {
    try {
        std::size_t used = 0;
        out = std::stoll(s, &used);
        return used == s.size();
    } catch (const std::exception&) {
        return false;
    }
}

// Reads evidenceFields back; false when one is not a number.
bool parseEvidence(const std::vector<std::string>& f, std::size_t at, Evidence& e) {
    long long v[kEvidenceFields] = {};
    for (std::size_t i = 0; i < kEvidenceFields; ++i) {
        if ((i == 13 || i == 14) && f[at + i] == kNull) continue;
        if (!toNumber(f[at + i], v[i]) || (v[i] < 0 && i != 13 && i != 14)) return false;
    }
    e.rows = v[0];
    e.occurrences = v[1];
    e.values = v[2];
    e.longestBytes = static_cast<std::size_t>(v[3]);
    e.longestChars = static_cast<std::size_t>(v[4]);
    e.empty = v[5];
    e.integer = v[6];
    e.decimal = v[7];
    e.boolean = v[8];
    e.date = v[9];
    e.dateTime = v[10];
    e.dateTimeTz = v[11];
    e.text = v[12];
    if (f[at + 13] != kNull) e.minInteger = v[13];
    if (f[at + 14] != kNull) e.maxInteger = v[14];
    e.leadingZero = v[15] != 0;
    e.sign = v[16] != 0;
    e.zeroOrOne = v[17];
    e.integerDigits = v[18];
    e.fractionDigits = v[19];
    return true;
}

// A "#line-source" record: the element path of one line's values. Why not, when it is wrong.
std::optional<std::string> readLineSource(RecordSet& rs, const std::vector<std::string>& values) {
    long long line = 0;
    std::string path;
    const bool unknown = values.size() == 3 && values[2] == kNull;
    if (values.size() != 3 || !toNumber(values[1], line) || line < 1 || line > rs.recordCount() ||
        (!unknown && !unescape(values[2], path)))
        return std::string("「#line-source」の行が正しくありません。");
    const LineInfo* old = lineInfo(rs, static_cast<int>(line - 1));
    auto info = old ? std::make_shared<LineInfo>(*old) : std::make_shared<LineInfo>();
    if (unknown)
        info->sourceUnknown = true;
    else
        info->source = std::move(path);
    rs.setAttachmentAt(static_cast<int>(line - 1), std::move(info));
    return std::nullopt;
}

// A "#line-info" record: what the program gave a line and the figures of its values.
std::optional<std::string> readLineInfo(RecordSet& rs, const std::vector<std::string>& values) {
    // One more figure after them where dates were written with slashes.
    if (values.size() != 5 + kEvidenceFields && values.size() != 6 + kEvidenceFields)
        return std::string("「#line-info」の項目の数が正しくありません。");
    long long line = 0, rows = 0;
    if (!toNumber(values[1], line) || line < 1 || line > rs.recordCount())
        return "「#line-info」の行番号「" + displayText(values[1]) + "」がありません。";
    auto info = std::make_shared<LineInfo>();
    std::string size;
    if (!toNumber(values[2], rows) || rows < 0 || !unescape(values[3], info->givenType) ||
        (values[4] != kNull && !unescape(values[4], size)))
        return std::string("「#line-info」の値が正しくありません。");
    info->documentRows = rows;
    if (values[4] != kNull) info->givenSize = size;
    if (values[5] != kNull) {
        Evidence e;
        if (!parseEvidence(values, 5, e) ||
            (values.size() > 5 + kEvidenceFields &&
             (!toNumber(values.back(), e.slashDates) || e.slashDates < 0)))
            return std::string("「#line-info」の値が正しくありません。");
        info->evidence = std::make_shared<const Evidence>(e);
    }
    rs.setAttachmentAt(static_cast<int>(line - 1), std::move(info));
    return std::nullopt;
}

}  // namespace

std::string formatDefinition(const DefinitionTable& table, const DefinitionContext& context) {
    const RecordSet& rs = table.records();
    // A file without attribute lines or lines keyed by their parent is written as before, so
    // that older programs still read it (and would misread one with them).
    bool newer = false;
    for (int row = 0; row < rs.recordCount() && !newer; ++row)
        newer = rs.valueAt(row, rs.fieldIndex(Field::kKind)) ==
                    FieldValue(std::string(kAttributeKind)) ||
                rs.valueAt(row, rs.fieldIndex(Field::kKey)) == FieldValue(std::string("親"));
    const int version = newer ? kDefinitionFileVersion : kDefinitionFileVersion - 1;
    std::string out = std::string(kMagic) + "\t" + std::to_string(version) + "\n";
    out += "#rowset\t" + escape(context.rowset) + "\n";
    out += "#row\t" + escape(context.row) + "\n";
    out += "#db-type\t" + escape(context.dbType) + "\n";
    const auto& fields = rs.fields();
    for (std::size_t f = 0; f < fields.size(); ++f) out += (f ? "\t" : "") + fields[f].name;
    out += "\n";
    for (int row = 0; row < rs.recordCount(); ++row) {
        for (std::size_t f = 0; f < fields.size(); ++f) {
            if (f) out += '\t';
            const FieldValue& v = rs.valueAt(row, static_cast<int>(f));
            if (std::holds_alternative<std::monostate>(v))
                out += kNull;
            else if (const auto* n = std::get_if<int32_t>(&v))
                out += std::to_string(*n);
            else
                out += escape(std::get<std::string>(v));
        }
        out += "\n";
    }
    for (int row = 0; row < rs.recordCount(); ++row) {
        const LineInfo* info = lineInfo(rs, row);
        if (!info) continue;
        out += std::string(kLineInfo) + "\t" + std::to_string(row + 1) + "\t" +
               std::to_string(info->documentRows) + "\t" + escape(info->givenType) + "\t" +
               (info->givenSize ? escape(*info->givenSize) : kNull);
        if (info->evidence) {
            for (const auto& f : evidenceFields(*info->evidence)) out += "\t" + f;
            // Only where there are any: files without them read as before everywhere.
            if (info->evidence->slashDates > 0) out += "\t" + std::to_string(info->evidence->slashDates);
        } else {
            for (std::size_t i = 0; i < kEvidenceFields; ++i) out += std::string("\t") + kNull;
        }
        out += "\n";
    }
    for (int row = 0; row < rs.recordCount(); ++row) {
        const LineInfo* info = lineInfo(rs, row);
        if (info && (info->source || info->sourceUnknown))
            out += std::string(kLineSource) + "\t" + std::to_string(row + 1) + "\t" +
                   (info->source ? escape(*info->source) : std::string(kNull)) + "\n";
    }
    return out;
}

std::variant<DefinitionFile, std::string> parseDefinition(const std::string& whole) {
    // Editors on Windows begin UTF-8 files with a byte order mark.
    const std::string_view text =
        std::string_view(whole).substr(whole.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0);
    if (text.empty()) return std::string("定義ファイルが空です。");
    std::vector<std::string> lines;
    {
        std::size_t start = 0;
        while (start < text.size()) {
            auto end = text.find('\n', start);
            if (end == std::string::npos) end = text.size();
            std::string line(text.substr(start, end - start));
            if (!line.empty() && line.back() == '\r') line.pop_back();
            lines.push_back(std::move(line));
            start = end + 1;
        }
    }
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (invalidUtf8At(lines[i]) != std::string::npos)
            return lineError(i + 1, "UTF-8として正しくない文字があります。");
        if (lines[i].find('\0') != std::string::npos)
            return lineError(i + 1, "NUL文字があります。");
    }

    const auto magic = split(lines[0]);
    if (magic.size() != 2 || magic[0] != kMagic)
        return lineError(1, "Quorixの定義ファイルではありません。");
    int version = 0;
    try {
        std::size_t used = 0;
        version = std::stoi(magic[1], &used);
        if (used != magic[1].size()) version = 0;
    } catch (const std::exception&) {
        version = 0;
    }
    if (version < 1)
        return lineError(1,
                         "定義ファイルの版「" + displayText(magic[1]) + "」が正しくありません。");
    if (version > kDefinitionFileVersion)
        return lineError(1, "定義ファイルの版「" + displayText(magic[1]) +
                                "」はこのプログラムより新しいため読み込めません。");

    DefinitionFile file;
    file.table = std::make_unique<DefinitionTable>();
    RecordSet& rs = file.table->records();
    const auto& fields = rs.fields();
    const std::pair<const char*, std::string*> settings[] = {{"#rowset", &file.context.rowset},
                                                             {"#row", &file.context.row},
                                                             {"#db-type", &file.context.dbType}};
    std::size_t i = 1;
    for (const auto& [key, target] : settings) {
        const auto parts = i < lines.size() ? split(lines[i]) : std::vector<std::string>{};
        if (parts.size() != 2 || parts[0] != key || !unescape(parts[1], *target))
            return lineError(i + 1, std::string("「") + key + "」の行がありません。");
        ++i;
    }
    {
        const auto names = i < lines.size() ? split(lines[i]) : std::vector<std::string>{};
        bool same = names.size() == fields.size();
        for (std::size_t f = 0; same && f < fields.size(); ++f) same = names[f] == fields[f].name;
        if (!same) return lineError(i + 1, "項目名の行が正しくありません。");
        ++i;
    }
    for (; i < lines.size(); ++i) {
        if (lines[i].empty() && i + 1 == lines.size()) break;  // the final line end
        const auto values = split(lines[i]);
        if (version >= 3 && values[0] == kLineSource) {
            if (auto wrong = readLineSource(rs, values)) return lineError(i + 1, *wrong);
            continue;
        }
        if (version >= 2 && values[0] == kLineInfo) {
            if (auto wrong = readLineInfo(rs, values)) return lineError(i + 1, *wrong);
            continue;
        }
        if (values.size() != fields.size())
            return lineError(i + 1, "項目の数が" + std::to_string(fields.size()) +
                                        "ではありません（" + std::to_string(values.size()) +
                                        "個）。");
        rs.addNew();
        for (std::size_t f = 0; f < fields.size(); ++f) {
            FieldValue v;
            if (values[f] != kNull) {
                std::string s;
                if (!unescape(values[f], s))
                    return lineError(i + 1, "「" + fields[f].name + "」の値が正しくありません。");
                if (fields[f].type == adInteger) {
                    try {
                        std::size_t used = 0;
                        const long n = std::stol(s, &used);
                        if (used != s.size() || n < INT32_MIN || n > INT32_MAX)
                            throw std::out_of_range(s);
                        v = static_cast<int32_t>(n);
                    } catch (const std::exception&) {
                        return lineError(i + 1, "「" + fields[f].name + "」の値「" +
                                                    displayText(s) + "」は整数ではありません。");
                    }
                } else {
                    v = std::move(s);
                }
            }
            try {
                rs.setValueAt(rs.recordCount() - 1, static_cast<int>(f), v);
            } catch (const ServiceError& e) {
                return lineError(i + 1, e.description());
            }
        }
    }
    if (version < 3) sourcesFromTagNames(rs, version == 1);
    if (rs.recordCount() > 0) rs.moveFirst();
    return file;
}

std::variant<DefinitionFile, std::string> loadDefinitionFile(const std::string& path) {
    std::string reason;
    const auto text = readRegularFile(path, kDefinitionFileLimit, reason);
    if (!text) return "定義ファイル「" + displayText(path) + "」を読み込めません。" + reason;
    auto result = parseDefinition(*text);
    if (auto* message = std::get_if<std::string>(&result))
        return "定義ファイル「" + displayText(path) + "」の" + *message;
    return result;
}

std::string saveDefinitionFile(const std::string& path, const DefinitionTable& table,
                               const DefinitionContext& context) {
    const std::string error = writeFileAtomically(path, formatDefinition(table, context));
    return error.empty() ? error : "定義ファイル「" + path + "」を保存できません。(" + error + ")";
}

namespace {

// The file a path names, symbolic links followed (also a link to a file not yet made).
std::filesystem::path realTarget(const std::filesystem::path& path, std::error_code& ec) {
    std::filesystem::path target = path;
    for (int hops = 0; hops < 40; ++hops) {
        if (!std::filesystem::is_symlink(target, ec)) {
            ec.clear();
            return target;
        }
        const std::filesystem::path link = std::filesystem::read_symlink(target, ec);
        if (ec) return {};
        target = link.is_absolute() ? link : target.parent_path() / link;
    }
    ec = std::make_error_code(std::errc::too_many_symbolic_link_levels);
    return {};
}

// Temporary files are named ".NAME.quorix-PID-XXXXXX" beside the file they replace.
std::string tempPrefix(const std::filesystem::path& target) {
    return "." + target.filename().string() + ".quorix-";
}

// Removes what an earlier save of the same file left when its process was killed.
void removeStaleTemporaries(const std::filesystem::path& target) {
    const std::string prefix = tempPrefix(target);
    std::error_code ec;
    const std::filesystem::path dir =
        target.parent_path().empty() ? std::filesystem::path(".") : target.parent_path();
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.compare(0, prefix.size(), prefix) != 0) continue;
        const long pid = std::strtol(name.c_str() + prefix.size(), nullptr, 10);
        if (pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
            std::filesystem::remove(entry.path(), ec);
    }
}

// Creates a new temporary file for @p target with @p mode (less the umask); -1 on failure.
int createTemporary(const std::filesystem::path& target, mode_t mode, std::string& name) {
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string suffix;
        for (int i = 0; i < 6; ++i) suffix += letters[random() % (sizeof letters - 1)];
        name = (target.parent_path() /
                (tempPrefix(target) + std::to_string(::getpid()) + "-" + suffix))
                   .string();
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

}  // namespace

std::string writeFileAtomically(const std::string& path, const std::string& text) {
    std::error_code ec;
    // A symbolic link stays: the file it points to is the one replaced.
    const std::filesystem::path target = realTarget(path, ec);
    if (ec) return ec.message();
    removeStaleTemporaries(target);
    struct stat old {};
    const bool existed = ::stat(target.c_str(), &old) == 0;
    std::string temp;
    // A new file gets the usual permissions (0666 less the umask, applied by the system).
    const int fd = createTemporary(target, existed ? (old.st_mode & 07777) : 0666, temp);
    if (fd < 0) return std::strerror(errno);
    auto fail = [&](int err) {
        ::close(fd);
        ::unlink(temp.c_str());
        return std::string(std::strerror(err));
    };
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
        if (n < 0) {
            if (errno == EINTR) continue;
            return fail(errno);
        }
        written += static_cast<std::size_t>(n);
    }
    if (existed) {
        // Owner and group where the system lets us (root may, others keep their own).
        if (old.st_uid != ::geteuid() || old.st_gid != ::getegid())
            (void)fchown(fd, old.st_uid, old.st_gid);
        if (fchmod(fd, old.st_mode & 07777) != 0) return fail(errno);
    }
    if (fsync(fd) != 0) return fail(errno);
    if (::close(fd) != 0 || std::rename(temp.c_str(), target.c_str()) != 0) {
        const int err = errno;
        ::unlink(temp.c_str());
        return std::strerror(err);
    }
    // The rename itself is durable only once the folder is on disk.
    const std::string dir = target.parent_path().empty() ? "." : target.parent_path().string();
    if (const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dfd >= 0) {
        fsync(dfd);
        ::close(dfd);
    }
    return {};
}

}  // namespace quorix
