#include "common/application/Application.h"

#include <gtest/gtest.h>

#include <boost/filesystem/operations.hpp>

#include "common/params/CommandLineParams.h"
#include "common/taskscheduler/TaskScheduler.h"
#include "testsupport/TempDir.h"

using common::Application;
using common::CommandLineParams;
using common::IApplication;
using common::IParams;
using common::ITaskQueue;
using common::ITaskScheduler;

namespace {

// The shape of a program's application: a queue of its own, a start task, and quit ending
// the scheduler's loop.
class SampleApplication : public Application {
public:
    SampleApplication(const std::vector<std::string>& arguments, ITaskScheduler& scheduler,
                      IParams& params)
        : Application(arguments, params), _scheduler(scheduler) {}

    bool init() override {
        if (_params.getValueAs<bool>("FailInit", false)) {
            return false;
        }
        _queue = _scheduler.getTaskQueue("SampleApplication");
        _queue->push(
            [this](bool&, unsigned long) {
                started = true;
                quit();
            },
            std::chrono::milliseconds(0), ITaskQueue::Normal);
        return true;
    }

    void quit() override {
        ++quits;
        _scheduler.quit();
    }

    const std::vector<std::string>& arguments() const { return _arguments; }

    bool started = false;
    int quits = 0;

private:
    ITaskScheduler& _scheduler;
    std::unique_ptr<ITaskQueue> _queue;
};

std::shared_ptr<ITaskScheduler> makeScheduler() {
    return common::TaskScheduler::create(std::chrono::milliseconds(10),
                                         common::ILogger::create("TaskScheduler"));
}

}  // namespace

TEST(Application, RunsLikeAProgramMainAndKeepsItsArgumentsAndParameters) {
    const std::vector<std::string> arguments{"/bin/sample", "-LogLevel", "3"};
    CommandLineParams params(arguments);
    auto scheduler = makeScheduler();
    auto application = std::make_unique<SampleApplication>(arguments, *scheduler, params);
    EXPECT_EQ(application->arguments(), arguments);

    ASSERT_TRUE(application->init());
    EXPECT_EQ(scheduler->run(arguments), 0);
    EXPECT_TRUE(application->started);
    EXPECT_EQ(application->quits, 1);

    // The defaults of the base classes.
    IApplication& base = *application;
    EXPECT_EQ(base.getReturnCode(), 0);
    testsupport::TempDir dir;
    const auto leftOver = dir.write("appdata/left-over.log", "x");
    base.cleanUpApplicationFiles();
    EXPECT_TRUE(boost::filesystem::exists(leftOver));
}

TEST(Application, AFailedInitIsReportedToMain) {
    const std::vector<std::string> arguments{"/bin/sample", "-FailInit"};
    CommandLineParams params(arguments);
    auto scheduler = makeScheduler();
    SampleApplication application(arguments, *scheduler, params);
    EXPECT_FALSE(application.init());
    EXPECT_FALSE(application.started);
}
