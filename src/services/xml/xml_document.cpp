#include "services/xml/xml_document.h"

#include <fcntl.h>
#include <libxml/SAX2.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <mutex>

#include "services/text/text.h"
#include "services/xml/source_excerpt.h"
#include "services/xml/xml_source.h"

namespace quorix {

namespace {

// Our own code for a file that cannot be read at all.
constexpr long kUnreadableFile = 1549;  // libxml2's XML_IO_LOAD_ERROR

// Internal entities are expanded as a reader of the document expects; external ones are
// refused by the entity loader below, so they expand to nothing.
const int kParseOptions = XML_PARSE_NONET | XML_PARSE_NOENT | XML_PARSE_NOERROR |
                          XML_PARSE_NOWARNING | XML_PARSE_BIG_LINES | XML_PARSE_COMPACT;

// Nothing outside the document itself is ever read.
xmlParserInputPtr refuseExternalEntity(const char*, const char*, xmlParserCtxtPtr) {
    return nullptr;
}

void silentError(void*, const char*, ...) {}

// The first error of a parse: the one that made the document ill-formed.
struct FirstError {
    bool set = false;
    int code = 0;
    long line = 0;
    long column = 0;
    std::string message;
    std::string japanese;  // our own reason, for a stop of our own
};

void recordFirstError(void* data, xmlErrorPtr error) {
    auto* ctxt = static_cast<xmlParserCtxtPtr>(data);
    auto* first = ctxt ? static_cast<FirstError*>(ctxt->_private) : nullptr;
    if (!first || first->set || !error || error->level < XML_ERR_ERROR) return;
    first->set = true;
    first->code = error->code;
    first->line = error->line;
    first->column = error->int2;
    first->message = error->message ? error->message : "";
}

// A parser context that records its first error.
xmlParserCtxtPtr newContext(FirstError* first) {
    xmlParserCtxtPtr ctxt = xmlNewParserCtxt();
    if (ctxt) {
        ctxt->_private = first;
        ctxt->sax->serror = recordFirstError;
    }
    return ctxt;
}

void initLibxml() {
    static std::once_flag once;
    std::call_once(once, [] {
        xmlInitParser();
        xmlSetExternalEntityLoader(refuseExternalEntity);
        xmlSetGenericErrorFunc(nullptr, silentError);
    });
}

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

// What the file says about its encoding: a byte-order mark, else the XML declaration.
struct EncodingGuess {
    std::string declared;  // as written in the declaration, or the BOM's name
    int unit = 1;          // UTF-16/32: lines cannot be split on the byte '\n'
    bool bigEndian = false;
};

EncodingGuess guessEncoding(std::string_view head) {
    EncodingGuess g;
    auto starts = [&](const char* bom, std::size_t n) {
        return head.size() >= n && std::memcmp(head.data(), bom, n) == 0;
    };
    if (starts("\xFF\xFE\0\0", 4)) return {"UTF-32LE", 4, false};
    if (starts("\0\0\xFE\xFF", 4)) return {"UTF-32BE", 4, true};
    if (starts("\xFF\xFE", 2) || starts("<\0?\0", 4)) return {"UTF-16LE", 2, false};
    if (starts("\xFE\xFF", 2) || starts("\0<\0?", 4)) return {"UTF-16BE", 2, true};
    if (starts("\xEF\xBB\xBF", 3)) head.remove_prefix(3);
    if (head.substr(0, 5) != "<?xml") return g;
    const auto end = head.find("?>");
    const std::string_view decl = head.substr(0, end);
    const auto at = decl.find("encoding");
    if (at == std::string_view::npos) return g;
    auto q = decl.find_first_of("\"'", at);
    if (q == std::string_view::npos) return g;
    const auto close = decl.find(decl[q], q + 1);
    if (close == std::string_view::npos) return g;
    g.declared = std::string(decl.substr(q + 1, close - q - 1));
    return g;
}

// Japanese files that declare Shift_JIS really hold CP932 (NEC and IBM extensions).
std::string encodingOverride(const std::string& declared) {
    const std::string d = lower(declared);
    if (d == "shift_jis" || d == "shift-jis" || d == "sjis" || d == "x-sjis" || d == "ms_kanji" ||
        d == "csshiftjis" || d == "windows-31j")
        return "CP932";
    return {};
}

std::string japaneseReason(int code, const char* libxmlMessage) {
    switch (code) {
        case XML_ERR_DOCUMENT_EMPTY:
            return "文書が空か、ルート要素がありません。";
        case XML_ERR_DOCUMENT_START:
            return "文書の先頭が正しくありません。";
        case XML_ERR_DOCUMENT_END:
            return "ルート要素の後に余分な内容があります。";
        case XML_ERR_INVALID_CHAR:
        case XML_ERR_INVALID_CHARREF:
            return "使用できない文字が含まれています。";
        case XML_ERR_INVALID_ENCODING:
            return "文字コードが宣言と一致しません。";
        case XML_ERR_UNDECLARED_ENTITY:
        case XML_WAR_UNDECLARED_ENTITY:
            return "宣言されていないエンティティが参照されています。";
        case XML_ERR_ENTITY_LOOP:
            return "エンティティの展開が多すぎるか、循環しています。";
        case XML_ERR_UNKNOWN_ENCODING:
        case XML_ERR_UNSUPPORTED_ENCODING:
            return "サポートされていない文字コードです。";
        case XML_ERR_TAG_NAME_MISMATCH:
            return "終了タグが開始タグと一致しません。";
        case XML_ERR_TAG_NOT_FINISHED:
            return "文書が途中で終わっています（閉じられていないタグがあります）。";
        case XML_ERR_GT_REQUIRED:
            return "タグが「>」で閉じられていません。";
        case XML_ERR_NAME_REQUIRED:
            return "名前が必要な位置に名前がありません。";
        case XML_ERR_ATTRIBUTE_WITHOUT_VALUE:
        case XML_ERR_ATTRIBUTE_NOT_STARTED:
            return "属性の値が正しくありません。";
        case XML_ERR_ATTRIBUTE_REDEFINED:
            return "同じ属性が二度指定されています。";
        case XML_ERR_LT_IN_ATTRIBUTE:
            return "属性の値に「<」は使用できません。";
        case XML_ERR_STRING_NOT_CLOSED:
            return "引用符が閉じられていません。";
        case XML_ERR_ENTITYREF_SEMICOL_MISSING:
            return "エンティティ参照が「;」で終わっていません。";
        default: {
            std::string text = libxmlMessage ? libxmlMessage : "";
            while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
            // libxml2's limits speak English and name its own options.
            if (text.find("Excessive depth") != std::string::npos)
                return "要素の入れ子が深すぎます。";
            if (text.find("huge text node") != std::string::npos ||
                text.find("too long") != std::string::npos ||
                text.find("too big") != std::string::npos)
                return "テキストが長すぎます。";
            if (text.empty()) return "XML文書を解析できません。";
            return "XML文書を解析できません。（" + text + "）";
        }
    }
}

void fillError(XmlParseError& out, const FirstError& first, xmlParserCtxtPtr ctxt) {
    if (first.set) {
        out.errorCode = first.code;
        out.reason = !first.japanese.empty() ? first.japanese
                                             : japaneseReason(first.code, first.message.c_str());
        out.line = first.line;
        out.column = first.column;
        return;
    }
    const xmlError* err = xmlCtxtGetLastError(ctxt);
    out.errorCode = err && err->code ? err->code : XML_ERR_INTERNAL_ERROR;
    out.reason = japaneseReason(err ? err->code : 0, err ? err->message : nullptr);
    out.line = err ? err->line : 0;
    out.column = err ? err->int2 : 0;
}

// Opens a regular file for reading; anything else is refused with the reason in @p error.
bool openRegularFile(const std::string& path, int& fd, XmlParseError& error) {
    fd = quorix::openRegularFile(path, error.reason);
    if (fd < 0) error.errorCode = kUnreadableFile;
    return fd >= 0;
}

}  // namespace

void XmlDocument::Freer::operator()(_xmlDoc* doc) const {
    xmlFreeDoc(doc);
}

XmlDocument::XmlDocument() {
    initLibxml();
    reset(xmlNewDoc(reinterpret_cast<const xmlChar*>("1.0")));
}

XmlDocument::~XmlDocument() = default;
XmlDocument::XmlDocument(XmlDocument&&) noexcept = default;
XmlDocument& XmlDocument::operator=(XmlDocument&&) noexcept = default;

void XmlDocument::reset(_xmlDoc* doc) {
    m_doc.reset(doc);
}

bool XmlDocument::load(const std::string& path) {
    m_error = {};
    reset(xmlNewDoc(reinterpret_cast<const xmlChar*>("1.0")));
    int fd = -1;
    if (!openRegularFile(path, fd, m_error)) return false;
    char head[1024];
    const ssize_t n = pread(fd, head, sizeof head, 0);
    const EncodingGuess guess = guessEncoding(std::string_view(head, n > 0 ? std::size_t(n) : 0));
    const std::string override = encodingOverride(guess.declared);
    const bool ok = parseFd(fd, path, override);
    if (!ok && m_error.line > 0) {
        const TextEncoding enc{!override.empty() ? override : guess.declared, guess.unit,
                               guess.bigEndian};
        m_error.srcText = sourceExcerpt(fd, m_error.line, m_error.column, enc);
    }
    ::close(fd);
    return ok;
}

bool XmlDocument::parseFd(int fd, const std::string& path, const std::string& encodingOverride) {
    FirstError first;
    xmlParserCtxtPtr ctxt = newContext(&first);
    if (!ctxt) {
        m_error = {kUnreadableFile, "メモリが不足しています。", 0, 0, {}};
        return false;
    }
    xmlDocPtr doc =
        xmlCtxtReadFd(ctxt, fd, path.c_str(),
                      encodingOverride.empty() ? nullptr : encodingOverride.c_str(), kParseOptions);
    if (doc && ctxt->wellFormed) {
        reset(doc);
        xmlFreeParserCtxt(ctxt);
        return true;
    }
    if (doc) xmlFreeDoc(doc);
    setError(&first, ctxt);
    xmlFreeParserCtxt(ctxt);
    return false;
}

void XmlDocument::setError(const void* firstError, _xmlParserCtxt* ctxt) {
    fillError(m_error, *static_cast<const FirstError*>(firstError), ctxt);
}

namespace {

// One streaming read: the first error (first, so that the error hook finds it through the
// context's private pointer), the handler and the file's progress.
struct StreamState {
    FirstError first;
    XmlElementHandler* handler = nullptr;
    XmlSource source;
    bool failedRead = false;
    const XmlReadProgress* progress = nullptr;
    bool cancelled = false;
    bool places = false;
    bool attributes = false;
    std::string name;  // reused for every element
    int depth = 0;
    std::uint64_t delivered = 0;   // text handed on, entities expanded
    std::uint64_t value = 0;       // of that, since the last tag
    std::uint64_t valueLimit = 0;  // the handler's, 0 for none
};

// The code of a read that we stopped at one of our limits.
constexpr int kLimitExceeded = XML_ERR_USER_STOP;

// Entities may make the text at most this much larger than what was read of the file.
constexpr std::uint64_t kExpansionFactor = 8;
constexpr std::uint64_t kExpansionAllowance = 16u << 20;

std::string thousands(std::uint64_t n) {
    std::string digits = std::to_string(n), out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

StreamState& stateOf(void* ctx) {
    return *static_cast<StreamState*>(static_cast<xmlParserCtxtPtr>(ctx)->_private);
}

const char* text(const xmlChar* s) {
    return reinterpret_cast<const char*>(s);
}

// Stops the read with a reason of our own at the parser's place.
void stopWith(void* ctx, int code, const std::string& reason) {
    StreamState& st = stateOf(ctx);
    if (!st.first.set) {
        st.first.set = true;
        st.first.code = code;
        st.first.line = xmlSAX2GetLineNumber(ctx);
        st.first.column = xmlSAX2GetColumnNumber(ctx);
        st.first.japanese = reason;
    }
    xmlStopParser(static_cast<xmlParserCtxtPtr>(ctx));
}

// An entity whose text is not read (external, or declared in a DTD that is not read) would
// leave a hole in a value: the document is refused instead.
xmlEntityPtr onGetEntity(void* ctx, const xmlChar* name) {
    xmlEntityPtr entity = xmlSAX2GetEntity(ctx, name);
    if (stateOf(ctx).depth == 0) return entity;
    if (!entity && !xmlGetPredefinedEntity(name)) {
        stopWith(ctx, XML_ERR_UNDECLARED_ENTITY,
                 std::string("エンティティ「") + text(name) +
                     "」の内容が分かりません（宣言が読み込まれない DTD にあります）。値の一部を"
                     "欠いたまま読むことはしません。");
        return nullptr;
    }
    if (entity && (entity->etype == XML_EXTERNAL_GENERAL_PARSED_ENTITY ||
                   entity->etype == XML_EXTERNAL_GENERAL_UNPARSED_ENTITY)) {
        stopWith(ctx, XML_ERR_UNDECLARED_ENTITY,
                 std::string("外部エンティティ「") + text(name) +
                     "」は読み込みません。値の一部を欠いたまま読むことはしません。");
        return nullptr;
    }
    return entity;
}

void onStart(void* ctx, const xmlChar* localname, const xmlChar* prefix, const xmlChar*, int,
             const xmlChar**, int nbAttributes, int, const xmlChar** attributes) {
    StreamState& st = stateOf(ctx);
    ++st.depth;
    st.value = 0;
    st.name.clear();
    if (prefix) st.name.append(text(prefix)).append(":");
    st.name.append(text(localname));
    // The declared data type, as XmlNode::dataType reads it.
    std::optional<std::string> dt, dtOld, xsi;
    for (int i = 0; i < nbAttributes; ++i) {
        const xmlChar** a = attributes + 5 * i;  // localname, prefix, URI, value, end
        if (!a[2]) continue;
        const std::string_view local = text(a[0]);
        const std::string_view uri = text(a[2]);
        std::string value(text(a[3]), static_cast<std::size_t>(a[4] - a[3]));
        if (local == "dt" && uri == kDatatypesNs && !dt)
            dt = std::move(value);
        else if (local == "dt" && uri == kDatatypesNsOld && !dtOld)
            dtOld = std::move(value);
        else if (local == "type" && uri == kXsiNs && !xsi)
            xsi = std::move(value);
    }
    if (!dt) dt = std::move(dtOld);
    if (!dt && xsi) {
        const auto colon = xsi->find(':');
        dt = colon == std::string::npos ? *xsi : xsi->substr(colon + 1);
    }
    if (st.places) {
        XmlElementPlace where{xmlSAX2GetLineNumber(ctx), xmlSAX2GetColumnNumber(ctx), false};
        for (int i = 0; i < nbAttributes; ++i) {
            const xmlChar** a = attributes + 5 * i;
            if (!a[2] || std::string_view(text(a[0])) != "nil" ||
                std::string_view(text(a[2])) != kXsiNs)
                continue;
            const std::string_view v(text(a[3]), static_cast<std::size_t>(a[4] - a[3]));
            where.nil = v == "true" || v == "1";
        }
        st.handler->place(where);
    }
    st.handler->startElement(st.name, dt);
    if (!st.attributes) return;
    std::string name;
    for (int i = 0; i < nbAttributes; ++i) {
        const xmlChar** a = attributes + 5 * i;
        if (a[2]) {
            const std::string_view uri = text(a[2]);
            if (uri == kXsiNs || uri == kDatatypesNs || uri == kDatatypesNsOld) continue;
        }
        name.clear();
        if (a[1]) name.append(text(a[1])).append(":");
        name.append(text(a[0]));
        st.handler->attribute(name,
                              std::string_view(text(a[3]), static_cast<std::size_t>(a[4] - a[3])));
    }
}

void onEnd(void* ctx, const xmlChar*, const xmlChar*, const xmlChar*) {
    StreamState& st = stateOf(ctx);
    --st.depth;
    st.value = 0;
    st.handler->endElement();
}

void onText(void* ctx, const xmlChar* text, int len) {
    StreamState& st = stateOf(ctx);
    st.delivered += static_cast<std::uint64_t>(len);
    st.value += static_cast<std::uint64_t>(len);
    if (st.valueLimit > 0 && st.value > st.valueLimit) {
        stopWith(
            ctx, kLimitExceeded,
            "要素の値が長すぎます（一つの値は " + thousands(st.valueLimit) + " バイトまでです）。");
        return;
    }
    const std::uint64_t read = st.source.delivered();
    if (st.delivered > kExpansionFactor * read + kExpansionAllowance) {
        stopWith(ctx, kLimitExceeded,
                 "エンティティの展開で文書が大きくなりすぎます（ファイルの " + thousands(read) +
                     " バイトから " + thousands(st.delivered) + " バイト以上。ファイルの" +
                     std::to_string(kExpansionFactor) + "倍と " + thousands(kExpansionAllowance) +
                     " バイトまでです）。");
        return;
    }
    st.handler->characters(
        std::string_view(reinterpret_cast<const char*>(text), static_cast<std::size_t>(len)));
}

int readChunk(void* context, char* buffer, int len) {
    auto& st = *static_cast<StreamState*>(context);
    if (st.progress && *st.progress && !(*st.progress)(st.source.done(), st.source.total())) {
        st.cancelled = true;
        return -1;
    }
    const long n = st.source.read(buffer, static_cast<std::size_t>(len));
    if (n < 0) st.failedRead = true;
    return n < 0 ? -1 : static_cast<int>(n);
}

int closeNothing(void*) {
    return 0;
}

}  // namespace

bool streamXmlFile(const std::string& path, XmlElementHandler& handler, XmlParseError& error,
                   const XmlReadProgress& progress, std::string* fingerprint) {
    initLibxml();
    error = {};
    StreamState st;
    st.handler = &handler;
    st.places = handler.wantsPlaces();
    st.attributes = handler.wantsAttributes();
    st.valueLimit = handler.valueLimit();
    st.progress = &progress;
    st.source.setFingerprinting(fingerprint != nullptr);
    if (!st.source.open(path)) {
        error.errorCode = kUnreadableFile;
        error.reason = st.source.reason();
        return false;
    }
    const EncodingGuess guess = guessEncoding(st.source.head());
    const std::string override = encodingOverride(guess.declared);

    xmlSAXHandler sax;
    xmlSAXVersion(&sax, 2);
    sax.startElementNs = onStart;
    sax.endElementNs = onEnd;
    sax.characters = onText;
    sax.ignorableWhitespace = onText;
    sax.cdataBlock = onText;
    sax.comment = nullptr;
    sax.processingInstruction = nullptr;
    sax.serror = recordFirstError;
    sax.getEntity = onGetEntity;
    xmlParserCtxtPtr ctxt =
        xmlCreateIOParserCtxt(&sax, nullptr, readChunk, closeNothing, &st, XML_CHAR_ENCODING_NONE);
    bool ok = false;
    if (!ctxt) {
        error = {kUnreadableFile, "メモリが不足しています。", 0, 0, {}};
    } else {
        ctxt->_private = &st;
        xmlCtxtUseOptions(ctxt, kParseOptions);
        if (!override.empty())
            if (xmlCharEncodingHandlerPtr h = xmlFindCharEncodingHandler(override.c_str()))
                xmlSwitchToEncoding(ctxt, h);
        xmlParseDocument(ctxt);
        ok = ctxt->wellFormed && !st.cancelled && !st.first.set;
        if (ctxt->myDoc) xmlFreeDoc(ctxt->myDoc);
        ctxt->myDoc = nullptr;
        if (st.cancelled) {
            error = {kXmlReadCancelled, "XML文書の読み込みを中止しました。", 0, 0, {}};
        } else if (st.failedRead) {
            error = {kUnreadableFile, st.source.reason(), 0, 0, {}};
        } else if (!ok) {
            fillError(error, st.first, ctxt);
            if (error.line > 0 && st.source.seekableFd() >= 0) {
                const TextEncoding enc{!override.empty() ? override : guess.declared, guess.unit,
                                       guess.bigEndian};
                error.srcText =
                    sourceExcerpt(st.source.seekableFd(), error.line, error.column, enc);
            }
        }
        xmlFreeParserCtxt(ctxt);
    }
    if (fingerprint) *fingerprint = st.source.fingerprint();
    return ok;
}

bool XmlDocument::loadXml(std::string_view text) {
    m_error = {};
    FirstError first;
    xmlParserCtxtPtr ctxt = newContext(&first);
    xmlDocPtr doc = xmlCtxtReadMemory(ctxt, text.data(), static_cast<int>(text.size()), nullptr,
                                      nullptr, kParseOptions);
    const bool ok = doc && ctxt->wellFormed;
    if (ok) {
        reset(doc);
    } else {
        if (doc) xmlFreeDoc(doc);
        reset(xmlNewDoc(reinterpret_cast<const xmlChar*>("1.0")));
        setError(&first, ctxt);
        std::size_t start = 0;
        for (long l = 1; l < m_error.line && start != std::string_view::npos; ++l) {
            start = text.find('\n', start);
            if (start != std::string_view::npos) ++start;
        }
        if (start != std::string_view::npos && m_error.line > 0)
            m_error.srcText = std::string(text.substr(start, text.find('\n', start) - start));
    }
    xmlFreeParserCtxt(ctxt);
    return ok;
}

XmlNode XmlDocument::documentElement() const {
    return XmlNode(m_doc ? xmlDocGetRootElement(m_doc.get()) : nullptr);
}

void XmlDocument::setDocumentElement(XmlNode element) {
    if (m_doc && element) xmlDocSetRootElement(m_doc.get(), element.raw());
}

XmlNode XmlDocument::createElement(const std::string& name) {
    if (name.empty() || xmlValidateName(reinterpret_cast<const xmlChar*>(name.c_str()), 0) != 0)
        throw XmlError("「" + name + "」は要素名として使用できません。");
    return XmlNode(xmlNewDocNode(m_doc.get(), nullptr,
                                 reinterpret_cast<const xmlChar*>(name.c_str()), nullptr));
}

std::vector<XmlNode> XmlDocument::getElementsByTagName(std::string_view name) const {
    XmlNode root = documentElement();
    if (!root) return {};
    std::vector<XmlNode> found;
    if (root.hasName(name)) found.push_back(root);
    auto below = root.getElementsByTagName(name);
    found.insert(found.end(), below.begin(), below.end());
    return found;
}

}  // namespace quorix
