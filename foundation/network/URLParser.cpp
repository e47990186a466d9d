#include "foundation/network/URLParser.h"

#include <cstring>

namespace network {
namespace {

void FillSet(bool (&set)[256], const char* definition) {
    std::memset(set, 0, sizeof(set));
    const std::size_t length = std::strlen(definition);
    for (std::size_t i = 0; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(definition[i]);
        if (i + 2 < length && definition[i + 1] == '-' && std::isalnum(c) != 0) {
            const unsigned char last = static_cast<unsigned char>(definition[i + 2]);
            for (unsigned int x = c; x <= last; ++x) {
                set[x] = true;
            }
            i += 2;
        } else {
            set[c] = true;
        }
    }
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

bool IsQueryChar(unsigned char c) {
    return c != '%' && c != ' ' && c != '?' && c != '=' && c != '&' && c != '#';
}

class Cursor {
public:
    explicit Cursor(const std::string& text) : m_Text(text) {}

    bool AtEnd() const { return m_Pos >= m_Text.size(); }
    unsigned char Peek() const { return static_cast<unsigned char>(m_Text[m_Pos]); }
    bool Literal(const char* literal) {
        const std::size_t length = std::strlen(literal);
        if (m_Text.compare(m_Pos, length, literal) == 0 && m_Pos + length <= m_Text.size()) {
            m_Pos += length;
            return true;
        }
        return false;
    }
    // "%" and two hexadecimal digits: one byte.
    bool Escape(std::string& out) {
        if (m_Pos + 2 < m_Text.size() && m_Text[m_Pos] == '%') {
            const int high = HexValue(m_Text[m_Pos + 1]);
            const int low = HexValue(m_Text[m_Pos + 2]);
            if (high >= 0 && low >= 0) {
                out.push_back(static_cast<char>(high * 16 + low));
                m_Pos += 3;
                return true;
            }
        }
        return false;
    }
    // Zero or more query characters or escapes, decoded.
    void QueryText(std::string& out) {
        while (!AtEnd()) {
            if (IsQueryChar(Peek())) {
                out.push_back(static_cast<char>(Peek()));
                ++m_Pos;
            } else if (!Escape(out)) {
                break;
            }
        }
    }
    std::size_t Position() const { return m_Pos; }
    void Reset(std::size_t position) { m_Pos = position; }
    void Advance() { ++m_Pos; }
    std::string Slice(std::size_t from) const { return m_Text.substr(from, m_Pos - from); }

private:
    const std::string& m_Text;
    std::size_t m_Pos = 0;
};

}  // namespace

URLParser::URLParser() {
    FillSet(m_PathChars, "%a-zA-Z0-9._~!$&'()*+,;=:@-");
    FillSet(m_FragmentChars, "%a-zA-Z0-9!$&'()*+,;=._~:@/?-");
    FillSet(m_HostChars, "a-zA-Z0-9.-");
}

bool URLParser::Parse(const std::string& text, URL& out) const {
    // A successful parse sets all six fields from the text. A failed one leaves in `out`
    // only the fields that were matched before the failing point.
    URL url;
    bool present[6] = {false, false, false, false, false, false};
    const auto fail = [&] {
        if (present[0])
            out.scheme = url.scheme;
        if (present[1])
            out.host = url.host;
        if (present[2])
            out.port = url.port;
        if (present[3])
            out.path = url.path;
        if (present[4])
            out.query = url.query;
        if (present[5])
            out.fragment = url.fragment;
        return false;
    };
    Cursor in(text);

    // scheme
    std::string scheme;
    if (in.Literal("http") || in.Literal("ftp") || in.Literal("ws")) {
        const std::size_t start = 0;
        in.Literal("s");
        if (in.Literal(":")) {
            scheme = text.substr(start, in.Position() - 1);
        } else {
            in.Reset(0);
        }
    }
    if (!in.Literal("//")) {
        return fail();
    }
    url.scheme = scheme;
    present[0] = !scheme.empty();

    // host
    const std::size_t hostStart = in.Position();
    while (!in.AtEnd() && m_HostChars[in.Peek()]) {
        in.Advance();
    }
    if (in.Position() == hostStart) {
        return fail();
    }
    url.host = in.Slice(hostStart);
    present[1] = true;

    // port
    uint32_t port = 0;
    const std::size_t colon = in.Position();
    if (in.Literal(":") && !in.AtEnd() && in.Peek() >= '0' && in.Peek() <= '9') {
        uint64_t value = 0;
        while (!in.AtEnd() && in.Peek() >= '0' && in.Peek() <= '9') {
            value = value * 10 + (in.Peek() - '0');
            if (value > 65535) {
                return fail();  // no such TCP port
            }
            in.Advance();
        }
        if (value == 0) {
            return fail();  // no such TCP port, and "0" stands for "none given"
        }
        port = static_cast<uint32_t>(value);
        present[2] = true;
    } else {
        in.Reset(colon);
    }
    url.port = port;

    // path
    const std::size_t pathStart = in.Position();
    while (!in.AtEnd() && (m_PathChars[in.Peek()] || in.Peek() == '/')) {
        in.Advance();
    }
    url.path = in.Slice(pathStart);
    present[3] = !url.path.empty();

    // query
    URLQuery query;
    const std::size_t questionMark = in.Position();
    if (in.Literal("?")) {
        for (;;) {
            const std::size_t pieceStart = in.Position();
            std::string name;
            std::string value;
            in.QueryText(name);
            if (name.empty()) {
                // A list needs its first parameter; a later one leaves the "&" unconsumed.
                in.Reset(query.empty() ? questionMark : pieceStart - 1);
                break;
            }
            if (in.Literal("=")) {
                in.QueryText(value);
            }
            query.emplace_back(std::move(name), std::move(value));
            if (!in.Literal("&")) {
                break;
            }
        }
    }
    present[4] = !query.empty();
    url.query = std::move(query);

    // fragment
    std::string fragment;
    if (in.Literal("#")) {
        const std::size_t fragmentStart = in.Position();
        while (!in.AtEnd() && m_FragmentChars[in.Peek()]) {
            in.Advance();
        }
        fragment = in.Slice(fragmentStart);
        present[5] = true;
    }
    url.fragment = fragment;

    if (!in.AtEnd()) {
        return fail();
    }
    out = std::move(url);
    return true;
}

}  // namespace network
