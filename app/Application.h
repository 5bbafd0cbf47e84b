#pragma once
// The program's start routine. Run creates the global lists, registers the exit clean-up,
// creates the main window (whose created handler runs the start sequence) and runs the event
// loop until the program ends; it returns 0.
//
// The program ends through Quit (the close label, the start-up notice) or when the event loop
// ends. Quit hides the window at once and ends the event loop; when it comes while the start
// sequence runs, the sequence stops before its next step and the loop is never entered. Worker
// threads still blocked on a server are not waited for: their late writes to the window are
// dropped, and the global lists they read outlive them.

#include "app/MainWindow.h"

namespace velk {

class Application {
public:
    static int Run();
    // With other hosts, folders or seams: probes and tests.
    static int Run(MainWindow::Options options);

    // Empties and releases the global lists; runs once, at process exit, however the program ends.
    static void ExitCleanup();
    static void Quit(int exitCode);
    static bool ExitRequested();

    // Maps the font faces the template asks for ("微软雅黑", "宋体") to installed CJK faces.
    static void InstallFontSubstitutes();
};

} // namespace velk
