#pragma once

#include <memory>

#include "common/params/IParams.h"

namespace common {

// A parameter store made of numbered layers.
class IParamsLayer : public IParams {
public:
    // Adds a layer under a number; higher numbers are consulted first.
    virtual void addLayer(std::unique_ptr<IParams> layer, int number) = 0;
};

}  // namespace common
