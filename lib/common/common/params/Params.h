#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>

#include "common/logger/ILogger.h"
#include "common/params/IParamsLayer.h"

namespace common {

// The layered parameter store. A read asks the layers from the highest number down and takes
// the first non-empty value; a write goes to every layer that accepts writes. All operations
// take one recursive mutex, which lock() and unlock() expose for grouping several of them.
class Params : public IParamsLayer {
public:
    Params();
    ~Params() override;

    void lock() override;
    void unlock() override;

    bool isReadOnly() const override;
    std::string getValue(const std::string& key, const std::string& defaultValue) const override;
    bool setValue(const std::string& key, std::string value) override;
    bool hasValue(const std::string& key) const override;
    bool removeValue(const std::string& key) override;
    std::set<std::string> getKeys() const override;

    // A number already in use keeps its layer; the new one is discarded.
    void addLayer(std::unique_ptr<IParams> layer, int number) override;

private:
    mutable std::recursive_mutex _mutex;
    std::map<int, std::unique_ptr<IParams>, std::greater<int>> _layers;
    std::unique_ptr<ILogger> _logger;
};

}  // namespace common
