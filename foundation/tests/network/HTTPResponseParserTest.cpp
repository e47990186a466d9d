#include <gtest/gtest.h>

#include <string>

#include "foundation/network/HTTPResponseParser.h"

namespace network {
namespace {

struct Outcome {
    bool complete = false;
    bool failed = false;
    int code = -1;
    int status = 0;
    IHTTPConnection::HTTPVersion version = IHTTPConnection::HTTPVersion::Unknown;
    std::string headers;
    std::string body;
    std::string rest;

    bool operator==(const Outcome& o) const {
        return complete == o.complete && failed == o.failed && code == o.code &&
               status == o.status && version == o.version && headers == o.headers &&
               body == o.body && rest == o.rest;
    }
};

std::ostream& operator<<(std::ostream& out, const Outcome& o) {
    return out << "complete=" << o.complete << " failed=" << o.failed << " code=" << o.code
               << " status=" << o.status << " headers=[" << o.headers << "] body=[" << o.body
               << "] rest=[" << o.rest << "]";
}

// Feeds `input` in the given pieces, then the end of the stream when `end` is set.
Outcome run(const std::string& input, const std::vector<std::size_t>& cuts, bool end,
            HTTPResponseParser::Options options = {}) {
    HTTPResponseParser parser(options);
    Outcome outcome;
    std::size_t start = 0;
    std::vector<std::size_t> bounds = cuts;
    bounds.push_back(input.size());
    for (const std::size_t bound : bounds) {
        if (bound < start || bound > input.size()) {
            continue;
        }
        const auto* data = reinterpret_cast<const unsigned char*>(input.data()) + start;
        const std::size_t consumed = parser.Feed(data, bound - start);
        if (consumed < bound - start) {
            outcome.rest += input.substr(start + consumed, bound - start - consumed);
        }
        start = bound;
    }
    if (end) {
        parser.FeedEnd();
    }
    if (parser.HasFailed()) {
        outcome.rest.clear();  // what follows a failure is not looked at
    }
    outcome.complete = parser.IsComplete();
    outcome.failed = parser.HasFailed();
    outcome.code = parser.HasFailed() ? static_cast<int>(parser.GetFailureCode()) : -1;
    outcome.status = parser.GetStatus();
    outcome.version = parser.GetVersion();
    for (const auto& header : parser.GetHeaders()) {
        outcome.headers += header.first + "=" + header.second + "|";
    }
    const auto body = parser.TakeBody();
    outcome.body.assign(body.begin(), body.end());
    return outcome;
}

Outcome whole(const std::string& input, bool end = false,
              HTTPResponseParser::Options options = {}) {
    return run(input, {}, end, options);
}

TEST(HTTPResponseParserTest, StatusLines) {
    struct Case {
        const char* line;
        bool valid;
        int status;
        IHTTPConnection::HTTPVersion version;
    };
    using V = IHTTPConnection::HTTPVersion;
    const Case cases[] = {
        {"HTTP/1.1 200 OK", true, 200, V::HTTP_1_1},
        {"HTTP/1.0 404 Not Found", true, 404, V::HTTP_1_0},
        {"HTTP/2 200", true, 200, V::Unknown},
        {"HTTP/1.1 999 Whatever", true, 999, V::HTTP_1_1},
        {"HTTP/1.1 abc OK", false, 0, V::Unknown},
        {"HTTP/ 200 OK", false, 0, V::Unknown},
        {"HTTP/1.1 099 Low", false, 0, V::Unknown},
        {"HTTP/1.1 1000 High", false, 0, V::Unknown},
        {"HTTP/1.1 20 Short", false, 0, V::Unknown},
        {"ICY 200 OK", false, 0, V::Unknown},
        {"", false, 0, V::Unknown},
    };
    for (const Case& c : cases) {
        const Outcome o = whole(std::string(c.line) + "\r\nContent-Length: 0\r\n\r\n");
        if (c.valid) {
            EXPECT_TRUE(o.complete) << c.line << " " << o;
            EXPECT_EQ(o.status, c.status) << c.line;
            EXPECT_EQ(o.version, c.version) << c.line;
        } else {
            EXPECT_TRUE(o.failed) << c.line;
            EXPECT_EQ(o.code, InvalidResponse) << c.line;
        }
    }
}

TEST(HTTPResponseParserTest, HeadersKeepTrailingBlanksAndJoinContinuations) {
    const Outcome o = whole(
        "HTTP/1.1 200 OK\r\nX-A:   value  \r\nX-B: one\r\n  two\r\nSet-Cookie: a=1\r\n"
        "Set-Cookie: b=2\r\nContent-Length: 0\r\n\r\n");
    EXPECT_TRUE(o.complete);
    EXPECT_EQ(o.headers, "X-A=value  |X-B=one two|Set-Cookie=a=1|Set-Cookie=b=2|Content-Length=0|");
}

TEST(HTTPResponseParserTest, BodyFramings) {
    struct Case {
        const char* name;
        std::string input;
        bool end;
        bool complete;
        std::string body;
        std::string rest;
    };
    const Case cases[] = {
        {"length", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhelloEXTRA", false, true, "hello",
         "EXTRA"},
        {"length with plus is refused", "HTTP/1.1 200 OK\r\nContent-Length: +5\r\n\r\nhello", false,
         false, "", ""},
        {"chunked",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5;ext=1\r\nhello\r\n"
         "6\r\n world\r\n0\r\nX-Trailer: t\r\n\r\nNEXT",
         false, true, "hello world", "NEXT"},
        {"chunked wins over length",
         "HTTP/1.1 200 OK\r\nContent-Length: 3\r\n"
         "Transfer-Encoding: gzip, Chunked\r\n\r\n2\r\nab\r\n0\r\n\r\n",
         false, true, "ab", ""},
        {"to close", "HTTP/1.1 200 OK\r\n\r\nuntil the end", true, true, "until the end", ""},
        {"to close not yet ended", "HTTP/1.1 200 OK\r\n\r\nuntil", false, false, "until", ""},
        {"204 has no body", "HTTP/1.1 204 No Content\r\nContent-Length: 4\r\n\r\nNEXT", false, true,
         "", "NEXT"},
        {"304 has no body", "HTTP/1.1 304 Not Modified\r\n\r\nNEXT", false, true, "", "NEXT"},
        {"101 keeps what follows",
         "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\n\r\n"
         "\x81\x02hi",
         false, true, "", "\x81\x02hi"},
        {"interim 100 skipped",
         "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\n"
         "Content-Length: 2\r\n\r\nok",
         false, true, "ok", ""},
        {"bare line feeds", "HTTP/1.1 200 OK\nContent-Length: 2\n\nok", false, true, "ok", ""},
        {"no headers", "HTTP/1.1 200 OK\r\n\r\n", true, true, "", ""},
    };
    for (const Case& c : cases) {
        const Outcome o = whole(c.input, c.end);
        EXPECT_EQ(o.complete, c.complete) << c.name << ": " << o;
        if (c.complete) {
            EXPECT_EQ(o.body, c.body) << c.name;
            EXPECT_EQ(o.rest, c.rest) << c.name;
        }
    }
    // A trailer line arrives in the header list.
    EXPECT_NE(whole(cases[2].input).headers.find("X-Trailer=t"), std::string::npos);
}

TEST(HTTPResponseParserTest, MalformedAndTruncatedResponsesFailWithTransferFailed) {
    struct Case {
        const char* name;
        std::string input;
    };
    const Case cases[] = {
        {"closed before anything", ""},
        {"closed in status line", "HTTP/1.1 200"},
        {"closed in head", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n"},
        {"short body", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhel"},
        {"bad length", "HTTP/1.1 200 OK\r\nContent-Length: five\r\n\r\nhello"},
        {"negative length", "HTTP/1.1 200 OK\r\nContent-Length: -1\r\n\r\n"},
        {"conflicting lengths",
         "HTTP/1.1 200 OK\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\n"},
        {"bad chunk size", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n"},
        {"empty chunk size", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n\r\n"},
        {"huge chunk size",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nfffffffffffffffffff\r\n"},
        {"chunk without line end",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nabc\r\n0\r\n\r\n"},
        {"chunked cut short", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhel"},
        {"chunked without last chunk",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nab\r\n"},
        {"header without colon", "HTTP/1.1 200 OK\r\nnonsense\r\n\r\n"},
        {"continuation first", "HTTP/1.1 200 OK\r\n folded\r\n\r\n"},
        {"announced body too large",
         "HTTP/1.1 200 OK\r\nContent-Length: 3000000000\r\n\r\nabc"},
        {"head over 64 KiB", "HTTP/1.1 200 OK\r\nX-Big: " + std::string(70000, 'a') + "\r\n\r\n"},
    };
    for (const Case& c : cases) {
        const Outcome o = whole(c.input, true);
        EXPECT_TRUE(o.failed) << c.name << ": " << o;
        EXPECT_EQ(o.code, TransferFailed) << c.name;
    }

    std::string many = "HTTP/1.1 200 OK\r\n";
    for (int i = 0; i < 101; ++i) {
        many += "X-H" + std::to_string(i) + ": v\r\n";
    }
    EXPECT_TRUE(whole(many + "\r\n").failed);
    std::string hundred = "HTTP/1.1 200 OK\r\n";
    for (int i = 0; i < 99; ++i) {
        hundred += "X-H" + std::to_string(i) + ": v\r\n";
    }
    EXPECT_TRUE(whole(hundred + "Content-Length: 0\r\n\r\n").complete);
}

TEST(HTTPResponseParserTest, ConnectAndHeadAnswersHaveNoBody) {
    const std::string answer = "HTTP/1.1 200 Connection established\r\n\r\n\x16\x03";
    HTTPResponseParser::Options connect;
    connect.connectRequest = true;
    Outcome o = whole(answer, false, connect);
    EXPECT_TRUE(o.complete);
    EXPECT_EQ(o.rest, "\x16\x03");

    HTTPResponseParser::Options head;
    head.headRequest = true;
    o = whole("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n", false, head);
    EXPECT_TRUE(o.complete);
    EXPECT_EQ(o.body, "");
}

TEST(HTTPResponseParserTest, EverySplitGivesTheSameResult) {
    const std::string inputs[] = {
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nX: y\r\n\r\n3\r\nabc\r\n"
        "a;x=\"y\"\r\n0123456789\r\n0\r\nT: 1\r\n\r\nLEFT",
        "HTTP/1.0 301 Moved\r\nLocation: /x\r\nContent-Length: 4\r\n\r\nbodyLEFT",
        "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\n\r\nto the end",
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabcX\r\n",
    };
    for (const std::string& input : inputs) {
        const Outcome reference = whole(input, true);
        for (std::size_t a = 0; a <= input.size(); ++a) {
            for (std::size_t b = a; b <= input.size(); b += 7) {
                ASSERT_EQ(run(input, {a, b}, true), reference) << input << " cut " << a << "," << b;
            }
        }
        std::vector<std::size_t> everyByte;
        for (std::size_t i = 1; i < input.size(); ++i) {
            everyByte.push_back(i);
        }
        EXPECT_EQ(run(input, everyByte, true), reference) << input;
    }
}

TEST(HTTPResponseParserTest, LargeBodyArrivesWhole) {
    std::string body(3 * 1024 * 1024 + 17, '\0');
    for (std::size_t i = 0; i < body.size(); ++i) {
        body[i] = static_cast<char>(i * 31);
    }
    const std::string head = "HTTP/1.1 200 OK\r\n\r\n";
    std::vector<std::size_t> cuts;
    for (std::size_t at = 1000; at < head.size() + body.size(); at += 65536) {
        cuts.push_back(at);
    }
    const Outcome o = run(head + body, cuts, true);
    EXPECT_TRUE(o.complete);
    EXPECT_TRUE(o.body == body);
}

}  // namespace
}  // namespace network
