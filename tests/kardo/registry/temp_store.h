#pragma once
// Points the settings store at a fresh folder for one test and removes it
// afterwards, so tests never touch the user's own settings.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

class TempStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/kardo-registry-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder_ = pattern;
        setenv("KARDO_REGISTRY_DIR", folder_.c_str(), 1);
    }
    void TearDown() override {
        unsetenv("KARDO_REGISTRY_DIR");
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    std::string StoreFile(const char* root_name) const {
        return folder_ + "/" + root_name + ".db";
    }

    std::string folder_;
};
