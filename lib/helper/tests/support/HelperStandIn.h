#pragma once

#include <boost/filesystem/path.hpp>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "testsupport/ScopedEnv.h"
#include "testsupport/TempDir.h"

// The stand-in helper tool (support/OrvantaRemoteSupportHelper), which the build copies beside
// every test program that runs the helper tool. Each test points it at a record file of its own
// through the environment, so tests running in parallel never share one.
namespace helpertest {

class HelperStandIn {
public:
    HelperStandIn()
        : _log("ORV_STANDIN_HELPER_LOG", (_temp / "helper.log").string()),
          _install("ORV_STANDIN_HELPER_INSTALL_EXIT", std::string("0")),
          _uninstall("ORV_STANDIN_HELPER_UNINSTALL_EXIT", std::string("0")) {}

    void setInstallExit(int code) { _install.reset("ORV_STANDIN_HELPER_INSTALL_EXIT", code); }
    void setUninstallExit(int code) { _uninstall.reset("ORV_STANDIN_HELPER_UNINSTALL_EXIT", code); }

    // Every recorded run, each as its argument vector (without the program path), in order.
    std::vector<std::vector<std::string>> runs() const {
        std::ifstream in((_temp / "helper.log").string(), std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
        std::vector<std::string> fields;
        std::string field;
        for (const char c : bytes) {
            if (c == '\0') {
                fields.push_back(field);
                field.clear();
            } else {
                field += c;
            }
        }
        std::vector<std::vector<std::string>> result;
        for (std::size_t i = 0; i < fields.size();) {
            const std::size_t count = std::stoul(fields[i++]);
            std::vector<std::string> run;
            for (std::size_t k = 0; k < count && i < fields.size(); ++k) {
                run.push_back(fields[i++]);
            }
            result.push_back(run);
        }
        return result;
    }

private:
    class Variable {
    public:
        Variable(const std::string& name, std::optional<std::string> value)
            : _env(std::make_unique<testsupport::ScopedEnv>(name, std::move(value))) {}
        void reset(const std::string& name, int code) {
            _env.reset();
            _env = std::make_unique<testsupport::ScopedEnv>(name, std::to_string(code));
        }

    private:
        std::unique_ptr<testsupport::ScopedEnv> _env;
    };

    testsupport::TempDir _temp;
    testsupport::ScopedEnv _log;
    Variable _install;
    Variable _uninstall;
};

}  // namespace helpertest
