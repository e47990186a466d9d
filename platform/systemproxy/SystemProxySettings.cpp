#include "platform/systemproxy/SystemProxySettings.h"

#include <fstream>
#include <iterator>

#include <rapidjson/document.h>

#include "platform/systemroot/SystemRoot.h"

namespace standin {

std::string SystemProxySettings::file() {
    return SystemRoot::resolve("/Library/Preferences/SystemConfiguration/proxies.json").string();
}

bool SystemProxySettings::copy(SystemProxySettings& settings) {
    std::ifstream in(file(), std::ios::binary);
    if (!in) {
        return false;
    }
    // The settings file is small; anything larger is not ours.
    std::string text;
    text.reserve(4096);
    char buffer[4096];
    while (in.read(buffer, sizeof(buffer)) || in.gcount() > 0) {
        text.append(buffer, static_cast<std::size_t>(in.gcount()));
        if (text.size() > (1u << 20)) {
            return false;
        }
    }
    rapidjson::Document document;
    document.Parse(text.c_str(), text.size());
    if (document.HasParseError() || !document.IsObject()) {
        return false;
    }
    SystemProxySettings read;
    const auto enable = document.FindMember("HTTPSEnable");
    if (enable != document.MemberEnd() && enable->value.IsInt()) {
        read.httpsEnable = enable->value.GetInt();
    }
    const auto host = document.FindMember("HTTPSProxy");
    if (host != document.MemberEnd() && host->value.IsString()) {
        read.httpsProxy.assign(host->value.GetString(), host->value.GetStringLength());
    }
    const auto port = document.FindMember("HTTPSPort");
    if (port != document.MemberEnd() && port->value.IsInt()) {
        read.httpsPort = static_cast<uint16_t>(port->value.GetInt());
    }
    settings = read;
    return true;
}

}  // namespace standin
