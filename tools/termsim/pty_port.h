#pragma once
// The simulator's end of a pseudo-terminal. The program under test opens the
// slave side as if it were a serial port; the simulator reads and writes the
// master side. The simulator also keeps the slave open itself, so the pty
// stays alive (and the master quiet) while no program has the port open.
#include <cstddef>
#include <cstdint>
#include <string>

namespace termsim {

class PtyPort {
public:
    // Opens a new pseudo-terminal; throws std::runtime_error with the system's text.
    PtyPort();
    ~PtyPort();
    PtyPort(const PtyPort&) = delete;
    PtyPort& operator=(const PtyPort&) = delete;

    // The path a program opens, for example /dev/pts/7.
    const std::string& SlavePath() const { return slavePath_; }

    // Makes linkPath a symbolic link to the slave (replacing an earlier link,
    // never a regular file); the link is removed again by the destructor.
    void CreateLink(const std::string& linkPath);
    const std::string& LinkPath() const { return linkPath_; }

    int MasterFd() const { return master_; }

    // Writes all bytes; false when the pty refused them.
    bool Write(const uint8_t* data, size_t count);

    // Throws away whatever the program has sent and the simulator has not read.
    void DiscardInput();

private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
    std::string linkPath_;
};

}  // namespace termsim
