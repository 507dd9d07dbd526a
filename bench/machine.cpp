// zorvane_bench machine: how fast this machine is right now, apart from Zorvane. At 4K
// most of a page action is two 32 MB copies (the program's render and the X server's),
// so the same copy, a first touch of that much fresh memory and a fixed run of
// arithmetic are timed here; bench/run.sh prints them before each book, which tells a
// slower machine from a slower program.
#include "harness.h"

#include <cstdint>
#include <cstring>
#include <vector>

#include <sys/mman.h>

namespace bench {

int runMachine(const Options &options)
{
    const size_t bytes = size_t(3840) * 2160 * 4;
    std::vector<unsigned char> from(bytes, 1), to(bytes, 0);
    Samples copy{"machine: copy of 32 MB (a 4K screen's image)", {}, 0};
    Samples touch{"machine: first touch of 32 MB of fresh memory", {}, 0};
    Samples arithmetic{"machine: 100 million steps of integer arithmetic", {}, 0};
    for (int run = 0; run < options.runs; ++run) {
        Clock::time_point start = Clock::now();
        std::memcpy(to.data(), from.data(), bytes);
        copy.values.push_back(msSince(start));
        from[size_t(run) * 4096 % bytes] = to[bytes / 2];  // keeps the copy from being dropped

        start = Clock::now();
        void *fresh = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (fresh == MAP_FAILED)
            die("machine: no memory for the first-touch run");
        std::memset(fresh, 2, bytes);
        touch.values.push_back(msSince(start));
        munmap(fresh, bytes);

        start = Clock::now();
        volatile uint64_t state = 1;
        uint64_t x = state;
        for (int i = 0; i < 100'000'000; ++i)
            x = x * 6364136223846793005u + 1442695040888963407u;
        state = x;
        arithmetic.values.push_back(msSince(start));
    }
    copy.print();
    touch.print();
    arithmetic.print();
    return 0;
}

} // namespace bench
