#include "foundation/network/AsyncHTTPRequestData.h"

#include <sstream>

#include "foundation/network/AsyncHTTPRequest.h"
#include "foundation/network/HTTPCookieStore.h"
#include "foundation/network/HTTPHeaderList.h"

namespace network {

namespace {

bool hasLineBreak(const std::string& text) {
    return text.find_first_of("\r\n") != std::string::npos;
}

bool isSecretHeader(const std::string& name) {
    return EqualsNoCase(name, "Authorization") || EqualsNoCase(name, "Proxy-Authorization") ||
           EqualsNoCase(name, "Cookie");
}

}  // namespace

AsyncHTTPRequestData::AsyncHTTPRequestData(const URL& url)
    : logging::LogSource("AsyncHTTPRequestData[" + url.ToURLString() + "]"), _url(url) {
    Log(logging::Debug) << "HTTP request data context created.";
}

AsyncHTTPRequestData::~AsyncHTTPRequestData() {
    Log(logging::Debug) << "HTTP request data context released.";
}

std::string AsyncHTTPRequestData::MaskedForLog(const std::string& head) {
    std::string out;
    std::size_t start = 0;
    while (start < head.size()) {
        std::size_t end = head.find('\n', start);
        if (end == std::string::npos) {
            end = head.size();
        }
        std::string line = head.substr(start, end - start);
        std::string clean;
        for (const char c : line) {
            if (c != '\r') {
                clean += c;
            }
        }
        const std::size_t colon = clean.find(':');
        if (colon != std::string::npos && isSecretHeader(clean.substr(0, colon))) {
            clean = clean.substr(0, colon) + ": ***";
        }
        out += clean;
        if (end < head.size()) {
            out += '\n';
        }
        start = end + 1;
    }
    return out;
}

bool AsyncHTTPRequestData::WriteHeaders(const AsyncHTTPRequest& request,
                                        const HTTPCookieStore* cookieStore, bool keepAlive,
                                        uint64_t length) {
    const HTTPHeaderList& headers = request.GetHeaders();
    for (const auto& header : headers) {
        if (header.first.empty() || hasLineBreak(header.first) || hasLineBreak(header.second) ||
            header.first.find(':') != std::string::npos) {
            _refusal = "header '" + MaskedForLog(header.first) + "' holds a line break or colon";
            return false;
        }
    }
    if (hasLineBreak(request.GetContentType())) {
        _refusal = "the content type holds a line break";
        return false;
    }
    if (request.GetMethod().find_first_of("\r\n \t") != std::string::npos) {
        _refusal = "the method is not a single word";
        return false;
    }

    std::string method = request.GetMethod();
    if (method.empty()) {
        method = length != 0 ? "PUT" : (request.GetBody().empty() ? "GET" : "POST");
    }
    _connect = EqualsNoCase(method, "CONNECT");
    _head = EqualsNoCase(method, "HEAD");

    std::ostringstream head;
    std::string target;
    if (_connect) {
        target = _url.ToHTTPConnectString();
    } else {
        // Path and query; the fragment is the client's business and never sent.
        std::ostringstream get;
        EncodeHTTPGetString(get, _url.path, _url.query, std::string());
        target = get.str();
        if (target.empty() || target[0] != '/') {
            target.insert(0, "/");
        }
    }
    head << method << ' ' << target << " HTTP/1.1\r\n";

    // A caller's Host or Content-Type takes the place of the library's line.
    const HTTPHeaderList::Header* callerHost = headers.Find("Host");
    if (callerHost != nullptr) {
        head << "Host: " << callerHost->second << "\r\n";
    } else {
        head << "Host: " << _url.host;
        if (!_url.IsDefaultPort()) {
            head << ':' << _url.port;
        }
        head << "\r\n";
    }
    if (!_connect) {
        head << "Accept: */*\r\n";
    }

    const uint64_t announced = length != 0 ? length : request.GetBody().size();
    const bool bodyLines = announced != 0;
    if (bodyLines) {
        const HTTPHeaderList::Header* callerType = headers.Find("Content-Type");
        head << "Content-Type: "
             << (callerType != nullptr               ? callerType->second
                 : !request.GetContentType().empty() ? request.GetContentType()
                                                     : std::string("application/octet-stream"))
             << "\r\n";
        if (!_noContentLength) {
            head << "Content-Length: " << announced << "\r\n";
        }
    }

    const HTTPHeaderList::Header* connection = headers.Find("Connection");
    if (connection == nullptr || connection->second.empty()) {
        if (keepAlive) {
            head << (_connect ? "Proxy-Connection: keep-alive\r\n" : "Connection: keep-alive\r\n");
        } else if (!_connect) {
            head << "Connection: close\r\n";
        }
    }

    for (const auto& header : headers) {
        if (EqualsNoCase(header.first, "Host")) {
            continue;
        }
        if (bodyLines && (EqualsNoCase(header.first, "Content-Type") ||
                          (!_noContentLength && EqualsNoCase(header.first, "Content-Length")))) {
            continue;
        }
        head << header.first << ": " << header.second << "\r\n";
    }

    std::string text = head.str();
    Log(logging::Debug) << "HTTP request headers:\n" << MaskedForLog(text);

    if (cookieStore != nullptr && !_connect) {
        const std::string cookies = cookieStore->Get(_url);
        if (!cookies.empty()) {
            text += "Cookie: " + cookies + "\r\n";
            Log(logging::Debug) << "HTTP 'Cookie' request headers omitted from log.";
        }
    }
    text += "\r\n";
    _output.append(reinterpret_cast<const unsigned char*>(text.data()), text.size());
    return true;
}

void AsyncHTTPRequestData::AppendBody(const AsyncHTTPRequest& request) {
    const auto& body = request.GetBody();
    if (!body.empty()) {
        _output.append(body.data(), body.size());
    }
}

}  // namespace network
