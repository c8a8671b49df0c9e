#pragma once

namespace standin {

// Takes ORLUNE_STANDIN_APPDIR, when set, for the installation's folder. On Windows this library
// carries its own copy of the installation contract, which a test's override in the executable
// does not reach.
void followAppDirHook();

} // namespace standin
