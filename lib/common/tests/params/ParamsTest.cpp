#include "common/params/Params.h"

#include <gtest/gtest.h>

#include <map>
#include <thread>

#include "common/params/CommandLineParams.h"
#include "common/params/JsonFileParams.h"
#include "common/params/SecretParams.h"
#include "lib/common/tests/support/LogCapture.h"
#include "testsupport/TempDir.h"

using common::CommandLineParams;
using common::ILogger;
using common::IParams;
using common::JsonFileParams;
using common::Params;
using common::SecretParams;
using testsupport::LogCapture;
using testsupport::TempDir;

namespace {

// A layer over a map, read-only or writable, that can refuse writes and removals.
class MapLayer : public IParams {
public:
    explicit MapLayer(std::map<std::string, std::string> values, bool readOnly = true)
        : _values(std::move(values)), _readOnly(readOnly) {}
    ~MapLayer() override {
        if (_destroyed != nullptr) {
            *_destroyed = true;
        }
    }

    bool isReadOnly() const override { return _readOnly; }
    std::string getValue(const std::string& key, const std::string& def) const override {
        const auto it = _values.find(key);
        return it == _values.end() ? def : it->second;
    }
    bool setValue(const std::string& key, std::string value) override {
        if (_readOnly || _refuse) {
            return false;
        }
        _values[key] = value;
        return true;
    }
    bool hasValue(const std::string& key) const override { return _values.count(key) != 0; }
    bool removeValue(const std::string& key) override {
        _values.erase(key);
        return !_readOnly;
    }
    std::set<std::string> getKeys() const override {
        std::set<std::string> keys;
        for (const auto& entry : _values) {
            keys.insert(entry.first);
        }
        return keys;
    }

    std::map<std::string, std::string> _values;
    bool _readOnly;
    bool _refuse = false;
    bool* _destroyed = nullptr;
};

// The daemon's stack: 4 the installer's attribute, 3 computer facts, 2 the command line,
// 1 the parameter file.
struct DaemonStack {
    explicit DaemonStack(const TempDir& dir, std::map<std::string, std::string> attribute = {})
        : file(dir / "unattended.json") {
        auto attributeLayer = std::make_unique<MapLayer>(std::move(attribute));
        attributeValues = &attributeLayer->_values;
        params.addLayer(std::move(attributeLayer), 4);
        params.addLayer(std::make_unique<MapLayer>(std::map<std::string, std::string>{
                            {"HostId", "0123abcd"}, {"Lang", "en-US"}}),
                        3);
        params.addLayer(std::make_unique<CommandLineParams>(
                            std::vector<std::string>{"/bin/daemon", "-LOGLEVEL", "5", "-Service"}),
                        2);
        params.addLayer(std::make_unique<JsonFileParams>(file), 1);
    }

    boost::filesystem::path file;
    std::map<std::string, std::string>* attributeValues = nullptr;
    Params params;
};

}  // namespace

