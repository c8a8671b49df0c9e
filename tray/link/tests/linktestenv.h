#pragma once

#include "config.h"

#include <activeappdir.h>
#include <testenv.h>

// Gives a test its own installation identifier and runtime directory, so the pipe it serves
// and polls is its own even where pipes live in a machine-wide directory.
class LinkTestEnvironment {
public:
    LinkTestEnvironment()
    {
        appDir.writeParams(
            {{QStringLiteral("product/instanceId"), uniqueInstanceId(QStringLiteral("Link"))}});
    }
    LinkTestEnvironment(const LinkTestEnvironment &) = delete;
    LinkTestEnvironment &operator=(const LinkTestEnvironment &) = delete;

private:
    IsolatedRuntime runtime;
    ActiveAppDir appDir;
};
