// What the shared library shows to the dynamic linker.
#include <kardo/kardo.h>

#include <dlfcn.h>
#include <gtest/gtest.h>

namespace {
void* Library() { return dlopen(KARDO_LIBRARY_FILE, RTLD_NOW | RTLD_NOLOAD); }
}  // namespace

TEST(Exports, PlainFunctionsHaveCLinkageAndPairsShareOneFunction) {
    void* lib = Library();
    ASSERT_NE(nullptr, lib) << dlerror();
    for (const char* name : {"atoin", "atoln", "nstatoln", "nstltoa", "memccmp", "bin_to_ascii", "retdat",
                             "retxdat", "retddt", "retxddt", "tstdat", "tstddt", "kardo_set_message_box_handler",
                             "kardo_post_card_abort", "kardo_register_window"})
        EXPECT_NE(nullptr, dlsym(lib, name)) << name;
    EXPECT_EQ(dlsym(lib, "atoin"), dlsym(lib, "atoln"));
    EXPECT_EQ(dlsym(lib, "retdat"), dlsym(lib, "retxdat"));
    EXPECT_EQ(dlsym(lib, "retddt"), dlsym(lib, "retxddt"));
    // Callcard's members under their C++ names.
    EXPECT_NE(nullptr, dlsym(lib, "_ZN8Callcard3hexEPKc"));
    EXPECT_NE(nullptr, dlsym(lib, "_ZN8Callcard12PumpMessagesEv"));
    dlclose(lib);
}

TEST(Exports, InternalsStayHidden) {
    void* lib = Library();
    ASSERT_NE(nullptr, lib) << dlerror();
    EXPECT_EQ(nullptr, dlsym(lib, "_ZN8platform15CurrentThreadIdEv"));
    EXPECT_EQ(nullptr, dlsym(lib, "_ZN8platform9LastErrorEv"));
    EXPECT_EQ(nullptr, dlsym(lib, "_ZN8platform14PostThreadMessageEjjml"));
    dlclose(lib);
}
