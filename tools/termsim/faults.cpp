#include "termsim/faults.h"

#include <cstdlib>

namespace termsim {

namespace {

struct KindInfo {
    FaultKind kind;
    const char* name;
    bool needsValue;
    int defaultValue;
    bool hexValue;
    const char* help;
};

const KindInfo kKinds[] = {
    {FaultKind::Silent, "silent", false, 0, false, "no answer to a block from the host (silent* : a dead terminal)"},
    {FaultKind::BadLrc, "bad-lrc", false, 0, false, "an answer block with a wrong LRC"},
    {FaultKind::RepeatNs, "repeat-ns", false, 0, false, "an answer I-block repeating the previous N(S)"},
    {FaultKind::RBlock, "r-block", false, 0, false, "an R-block asking for the command again instead of the answer"},
    {FaultKind::IfsRequest, "ifs", true, 32, false, "S(IFS request) with the given size before an answer (ifs=16; 0 and 255 for robustness tests)"},
    {FaultKind::WtxRequest, "wtx", true, 1, false, "S(WTX request) with the given multiplier before an answer"},
    {FaultKind::AbortRequest, "abort", true, 1, false, "S(ABORT request) before an answer (abort=N: N of them in a row)"},
    {FaultKind::Garbage, "garbage", true, 5, false, "that many bytes of line noise before an answer"},
    {FaultKind::Truncate, "truncate", true, 3, false, "an answer block cut off after that many bytes"},
    {FaultKind::Oversize, "oversize", true, 64, false, "that many extra data bytes in an answer"},
    {FaultKind::RefuseRead, "refuse-read", true, 0x6281, true, "READ BINARY answered with that status (hex, default 6281)"},
    {FaultKind::RefuseWrite, "refuse-write", true, 0x6581, true, "UPDATE BINARY answered with that status (hex, default 6581)"},
};

const KindInfo& Info(FaultKind kind) {
    for (const KindInfo& k : kKinds)
        if (k.kind == kind) return k;
    return kKinds[0];
}

int Number(const std::string& text, int base, const std::string& what) {
    if (text.empty()) throw FaultSyntaxError(what + " is missing");
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, base);
    if (*end != '\0' || v < 0 || v > 0xFFFF) throw FaultSyntaxError(what + " \"" + text + "\" is not a valid number");
    return static_cast<int>(v);
}

}  // namespace

const char* FaultName(FaultKind kind) { return Info(kind).name; }

std::string FaultHelp() {
    std::string text;
    for (const KindInfo& k : kKinds) {
        std::string name = k.name;
        if (k.needsValue) name += "[=N]";
        text += "  " + name + std::string(name.size() < 18 ? 18 - name.size() : 1, ' ') + k.help + "\n";
    }
    return text;
}

Fault ParseFault(const std::string& text) {
    std::string rest = text;
    Fault fault{};
    std::string countText, skipText, valueText;
    size_t star = rest.find('*');
    bool allCount = false;
    if (star != std::string::npos) {
        countText = rest.substr(star + 1);
        rest.resize(star);
        allCount = countText.empty();
    }
    size_t at = rest.find('@');
    if (at != std::string::npos) {
        skipText = rest.substr(at + 1);
        rest.resize(at);
    }
    size_t eq = rest.find('=');
    bool hasValue = eq != std::string::npos;
    if (hasValue) {
        valueText = rest.substr(eq + 1);
        rest.resize(eq);
    }
    const KindInfo* info = nullptr;
    for (const KindInfo& k : kKinds)
        if (rest == k.name) info = &k;
    if (!info) throw FaultSyntaxError("unknown fault \"" + rest + "\"; known faults:\n" + FaultHelp());
    fault.kind = info->kind;
    fault.value = info->defaultValue;
    if (hasValue) {
        if (!info->needsValue) throw FaultSyntaxError("the fault " + rest + " takes no value");
        fault.value = Number(valueText, info->hexValue ? 16 : 10, "the value of " + rest);
    }
    // 0 and 255 lie outside the protocol's range; they are allowed on purpose,
    // to see how a host copes with such a request.
    if (fault.kind == FaultKind::IfsRequest && fault.value > 255)
        throw FaultSyntaxError("ifs takes a size from 0 to 255");
    if (!skipText.empty() || at != std::string::npos) {
        int n = Number(skipText, 10, "the position after @");
        if (n < 1) throw FaultSyntaxError("the position after @ counts from 1");
        fault.skip = n - 1;
    }
    if (allCount) {
        fault.count = -1;
    } else if (star != std::string::npos) {
        fault.count = Number(countText, 10, "the count after *");
        if (fault.count < 1) throw FaultSyntaxError("the count after * must be at least 1");
    }
    return fault;
}

void FaultScript::Add(const Fault& fault) {
    std::lock_guard<std::mutex> lock(mutex_);
    faults_.push_back(fault);
}

void FaultScript::Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    faults_.clear();
}

bool FaultScript::Take(FaultKind kind, int* value) {
    std::lock_guard<std::mutex> lock(mutex_);
    bool fired = false;
    // Every waiting fault of this kind sees the event; the first active one spoils it.
    for (auto it = faults_.begin(); it != faults_.end();) {
        if (it->kind != kind) {
            ++it;
            continue;
        }
        if (it->skip > 0) {
            --it->skip;
            ++it;
            continue;
        }
        if (fired) {
            ++it;
            continue;
        }
        fired = true;
        if (value) *value = it->value;
        if (it->count > 0 && --it->count == 0) {
            it = faults_.erase(it);
            continue;
        }
        ++it;
    }
    return fired;
}

std::vector<Fault> FaultScript::Pending() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return faults_;
}

}  // namespace termsim
