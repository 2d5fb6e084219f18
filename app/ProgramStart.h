#pragma once
// The program's run as its entry makes it: the application object, the
// data module, the main window with its memory read, the help windows,
// SIGTERM and SIGINT closing the window as its close box does, and the
// server to start on once the window is up. Window thread (the process's
// main thread) only.
#include <functional>

class QWidget;

// Runs the program until its window closes; returns the exit code.
// `beforeShow`, when set, is called with the main window just before it is
// first shown (the start-up benchmark watches its first paint from there).
int runProgram(int argc, char* argv[], const std::function<void(QWidget&)>& beforeShow = {});
