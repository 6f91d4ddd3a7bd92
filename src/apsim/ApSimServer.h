// SPDX-License-Identifier: GPL-2.0-or-later
// The program around the simulator: one UDP socket for every access point, the control channel
// on stdin and a queue of delayed replies, all on one thread.
#pragma once

#include "ApSimOptions.h"

namespace kelvo::apsim {

// Binds the socket, prints "ready port=<P>" and serves until SIGTERM, SIGINT, the quit command
// or, when stdin is a pipe, a socket or a terminal, its end of file. A stdin of /dev/null or a
// regular file is read to its end and leaves it running. Returns the exit code: 0 after a
// normal stop, 1 when the socket cannot be set up (reported on stderr).
int RunServer(const ProgramOptions& options);

}  // namespace kelvo::apsim
