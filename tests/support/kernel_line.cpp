#include "kernel_line.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace testsupport {

bool ReadKernelLine(int fd, KernelLine& line) {
    termios2 t;
    if (ioctl(fd, TCGETS2, &t) != 0) return false;
    line.ospeed = t.c_ospeed;
    line.ispeed = t.c_ispeed;
    line.cflag = t.c_cflag;
    line.iflag = t.c_iflag;
    return true;
}

}  // namespace testsupport
