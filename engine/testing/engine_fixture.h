// The driver core on the simulated platform behind a real socket, with the engine library in
// the same process: what the library sees is what crossed the socket. The driver's name
// resolution is a recording stand-in, so the library's side of it can be checked while the
// driver's own is built elsewhere.
#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "control/command_handlers.h"
#include "port_socket_server.h"
#include "testing/driver_harness.h"
#include "vesk/vesklib.h"

namespace vesk::testing {

// Answers VeskCmdResolveName with configured names, honouring the offered capacities, and
// records every request.
class RecordingNames final : public driver::NameCommands {
  public:
    struct Request {
        std::uint32_t flags;
        std::uint32_t sessionId;
        kernel::Luid logonId;
        std::u16string name;
        std::uint16_t dosCapacity;
        std::uint16_t uncCapacity;
    };

    void Answer(std::u16string dos, std::u16string unc, std::uint32_t provider);
    std::vector<Request> Requests();

    kernel::NTSTATUS ResolveName(const driver::ResolveNameRequest& request,
                                 std::uint32_t* replyLength) override;

  private:
    std::mutex mutex_;
    std::u16string dos_;
    std::u16string unc_;
    std::uint32_t provider_ = 0;
    std::vector<Request> requests_;
};

struct RecordSpec {
    std::uint32_t category = wire::VeskCategoryFileSystem;
    std::uint32_t operation = wire::VeskOpFlush;
    std::string name;
    std::uint16_t volumePrefixLength = 0;
    std::uint32_t status = 0;
    std::vector<std::uint8_t> payload;
};

class EngineTest : public DriverHarnessTest {
  protected:
    void SetUp() override;
    void TearDown() override;

    void StartServer();
    void StopServer();

    // Builds and queues a notification the way capture does.
    void Enqueue(const RecordSpec& spec);
    void Enqueue(std::uint32_t category, std::uint32_t operation, const std::string& name,
                 const std::vector<std::uint8_t>& payload = {}) {
        RecordSpec spec;
        spec.category = category;
        spec.operation = operation;
        spec.name = name;
        spec.payload = payload;
        Enqueue(spec);
    }
    // A flush record with this name.
    void EnqueueNamed(const std::string& name) {
        Enqueue(wire::VeskCategoryFileSystem, wire::VeskOpFlush, name);
    }
    // Queues a hand-made message of exactly these bytes (a damaged one, say).
    void EnqueueRaw(const std::vector<std::uint8_t>& bytes);

    // Waits up to ten real seconds for done().
    template <typename Done>
    static bool Eventually(Done done) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!done()) {
            if (std::chrono::steady_clock::now() > until) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }

    std::string root_;
    RecordingNames names_;
    std::unique_ptr<port_socket::PortSocketServer> server_;
};

// Threads and descriptors of this process, from /proc.
int CountThreads();
int CountDescriptors();

std::u16string Wide(const std::string& ascii);
std::string Narrow(const VeskChar* text);

}  // namespace vesk::testing
