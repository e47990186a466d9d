#include "common/application/Application.h"

namespace common {

Application::Application(const std::vector<std::string>& arguments, IParams& params)
    : _arguments(arguments), _params(params) {}

Application::~Application() = default;

void Application::cleanUpApplicationFiles() {}

}  // namespace common
