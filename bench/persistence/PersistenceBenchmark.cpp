// The JSON framework next to the same work done with RapidJSON by hand, for a forwarded log
// record and for an event block of 100 log events. Each pair runs side by side; at the end
// the console output lists framework time / hand-written time per pair.

#include <benchmark/benchmark.h>
#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <unistd.h>

#include "foundation/persistence/JsonSerialization.h"

namespace {

// The companion programs' forwarded log record.
struct ForwardedLogRecord {
    std::string app;
    unsigned long long epochMillis = 0;
    std::string threadId;
    bool isMainThread = false;
    unsigned int level = 2;
    std::string facility;
    std::string message;
    boost::optional<std::string> tag;

    template <class Archive>
    void Persist(Archive& archive) {
        archive& persistence::member_variable("_app", app) &
            persistence::member_variable("_epochMillis", epochMillis) &
            persistence::member_variable("_threadId", threadId) &
            persistence::member_variable("_isMainThread", isMainThread) &
            persistence::member_variable("_level", level) &
            persistence::member_variable("_facility", facility) &
            persistence::member_variable("_message", message) &
            persistence::member_variable("_tag", tag);
    }
};

struct LogEvent {
    std::string time;
    std::string level = "Info";
    std::string app;
    std::string facility;
    std::string message;
    std::string sessionId;
    boost::optional<std::string> tag;

    template <class Archive>
    void Persist(Archive& archive) {
        archive& persistence::member_variable("time", time) &
            persistence::member_variable("level", level) &
            persistence::member_variable("app", app) &
            persistence::member_variable("facility", facility) &
            persistence::member_variable("message", message) &
            persistence::member_variable("sessionId", sessionId) &
            persistence::member_variable("tag", tag);
    }
};

struct Records {
    std::string installationId;
    std::string component;
    std::string computerId;
    std::string sessionId;
    std::string deviceId;
    std::vector<LogEvent> events;
    std::string platform = "mac";

    template <class Archive>
    void Persist(Archive& archive) {
        archive& persistence::member_variable("installationId", installationId) &
            persistence::member_variable("component", component) &
            persistence::member_variable("computerId", computerId) &
            persistence::member_variable("sessionId", sessionId) &
            persistence::member_variable("deviceId", deviceId) &
            persistence::member_variable("events", events) &
            persistence::member_variable("platform", platform);
    }
};

struct EventBlock {
    std::string monitoringToken;
    Records records;

    template <class Archive>
    void Persist(Archive& archive) {
        archive& persistence::member_variable("MonitoringToken", monitoringToken) &
            persistence::member_variable("Records", records);
    }
};

ForwardedLogRecord SampleRecord() {
    ForwardedLogRecord record;
    record.app = "UnattendedUi";
    record.epochMillis = 1796828727005ULL;
    record.threadId = "0x70000a1b2000";
    record.isMainThread = true;
    record.level = 3;
    record.facility = "IpcController";
    record.message =
        "Connection to participant \"service\" on channel 2 established after 3 attempts";
    record.tag = std::string("checkpoint");
    return record;
}

EventBlock SampleBlock() {
    EventBlock block;
    block.monitoringToken = "eyJhbGciOiJIUzI1NiJ9.c2Vzc2lvbi10b2tlbg.9f8e7d6c5b4a";
    block.records.installationId = "6b1f0c2e-8d4a-4f3b-9e21-7a5c3d2b1e0f";
    block.records.component = "Unattended";
    block.records.computerId = "C02XK1ABJG5H";
    block.records.sessionId = "s-1029384756";
    block.records.deviceId = "d-5647382910";
    for (int i = 0; i < 100; ++i) {
        LogEvent event;
        event.time = "2026-12-09T15:05:27.005Z";
        event.level = i % 3 == 0 ? "Warning" : "Info";
        event.app = "Unattended";
        event.facility = "BackendConnectionController";
        event.message =
            "Heartbeat " + std::to_string(i) + " answered in 12 ms, \"state\" connected";
        event.sessionId = block.records.sessionId;
        if (i % 10 == 0) {
            event.tag = std::string("checkpoint");
        }
        block.records.events.push_back(event);
    }
    return block;
}

// ---- by hand -----------------------------------------------------------------------------

template <class Writer>
void WriteString(Writer& writer, const char* key, const std::string& value) {
    writer.Key(key);
    writer.String(value.data(), static_cast<rapidjson::SizeType>(value.size()));
}

std::string WriteByHand(const ForwardedLogRecord& record) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    writer.StartObject();
    WriteString(writer, "_app", record.app);
    writer.Key("_epochMillis");
    writer.Uint64(record.epochMillis);
    WriteString(writer, "_threadId", record.threadId);
    writer.Key("_isMainThread");
    writer.Bool(record.isMainThread);
    writer.Key("_level");
    writer.Uint(record.level);
    WriteString(writer, "_facility", record.facility);
    WriteString(writer, "_message", record.message);
    if (record.tag) {
        WriteString(writer, "_tag", *record.tag);
    }
    writer.EndObject();
    return std::string(buffer.GetString(), buffer.GetSize());
}

