// Code under test that runs Qt event loops (queued signals between threads, D-Bus) needs an
// application object; a test program that links norvik_test_qt_application makes one for the
// whole run.

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
    char name[16] = "norvik_test";
    char* argv[2] = {name, nullptr};
    std::unique_ptr<QCoreApplication> application;
};

const ::testing::Environment* const kQtApplication = ::testing::AddGlobalTestEnvironment(new QtApplication);

}  // namespace
