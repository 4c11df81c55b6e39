#pragma once
// Scripted faults. Each fault waits for the event it spoils (a block from the
// host, an answer, a READ BINARY ...), lets a number of such events pass and
// then spoils a number of them in a row.
//
// Text form:  KIND[=VALUE][@N][*COUNT]
//   @N      the N-th matching event from now is the first one spoiled (default 1)
//   *COUNT  how many matching events in a row are spoiled (default 1; "*" alone: all)
#include <cstdint>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

namespace termsim {

enum class FaultKind {
    Silent,       // a block from the host gets no answer at all
    BadLrc,       // an answer block goes out with a wrong LRC
    RepeatNs,     // an answer I-block carries the N(S) of the previous one
    RBlock,       // a command is answered by an R-block asking for it again
    IfsRequest,   // an S(IFS request) with VALUE goes out before an answer
    WtxRequest,   // an S(WTX request) with VALUE goes out before an answer
    AbortRequest, // an S(ABORT request) goes out before an answer
    Garbage,      // VALUE bytes of line noise go out before an answer
    Truncate,     // an answer block stops after VALUE bytes
    Oversize,     // an answer carries VALUE extra data bytes before its status
    RefuseRead,   // a READ BINARY is answered with status VALUE (hex)
    RefuseWrite,  // an UPDATE BINARY is answered with status VALUE (hex)
};

struct Fault {
    FaultKind kind;
    int value = 0;
    int skip = 0;    // matching events to let pass first
    int count = 1;   // events to spoil; negative: every one from then on
};

struct FaultSyntaxError : std::invalid_argument {
    using std::invalid_argument::invalid_argument;
};

// Parses the text form; throws FaultSyntaxError with a readable reason.
Fault ParseFault(const std::string& text);
const char* FaultName(FaultKind kind);
// One line per kind, for --help.
std::string FaultHelp();

class FaultScript {
public:
    void Add(const Fault& fault);
    void Clear();
    // Called at each event that a fault of this kind could spoil: true when it
    // is spoiled, with the fault's value.
    bool Take(FaultKind kind, int* value = nullptr);
    // Faults still waiting or active.
    std::vector<Fault> Pending() const;

private:
    mutable std::mutex mutex_;
    std::vector<Fault> faults_;
};

}  // namespace termsim