std::string WriteByHand(const EventBlock& block) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    writer.StartObject();
    WriteString(writer, "MonitoringToken", block.monitoringToken);
    writer.Key("Records");
    writer.StartObject();
    const Records& r = block.records;
    WriteString(writer, "installationId", r.installationId);
    WriteString(writer, "component", r.component);
    WriteString(writer, "computerId", r.computerId);
    WriteString(writer, "sessionId", r.sessionId);
    WriteString(writer, "deviceId", r.deviceId);
    writer.Key("events");
    writer.StartArray();
    for (const LogEvent& e : r.events) {
        writer.StartObject();
        WriteString(writer, "time", e.time);
        WriteString(writer, "level", e.level);
        WriteString(writer, "app", e.app);
        WriteString(writer, "facility", e.facility);
        WriteString(writer, "message", e.message);
        WriteString(writer, "sessionId", e.sessionId);
        if (e.tag) {
            WriteString(writer, "tag", *e.tag);
        }
        writer.EndObject();
    }
    writer.EndArray();
    WriteString(writer, "platform", r.platform);
    writer.EndObject();
    writer.EndObject();
    return std::string(buffer.GetString(), buffer.GetSize());
}

bool ReadString(const rapidjson::Value& object, const char* key, std::string& out) {
    const auto found = object.FindMember(key);
    if (found == object.MemberEnd()) {
        return true;
    }
    if (!found->value.IsString()) {
        return false;
    }
    out.assign(found->value.GetString());
    return true;
}

bool ReadByHand(const rapidjson::Value& in, ForwardedLogRecord& record) {
    if (!in.IsObject()) {
        return false;
    }
    bool ok = ReadString(in, "_app", record.app);
    auto found = in.FindMember("_epochMillis");
    if (found != in.MemberEnd()) {
        ok = found->value.IsUint64() && ok;
        record.epochMillis = found->value.IsUint64() ? found->value.GetUint64() : 0;
    }
    ok = ReadString(in, "_threadId", record.threadId) && ok;
    found = in.FindMember("_isMainThread");
    if (found != in.MemberEnd()) {
        ok = found->value.IsBool() && ok;
        record.isMainThread = found->value.IsBool() && found->value.GetBool();
    }
    found = in.FindMember("_level");
    if (found != in.MemberEnd()) {
        ok = found->value.IsUint() && ok;
        record.level = found->value.IsUint() ? found->value.GetUint() : 0;
    }
    ok = ReadString(in, "_facility", record.facility) && ok;
    ok = ReadString(in, "_message", record.message) && ok;
    found = in.FindMember("_tag");
    if (found != in.MemberEnd() && !found->value.IsNull()) {
        std::string tag;
        ok = ReadString(in, "_tag", tag) && ok;
        record.tag = tag;
    }
    return ok;
}

bool ReadByHand(const rapidjson::Value& in, LogEvent& event) {
    if (!in.IsObject()) {
        return false;
    }
    bool ok = ReadString(in, "time", event.time);
    ok = ReadString(in, "level", event.level) && ok;
    ok = ReadString(in, "app", event.app) && ok;
    ok = ReadString(in, "facility", event.facility) && ok;
    ok = ReadString(in, "message", event.message) && ok;
    ok = ReadString(in, "sessionId", event.sessionId) && ok;
    const auto found = in.FindMember("tag");
    if (found != in.MemberEnd() && !found->value.IsNull()) {
        std::string tag;
        ok = ReadString(in, "tag", tag) && ok;
        event.tag = tag;
    }
    return ok;
}

bool ReadByHand(const rapidjson::Value& in, EventBlock& block) {
    if (!in.IsObject()) {
        return false;
    }
    bool ok = ReadString(in, "MonitoringToken", block.monitoringToken);
    const auto records = in.FindMember("Records");
    if (records == in.MemberEnd()) {
        return ok;
    }
    const rapidjson::Value& r = records->value;
    if (!r.IsObject()) {
        return false;
    }
    Records& out = block.records;
    ok = ReadString(r, "installationId", out.installationId) && ok;
    ok = ReadString(r, "component", out.component) && ok;
    ok = ReadString(r, "computerId", out.computerId) && ok;
    ok = ReadString(r, "sessionId", out.sessionId) && ok;
    ok = ReadString(r, "deviceId", out.deviceId) && ok;
    const auto events = r.FindMember("events");
    if (events != r.MemberEnd()) {
        if (!events->value.IsArray()) {
            return false;
        }
        std::vector<LogEvent> read;
        read.reserve(events->value.Size());
        for (const auto& element : events->value.GetArray()) {
            LogEvent event;
            if (!ReadByHand(element, event)) {
                return false;
            }
            read.push_back(std::move(event));
        }
        out.events = std::move(read);
    }
    ok = ReadString(r, "platform", out.platform) && ok;
    return ok;
}

