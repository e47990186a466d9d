#include "common/params/JsonFileParams.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <cctype>
#include <memory>
#include <set>

#include <boost/filesystem/operations.hpp>

#include "lib/common/tests/support/LogCapture.h"
#include "testsupport/TempDir.h"

namespace fs = boost::filesystem;
using common::ILogger;
using common::JsonFileParams;
using testsupport::LogCapture;
using testsupport::TempDir;

namespace {

// A test name made of the case's number and the letters and digits of its text.
std::string caseName(size_t index, const std::string& text) {
    std::string name = std::to_string(index);
    for (const char c : text) {
        if (std::isalnum(static_cast<unsigned char>(c))) {
            name += c;
        }
    }
    return name;
}

unsigned modeOf(const fs::path& file) {
    struct stat info {};
    EXPECT_EQ(::stat(file.c_str(), &info), 0) << file;
    return info.st_mode & 07777;
}

// --- How a written text is stored, and that it reads back unchanged -----------------------

struct StoredForm {
    std::string text;
    std::string json;  // the member's value as it appears in the file
};

const StoredForm kStoredForms[] = {
    {"7", "7"},
    {"0", "0"},
    {"-12", "-12"},
    {"0.5", "0.5"},
    {"18446744073709551615", "18446744073709551615"},
    {"-9223372036854775808", "-9223372036854775808"},
    // Texts that a number would not give back stay strings.
    {"007", "\"007\""},
    {"2024-01-01", "\"2024-01-01\""},
    {"1e5", "\"1e5\""},
    {"-0", "\"-0\""},
    {"1.0", "\"1.0\""},
    {"1.2.3", "\"1.2.3\""},
    {".5", "\".5\""},
    {"-", "\"-\""},
    {"5-", "\"5-\""},
    {"1234567.5", "\"1234567.5\""},
    {"18446744073709551616", "\"18446744073709551616\""},
    {"-9223372036854775809", "\"-9223372036854775809\""},
    {"99999999999999999999999999", "\"99999999999999999999999999\""},
    {"true", "\"true\""},
    {"", "\"\""},
    {"a\"b\\c\n", "\"a\\\"b\\\\c\\n\""},
};

void PrintTo(const StoredForm& form, std::ostream* os) {
    *os << '"' << form.text << '"';
}

class JsonStoredForm : public testing::TestWithParam<StoredForm> {};

TEST_P(JsonStoredForm, IsWrittenAndReadBackUnchanged) {
    const StoredForm& form = GetParam();
    TempDir dir;
    const auto file = dir / "unattended.json";
    {
        JsonFileParams params(file);
        EXPECT_TRUE(params.setValue("k", form.text));
        EXPECT_EQ(params.getValue("k", "<none>"), form.text);
    }
    EXPECT_EQ(TempDir::read(file), "{\n    \"k\": " + form.json + "\n}\n");
    JsonFileParams reread(file);
    EXPECT_TRUE(reread.hasValue("k"));
    EXPECT_EQ(reread.getValue("k", "<none>"), form.text);
}

INSTANTIATE_TEST_SUITE_P(JsonFileParams, JsonStoredForm, testing::ValuesIn(kStoredForms),
                         [](const testing::TestParamInfo<StoredForm>& info) {
                             return caseName(info.index, info.param.text);
                         });

// --- Files that cannot be used are kept aside ---------------------------------------------

const char* const kUnusableContents[] = {
    "not json",
    "[1, 2]",
    "{\"a\": ",
    "",
    "\"text\"",
    "{\"a\": 1} trailing",
    "\xEF\xBB\xBF",
    // Numbers RapidJSON alone would overflow on, or read as infinity (which no save can write).
    "{\"a\":0.00000000001e-2147483639}",
    "{\"i\":804407161E300}",
    "{\"i\":-804407161E300}",
};

class JsonUnusableFile : public testing::TestWithParam<const char*> {};

TEST_P(JsonUnusableFile, IsMovedAsideWithAnErrorAndNotOverwritten) {
    auto log = LogCapture::install();
    TempDir dir;
    const std::string content = GetParam();
    const auto file = dir.write("unattended.json", content);
    const auto bad = dir / "unattended.json.bad";

    JsonFileParams params(file);
    EXPECT_TRUE(params.getKeys().empty());
    EXPECT_FALSE(fs::exists(file));
    ASSERT_TRUE(fs::exists(bad));
    EXPECT_EQ(TempDir::read(bad), content);
    EXPECT_TRUE(log->waitFor(ILogger::Error, bad.string()));

    EXPECT_TRUE(params.setValue("InstanceId", "abc"));
    EXPECT_EQ(TempDir::read(file), "{\n    \"InstanceId\": \"abc\"\n}\n");
    EXPECT_EQ(TempDir::read(bad), content);
}

INSTANTIATE_TEST_SUITE_P(JsonFileParams, JsonUnusableFile, testing::ValuesIn(kUnusableContents),
                         [](const testing::TestParamInfo<const char*>& info) {
                             return caseName(info.index, info.param);
                         });

}  // namespace

