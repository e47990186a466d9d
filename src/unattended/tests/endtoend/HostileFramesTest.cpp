// Hostile frames from the backend right after the upgrade: the daemon fails the connection
// itself, keeps running and comes back on a normal connection; unusual but sound framing
// (fragments with a ping between them, frames in the segment of the 101 head) works.

#include <gtest/gtest.h>
#include <rapidjson/document.h>

#include <cstdint>
#include <string>
#include <vector>

#include "DaemonFixture.h"

namespace endtoend {
namespace {

const uint64_t kMiB = 1024 * 1024;

std::string hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (const unsigned char c : bytes) {
        text += digits[c >> 4];
        text += digits[c & 15];
    }
    return text;
}

// A frame head: the first byte (FIN, RSV bits, opcode), then the length in its shortest form
// and, when given, the masking key.
std::string head(uint8_t first, uint64_t length, const std::string& maskKey = std::string()) {
    std::string bytes(1, static_cast<char>(first));
    const char masked = maskKey.empty() ? 0 : static_cast<char>(0x80);
    if (length < 126) {
        bytes += static_cast<char>(masked | static_cast<char>(length));
    } else if (length <= 0xFFFF) {
        bytes += static_cast<char>(masked | 126);
        bytes += static_cast<char>(length >> 8);
        bytes += static_cast<char>(length & 0xFF);
    } else {
        bytes += static_cast<char>(masked | 127);
        for (int shift = 56; shift >= 0; shift -= 8) {
            bytes += static_cast<char>((length >> shift) & 0xFF);
        }
    }
    return bytes + maskKey;
}

std::string frame(uint8_t first, const std::string& payload) {
    return head(first, payload.size()) + payload;
}

std::string maskedFrame(uint8_t first, const std::string& payload) {
    const std::string key = "\x11\x22\x33\x44";
    std::string masked = payload;
    for (size_t i = 0; i < masked.size(); ++i) {
        masked[i] = static_cast<char>(masked[i] ^ key[i % 4]);
    }
    return head(first, payload.size(), key) + masked;
}

// The backend's "hex" value: literal bytes, then optionally `fill` bytes of 'A'.
std::string bytesJson(const std::string& bytes, uint64_t fill = 0) {
    std::string json = "[\"" + hex(bytes) + "\"";
    if (fill > 0) {
        json += R"(, {"hex": "41", "times": )" + std::to_string(fill) + "}";
    }
    return json + "]";
}

const std::string kHeartbeat = R"({"Type":"Heartbeat"})";

struct Refused {
    const char* name;
    std::string bytes;  // the "hex" value armed at the backend
    uint16_t code;      // the status of the daemon's close frame
    // Qt's frame reader unmasks whatever it gets and cannot be told otherwise: on the Qt path
    // such a frame is read as a message. What matters there is that the session goes on and
    // the daemon comes back after the backend closes.
    bool qtReadsIt = false;
};

std::string fragmentsOf9MiB() {
    const std::string fill = R"(, {"hex": "41", "times": )" + std::to_string(9 * kMiB) + "}";
    return "[\"" + hex(head(0x02, 9 * kMiB)) + "\"" + fill + ", \"" + hex(head(0x80, 9 * kMiB)) +
           "\"" + fill + "]";
}

class HostileFrames : public DaemonFixture {
protected:
    void SetUp() override {
        DaemonFixture::SetUp();
        // The heartbeat timeout is long enough that only a failed connection, never a quiet
        // one, makes the daemon close first.
        startAccepted({"-HeartbeatTimeoutInMs", "120000"});
        _token = events("accepted")[0]["device_token"].GetString();
    }

    // Arms the backend's answer to the next upgrade and ends the current connection, so the
    // daemon's next connection gets these bytes right after the 101 head.
    void arm(const std::string& bytes, int holdMs, const std::string& deviceToken = "") {
        std::string spec = R"({"hex": )" + bytes + R"(, "hold_ms": )" + std::to_string(holdMs);
        if (!deviceToken.empty()) {
            spec += R"(, "device_token": ")" + deviceToken + "\"";
        }
        control("POST", "/control/hostile", spec + "}");
        control("POST", "/control/close");
    }

    // The record of hostile connection `index` (0-based) once it ended, or null.
    rapidjson::Document hostileEnded(size_t index) {
        EXPECT_TRUE(waitUntil([&] { return count("hostile") > index; }, std::chrono::seconds(90)))
            << log();
        auto all = events("hostile");
        rapidjson::Document one;
        if (all.Size() > index) {
            one.CopyFrom(all[static_cast<rapidjson::SizeType>(index)], one.GetAllocator());
        }
        return one;
    }

    // The daemon is accepted on normal connection `index` (0-based), with the device token
    // it holds.
    void expectAccepted(size_t index, const std::string& token) {
        ASSERT_TRUE(waitUntil([&] { return count("accepted") > index; })) << log();
        const auto connects = events("ws-connect");
        ASSERT_GT(connects.Size(), index);
        EXPECT_EQ(
            std::string(
                connects[static_cast<rapidjson::SizeType>(index)]["authorization"].GetString()),
            "Bearer " + token);
        EXPECT_TRUE(daemonRunning());
    }