template <class T>
bool ParseByHand(const std::string& text, T& object) {
    rapidjson::Document document;
    document.Parse(text.c_str());
    return !document.HasParseError() && ReadByHand(document, object);
}

// ---- benchmarks --------------------------------------------------------------------------

template <class T>
void WriteWithFramework(benchmark::State& state, const T& object) {
    std::string text;
    for (auto _ : state) {
        if (!persistence::json_serialize(object, text)) {
            state.SkipWithError("write failed");
        }
        benchmark::DoNotOptimize(text);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

template <class T>
void WriteByHandBench(benchmark::State& state, const T& object) {
    std::string text;
    for (auto _ : state) {
        text = WriteByHand(object);
        benchmark::DoNotOptimize(text);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

template <class T>
void ReadWithFramework(benchmark::State& state, const T& object) {
    std::string text;
    persistence::json_serialize(object, text);
    for (auto _ : state) {
        T read;
        if (!persistence::json_deserialize(text, read)) {
            state.SkipWithError("read failed");
        }
        benchmark::DoNotOptimize(read);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

template <class T>
void ReadByHandBench(benchmark::State& state, const T& object) {
    const std::string text = WriteByHand(object);
    for (auto _ : state) {
        T read;
        if (!ParseByHand(text, read)) {
            state.SkipWithError("read failed");
        }
        benchmark::DoNotOptimize(read);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void BM_ForwardedRecordWrite_persistence(benchmark::State& state) {
    WriteWithFramework(state, SampleRecord());
}
void BM_ForwardedRecordWrite_rapidjson(benchmark::State& state) {
    WriteByHandBench(state, SampleRecord());
}
void BM_ForwardedRecordRead_persistence(benchmark::State& state) {
    ReadWithFramework(state, SampleRecord());
}
void BM_ForwardedRecordRead_rapidjson(benchmark::State& state) {
    ReadByHandBench(state, SampleRecord());
}
void BM_EventBlock100Write_persistence(benchmark::State& state) {
    WriteWithFramework(state, SampleBlock());
}
void BM_EventBlock100Write_rapidjson(benchmark::State& state) {
    WriteByHandBench(state, SampleBlock());
}
void BM_EventBlock100Read_persistence(benchmark::State& state) {
    ReadWithFramework(state, SampleBlock());
}
void BM_EventBlock100Read_rapidjson(benchmark::State& state) {
    ReadByHandBench(state, SampleBlock());
}

BENCHMARK(BM_ForwardedRecordWrite_persistence);
BENCHMARK(BM_ForwardedRecordWrite_rapidjson);
BENCHMARK(BM_ForwardedRecordRead_persistence);
BENCHMARK(BM_ForwardedRecordRead_rapidjson);
BENCHMARK(BM_EventBlock100Write_persistence);
BENCHMARK(BM_EventBlock100Write_rapidjson);
BENCHMARK(BM_EventBlock100Read_persistence);
BENCHMARK(BM_EventBlock100Read_rapidjson);

// Console output plus, at the end, the time of each "_persistence" benchmark divided by the
// time of its "_rapidjson" partner.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    explicit RatioReporter(bool color) : ConsoleReporter(color ? OO_ColorTabular : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
                m_times[run.benchmark_name()] = run.GetAdjustedCPUTime();
            }
        }
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        static const std::string kFramework = "_persistence";
        std::printf("\nframework / hand-written RapidJSON (CPU time):\n");
        for (const auto& entry : m_times) {
            const std::string& name = entry.first;
            const auto at = name.find(kFramework);
            if (at == std::string::npos) {
                continue;
            }
            std::string partner = name;
            partner.replace(at, kFramework.size(), "_rapidjson");
            const auto other = m_times.find(partner);
            if (other != m_times.end() && other->second > 0) {
                std::printf("  %-40s %.2f\n", name.substr(0, at).c_str(),
                            entry.second / other->second);
            }
        }
    }

private:
    std::map<std::string, double> m_times;
};

}  // namespace

int main(int argc, char** argv) {
    bool otherFormat = false;
    for (int i = 1; i < argc; ++i) {
        otherFormat = otherFormat || std::strncmp(argv[i], "--benchmark_format", 18) == 0;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    if (otherFormat) {
        benchmark::RunSpecifiedBenchmarks();
    } else {
        RatioReporter reporter(isatty(STDOUT_FILENO) != 0);
        benchmark::RunSpecifiedBenchmarks(&reporter);
    }
    benchmark::Shutdown();
    return 0;
}
