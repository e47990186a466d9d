#include "common/params/JsonFileParams.h"

#include <fcntl.h>
#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

#include "common/params/JsonParamValue.h"
#include "common/params/SecretParams.h"
#include "common/util/Util.h"
#include "foundation/persistence/GuardedJsonParse.h"

namespace common {

namespace {

const char kByteOrderMark[] = "\xEF\xBB\xBF";

// A flat file of keys and text values: a few kilobytes in use. The bounds refuse what could
// only come from damage, and keep every save (pretty-printed, so nesting multiplies the size)
// small. A file is never saved larger than a file that is read may be, so whatever is saved
// reads back.
constexpr std::size_t kMaxSavedSize = std::size_t(16) << 20;
const persistence::JsonParseLimits kFileLimits{kMaxSavedSize, 16};

// How many unusable files are kept aside.
constexpr unsigned kKeptAside = 5;

// The document as the file holds it: pretty-printed with four spaces and a final line feed.
bool render(const rapidjson::Document& document, std::string& text) {
    rapidjson::StringBuffer buffer;
    rapidjson::PrettyWriter<rapidjson::StringBuffer> writer(buffer);
    if (!document.Accept(writer)) {
        return false;
    }
    text.assign(buffer.GetString(), buffer.GetSize());
    text += '\n';
    return true;
}

rapidjson::Value nameRef(const std::string& key) {
    return rapidjson::Value(
        rapidjson::StringRef(key.data(), static_cast<rapidjson::SizeType>(key.size())));
}

// What readWholeFile answers for something other than a regular file at the path.
constexpr int kNotARegularFile = -1;

// Reads a whole regular file; the error number on failure.
int readWholeFile(const std::string& file, std::string& content) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return errno;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        const int error = errno;
        ::close(fd);
        return error;
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(fd);
        return kNotARegularFile;
    }
    char chunk[65536];
    for (;;) {
        const ssize_t count = ::read(fd, chunk, sizeof(chunk));
        if (count == 0) {
            break;
        }
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            const int error = errno;
            ::close(fd);
            return error;
        }
        content.append(chunk, static_cast<size_t>(count));
    }
    ::close(fd);
    return 0;
}

bool writeAll(int fd, const std::string& text) {
    size_t written = 0;
    while (written < text.size()) {
        const ssize_t count = ::write(fd, text.data() + written, text.size() - written);
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        written += static_cast<size_t>(count);
    }
    return true;
}

void syncFolder(const boost::filesystem::path& file) {
    const auto folder = file.parent_path().empty() ? std::string(".") : file.parent_path().string();
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

}  // namespace

JsonFileParams::JsonFileParams(const boost::filesystem::path& path)
    : _document(std::make_unique<rapidjson::Document>()),
      _path(path),
      _logger(ILogger::create("JsonFileParams")) {
    _document->SetObject();
    load();
}

JsonFileParams::~JsonFileParams() = default;

void JsonFileParams::load() {
    if (_path.empty()) {
        return;
    }
    std::string content;
    const int error = readWholeFile(_path.string(), content);
    if (error == ENOENT) {
        return;  // no file yet: the first change creates it
    }
    if (error == kNotARegularFile) {
        moveAside("is not a regular file");
        return;
    }
    if (error != 0) {
        // Maybe a passing condition (no descriptors left, an I/O error, a permission): the
        // file may well hold the device's state, so it stays where it is, untouched.
        _keepUnusableFile = true;
        _logger->error(
            "Parameter file %s cannot be read (%s); started empty and will not overwrite it",
            _path.string().c_str(), std::strerror(error));
        return;
    }
    size_t offset = 0;
    if (content.compare(0, 3, kByteOrderMark) == 0) {
        offset = 3;
    }
    auto parsed = std::make_unique<rapidjson::Document>();
    const persistence::JsonParseResult result =
        persistence::ParseJsonGuarded(content.c_str() + offset, *parsed, kFileLimits);
    if (!result) {
        moveAside("is not usable JSON: " + result.error);
        return;
    }
    if (!parsed->IsObject()) {
        moveAside("does not hold a JSON object");
        return;
    }
    // What is read is saved again on the next change: it must come out small and valid.
    std::string text;
    if (!render(*parsed, text)) {
        moveAside("holds values that cannot be saved again");
        return;
    }
    if (text.size() > kMaxSavedSize) {
        moveAside("would be saved as more than " + std::to_string(kMaxSavedSize) + " bytes");
        return;
    }
    _document = std::move(parsed);
}