TEST(JsonFileParams, WritesPrettyPrintedWithAFinalLineFeedInMemberOrder) {
    TempDir dir;
    const auto file = dir / "unattended.json";
    JsonFileParams params(file);
    EXPECT_FALSE(params.isReadOnly());
    EXPECT_TRUE(params.setValue("b", "x"));
    EXPECT_TRUE(params.setValue("a", "2"));
    EXPECT_TRUE(params.setValue("c", "3"));
    EXPECT_EQ(TempDir::read(file), "{\n    \"b\": \"x\",\n    \"a\": 2,\n    \"c\": 3\n}\n");

    EXPECT_TRUE(params.setValue("b", "y"));  // replaced in place
    EXPECT_TRUE(params.removeValue("a"));    // the others keep their order
    EXPECT_EQ(TempDir::read(file), "{\n    \"b\": \"y\",\n    \"c\": 3\n}\n");
    EXPECT_FALSE(params.removeValue("a"));
    EXPECT_EQ(params.getKeys(), (std::set<std::string>{"b", "c"}));

    EXPECT_TRUE(params.removeValue("b"));
    EXPECT_TRUE(params.removeValue("c"));
    EXPECT_EQ(TempDir::read(file), "{}\n");
}

TEST(JsonFileParams, MemberNamesAreCaseSensitive) {
    TempDir dir;
    JsonFileParams params(dir.write("p.json", R"({"LogLevel": "3"})"));
    EXPECT_TRUE(params.hasValue("LogLevel"));
    EXPECT_FALSE(params.hasValue("loglevel"));
    EXPECT_EQ(params.getValue("loglevel", "d"), "d");
}

TEST(JsonFileParams, ReadsEveryJsonKindAsText) {
    TempDir dir;
    const auto file = dir.write("p.json", R"({
        "null": null, "t": true, "f": false, "s": "text", "int": -3, "uint": 4294967295,
        "big": 9007199254740993, "double": 1234567.5, "small": 0.1, "whole": 3.0,
        "object": {"a": 1, "b": [true]}, "array": [1, "x"], "empty": ""
    })");
    JsonFileParams params(file);
    const std::pair<const char*, const char*> expected[] = {
        {"null", "(null)"},
        {"t", "true"},
        {"f", "false"},
        {"s", "text"},
        {"int", "-3"},
        {"uint", "4294967295"},
        {"big", "9007199254740993"},
        {"double", "1.23457e+06"},
        {"small", "0.1"},
        {"whole", "3"},
        {"object", "{\n    \"a\": 1,\n    \"b\": [\n        true\n    ]\n}"},
        {"array", "[\n    1,\n    \"x\"\n]"},
        {"empty", ""},
    };
    for (const auto& entry : expected) {
        EXPECT_TRUE(params.hasValue(entry.first)) << entry.first;
        EXPECT_EQ(params.getValue(entry.first, "<none>"), entry.second) << entry.first;
    }
}

TEST(JsonFileParams, AByteOrderMarkIsSkipped) {
    TempDir dir;
    JsonFileParams params(dir.write("p.json", "\xEF\xBB\xBF{\"WebsiteUrl\": \"https://x\"}"));
    EXPECT_EQ(params.getValue("WebsiteUrl", ""), "https://x");
    EXPECT_FALSE(fs::exists(dir / "p.json.bad"));
}

TEST(JsonFileParams, AMissingFileStartsEmptyWithoutAnError) {
    auto log = LogCapture::install();
    TempDir dir;
    JsonFileParams params(dir / "unattended.json");
    EXPECT_TRUE(params.getKeys().empty());
    EXPECT_FALSE(fs::exists(dir / "unattended.json.bad"));
    for (const auto& record : log->all()) {
        EXPECT_LT(record._level, ILogger::Warning) << record._message;
    }
}

TEST(JsonFileParams, FilesAreOwnerOnlyWhateverTheUmaskAndTheOldMode) {
    TempDir dir;
    const mode_t oldMask = ::umask(0);
    {
        JsonFileParams created(dir / "new.json");
        EXPECT_TRUE(created.setValue("a", "1"));
        EXPECT_EQ(modeOf(dir / "new.json"), 0600u);

        const auto existing = dir.write("old.json", "{}");
        ::chmod(existing.c_str(), 0644);
        JsonFileParams replaced(existing);
        EXPECT_TRUE(replaced.setValue("a", "1"));
        EXPECT_EQ(modeOf(existing), 0600u);
    }
    ::umask(oldMask);
}

