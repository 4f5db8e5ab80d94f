// A TCP relay on the loopback interface that forwards every connection to a target port and
// records the bytes the clients send, exactly as they travel.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace nimbrel::testing {

class TWireRecorder {
  public:
    explicit TWireRecorder(int TargetPort);
    ~TWireRecorder();

    TWireRecorder(const TWireRecorder&) = delete;
    TWireRecorder& operator=(const TWireRecorder&) = delete;

    int Port() const { return FPort; }
    // Connections accepted so far.
    int Connections() const;
    // Everything the clients sent, in the order it arrived.
    std::string Sent() const;

  private:
    void Accept();
    void Relay(int Client);

    int FTargetPort;
    int FListener = -1;
    int FPort = 0;
    std::atomic<bool> FStopping{false};
    mutable std::mutex FLock;  // protects FSent, FConnections and FRelays
    std::string FSent;
    int FConnections = 0;
    std::vector<std::thread> FRelays;
    std::thread FAcceptor;
};

}  // namespace nimbrel::testing
