#pragma once

#include <rapidjson/document.h>
#include <boost/filesystem/path.hpp>
#include <memory>

#include "common/logger/ILogger.h"
#include "common/params/IParams.h"

namespace common {

// Writable layer backed by a file that holds one JSON object. The file is read once, at
// construction; every change is saved at once, pretty-printed with four spaces of indentation
// and a final line feed, through a temporary file that replaces the old one only when it has
// been written completely. A file whose content cannot be used (not JSON within the reader's
// bounds, not an object, not a regular file) is moved aside to "<name>.bad" (or, when older
// ones are kept there, "<name>.bad.1" to ".bad.4"; the newest five are kept) and the layer
// starts empty. A file that exists but cannot be read (no descriptors left, an I/O error, a
// permission) is left alone: the layer starts empty and never writes over it.
class JsonFileParams : public IParams {
public:
    // An empty path gives an empty layer that cannot be saved. A relative path is taken
    // against the current folder at each read and write.
    explicit JsonFileParams(const boost::filesystem::path& path);
    ~JsonFileParams() override;

    bool isReadOnly() const override;
    std::string getValue(const std::string& key, const std::string& defaultValue) const override;
    // Answers whether the file was saved.
    bool setValue(const std::string& key, std::string value) override;
    bool hasValue(const std::string& key) const override;
    // False when there is no such member; otherwise whether the file was saved.
    bool removeValue(const std::string& key) override;
    std::set<std::string> getKeys() const override;

private:
    void load();
    void moveAside(const std::string& reason);
    bool save();

    std::unique_ptr<rapidjson::Document> _document;
    boost::filesystem::path _path;
    std::unique_ptr<ILogger> _logger;
    // Set when the file could not be read, or was unusable and could not be moved aside: it is
    // then never overwritten.
    bool _keepUnusableFile = false;
};

}  // namespace common
