#pragma once

// Finding and ending other processes by executable file name.

// The first process of the system's snapshot whose executable name equals `exeName`, ignoring
// letter case.
bool findProcessByName(const char *exeName, unsigned long &processId);
// True when the process could be opened for termination and was terminated.
bool terminateProcessById(unsigned long processId);