void JsonFileParams::moveAside(const std::string& reason) {
    const std::string file = _path.string();
    // Earlier files kept aside stay: the newest few are kept under ".bad", ".bad.1" ...
    const boost::filesystem::path bad = util::moveAside(_path, ".bad", kKeptAside);
    if (!bad.empty()) {
        _logger->error("Parameter file %s %s; moved it aside to %s and started empty", file.c_str(),
                       reason.c_str(), bad.c_str());
        return;
    }
    const int error = errno;
    _keepUnusableFile = true;
    _logger->error(
        "Parameter file %s %s and cannot be moved aside to %s.bad (%s); started empty and will "
        "not overwrite it",
        file.c_str(), reason.c_str(), file.c_str(), std::strerror(error));
}

bool JsonFileParams::save() {
    if (_path.empty()) {
        _logger->error("Cannot save parameters: no parameter file");
        return false;
    }
    const std::string file = _path.string();
    if (_keepUnusableFile) {
        _logger->error(
            "Cannot save parameter file %s: it could not be read, or holds content that could "
            "not be moved aside",
            file.c_str());
        return false;
    }
    std::string text;
    if (!render(*_document, text)) {
        _logger->error("Cannot save parameter file %s: the parameters cannot be written as JSON",
                       file.c_str());
        return false;
    }
    if (text.size() > kMaxSavedSize) {
        _logger->error("Cannot save parameter file %s: the parameters take more than %zu bytes",
                       file.c_str(), kMaxSavedSize);
        return false;
    }

    // Write a complete copy beside the file and put it in place with one rename, so that a
    // failure at any step leaves the old file as it was.
    const std::string temporary = file + ".tmp";
    int fd = -1;
    auto fail = [&](const char* step) {
        const int error = errno;
        if (fd >= 0) {
            ::close(fd);
        }
        ::unlink(temporary.c_str());
        _logger->error("Cannot save parameter file %s: %s %s failed: %s", file.c_str(), step,
                       temporary.c_str(), std::strerror(error));
        return false;
    };
    if (::unlink(temporary.c_str()) != 0 && errno != ENOENT) {
        return fail("removing");
    }
    fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        return fail("creating");
    }
    if (::fchmod(fd, 0600) != 0) {
        return fail("setting the permissions of");
    }
    if (!writeAll(fd, text)) {
        return fail("writing");
    }
    if (::fsync(fd) != 0) {
        return fail("flushing");
    }
    const int closing = ::close(fd);
    fd = -1;
    if (closing != 0) {
        return fail("closing");
    }
    if (::rename(temporary.c_str(), file.c_str()) != 0) {
        return fail("renaming");
    }
    syncFolder(_path);
    return true;
}

bool JsonFileParams::isReadOnly() const {
    return false;
}

std::string JsonFileParams::getValue(const std::string& key,
                                     const std::string& defaultValue) const {
    const auto member = _document->FindMember(nameRef(key));
    if (member == _document->MemberEnd()) {
        return defaultValue;
    }
    return JsonParamValue::toText(member->value);
}

bool JsonFileParams::setValue(const std::string& key, std::string value) {
    auto& allocator = _document->GetAllocator();
    rapidjson::Value stored = JsonParamValue::fromText(value, allocator);
    const auto member = _document->FindMember(nameRef(key));
    if (member != _document->MemberEnd()) {
        member->value = stored;
    } else {
        rapidjson::Value name(key.data(), static_cast<rapidjson::SizeType>(key.size()), allocator);
        _document->AddMember(name, stored, allocator);
    }
    const std::string readBack = getValue(key, std::string());
    if (!readBack.empty()) {
        _logger->debug("Value added successfully: %s, %s", key.c_str(),
                       SecretParams::mask(key, readBack).c_str());
    } else {
        _logger->error("Cannot find recently added key: %s", key.c_str());
    }
    return save();
}

bool JsonFileParams::hasValue(const std::string& key) const {
    return _document->FindMember(nameRef(key)) != _document->MemberEnd();
}

bool JsonFileParams::removeValue(const std::string& key) {
    bool found = false;
    for (auto member = _document->FindMember(nameRef(key)); member != _document->MemberEnd();
         member = _document->FindMember(nameRef(key))) {
        _document->EraseMember(member);
        found = true;
    }
    if (!found) {
        return false;
    }
    return save();
}

std::set<std::string> JsonFileParams::getKeys() const {
    std::set<std::string> keys;
    for (auto member = _document->MemberBegin(); member != _document->MemberEnd(); ++member) {
        keys.emplace(member->name.GetString(), member->name.GetStringLength());
    }
    return keys;
}

}  // namespace common
