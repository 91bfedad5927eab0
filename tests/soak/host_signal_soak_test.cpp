// The window host stopped by signals at random moments exits 0 and leaves a complete habitat.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

#include "tests/support/x_server.h"

TEST(HostSignalSoak, StopSignalsAtRandomMomentsExitZeroWithACompleteHabitat) {
    TestXServer x(1000, 800);
    const char* ci = std::getenv("CI");
    if (!x.display && ci && std::string(ci) == "true") FAIL() << "Xvfb missing or failed";
    if (!x.display) GTEST_SKIP() << "Xvfb is not installed or did not start";
    const std::string habitat = ::testing::TempDir() + "lumivor_soak_" + std::to_string(getpid());
    const int signals[] = {SIGTERM, SIGINT, SIGHUP};
    for (int run = 0; run < 12 && !HasFailure(); ++run) {
        TestChild child;
        ASSERT_TRUE(child.Start({LUMIVOR_BINARY_DIR "/cli/lumivor", "-root", "--habitat", habitat},
                                x.display_name));
        // A random moment once the world is built: before that there is nothing to save,
        // and on a busy machine the start alone may take a second.
        ASSERT_TRUE(child.WaitForErr("community '", std::chrono::seconds(20))) << child.Err();
        std::this_thread::sleep_for(std::chrono::milliseconds(std::rand() % 1000));
        kill(child.pid, signals[run % 3]);
        std::this_thread::sleep_for(std::chrono::milliseconds(std::rand() % 16));  // often mid-save
        kill(child.pid, signals[(run + 1) % 3]);
        EXPECT_EQ(child.Wait(std::chrono::seconds(10)), 0) << "run " << run << ": " << child.Err();
        const std::string saved = ReadFile(habitat), header = "P6\n#quib habitat\n1000 800\n255\n";
        EXPECT_TRUE(saved.size() == header.size() + 1000 * 800 * 3 && saved.rfind(header, 0) == 0);
        std::remove(habitat.c_str());
    }
}
