// The C++ runtime linked into each shipped library still works after the changes that let the library load
// on older C libraries: an exception thrown inside the library unwinds to the library's own handler (the
// unwinder finds the library's tables through the stand-in for _dl_find_object), and the library keeps
// working afterwards.

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <climits>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/AmiLibrary.h"

namespace {

const double kBitTime = 3.571428571428571e-11;
const double kSampleInterval = kBitTime / 32;

// Lowers the address-space limit for its lifetime, so that a huge allocation fails at once instead of
// being granted by overcommit. (An emulator may ignore it; the sizes below fail without it as well.)
class AddressSpaceCap {
public:
    AddressSpaceCap() {
        getrlimit(RLIMIT_AS, &saved_);
        rlimit capped = saved_;
        capped.rlim_cur = sizeof(void*) == 8 ? (rlim_t{8} << 30) : saved_.rlim_cur;
        setrlimit(RLIMIT_AS, &capped);
    }
    ~AddressSpaceCap() { setrlimit(RLIMIT_AS, &saved_); }

private:
    rlimit saved_{};
};

}  // namespace

TEST(LibraryRuntime, AnAllocationFailureInsideTheLibraryUnwindsToItsHandler) {
    for (const char* path : {KELVANE_TX_LIBRARY, KELVANE_RX_LIBRARY}) {
        SCOPED_TRACE(path);
        const AmiLibrary lib(path);
        AmiSession session(lib, "", kSampleInterval, kBitTime);
        ASSERT_EQ(session.initResult, 1);
        // AMI_GetWave first sizes its clock-time list for the whole block: 64-bit, 2^36 + 1 doubles, which
        // the cap refuses (std::bad_alloc); 32-bit, more than a vector can hold (std::length_error). Both
        // are thrown by the runtime inside the library; the samples are never touched.
        const long hugeBlock = sizeof(long) == 8 ? (1L << 36) : LONG_MAX;
        double sample = 0.25;
        double clockTimes[4] = {-2.0, -2.0, -2.0, -2.0};
        long result = 1;
        {
            const AddressSpaceCap cap;
            result = lib.getWave(&sample, hugeBlock, clockTimes, nullptr, session.handle);
        }
        EXPECT_EQ(result, 0);
        EXPECT_EQ(clockTimes[0], -1.0);
        EXPECT_EQ(sample, 0.25);
        // The instance runs on; so do threads in parallel (the runtime's once-only and locking paths).
        std::vector<double> wave(4096, 0.1);
        EXPECT_EQ(session.Process(wave, 1024), 1);
        std::vector<std::thread> threads;
        std::vector<long> results(4, 0);
        for (std::size_t t = 0; t < results.size(); ++t)
            threads.emplace_back([&lib, &results, t] {
                AmiSession own(lib, "", kSampleInterval, kBitTime);
                std::vector<double> w(2048, 0.2);
                results[t] = own.initResult == 1 ? own.Process(w, 512) : 0;
            });
        for (std::thread& thread : threads) thread.join();
        EXPECT_EQ(results, std::vector<long>(4, 1));
    }
}
