#pragma once
// The kernel's own view of a terminal's line (TCGETS2), read independently of
// the serial-port class: the baud rate as a number, custom rates included.
namespace testsupport {

struct KernelLine {
    unsigned ospeed = 0;
    unsigned ispeed = 0;
    unsigned cflag = 0;
    unsigned iflag = 0;
};

// Fills line from fd; false when the ioctl fails.
bool ReadKernelLine(int fd, KernelLine& line);

}  // namespace testsupport
