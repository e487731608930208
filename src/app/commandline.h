#pragma once

namespace isolumen {

// Runs the isolumen executable: the viewer, or one of the headless modes (--info, --export)
// that scripts use. Returns the process exit status.
int runIsolumen(int argc, char** argv);

} // namespace isolumen
