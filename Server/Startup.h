// Pieces of process start-up that tests exercise directly.
#pragma once

#include <string>

// The folder that holds the running executable, with a trailing '/', or empty when unknown.
std::string GetExecutableFolder();

// The failure path's key prompt: prints "Press any key to continue ...", reads one byte in
// non-canonical mode when stdin is a terminal; returns at once when stdin is closed or at its end.
void WaitForKeyPress();
