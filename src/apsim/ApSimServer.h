// SPDX-License-Identifier: GPL-2.0-or-later
// The program around the simulator: one UDP socket for every access point, the control channel
// on stdin and a queue of delayed replies, all on one thread.
#pragma once

#include "ApSimOptions.h"

namespace kelvo::apsim {

// Binds the socket, prints "ready port=<P>" and serves until SIGTERM, SIGINT or the quit
// command. End of input on stdin does not stop it. Returns the exit code: 0 after a normal
// stop, 1 when the socket cannot be set up (reported on stderr).
int RunServer(const ProgramOptions& options);

}  // namespace kelvo::apsim
