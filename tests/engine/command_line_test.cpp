#include "server/ui/command_line.h"

#include <gtest/gtest.h>

namespace {

std::optional<CommandLine> Parse(std::vector<std::string> args, std::string& error) {
    std::vector<char*> argv;
    static std::string name = "tovan";
    argv.push_back(name.data());
    for (auto& a : args) argv.push_back(a.data());
    return ParseCommandLine(static_cast<int>(argv.size()), argv.data(), error);
}

}  // namespace

TEST(CommandLine, TakesValuesAfterTheOptionOrAfterEquals) {
    std::string error;
    auto c = Parse({"--headless", "--device", "/dev/pts/3", "--data-port=4001", "--ctrl-port", "4002"}, error);
    ASSERT_TRUE(c) << error;
    EXPECT_TRUE(c->headless);
    EXPECT_EQ("/dev/pts/3", *c->device);
    EXPECT_EQ("4001", *c->dataPort);
    EXPECT_EQ("4002", *c->ctrlPort);
}

TEST(CommandLine, RejectsUnknownOptionsMissingValuesAndBadPorts) {
    std::string error;
    EXPECT_FALSE(Parse({"--verbose"}, error));
    EXPECT_EQ("unknown option '--verbose'", error);
    EXPECT_FALSE(Parse({"--device"}, error));
    EXPECT_EQ("option --device needs a value", error);
    EXPECT_FALSE(Parse({"--data-port="}, error));
    EXPECT_FALSE(Parse({"--data-port", "70000"}, error));
    EXPECT_FALSE(Parse({"--ctrl-port", "12ab"}, error));
    EXPECT_FALSE(Parse({"--headless=yes"}, error));
    EXPECT_TRUE(Parse({"--ctrl-port", "0"}, error));
}
