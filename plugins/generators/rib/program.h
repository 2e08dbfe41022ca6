// The helper programs of Procedural "RunProgram". Each command line starts one process, kept
// running for every later request of the same command: a request writes "detail data\n" to the
// program's input, and the program answers with RIB ended by the byte 0377.
#pragma once

#include <map>
#include <string>

namespace ovo {
namespace rib {

class Programs {
  public:
    Programs() = default;
    Programs(const Programs&) = delete;
    Programs& operator=(const Programs&) = delete;
    ~Programs();  // closes every program's input and waits for it

    // Sends one request to `command` (run by /bin/sh in `folder`, started on first use) and
    // reads its answer into `rib`. False, with `error` set, when the program could not be
    // started or ended before it finished its answer (`rib` then holds what it wrote).
    bool run(const std::string& command, const std::string& folder, double detail,
             const std::string& data, std::string& rib, std::string& error);

  private:
    struct Running {
        int pid = -1;
        int channel = -1;  // a socket: the program's input and output
    };
    bool start(const std::string& command, const std::string& folder, Running& p,
               std::string& error);
    static void stop(Running& p);
    std::map<std::string, Running> running;
};

}  // namespace rib
}  // namespace ovo
