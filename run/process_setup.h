// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What both programs set up once for the whole process, first thing in main
// and before any thread starts:
// - the allocator keeps frame-sized blocks (see allocator_tuning.h);
// - a file-size limit makes a write fail with EFBIG instead of ending the
//   process with SIGXFSZ, so an output is closed valid and the user is told.
void PrepareProcess();
