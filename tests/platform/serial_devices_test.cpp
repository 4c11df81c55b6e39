// The device list of the dialog and of tovan --list-devices, on a made-up
// /dev and /sys/class/tty.
#include "platform/serial_devices.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

namespace {

class SerialDevicesTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tovan-devices-XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(pattern));
        root = pattern;
        Dir("/dev");
        Dir("/sys");
    }
    void TearDown() override { std::system(("rm -rf '" + root + "'").c_str()); }
    void Dir(const std::string& path) { mkdir((root + path).c_str(), 0700); }
    void File(const std::string& path, const std::string& text = "") { std::ofstream(root + path) << text; }
    // A ttyS device with the UART type the kernel reports for it.
    void Uart(const std::string& name, int type) {
        File("/dev/" + name);
        Dir("/sys/" + name);
        File("/sys/" + name + "/type", std::to_string(type) + "\n");
    }
    std::vector<std::string> List() { return platform::ListSerialDevices(root + "/dev", root + "/sys"); }
    std::string root;
};

}  // namespace

TEST_F(SerialDevicesTest, RealPortsUsbAcmAndStableNamesInNaturalOrder) {
    Uart("ttyS10", 4);
    Uart("ttyS2", 4);
    Uart("ttyS3", 0);  // no UART behind it
    File("/dev/ttyUSB1");
    File("/dev/ttyUSB0");
    File("/dev/ttyACM0");
    File("/dev/tty5");
    File("/dev/ttySX");
    Dir("/dev/serial");
    Dir("/dev/serial/by-id");
    symlink("../../ttyUSB0", (root + "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0").c_str());
    const std::string d = root + "/dev/";
    EXPECT_EQ((std::vector<std::string>{d + "ttyS2", d + "ttyS10", d + "ttyUSB0", d + "ttyUSB1", d + "ttyACM0",
                                        d + "serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"}),
              List());
}

TEST_F(SerialDevicesTest, NoDevicesGiveAnEmptyList) { EXPECT_TRUE(List().empty()); }
