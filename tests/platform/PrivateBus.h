#pragma once
// A private D-Bus daemon for one test: started with a configuration of its own in a fresh
// directory, stopped and cleaned away when the object goes.

#include <sys/types.h>

#include <string>

namespace norvik_test {

class PrivateBus {
public:
    PrivateBus();
    ~PrivateBus();

    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    // Empty when the daemon did not start.
    const std::string& Address() const { return address; }
    // Stops the daemon now; its address then leads nowhere.
    void Stop();

private:
    bool WriteConfiguration();
    bool Spawn();
    bool ReadAddress(int readEnd);

    std::string directory;
    std::string address;
    pid_t daemon = -1;
};

}  // namespace norvik_test
