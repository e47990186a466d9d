#include "common/computerparams/ExtendedAttributesParamsReader.h"

#include <cerrno>
#include <cstring>

#include "common/logger/ILogger.h"
#include "common/params/JsonParamValue.h"
#include "common/util/Util.h"
#include "foundation/persistence/GuardedJsonParse.h"
#include "platform/xattr/ExtendedAttributes.h"

namespace fs = boost::filesystem;

namespace common {

ExtendedAttributesParamsReader::ExtendedAttributesParamsReader(const std::string& attributeName)
    : ExtendedAttributesParamsReader(attributeName, bundlePath()) {}

ExtendedAttributesParamsReader::ExtendedAttributesParamsReader(const std::string& attributeName,
                                                               const fs::path& bundlePath)
    : _document(std::make_unique<rapidjson::Document>()) {
    _document->SetObject();
    int error = 0;
    const auto text = standin::ExtendedAttributes::read(bundlePath, attributeName, &error);
    if (!text) {
        // No attribute at all is the normal case of a program that the installer did not mark.
        if (error != ENODATA && error != ENOTSUP) {
            ILogger::create("ExtendedAttributesParamsReader")
                ->warning("Cannot read the attribute %s of '%s': %s", attributeName.c_str(),
                          bundlePath.c_str(), std::strerror(error));
        }
        return;
    }
    if (text->empty()) {
        return;
    }
    rapidjson::Document parsed;
    // The guards of the parameter file: flat content of a few keys, within a double's range.
    const persistence::JsonParseLimits limits{std::size_t(1) << 20, 16};
    if (!persistence::ParseJsonGuarded(text->c_str(), parsed, limits) || !parsed.IsObject()) {
        ILogger::create("ExtendedAttributesParamsReader")
            ->warning("The attribute %s of '%s' is not a JSON object; it is ignored",
                      attributeName.c_str(), bundlePath.c_str());
        return;
    }
    _document->Swap(parsed);
}

ExtendedAttributesParamsReader::~ExtendedAttributesParamsReader() = default;

bool ExtendedAttributesParamsReader::isReadOnly() const {
    return true;
}

std::string ExtendedAttributesParamsReader::getValue(const std::string& key,
                                                     const std::string& defaultValue) const {
    const auto member = _document->FindMember(key);
    if (member == _document->MemberEnd()) {
        return defaultValue;
    }
    return JsonParamValue::toText(member->value);
}

bool ExtendedAttributesParamsReader::setValue(const std::string& /*key*/, std::string /*value*/) {
    return false;
}

bool ExtendedAttributesParamsReader::hasValue(const std::string& key) const {
    return _document->HasMember(key);
}

bool ExtendedAttributesParamsReader::removeValue(const std::string& /*key*/) {
    return false;
}

std::set<std::string> ExtendedAttributesParamsReader::getKeys() const {
    std::set<std::string> keys;
    for (const auto& member : _document->GetObject()) {
        keys.emplace(member.name.GetString(), member.name.GetStringLength());
    }
    return keys;
}

fs::path ExtendedAttributesParamsReader::bundlePath() {
    const fs::path executable = util::getExecutablePathAndFilename();
    return executable.empty() ? fs::path() : bundlePath(executable);
}

fs::path ExtendedAttributesParamsReader::bundlePath(const fs::path& executable) {
    return util::getBundlePath(executable);
}

}  // namespace common
