#include "helper/ipc/RequestLogText.h"

#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include "common/params/SecretParams.h"

namespace helper {

namespace {

const char* const kMask = "***";

bool isSecretOption(const std::string& argument) {
    return argument.size() > 1 && argument[0] == '-' &&
           common::SecretParams::isSecret(argument.substr(1));
}

}  // namespace

std::vector<std::string> RequestLogText::maskArguments(const std::vector<std::string>& arguments) {
    std::vector<std::string> masked(arguments);
    for (std::size_t i = 0; i + 1 < masked.size(); ++i) {
        if (isSecretOption(arguments[i])) {
            if (!masked[i + 1].empty()) {
                masked[i + 1] = kMask;
            }
            ++i;
        }
    }
    return masked;
}

std::string RequestLogText::commandLine(const std::vector<std::string>& arguments) {
    const std::vector<std::string> masked = maskArguments(arguments);
    std::string line;
    for (std::size_t i = 0; i < masked.size(); ++i) {
        if (i > 0) {
            line += ' ';
        }
        line += masked[i];
    }
    return line;
}

std::string RequestLogText::requestText(const std::string& text) {
    if (text.find("arguments") == std::string::npos) {
        return text;
    }
    rapidjson::Document document;
    document.Parse<rapidjson::kParseIterativeFlag>(text.c_str(), text.size());
    if (document.HasParseError() || !document.IsObject()) {
        return text;
    }
    auto message = document.FindMember("message");
    if (message == document.MemberEnd() || !message->value.IsObject()) {
        return text;
    }
    auto arguments = message->value.FindMember("arguments");
    if (arguments == message->value.MemberEnd() || !arguments->value.IsArray()) {
        return text;
    }
    auto& list = arguments->value;
    bool changed = false;
    for (rapidjson::SizeType i = 0; i + 1 < list.Size(); ++i) {
        if (!list[i].IsString() ||
            !isSecretOption(std::string(list[i].GetString(), list[i].GetStringLength()))) {
            continue;
        }
        auto& value = list[i + 1];
        if (!value.IsString() || value.GetStringLength() > 0) {
            value.SetString(kMask, document.GetAllocator());
            changed = true;
        }
        ++i;
    }
    if (!changed) {
        return text;
    }
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    document.Accept(writer);
    return std::string(buffer.GetString(), buffer.GetSize());
}

}  // namespace helper