TEST(JsonFileParams, AFolderInPlaceOfTheFileIsMovedAside) {
    TempDir dir;
    dir.write("unattended.json/inner", "keep");
    JsonFileParams params(dir / "unattended.json");
    EXPECT_TRUE(params.getKeys().empty());
    EXPECT_EQ(TempDir::read(dir / "unattended.json.bad" / "inner"), "keep");
    EXPECT_TRUE(params.setValue("a", "x"));
    EXPECT_EQ(TempDir::read(dir / "unattended.json"), "{\n    \"a\": \"x\"\n}\n");
}

TEST(JsonFileParams, AnUnusableFileThatCannotBeMovedAsideIsNeverOverwritten) {
    auto log = LogCapture::install();
    TempDir dir;
    const auto file = dir.write("unattended.json", "{ broken");
    // Non-empty folders at every name it could be moved to: neither renamed over nor removed.
    dir.write("unattended.json.bad/occupied", "");
    for (int i = 1; i < 5; ++i) {
        dir.write("unattended.json.bad." + std::to_string(i) + "/occupied", "");
    }
    JsonFileParams params(file);
    EXPECT_TRUE(params.getKeys().empty());
    EXPECT_FALSE(params.setValue("a", "1"));
    EXPECT_EQ(TempDir::read(file), "{ broken");
    EXPECT_TRUE(log->waitFor(ILogger::Error, "will not overwrite it"));
    EXPECT_TRUE(log->waitFor(ILogger::Error, "Cannot save parameter file"));
}

// Damaged files found by fuzzing: each crashed the reader, hung or bloated the next save.
TEST(JsonFileParams, DeeplyNestedFilesAreMovedAsideAndSavesStaySmall) {
    const std::string cases[] = {
        "{\"a\":" + std::string(100000, '['),
        "{\"a\":" + std::string(2000, '[') + std::string(2000, ']') + "}",
        "{\"a\":" + std::string(40, '[') + std::string(40, ']') + "}",
    };
    for (const auto& content : cases) {
        SCOPED_TRACE(content.size());
        auto log = LogCapture::install();
        TempDir dir;
        const auto file = dir.write("unattended.json", content);
        JsonFileParams params(file);
        EXPECT_TRUE(params.getKeys().empty());
        EXPECT_EQ(TempDir::read(dir / "unattended.json.bad"), content);
        EXPECT_TRUE(log->waitFor(ILogger::Error, "nest deeper"));
        EXPECT_TRUE(params.setValue("InstanceId", "abc"));
        EXPECT_EQ(TempDir::read(file), "{\n    \"InstanceId\": \"abc\"\n}\n");
    }
    // What a hand-edited file may hold still reads.
    TempDir dir;
    const auto file = dir.write("unattended.json", R"({"a":{"b":[1,{"c":[[2]]}]},"d":1e308})");
    JsonFileParams params(file);
    EXPECT_EQ(params.getValue("d", ""), "1e+308");
    EXPECT_FALSE(fs::exists(dir / "unattended.json.bad"));
}

// A save never writes a file larger than a read accepts: what is saved always reads back.
TEST(JsonFileParams, ASaveLargerThanAReadAcceptsIsRefused) {
    auto log = LogCapture::install();
    TempDir dir;
    const auto file = dir / "unattended.json";
    JsonFileParams params(file);
    ASSERT_TRUE(params.setValue("a", "small"));
    const std::string saved = TempDir::read(file);
    EXPECT_FALSE(params.setValue("Big", std::string((std::size_t(16) << 20) + 1, 'x')));
    EXPECT_EQ(TempDir::read(file), saved);
    EXPECT_TRUE(log->waitFor(ILogger::Error, "Cannot save parameter file"));

    const std::string big(std::size_t(15) << 20, 'y');
    ASSERT_TRUE(params.setValue("Big", big));
    JsonFileParams reread(file);
    EXPECT_EQ(reread.getValue("Big", ""), big);
}

// A read error is no sign of a bad file: nothing is moved, and the file the layer could not
// read is never written over (it holds the device's token and installation id).
TEST(JsonFileParams, AReadErrorMovesNothingAndNeverOverwritesTheFile) {
    auto log = LogCapture::install();
    TempDir dir;
    const std::string stored = "{\n    \"DeviceToken\": \"t\",\n    \"InstallationId\": \"i\"\n}\n";
    const auto file = dir.write("unattended.json", stored);

    // No descriptor can be opened while the layer reads: EMFILE. (One layer made before warms
    // the sanitizers' type checks, which would otherwise need descriptors of their own.)
    JsonFileParams warmUp{fs::path()};
    EXPECT_FALSE(warmUp.setValue("a", "1"));  // logs an error
    struct rlimit previous {};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &previous), 0);
    struct rlimit none = previous;
    none.rlim_cur = 0;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &none), 0);
    auto params = std::make_unique<JsonFileParams>(file);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &previous), 0);

    EXPECT_TRUE(params->getKeys().empty());
    EXPECT_TRUE(log->waitFor(ILogger::Error, file.string()));
    EXPECT_FALSE(params->setValue("InstanceId", "abc"));
    EXPECT_FALSE(params->removeValue("InstanceId"));
    EXPECT_EQ(TempDir::read(file), stored);
    EXPECT_FALSE(fs::exists(dir / "unattended.json.bad"));
    EXPECT_TRUE(log->waitFor(ILogger::Error, "Cannot save parameter file"));
}

