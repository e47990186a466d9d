#pragma once

#include <gtest/gtest.h>

#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "RecordingBackend.h"
#include "foundation/logging/Logging.h"

namespace testing_logging {

// "HH:MM:SS.ffffff" followed by `rest`.
inline bool IsTimedLine(const std::string& line, const std::string& rest) {
    const std::string shape = "dd:dd:dd.dddddd";
    if (line.size() != shape.size() + rest.size()) {
        return false;
    }
    for (std::size_t i = 0; i < shape.size(); ++i) {
        const bool digit = line[i] >= '0' && line[i] <= '9';
        if (shape[i] == 'd' ? !digit : line[i] != shape[i]) {
            return false;
        }
    }
    return line.compare(shape.size(), std::string::npos, rest) == 0;
}

// "0x" followed by lower-case hexadecimal digits.
inline bool IsHandleText(const std::string& text) {
    return text.size() > 2 && text.compare(0, 2, "0x") == 0 &&
           text.find_first_not_of("0123456789abcdef", 2) == std::string::npos;
}

// Initialised logging at level Debug with a recording custom sink and the console captured.
class LoggingTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_SavedClog = std::clog.rdbuf(m_Console.rdbuf());
        logging::Initialize(nullptr, false);
        logging::SetGlobalSeverityLevel(logging::Debug);
        logging::SetGlobalSink(m_Backend);
    }
    void TearDown() override {
        logging::SetGlobalSink(nullptr);
        logging::SetGlobalSeverityLevel(logging::Debug);
        std::clog.rdbuf(m_SavedClog);
    }

    std::vector<std::string> ConsoleLines() const {
        std::vector<std::string> lines;
        std::istringstream stream(m_Console.str());
        for (std::string line; std::getline(stream, line);) {
            lines.push_back(line);
        }
        return lines;
    }
    void ClearCaptured() {
        m_Console.str("");
        logging::SetGlobalSink(m_Backend = std::make_shared<RecordingBackend>());
    }

    std::shared_ptr<RecordingBackend> m_Backend = std::make_shared<RecordingBackend>();
    std::ostringstream m_Console;
    std::streambuf* m_SavedClog = nullptr;
};

}  // namespace testing_logging
