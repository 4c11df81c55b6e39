#include "platform/device_name.h"

#include <gtest/gtest.h>

using platform::DevicePath;

TEST(DevicePath, MapsWindowsNamesOntoLinuxDevices) {
    EXPECT_EQ("/dev/ttyS0", DevicePath("COM1"));
    EXPECT_EQ("/dev/ttyS9", DevicePath("com10"));
    EXPECT_EQ("/dev/ttyS1", DevicePath("COM2:"));
    EXPECT_EQ("/dev/lp0", DevicePath("lpt1"));
    EXPECT_EQ("/dev/lp1", DevicePath("LPT2"));
    EXPECT_EQ("/dev/lp0", DevicePath("prn"));
}

TEST(DevicePath, KeepsAbsolutePathsAndLooksOthersUpUnderDev) {
    EXPECT_EQ("/dev/pts/7", DevicePath("/dev/pts/7"));
    EXPECT_EQ("/dev/ttyUSB0", DevicePath("ttyUSB0"));
    EXPECT_EQ("/dev/COM0", DevicePath("COM0"));  // there is no COM0
    EXPECT_EQ("/dev/COMx", DevicePath("COMx"));
}
