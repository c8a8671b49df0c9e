#pragma once

#include "appdir.h"

// A temporary application directory that the configuration readers take for the installation's
// while it exists; afterwards they read beside the executable again.
class ActiveAppDir : public AppDir {
public:
    ActiveAppDir();
    ~ActiveAppDir();
    ActiveAppDir(const ActiveAppDir &) = delete;
    ActiveAppDir &operator=(const ActiveAppDir &) = delete;
};
