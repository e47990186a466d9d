#include "platform/archive/ZipArchiveCheck.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <boost/filesystem/operations.hpp>

#include "platform/archive/Unzip.h"
#include "platform/tests/archive/MakeZip.h"
#include "testsupport/TempDir.h"

namespace fs = boost::filesystem;
using standin::ZipArchiveCheck;

namespace {

// Makes `name` in `dir` from (name, content, unix mode) tuples written as a Python list.
fs::path makeZip(const testsupport::TempDir& dir, const std::string& name,
                 const std::string& entries) {
    const fs::path archive = dir / name;
    EXPECT_TRUE(testsupport::makeZip(archive, entries));
    return archive;
}

}  // namespace

TEST(ZipArchiveCheck, AcceptsPlainArchivesThatUnzipUnpacks) {
    testsupport::TempDir dir;
    const auto archive = makeZip(
        dir, "good.zip",
        "[('App.app/', '', 0o40755), ('App.app/Contents/MacOS/run', '#!/bin/sh\\nexit 0\\n', "
        "0o100755), ('notes/a..b.txt', 'x', 0o100644), ('..hidden', 'y', 0o100644)]");
    EXPECT_EQ(ZipArchiveCheck::check(archive), "");
    EXPECT_EQ(standin::Unzip::test(archive), 0);
    EXPECT_EQ(standin::Unzip::extract(archive, dir / "out"), 0);
    EXPECT_TRUE(fs::exists(dir / "out/App.app/Contents/MacOS/run"));
    EXPECT_TRUE(fs::status(dir / "out/App.app/Contents/MacOS/run").permissions() & fs::owner_exe);
}

TEST(ZipArchiveCheck, RefusesEntriesThatLeaveTheFolderOrLink) {
    testsupport::TempDir dir;
    const struct {
        const char* name;
        std::string entries;
    } cases[] = {
        {"parent", "[('../x', 'x', 0o100644)]"},
        {"parent inside", "[('a/../../x', 'x', 0o100644)]"},
        {"parent at the end", "[('a/..', '', 0o40755)]"},
        {"absolute", "[('/tmp/x', 'x', 0o100644)]"},
        {"backslash", "[('a\\\\..\\\\x', 'x', 0o100644)]"},
        {"drive letter", "[('C:x', 'x', 0o100644)]"},
        {"control character", "[('a\\nb', 'x', 0o100644)]"},
        {"symbolic link", "[('ok', 'x', 0o100644), ('link', '/etc', 0o120777)]"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto archive = makeZip(dir, std::string(c.name) + ".zip", c.entries);
        EXPECT_NE(ZipArchiveCheck::check(archive), "");
    }
}

TEST(ZipArchiveCheck, RefusesDamagedArchives) {
    testsupport::TempDir dir;
    const auto archive = makeZip(dir, "good.zip", "[('a', 'x' * 100, 0o100644)]");
    const std::string bytes = testsupport::TempDir::read(archive);
    ASSERT_EQ(ZipArchiveCheck::checkBytes(bytes), "");
    EXPECT_NE(ZipArchiveCheck::checkBytes(""), "");
    EXPECT_NE(ZipArchiveCheck::checkBytes("PK\x05\x06"), "");
    EXPECT_NE(ZipArchiveCheck::checkBytes(bytes.substr(0, bytes.size() - 1)), "");
    EXPECT_NE(ZipArchiveCheck::checkBytes(bytes.substr(40)), "");
    // Every cut and every single-byte change is handled without reading out of bounds.
    for (size_t i = 0; i < bytes.size(); ++i) {
        ZipArchiveCheck::checkBytes(bytes.substr(0, i));
        std::string changed = bytes;
        changed[i] = static_cast<char>(changed[i] ^ 0xFF);
        ZipArchiveCheck::checkBytes(changed);
    }
    EXPECT_NE(ZipArchiveCheck::check(dir / "missing.zip"), "");
}
