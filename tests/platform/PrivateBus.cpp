#include "PrivateBus.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

extern char** environ;

namespace norvik_test {

namespace {

const char* const kDaemonPath = "/usr/bin/dbus-daemon";
constexpr int kAddressWaitMs = 10000;

// Anyone on this bus may own any name and call anything: the bus exists for one test only.
const char* const kConfiguration = R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=@DIR@</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";

}  // namespace

PrivateBus::PrivateBus()
{
    char pattern[] = "/tmp/norvik-bus-XXXXXX";
    if (mkdtemp(pattern) == nullptr) return;
    directory = pattern;
    if (!WriteConfiguration() || !Spawn()) {
        Stop();
        address.clear();
    }
}

PrivateBus::~PrivateBus()
{
    Stop();
    if (!directory.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(directory, ignored);
    }
}

bool PrivateBus::WriteConfiguration()
{
    std::string text = kConfiguration;
    text.replace(text.find("@DIR@"), 5, directory);
    std::ofstream file(directory + "/bus.conf");
    file << text;
    return static_cast<bool>(file);
}

bool PrivateBus::Spawn()
{
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0) return false;
    // The daemon prints its address on descriptor 3, which it receives as a copy of the pipe.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 3);
    // Its complaints about resource limits that only root may raise are of no use here.
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const std::string configArgument = "--config-file=" + directory + "/bus.conf";
    char* const argv[] = {const_cast<char*>(kDaemonPath),         const_cast<char*>(configArgument.c_str()),
                          const_cast<char*>("--nofork"),          const_cast<char*>("--nopidfile"),
                          const_cast<char*>("--print-address=3"), nullptr};
    const bool spawned = posix_spawn(&daemon, kDaemonPath, &actions, nullptr, argv, environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    if (!spawned) daemon = -1;
    const bool haveAddress = spawned && ReadAddress(pipeEnds[0]);
    close(pipeEnds[0]);
    return haveAddress;
}

bool PrivateBus::ReadAddress(int readEnd)
{
    std::string line;
    char c = 0;
    while (line.empty() || line.back() != '\n') {
        pollfd waiting{readEnd, POLLIN, 0};
        if (poll(&waiting, 1, kAddressWaitMs) <= 0 || read(readEnd, &c, 1) != 1) return false;
        line += c;
    }
    line.pop_back();
    address = line;
    return !address.empty();
}

void PrivateBus::Stop()
{
    if (daemon > 0) {
        kill(daemon, SIGTERM);
        int status = 0;
        waitpid(daemon, &status, 0);
        daemon = -1;
    }
}

}  // namespace norvik_test
