// SPDX-License-Identifier: GPL-3.0-or-later
#include "run/process_setup.h"

#include "run/allocator_tuning.h"

#include <csignal>

void PrepareProcess()
{
    KeepFrameBuffersInHeap();
    std::signal(SIGXFSZ, SIG_IGN);
}
