// The thread that runs the decision receiver beside the equalised one: its files land in its own directory
// while the main thread changes directory around it, its failures reach the caller, and it keeps the order
// of its calls.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <stdexcept>
#include <string>

#include "sim/driver/InstanceThread.h"
#include "tests/support/ScopedTempDir.h"

TEST(SimInstanceThread, WritesInItsOwnDirectoryWhileTheCallerMovesAndPassesOnFailures) {
    ScopedTempDir dir;
    ASSERT_EQ(mkdir("worker", 0755), 0);
    ASSERT_EQ(mkdir("main", 0755), 0);
    const ksim::InstanceDirectory workerHome(dir.path() + "/worker"), mainHome(dir.path() + "/main");
    ksim::InstanceThread thread(workerHome);
    for (int call = 0; call < 200; ++call) {
        ksim::InDirectory inside(mainHome);  // as around the equalised receiver's calls meanwhile
        thread.Start([call] { std::ofstream("trace.txt", std::ios::app) << call << "\n"; });
        std::ofstream("trace.txt", std::ios::app) << "main\n";
        thread.Wait();
    }
    std::ifstream worker(dir.path() + "/worker/trace.txt");
    int expected = 0;
    for (int value; worker >> value; ++expected) ASSERT_EQ(value, expected);
    EXPECT_EQ(expected, 200);
    std::ifstream mainTrace(dir.path() + "/main/trace.txt");
    int mainLines = 0;
    for (std::string line; std::getline(mainTrace, line); ++mainLines) ASSERT_EQ(line, "main");
    EXPECT_EQ(mainLines, 200);

    thread.Start([] { throw std::runtime_error("the receiver's AMI_GetWave failed"); });
    EXPECT_THROW(thread.Wait(), std::runtime_error);
    thread.Start([] {});
    EXPECT_NO_THROW(thread.Wait());  // a failure is reported once
}
