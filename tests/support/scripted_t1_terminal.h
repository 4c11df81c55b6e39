#pragma once
// A T=1 terminal played by a script on a pseudo-terminal, for terminals that
// misbehave in ways no well-meaning simulator would: each whole block from
// the host goes to the script, which gives the blocks to send back. Served by
// a thread of its own until the object is destroyed.
#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>
#include <vector>

#include "pty_pair.h"

namespace testsupport {

class ScriptedT1Terminal {
public:
    using Bytes = std::vector<uint8_t>;
    using Script = std::function<std::vector<Bytes>(const Bytes& hostBlock)>;

    explicit ScriptedT1Terminal(Script script) : script_(std::move(script)) {
        thread_ = std::thread([this] { Serve(); });
    }
    ~ScriptedT1Terminal() {
        stop_ = true;
        thread_.join();
    }
    ScriptedT1Terminal(const ScriptedT1Terminal&) = delete;
    ScriptedT1Terminal& operator=(const ScriptedT1Terminal&) = delete;

    const std::string& Path() const { return pty_.path(); }
    // Whole blocks received from the host so far.
    int HostBlocks() const { return hostBlocks_; }

private:
    void Serve() {
        while (!stop_) {
            if (!pty_.Readable(20)) continue;
            Bytes block = pty_.Receive(3, 200);
            if (block.size() < 3) continue;
            const Bytes rest = pty_.Receive(block[2] + 1u, 200);
            block.insert(block.end(), rest.begin(), rest.end());
            if (block.size() != block[2] + 4u) continue;
            ++hostBlocks_;
            for (const Bytes& answer : script_(block)) pty_.Send(answer);
        }
    }

    PtyPair pty_;
    Script script_;
    std::atomic<bool> stop_{false};
    std::atomic<int> hostBlocks_{0};
    std::thread thread_;
};

}  // namespace testsupport
