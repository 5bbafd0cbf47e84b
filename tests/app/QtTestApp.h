#pragma once
// One QApplication for a test executable (offscreen platform, set by CTest), with the font
// substitutes the program installs.

#include <memory>

#include <QApplication>

#include "app/Application.h"

namespace velk::test {

inline void EnsureApplication() {
    static int argc = 1;
    static char name[] = "velk_test";
    static char* argv[] = {name, nullptr};
    static std::unique_ptr<QApplication> app;
    if (!QCoreApplication::instance()) {
        app = std::make_unique<QApplication>(argc, argv);
        velk::Application::InstallFontSubstitutes();
    }
}

} // namespace velk::test
