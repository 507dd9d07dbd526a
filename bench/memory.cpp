#include "page_measurements.h"

#include <cstdio>

namespace bench {

void Memory::readAfterForward(const Program &program)
{
    afterForwardKb = program.statusKb("VmRSS");
    peakAfterForwardKb = program.statusKb("VmHWM");
}

void Memory::readBeforeLayouts(const Program &program)
{
    peakBeforeLayoutsKb = program.statusKb("VmHWM");
}

void Memory::print(const Program &program, const Options &options) const
{
    std::printf("resident memory: %.1f MB after showing pages 2 to %d in turn (peak %.1f MB), %.1f MB at "
                "the end, peak %.1f MB (%.1f MB before the layout switches)\n",
                afterForwardKb / 1024.0, options.pages, peakAfterForwardKb / 1024.0,
                program.statusKb("VmRSS") / 1024.0, program.statusKb("VmHWM") / 1024.0,
                peakBeforeLayoutsKb / 1024.0);
}

} // namespace bench
