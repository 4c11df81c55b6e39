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

TEST(CommandLine, BindMaxClientsAndListDevices) {
    std::string error;
    auto c = Parse({"--bind", "192.168.1.5", "--max-clients=8", "--list-devices"}, error);
    ASSERT_TRUE(c) << error;
    EXPECT_EQ("192.168.1.5", *c->bindAddress);
    EXPECT_EQ(8, *c->maxClients);
    EXPECT_TRUE(c->listDevices);
    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
             {"--bind", "localhost"}, {"--bind", "1.2.3"}, {"--max-clients", "0"}, {"--max-clients", "-3"},
             {"--max-clients", "many"}, {"--list-devices=yes"}}) {
        EXPECT_FALSE(Parse(bad, error)) << bad[0] << " " << (bad.size() > 1 ? bad[1] : "");
    }
}
