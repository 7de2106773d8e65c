// The workers' ends reach the sequence through Qt's event loop, which needs an application
// object; the test program makes one for the whole run.

#include <gtest/gtest.h>

#include <QtCore/QCoreApplication>

#include <memory>

namespace {

class QtApplication : public ::testing::Environment {
public:
    void SetUp() override { application = std::make_unique<QCoreApplication>(argc, argv); }
    void TearDown() override { application.reset(); }

private:
    int argc = 1;
    char name[32] = "norvik_sequence_test";
    char* argv[2] = {name, nullptr};
    std::unique_ptr<QCoreApplication> application;
};

const ::testing::Environment* const kQtApplication = ::testing::AddGlobalTestEnvironment(new QtApplication);

}  // namespace
