// The unattended daemon: `-regsvc` registers and loads its launchd job, `-delsvc` removes it,
// and a normal run (launchd passes `-Service`) keeps the machine registered with the backend.

#include <openssl/ssl.h>

#include <csignal>
#include <memory>
#include <string>
#include <vector>

#include "common/computerparams/ComputerParams.h"
#include "common/computerparams/ExtendedAttributesParamsReader.h"
#include "common/credentialstorage/CredentialStorage.h"
#include "common/logger/ILogger.h"
#include "common/logger/Logger.h"
#include "common/loggerbuilder/LoggerBuilder.h"
#include "common/params/CommandLineParams.h"
#include "common/params/JsonFileParams.h"
#include "common/params/Params.h"
#include "common/taskscheduler/TaskScheduler.h"
#include "common/tokenrequester/JsonTokenRequester.h"
#include "common/util/Util.h"
#include "foundation/extension/EventLoopEnvironment.h"
#include "qtplatform/QtPlatform.h"
#include "service/application/IAbstractServiceApplicationController.h"
#include "unattended/application/IUnattendedApplication.h"

namespace {

const char kIdAlphabet[] = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";

void ignoreTermination(int) {}

}  // namespace

int main(int argc, char** argv) {
    // 1: SIGPIPE ignored; SIGTERM never ends the daemon.
    std::signal(SIGPIPE, SIG_IGN);
    struct sigaction termination {};
    termination.sa_handler = ignoreTermination;
    sigemptyset(&termination.sa_mask);
    termination.sa_flags = 0;
    sigaction(SIGTERM, &termination, nullptr);

    // 2-4: TLS, the scheduler, the foundation environment.
    OPENSSL_init_ssl(0, nullptr);
    std::shared_ptr<common::ITaskScheduler> scheduler = common::TaskScheduler::create(
        std::chrono::milliseconds(10), common::ILogger::create("TaskScheduler"));
    auto environment = std::make_shared<extension::EventLoopEnvironment>();

    // 5-8: the arguments and the parameter layers.
    const std::vector<std::string> arguments = common::util::commandLineArguments(argc, argv);
    int exitCode = 0;
    auto params = std::make_unique<common::Params>();
    params->addLayer(std::make_unique<common::ComputerParams>(), 3);
    params->addLayer(std::make_unique<common::CommandLineParams>(arguments), 2);
    params->addLayer(std::make_unique<common::ExtendedAttributesParamsReader>("com.orvanta.corvalis"),
                     4);
    if (params->hasValue("WorkFolder")) {
        common::util::setWorkingPath(
            common::util::toWideString(params->getValue("WorkFolder", std::string())));
    } else {
        common::util::setWorkingPath(common::util::getApplicationMainPath());
    }
    params->addLayer(std::make_unique<common::JsonFileParams>("unattended.json"), 1);

    // 9: a fresh instance id names this run's IPC queues.
    params->setValue("InstanceId", common::util::generateNanoId(10, kIdAlphabet));

    // 10: credential storage and the Qt platform (which starts the Qt thread).
    auto credentialStorage = std::make_unique<common::credentialstorage::CredentialStorage>();
    std::unique_ptr<IQtPlatform> qtPlatform = std::make_unique<QtPlatform>(
        scheduler.get(), credentialStorage.get(), arguments.empty() ? std::string() : arguments[0]);

    // 11-14: logging and telemetry.
    auto loggerBuilder = std::make_unique<common::LoggerBuilder>("Unattended", *params);
    common::LoggerBuilder::addFileSink(arguments.empty() ? std::string() : arguments[0],
                                       params->hasValue("Service") ? L"srv" : L"");
    loggerBuilder->createEventBlockSender(
        "Unattended", scheduler, environment.get(), *qtPlatform,
        std::make_unique<common::JsonTokenRequester>(environment, *qtPlatform, *params,
                                                     common::ILogger::create("JsonTokenRequester")));
    common::LoggerBuilder::addSinkForQtPlatform(*qtPlatform);
    loggerBuilder->addJsonSink(scheduler);
    std::shared_ptr<common::metrics::IMetricsCollector> metricsCollector =
        loggerBuilder->createMetricsCollector(scheduler);
    qtPlatform->setMetricsCollector(metricsCollector);

    // 15: the registration flags.
    auto serviceController = corvalis::service::IAbstractServiceApplicationController::create(
        *scheduler, *params, corvalis::service::IAbstractServiceApplicationController::ServiceType::Unattended,
        true);
    const int input = serviceController->processInput(arguments, exitCode);

    if (input == 1 || input == 3) {
        // 16: the application and its run loop.
        auto application = corvalis::unattended::IUnattendedApplication::createUnattendedApplication(
            arguments, scheduler, *params, *serviceController, std::move(qtPlatform), environment,
            metricsCollector);
        loggerBuilder->setErrorHandlerForEventBlockSender(
            dynamic_cast<const common::IEventBlockSenderErrorHandler*>(application.get()));
        if (application->init()) {
            scheduler->run(arguments);
            exitCode = application->getResult();
        } else {
            exitCode = 1;
        }
        loggerBuilder->setErrorHandlerForEventBlockSender(nullptr);
        application.reset();
        serviceController.reset();
    } else {
        // 17: a registration flag was handled.
        serviceController.reset();
        common::Logger::stop();
    }

    // 18: the rest, in reverse.
    scheduler.reset();
    loggerBuilder.reset();
    metricsCollector.reset();
    qtPlatform.reset();
    credentialStorage.reset();
    params.reset();
    environment.reset();
    return exitCode;
}