TEST(Params, HigherLayersWinUnlessTheirValueIsEmpty) {
    TempDir dir;
    dir.write("unattended.json", R"({"WebsiteUrl": "https://file", "LogLevel": 1, "Only": "f"})");
    DaemonStack stack(dir, {{"WebsiteUrl", "https://attribute"}});
    Params& params = stack.params;

    EXPECT_EQ(params.getValue("WebsiteUrl", ""), "https://attribute");
    EXPECT_EQ(params.getValue("LogLevel", "2"), "5");  // the command line beats the file
    EXPECT_EQ(params.getValue("loglevel", "2"), "5");
    EXPECT_EQ(params.getValue("Only", ""), "f");
    EXPECT_EQ(params.getValue("Missing", "dflt"), "dflt");

    (*stack.attributeValues)["WebsiteUrl"] = "";  // an empty value does not hide lower layers
    EXPECT_EQ(params.getValue("WebsiteUrl", ""), "https://file");
    (*stack.attributeValues)["Blank"] = "";
    EXPECT_FALSE(params.hasValue("Blank"));
    EXPECT_EQ(params.getValue("Blank", "dflt"), "dflt");
}

TEST(Params, WritesGoOnlyToWritableLayers) {
    TempDir dir;
    DaemonStack stack(dir, {{"InstanceId", "from-attribute"}});
    Params& params = stack.params;
    EXPECT_FALSE(params.isReadOnly());

    EXPECT_TRUE(params.setValue("InstanceId", "written"));
    EXPECT_TRUE(params.setValue("HelperId", "h1"));
    EXPECT_EQ(params.getValue("InstanceId", ""), "from-attribute");
    EXPECT_EQ(params.getValue("HelperId", ""), "h1");
    EXPECT_EQ(TempDir::read(stack.file),
              "{\n    \"InstanceId\": \"written\",\n    \"HelperId\": \"h1\"\n}\n");
    EXPECT_EQ(stack.attributeValues->at("InstanceId"), "from-attribute");
}

TEST(Params, AWriteReachesEveryWritableLayerAndFailuresAreLogged) {
    auto log = LogCapture::install();
    Params params;
    auto upper = std::make_unique<MapLayer>(std::map<std::string, std::string>{}, false);
    auto lower = std::make_unique<MapLayer>(std::map<std::string, std::string>{}, false);
    MapLayer* upperLayer = upper.get();
    MapLayer* lowerLayer = lower.get();
    params.addLayer(std::move(upper), 7);
    params.addLayer(std::make_unique<MapLayer>(std::map<std::string, std::string>{}), 5);
    params.addLayer(std::move(lower), 3);

    EXPECT_TRUE(params.setValue("Key", "v"));
    EXPECT_EQ(upperLayer->_values.at("Key"), "v");
    EXPECT_EQ(lowerLayer->_values.at("Key"), "v");

    upperLayer->_refuse = true;  // one refusal: still accepted by the other
    EXPECT_TRUE(params.setValue("Key", "w"));
    EXPECT_EQ(lowerLayer->_values.at("Key"), "w");
    EXPECT_TRUE(log->waitFor(ILogger::Warning, "SetValue failed. Key: Key"));

    lowerLayer->_refuse = true;
    EXPECT_FALSE(params.setValue("Key", "x"));

    Params onlyReadOnly;
    onlyReadOnly.addLayer(std::make_unique<MapLayer>(std::map<std::string, std::string>{}), 1);
    EXPECT_TRUE(onlyReadOnly.isReadOnly());
    EXPECT_FALSE(onlyReadOnly.setValue("Key", "v"));
}

TEST(Params, AnEmptyStoreAnswersDefaultsAndIsReadOnly) {
    Params params;
    EXPECT_TRUE(params.isReadOnly());
    EXPECT_FALSE(params.setValue("a", "1"));
    EXPECT_TRUE(params.removeValue("a"));
    EXPECT_FALSE(params.hasValue("a"));
    EXPECT_EQ(params.getValue("a", "d"), "d");
    EXPECT_TRUE(params.getKeys().empty());
    params.addLayer(nullptr, 1);  // refused, not kept
    EXPECT_EQ(params.getValue("a", "d"), "d");
}

TEST(Params, ANumberInUseKeepsItsLayer) {
    Params params;
    params.addLayer(std::make_unique<MapLayer>(std::map<std::string, std::string>{{"k", "old"}}),
                    1);
    bool destroyed = false;
    auto second = std::make_unique<MapLayer>(std::map<std::string, std::string>{{"k", "new"}});
    second->_destroyed = &destroyed;
    params.addLayer(std::move(second), 1);
    EXPECT_TRUE(destroyed);
    EXPECT_EQ(params.getValue("k", ""), "old");
}

TEST(Params, RemoveReachesEveryLayerButAnswersTrueOnlyWhenAllDid) {
    TempDir dir;
    dir.write("unattended.json", R"({"InstanceId": "i", "HostId": "file"})");
    DaemonStack stack(dir, {{"Other", "o"}});
    EXPECT_FALSE(stack.params.removeValue("InstanceId"));
    EXPECT_EQ(TempDir::read(stack.file), "{\n    \"HostId\": \"file\"\n}\n");
    EXPECT_EQ(stack.params.getValue("HostId", ""), "0123abcd");

    Params writable;
    writable.addLayer(std::make_unique<CommandLineParams>(std::vector<std::string>{"p", "-A", "1"}),
                      2);
    writable.addLayer(
        std::make_unique<MapLayer>(std::map<std::string, std::string>{{"a", "2"}}, false), 1);
    EXPECT_TRUE(writable.removeValue("a"));
    EXPECT_FALSE(writable.hasValue("a"));
}

TEST(Params, KeysAreTheUnionAndToStringListsThemInOrderWithSecretsMasked) {
    Params params;
    params.addLayer(std::make_unique<MapLayer>(std::map<std::string, std::string>{
                        {"b", "2"}, {"MonitoringToken", "tok-secret"}}),
                    2);
    params.addLayer(std::make_unique<MapLayer>(std::map<std::string, std::string>{
                        {"a", "1"}, {"b", "lower"}, {"Encrypted", "blob"}, {"Blank", ""}}),
                    1);
    EXPECT_EQ(params.getKeys(),
              (std::set<std::string>{"Blank", "Encrypted", "MonitoringToken", "a", "b"}));
    EXPECT_EQ(params.toString(), "Blank: \nEncrypted: ***\nMonitoringToken: ***\na: 1\nb: 2\n");
}

TEST(Params, SecretValuesAreNotLoggedInClear) {
    auto log = LogCapture::install();
    TempDir dir;
    DaemonStack stack(dir);
    EXPECT_TRUE(stack.params.setValue("MonitoringToken", "tok-4711-secret"));
    EXPECT_TRUE(stack.params.setValue("ProxyPassword", "pw-4711-secret"));
    EXPECT_TRUE(stack.params.setValue("Salt", "salt-4711-secret"));
    EXPECT_TRUE(stack.params.setValue("HelperId", "visible"));
    EXPECT_FALSE(log->anyContains("4711-secret"));
    EXPECT_TRUE(log->anyContains("Writable layer found, SetValue: MonitoringToken: ***"));
    EXPECT_TRUE(log->anyContains("Writable layer found, SetValue: HelperId: visible"));
}

TEST(Params, LockGroupsOperationsAcrossThreads) {
    Params params;
    params.addLayer(std::make_unique<MapLayer>(std::map<std::string, std::string>{}, false), 1);
    params.lock();
    std::thread writer([&] { params.setValue("k", "other"); });
    params.setValue("k", "mine");
    // The other thread cannot slip in while the group is held.
    EXPECT_EQ(params.getValue("k", ""), "mine");
    params.unlock();
    writer.join();
    EXPECT_EQ(params.getValue("k", ""), "other");
}

// --- Typed access ---------------------------------------------------------------------------

namespace {

struct BoolCase {
    const char* text;
    bool expected;
};

const BoolCase kBoolCases[] = {
    {"1", true},      {"0", false},   {"5", true}, {"-3", true}, {"00", false},  {"true", false},
    {"false", false}, {"yes", false}, {"", false}, {" 1", true}, {"2abc", true}, {"0.9", false},
};

}  // namespace

TEST(IParams, ValueAsBoolFollowsTheIntegerRules) {
    CommandLineParams params({});
    for (const auto& c : kBoolCases) {
        EXPECT_EQ(params.valueAs<bool>(c.text), c.expected) << '"' << c.text << '"';
    }
}

TEST(IParams, ValueAsReadsNumbersAndGivesZeroForText) {
    CommandLineParams params({});
    EXPECT_EQ(params.valueAs<unsigned int>("42"), 42u);
    EXPECT_EQ(params.valueAs<unsigned int>("abc"), 0u);
    EXPECT_EQ(params.valueAs<unsigned long long>("18446744073709551615"), 18446744073709551615ull);
    EXPECT_EQ(params.valueAs<long long>("-7x"), -7);
    EXPECT_EQ(params.valueAs<long long>("x"), 0);
    EXPECT_EQ(params.valueAs<long long>("99999999999999999999"), 0);
    EXPECT_DOUBLE_EQ(params.valueAs<double>("2.5"), 2.5);
    EXPECT_DOUBLE_EQ(params.valueAs<double>("1e3"), 1000.0);
    EXPECT_DOUBLE_EQ(params.valueAs<double>("n/a"), 0.0);
}

TEST(IParams, TypedValuesRoundTripThroughTheParameterFile) {
    TempDir dir;
    const auto file = dir.write("unattended.json", R"({"Flag": true, "Word": "abc"})");
    JsonFileParams params(file);
    EXPECT_TRUE(params.setValueAs<bool>("NoUpdate", true));
    EXPECT_TRUE(params.setValueAs<bool>("Off", false));
    EXPECT_TRUE(params.setValueAs<unsigned int>("LogLevel", 3));
    EXPECT_TRUE(params.setValueAs<double>("Ratio", 0.25));
    EXPECT_TRUE(params.setValueAs<long long>("Delta", -12));

    JsonFileParams reread(file);
    EXPECT_EQ(reread.getValue("NoUpdate", ""), "1");
    EXPECT_TRUE(reread.getValueAs<bool>("NoUpdate", false));
    EXPECT_FALSE(reread.getValueAs<bool>("Off", true));
    EXPECT_FALSE(reread.getValueAs<bool>("Flag", true));  // a JSON true reads as "true"
    EXPECT_TRUE(reread.getValueAs<bool>("Missing", true));
    EXPECT_EQ(reread.getValueAs<unsigned int>("LogLevel", 2), 3u);
    EXPECT_EQ(reread.getValueAs<unsigned int>("Word", 2), 0u);
    EXPECT_EQ(reread.getValueAs<unsigned int>("Missing", 2), 2u);
    EXPECT_DOUBLE_EQ(reread.getValueAs<double>("Ratio", 0), 0.25);
    EXPECT_EQ(reread.getValueAs<long long>("Delta", 0), -12);
    EXPECT_NE(TempDir::read(file).find("\"NoUpdate\": 1,"), std::string::npos);
}

TEST(IParams, CharacterClassTests) {
    CommandLineParams params({});
    const struct {
        const char* text;
        bool isUnsigned, isInteger, isFloat;
    } cases[] = {
        {"123", true, true, true}, {"-12", false, true, true},   {"1.5", false, false, true},
        {"", false, false, false}, {"1e5", false, false, false}, {"+1", false, false, false},
        {"-", false, true, true},  {" 1", false, false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(params.isUnsignedInteger(c.text), c.isUnsigned) << c.text;
        EXPECT_EQ(params.isInteger(c.text), c.isInteger) << c.text;
        EXPECT_EQ(params.isFloat(c.text), c.isFloat) << c.text;
    }
    const std::string withZeroByte("12\0", 3);  // a zero byte is no digit
    EXPECT_FALSE(params.isUnsignedInteger(withZeroByte));
    EXPECT_FALSE(params.isInteger(withZeroByte));
    EXPECT_FALSE(params.isFloat(withZeroByte));
}

// --- Secret parameters ----------------------------------------------------------------------

TEST(SecretParams, NamesEndingInTokenOrPasswordAndEncryptedAndSaltAreSecret) {
    const std::pair<const char*, bool> names[] = {
        {"MonitoringToken", true},
        {"monitoringtoken", true},
        {"Token", true},
        {"ProxyPassword", true},
        {"PASSWORD", true},
        {"Encrypted", true},
        {"encrypted", true},
        {"Salt", true},
        {"TokenType", false},
        {"Saltwater", false},
        {"EncryptedData", false},
        {"HelperId", false},
        {"", false},
    };
    for (const auto& name : names) {
        EXPECT_EQ(SecretParams::isSecret(name.first), name.second) << name.first;
    }
    EXPECT_EQ(SecretParams::mask("ProxyPassword", "pw"), "***");
    EXPECT_EQ(SecretParams::mask("ProxyPassword", ""), "");
    EXPECT_EQ(SecretParams::mask("LogLevel", "3"), "3");
}

TEST(SecretParams, CommandLinesShowSecretValuesMasked) {
    const struct {
        std::vector<std::string> arguments;
        const char* expected;
    } cases[] = {
        {{"/bin/d", "-MonitoringToken", "tok", "-LogLevel", "3", "-Encrypted", "blob", "-Salt", "s",
          "-Service"},
         "/bin/d -MonitoringToken *** -LogLevel 3 -Encrypted *** -Salt *** -Service"},
        {{"/bin/d", "-ProxyPassword", "-Flag", "value"}, "/bin/d -ProxyPassword -Flag value"},
        {{"/bin/d", "-token", "", "-x"}, "/bin/d -token  -x"},
        {{"/bin/d", "-Token", "-"}, "/bin/d -Token ***"},
        {{"-Token", "program-path-is-no-key"}, "-Token program-path-is-no-key"},
        {{}, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SecretParams::commandLineForLog(c.arguments), c.expected);
    }
}
