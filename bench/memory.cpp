#include "page_measurements.h"

#include <cstdio>

namespace bench {

void Memory::readAfterForward(const Program &program)
{
    afterForwardKb = program.statusKb("VmRSS");
}

void Memory::print(const Program &program, const Options &options) const
{
    std::printf("resident memory: %.1f MB after showing pages 2 to %d in turn, %.1f MB at the end, "
                "peak %.1f MB\n",
                afterForwardKb / 1024.0, options.pages, program.statusKb("VmRSS") / 1024.0,
                program.statusKb("VmHWM") / 1024.0);
}

} // namespace bench