// An older file kept aside is never overwritten: a later one gets the next free suffix, and
// only the newest five are kept.
TEST(JsonFileParams, FilesMovedAsideKeepTheNewestFive) {
    TempDir dir;
    const auto file = dir / "unattended.json";
    dir.write("unattended.json.bad", "first");
    for (int i = 1; i <= 5; ++i) {
        dir.write("unattended.json", "broken " + std::to_string(i));
        JsonFileParams params(file);
        EXPECT_TRUE(params.getKeys().empty());
    }
    EXPECT_FALSE(fs::exists(file));
    // The oldest one ("first") made room for the fifth.
    std::set<std::string> kept;
    for (const char* name :
         {"unattended.json.bad", "unattended.json.bad.1", "unattended.json.bad.2",
          "unattended.json.bad.3", "unattended.json.bad.4"}) {
        kept.insert(TempDir::read(dir / name));
    }
    EXPECT_EQ(kept,
              (std::set<std::string>{"broken 1", "broken 2", "broken 3", "broken 4", "broken 5"}));
    EXPECT_FALSE(fs::exists(dir / "unattended.json.bad.5"));
}

TEST(JsonFileParams, AFailedSaveKeepsTheOldFileAndIsReported) {
    auto log = LogCapture::install();
    TempDir dir;
    const std::string old = "{\n    \"a\": \"old\"\n}\n";
    const auto file = dir.write("unattended.json", old);
    JsonFileParams params(file);
    dir.write("unattended.json.tmp/occupied", "");  // the temporary file cannot be made

    EXPECT_FALSE(params.setValue("a", "new"));
    EXPECT_FALSE(params.removeValue("a"));
    EXPECT_EQ(TempDir::read(file), old);
    EXPECT_TRUE(log->waitFor(ILogger::Error, "Cannot save parameter file " + file.string()));
}

TEST(JsonFileParams, AWriteThatFailsMidwayKeepsTheOldFileAndLeavesNoTemporary) {
    TempDir dir;
    const std::string old = "{\n    \"a\": \"old\"\n}\n";
    const auto file = dir.write("unattended.json", old);
    JsonFileParams params(file);

    // Files of this process may not grow beyond 1 KiB: the write of the temporary stops
    // part of the way through.
    ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit previous {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &previous), 0);
    struct rlimit small = previous;
    small.rlim_cur = 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool saved = params.setValue("Encrypted", std::string(4096, 'Q'));
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &previous), 0);

    EXPECT_FALSE(saved);
    EXPECT_EQ(TempDir::read(file), old);
    EXPECT_FALSE(fs::exists(dir / "unattended.json.tmp"));

    EXPECT_TRUE(params.setValue("a", "new"));
    JsonFileParams reread(file);
    EXPECT_EQ(reread.getValue("a", ""), "new");
    EXPECT_EQ(reread.getValue("Encrypted", ""), std::string(4096, 'Q'));
}

TEST(JsonFileParams, WithoutAUsableLocationChangesStayInMemoryAndAnswerFalse) {
    TempDir dir;
    for (const fs::path& path : {fs::path(), dir / "missing-folder" / "p.json"}) {
        JsonFileParams params(path);
        EXPECT_FALSE(params.setValue("a", "1")) << path;
        EXPECT_EQ(params.getValue("a", ""), "1") << path;
    }
    EXPECT_FALSE(fs::exists(dir / "missing-folder"));
}

TEST(JsonFileParams, ASecretValueIsNotLoggedInClear) {
    auto log = LogCapture::install();
    TempDir dir;
    JsonFileParams params(dir / "p.json");
    EXPECT_TRUE(params.setValue("MonitoringToken", "tok-4711-secret"));
    EXPECT_TRUE(params.setValue("Encrypted", "c2VjcmV0LWJsb2I="));
    EXPECT_TRUE(params.setValue("HelperId", "visible-id"));
    EXPECT_FALSE(log->anyContains("tok-4711-secret"));
    EXPECT_FALSE(log->anyContains("c2VjcmV0LWJsb2I="));
    EXPECT_TRUE(log->anyContains("Value added successfully: MonitoringToken, ***"));
    EXPECT_TRUE(log->anyContains("Value added successfully: HelperId, visible-id"));
}