    // Each case in turn on one daemon: it fails the hostile connection itself with the
    // expected status, stays up and comes back to a normal connection with its token.
    void expectRefused(const std::vector<Refused>& cases) {
        for (size_t i = 0; i < cases.size(); ++i) {
            SCOPED_TRACE(cases[i].name);
            const bool read = cases[i].qtReadsIt && !GetParam();
            arm(cases[i].bytes, read ? 4000 : 60000);
            const auto ended = hostileEnded(i);
            ASSERT_TRUE(ended.IsObject());
            EXPECT_EQ(std::string(ended["authorization"].GetString()), "Bearer " + _token);
            EXPECT_EQ(std::string(ended["closed_by"].GetString()), read ? "backend" : "peer");
            if (!read) {
                ASSERT_TRUE(ended["close_code"].IsInt()) << log();
                EXPECT_EQ(ended["close_code"].GetInt(), cases[i].code);
            }
            expectAccepted(i + 1, _token);
        }
    }

    std::string _token;
};

TEST_P(HostileFrames, ReservedOpcodesAndBitsFailTheConnection) {
    expectRefused({
        {"reserved data opcode", bytesJson(frame(0x83, kHeartbeat)), 1002},
        {"reserved control opcode", bytesJson(frame(0x8B, "")), 1002},
        {"RSV1", bytesJson(frame(0xC1, kHeartbeat)), 1002},
        {"RSV3", bytesJson(frame(0x91, kHeartbeat)), 1002},
    });
}

TEST_P(HostileFrames, MaskedAndOverlongControlFramesFailTheConnection) {
    expectRefused({
        {"masked server frame", bytesJson(maskedFrame(0x81, kHeartbeat)), 1002, true},
        {"ping of 126 bytes", bytesJson(head(0x89, 126) + std::string(126, 'p')), 1002},
        {"fragmented ping", bytesJson(frame(0x09, "p") + frame(0x80, "q")), 1002},
    });
}

TEST_P(HostileFrames, BrokenFragmentationFailsTheConnection) {
    expectRefused({
        {"continuation without a message", bytesJson(frame(0x80, kHeartbeat)), 1002},
        {"new message inside a fragmented one", bytesJson(frame(0x01, "{") + frame(0x81, "{}")),
         1002},
    });
}

TEST_P(HostileFrames, OversizedMessagesFailTheConnection) {
    expectRefused({
        {"length of 2^63", bytesJson(head(0x82, uint64_t(1) << 63)), 1002},
        {"16 MiB + 1 in one frame", bytesJson(head(0x82, 16 * kMiB + 1), 16 * kMiB + 1), 1009},
        // Each fragment is allowed, the message is not.
        {"18 MiB in two fragments", fragmentsOf9MiB(), 1009},
    });
}

TEST_P(HostileFrames, FragmentsWithAPingBetweenThemMakeOneMessage) {
    const std::string message = R"({"Type":"SetDeviceName","DeviceName":"Hostile Mac"})";
    arm(bytesJson(frame(0x01, message.substr(0, 14)) + frame(0x89, "ping!") +
                  frame(0x00, message.substr(14, 20)) + frame(0x80, message.substr(34))),
        4000);
    EXPECT_TRUE(waitUntil([&] {
        return stateValue(_install / "unattended.json", "DeviceName") == "Hostile Mac";
    })) << log();
    const auto ended = hostileEnded(0);
    ASSERT_TRUE(ended.IsObject());
    EXPECT_EQ(std::string(ended["closed_by"].GetString()), "backend") << log();
    bool ponged = false;
    for (const auto& sent : ended["frames"].GetArray()) {
        ponged = ponged || (sent["opcode"].GetInt() == 0xA &&
                            std::string(sent["text"].GetString()) == "ping!");
    }
    EXPECT_TRUE(ponged);
    expectAccepted(1, _token);
}

TEST_P(HostileFrames, AMessageInTheSegmentOfTheUpgradeIsRead) {
    const std::string token = "dt-hostile-" + std::to_string(_port);
    arm(bytesJson(frame(0x81, R"({"Type":"CompanyTokenAccepted","DeviceToken":")" + token + "\"}")),
        4000, token);
    const auto ended = hostileEnded(0);
    ASSERT_TRUE(ended.IsObject());
    EXPECT_EQ(std::string(ended["closed_by"].GetString()), "backend") << log();
    EXPECT_EQ(stateValue(_install / "unattended.json", "DeviceToken"), token);
    expectAccepted(1, token);
}

INSTANTIATE_TEST_SUITE_P(Networking, HostileFrames, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "Legacy" : "Qt");
                         });

}  // namespace
}  // namespace endtoend
