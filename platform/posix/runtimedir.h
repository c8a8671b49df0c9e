#pragma once

#include "platform/error.h"

#include <string>

// Where the Linux backend keeps the files that stand for named kernel objects and pipes.
//
// Per-user runtime directory ("Local\" namespace):
//   $XDG_RUNTIME_DIR/orlune-runtime when XDG_RUNTIME_DIR is set to an absolute path,
//   otherwise <home>/.orlune-runtime-<host name, encoded> in the user's own home: $HOME when
//   that is a directory of ours (or root's) that nobody else can write to, else the user
//   database's home directory under the same condition; without such a home, ENOENT.
//   Created with mode 0700 when missing (its parent is never created). Refused (EPERM) when
//   owned by another user, (EACCES) when writable by group or others, (ENOTDIR) when it is
//   not a directory or is a symbolic link. The environment is read on every call.
//
// Object names ("Local\NAME"): the "Local\" prefix (any case) is dropped when present; what
//   remains is one file name in the per-user runtime directory (see encodeObjectName).
//
// Pipes ("\\.\pipe\NAME", prefix matched without regard to case; without it the whole text
//   is the name): one Unix socket named by encodeObjectName(NAME) in the pipe directory:
//   1. $ORLUNE_PIPE_DIR when set and not empty;
//   2. otherwise /run/orlune-pipes when that path exists (a machine-wide place a system
//      service can serve every user's tray from);
//   3. otherwise the per-user runtime directory.
//   The choice depends only on the environment and on whether /run/orlune-pipes exists, never
//   on permissions, so a client and a server always look in the same place. A pipe directory
//   chosen by rule 1 or 2 is never created; it must be a directory owned by root or by us and
//   not writable by group or others, otherwise pipe paths fail with the errors above (no
//   silent fallback).
//
// File names: every byte outside [A-Za-z0-9._-] becomes "%XX" (upper-case hex), and a name
//   made only of dots is encoded completely, so no name can leave its directory. When the
//   directory, a slash and the name would not fit a socket address (107 bytes), the encoded
//   name is cut (never inside an escape) and gets "~" plus 16 hex digits of the 64-bit FNV-1a
//   hash of the original name. "~" never occurs in an uncut name, so cut and uncut names never
//   collide. An empty name is refused (EINVAL).

namespace platform::posix {

constexpr const char *kRuntimeFolderName = "orlune-runtime";
constexpr const char *kMachinePipeDirectory = "/run/orlune-pipes";
constexpr const char *kPipeDirectoryVariable = "ORLUNE_PIPE_DIR";
constexpr std::size_t kMaxSocketPath = 107; // sizeof(sockaddr_un::sun_path) minus the NUL

struct PathResult {
    std::string path;
    ErrorCode error = 0;
    bool ok() const { return error == 0; }
};

// The per-user runtime directory, created when missing and checked (see above).
PathResult runtimeDirectory();

// Where the per-user runtime directory is or would be, unchecked; empty without a home.
std::string runtimeDirectoryPath();

// The pipe directory chosen by the rule above; `machineDirectory` is the machine-wide
// candidate (kMachinePipeDirectory in production).
PathResult pipeDirectory(const char *machineDirectory = kMachinePipeDirectory);

// `name` with every byte outside [A-Za-z0-9._-] (all bytes of an all-dots name) as "%XX".
std::string percentEncode(const std::string &name);

// The file name for `name` in `directory` (no prefix handling). Empty when even a hashed name
// cannot fit.
std::string encodeObjectName(const std::string &name, const std::string &directory);

// The full path of the file standing for the object "Local\NAME" (or NAME).
PathResult objectPath(const std::string &objectName);

// The full path of the socket standing for "\\.\pipe\NAME".
PathResult pipeSocketPath(const std::string &pipePath);

// Checks an existing directory: a real directory, owned by one of the allowed owners, not
// writable by group or others.
ErrorCode checkPrivateDirectory(const std::string &path, bool rootMayOwn);

} // namespace platform::posix
