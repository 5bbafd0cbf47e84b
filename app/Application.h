#pragma once
// The program's start routine. Run creates the global lists, registers the exit clean-up,
// creates the main window (whose created handler runs the start sequence) and runs the event
// loop until the program ends; it returns 0.
//
// The program ends through Quit (the close label, the start-up notice) or when the event loop
// ends. Quit hides the window at once and ends the event loop; when it comes while the start
// sequence runs, the sequence stops before its next step and the loop is never entered. Worker
// threads still blocked on a server are not waited for: their late writes to the window are
// dropped, the global lists they read outlive them, and EndProcess ends the process without
// tearing down the libraries they are still using.

#include "app/MainWindow.h"

namespace velk {

class Application {
public:
    static int Run();
    // With other hosts, folders or seams: probes and tests.
    static int Run(MainWindow::Options options);

    // Empties and releases the global lists; runs once, at process exit, however the program ends.
    static void ExitCleanup();
    // Ends the process with `exitCode` once Run has returned: the exit clean-up runs and output
    // is flushed, but the libraries' own teardown at exit (OpenSSL's, libcurl's, static
    // destructors) is skipped, because detached workers may still be inside those libraries,
    // blocked on a server; tearing their state down under them is a use after free.
    [[noreturn]] static void EndProcess(int exitCode);
    static void Quit(int exitCode);
    static bool ExitRequested();

    // Maps the font faces the template asks for ("微软雅黑", "宋体") to installed CJK faces.
    static void InstallFontSubstitutes();
};

} // namespace velk
