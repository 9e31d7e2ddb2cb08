#include "soap/SoapResponseStream.h"

#include <expat.h>

#include <exception>
#include <new>
#include <optional>

#include "soap/SoapFault.h"
#include "soap/SoapXml.h"
#include "text/Error.h"

namespace tarvelo {

namespace {

// Expat gives element names as "namespace URI" + kSeparator + "local name".
constexpr char kSeparator = '\x01';
constexpr std::size_t kKeptForMessages = 512;  // the answer's first bytes, for excerpts
constexpr std::size_t kMaxFaultText = 64 * 1024;

struct Name {
    std::string_view ns;
    std::string_view local;
};

Name split(const XML_Char* name) {
    const std::string_view n(name);
    const std::size_t at = n.find(kSeparator);
    if (at == std::string_view::npos) return {{}, n};
    return {n.substr(0, at), n.substr(at + 1)};
}

}  // namespace

struct SoapResponseStream::State {
    XML_Parser parser = nullptr;
    std::string expected;  // "<operation>Response"
    Sink sink;
    std::string head;  // the first bytes that arrived
    int depth = 0;     // of the element being read; 1 is the envelope
    bool sawBody = false;
    bool inBody = false;  // inside the first Body
    bool sawContent = false;
    bool inContent = false;  // inside the Body's first element
    enum class Content { None, Response, Fault } content = Content::None;
    bool sawReturn = false;
    bool inReturn = false;  // inside the first "return"
    std::string* faultField = nullptr;
    std::string faultCode, faultString;
    std::exception_ptr failure;  // raised in a handler; parsing stopped there
    // Why the answer is refused, once it is: its message quotes the answer's first bytes, so it
    // is raised when those have arrived (or the answer has ended).
    struct Refusal {
        std::string expected;  // not the expected response element (else: not an envelope)
        std::string detail;
    };
    std::optional<Refusal> refusal;

    void notAnAnswer(std::string why) {
        refusal = Refusal{{}, std::move(why)};
        XML_StopParser(parser, XML_FALSE);
    }

    [[noreturn]] void raise() const {
        if (!refusal->expected.empty())
            throw Error("服务的应答不是 " + refusal->expected + "：“" + excerpt(head) + "”",
                        refusal->detail);
        throw Error("收到的应答不是 SOAP 1.1 信封：“" + excerpt(head) + "”", refusal->detail);
    }

    void refuseXml() {
        if (!refusal)
            notAnAnswer(std::string("XML 错误：") + XML_ErrorString(XML_GetErrorCode(parser)) +
                        "，位置 " + std::to_string(XML_GetCurrentByteIndex(parser)));
    }

    // Runs a handler's work; a throw stops the parser and is raised again after XML_Parse.
    template <typename F>
    void guarded(F&& f) noexcept {
        if (failure) return;
        try {
            f();
        } catch (...) {
            failure = std::current_exception();
            XML_StopParser(parser, XML_FALSE);
        }
    }

    void start(const XML_Char* rawName) {
        ++depth;
        if (refusal) return;
        const Name name = split(rawName);
        if (depth == 1) {
            if (name.local != "Envelope" || name.ns != soapxml::kEnvelopeNs)
                return notAnAnswer("根元素不是 SOAP 1.1 的 Envelope");
        } else if (depth == 2) {
            inBody = !sawBody && name.local == "Body" && name.ns == soapxml::kEnvelopeNs;
            sawBody = sawBody || inBody;
        } else if (depth == 3 && inBody && !sawContent) {
            sawContent = true;
            if (name.local == "Fault" && name.ns == soapxml::kEnvelopeNs) {
                content = Content::Fault;
            } else if (name.local == expected) {
                content = Content::Response;
            } else {
                refusal = Refusal{expected, "收到的元素 " + std::string(name.local)};
                XML_StopParser(parser, XML_FALSE);
                return;
            }
            inContent = true;
        } else if (depth == 4 && inContent) {
            if (content == Content::Response && name.local == "return" && !sawReturn) {
                sawReturn = true;
                inReturn = true;
            } else if (content == Content::Fault && name.ns.empty()) {
                if (name.local == "faultcode") faultField = &faultCode;
                if (name.local == "faultstring") faultField = &faultString;
            }
        }
    }

