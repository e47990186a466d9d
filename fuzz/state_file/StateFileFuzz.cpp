// The parameter file ("unattended.json") with any content: reading it never crashes; the layer
// either reads it or moves it aside; after a change the saved file is small, valid JSON that
// reads back with the change and everything else the layer held.

#include <rapidjson/document.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "common/params/JsonFileParams.h"

namespace {

const std::string& folder() {
    static const std::string path = [] {
        // In memory where there is such a file system: every save flushes to the disk.
        char name[] = "/dev/shm/fuzz_state_file.XXXXXX";
        char fallback[] = "/tmp/fuzz_state_file.XXXXXX";
        const char* made = ::mkdtemp(name);
        if (made == nullptr) {
            made = ::mkdtemp(fallback);
        }
        if (made == nullptr) {
            std::abort();
        }
        std::atexit([] { ::rmdir(folder().c_str()); });
        return std::string(made);
    }();
    return path;
}

void removeAll(const std::string& base) {
    for (const char* suffix : {"", ".bad", ".bad.1", ".bad.2", ".bad.3", ".bad.4", ".tmp"}) {
        ::unlink((base + suffix).c_str());
    }
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string file = folder() + "/unattended.json";
    removeAll(file);
    {
        std::ofstream out(file, std::ios::binary);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }

    std::set<std::string> keys;
    {
        common::JsonFileParams params(file);
        keys = params.getKeys();
        for (const auto& key : keys) {
            params.getValue(key, "");
        }
        struct stat info {};
        const bool movedAside = ::stat(file.c_str(), &info) != 0;
        if (movedAside && !keys.empty()) {
            std::abort();  // a file moved aside leaves an empty layer
        }
        if (!params.setValue("FuzzKey", "value 1")) {
            std::abort();  // the file was readable: a change must be saved
        }
        keys.insert("FuzzKey");
    }

    const std::string saved = readFile(file);
    if (saved.size() > (std::size_t(32) << 20)) {
        std::abort();
    }
    rapidjson::Document document;
    document.Parse(saved.c_str());
    if (document.HasParseError() || !document.IsObject()) {
        std::abort();
    }
    common::JsonFileParams reread(file);
    if (reread.getKeys() != keys || reread.getValue("FuzzKey", "") != "value 1") {
        std::abort();
    }
    removeAll(file);
    return 0;
}
