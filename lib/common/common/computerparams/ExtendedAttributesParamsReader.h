#pragma once

#include <rapidjson/document.h>

#include <boost/filesystem/path.hpp>
#include <memory>
#include <set>
#include <string>

#include "common/params/IParams.h"

namespace common {

// A read-only parameter layer with the settings that the installer attaches to the application
// bundle: the extended attribute of the given name, holding one JSON object whose members are
// the parameters. Member names are case-sensitive; values read as the JSON file layer reads them.
// A missing, unreadable or invalid attribute gives an empty layer.
class ExtendedAttributesParamsReader : public IParams {
public:
    // Reads the attribute of the main bundle (bundlePath()) once.
    explicit ExtendedAttributesParamsReader(const std::string& attributeName);
    // Reads the attribute of the given bundle or folder once.
    ExtendedAttributesParamsReader(const std::string& attributeName,
                                   const boost::filesystem::path& bundlePath);
    ~ExtendedAttributesParamsReader() override;

    bool isReadOnly() const override;
    std::string getValue(const std::string& key, const std::string& defaultValue) const override;
    // Changes nothing and answers false.
    bool setValue(const std::string& key, std::string value) override;
    bool hasValue(const std::string& key) const override;
    // Changes nothing and answers false.
    bool removeValue(const std::string& key) override;
    std::set<std::string> getKeys() const override;

    // The main bundle of the running program: `<X>.app` when the executable is
    // `<X>.app/Contents/MacOS/<exe>`, else the executable's folder. Empty when the executable
    // cannot be found.
    static boost::filesystem::path bundlePath();
    // The bundle for a given (canonical) executable path, by the same rule.
    static boost::filesystem::path bundlePath(const boost::filesystem::path& executable);

private:
    std::unique_ptr<rapidjson::Document> _document;
};

}  // namespace common