    void end() {
        if (depth == 2) inBody = false;
        if (depth == 3) inContent = false;
        if (depth == 4) {
            inReturn = false;
            faultField = nullptr;
        }
        --depth;
    }

    void text(const XML_Char* s, int len) {
        std::string_view piece(s, static_cast<std::size_t>(len));
        char restored[2];
        // Expat reports a line break of the document as one "\n", whatever its bytes were. The
        // value must arrive byte for byte, so a CR or CR LF that was sent as such is given back.
        if (len == 1 && *s == '\n') {
            int offset = 0, size = 0;
            const char* context = XML_GetInputContext(parser, &offset, &size);
            const int count = XML_GetCurrentByteCount(parser);
            if (context && count > 0 && offset + count <= size && context[offset] == '\r') {
                restored[0] = '\r';
                restored[1] = '\n';
                piece = std::string_view(restored, count >= 2 ? 2 : 1);
            }
        }
        if (depth != 4 || refusal) return;  // the text of a child element is not the value's
        if (inReturn) {
            sink(piece);
        } else if (faultField && faultField->size() < kMaxFaultText) {
            faultField->append(piece);
        }
    }
};

SoapResponseStream::SoapResponseStream(std::string_view operation, Sink sink)
    : m(std::make_unique<State>()) {
    m->expected = std::string(operation) + "Response";
    m->sink = std::move(sink);
    m->parser = XML_ParserCreateNS("UTF-8", kSeparator);
    if (!m->parser) throw std::bad_alloc();
    XML_SetUserData(m->parser, m.get());
    XML_SetElementHandler(
        m->parser,
        [](void* data, const XML_Char* name, const XML_Char**) {
            auto* s = static_cast<State*>(data);
            s->guarded([&] { s->start(name); });
        },
        [](void* data, const XML_Char*) {
            auto* s = static_cast<State*>(data);
            s->guarded([&] { s->end(); });
        });
    XML_SetCharacterDataHandler(m->parser, [](void* data, const XML_Char* text, int len) {
        auto* s = static_cast<State*>(data);
        s->guarded([&] { s->text(text, len); });
    });
}

SoapResponseStream::~SoapResponseStream() {
    if (m->parser) XML_ParserFree(m->parser);
}

void SoapResponseStream::feed(std::string_view bytes) {
    if (m->head.size() < kKeptForMessages)
        m->head.append(bytes.substr(0, kKeptForMessages - m->head.size()));
    while (!bytes.empty() && !m->refusal) {
        // Expat takes an int length.
        const std::size_t n = std::min<std::size_t>(bytes.size(), 1 << 30);
        const XML_Status status =
            XML_Parse(m->parser, bytes.data(), static_cast<int>(n), XML_FALSE);
        if (m->failure) std::rethrow_exception(m->failure);
        if (status != XML_STATUS_OK) m->refuseXml();
        bytes.remove_prefix(n);
    }
    if (m->refusal && m->head.size() >= kKeptForMessages) m->raise();
}

void SoapResponseStream::finish() {
    if (!m->refusal) {
        const XML_Status status = XML_Parse(m->parser, nullptr, 0, XML_TRUE);
        if (m->failure) std::rethrow_exception(m->failure);
        if (status != XML_STATUS_OK) m->refuseXml();
    }
    if (m->refusal) m->raise();
    if (!m->sawBody) m->notAnAnswer("信封中没有 Body");
    if (!m->refusal && !m->sawContent) m->notAnAnswer("Body 是空的");
    if (m->refusal) m->raise();
    if (m->content == State::Content::Fault) {
        std::string code = m->faultCode;
        if (const auto colon = code.find(':'); colon != std::string::npos) code.erase(0, colon + 1);
        throw SoapFault(code, m->faultString);
    }
    if (!m->sawReturn)
        throw Error("服务的应答中没有返回值。", "收到的内容：“" + excerpt(m->head) + "”");
}

}  // namespace tarvelo
