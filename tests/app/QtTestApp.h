#pragma once
// One QApplication for a test executable (offscreen platform, set by CTest), with the font
// substitutes the program installs. It is made before the first test and destroyed after the
// last, before the process exits: a QApplication left to static destruction outlives parts of Qt.

#include <memory>

#include <QApplication>

#include <gtest/gtest.h>

#include "app/Application.h"

namespace velk::test {

class QtApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        if (!QCoreApplication::instance())
            m_app = std::make_unique<QApplication>(m_argc, m_argv);
        velk::Application::InstallFontSubstitutes();
    }
    void TearDown() override { m_app.reset(); }

private:
    int m_argc = 1;
    char m_name[10] = "velk_test";
    char* m_argv[2] = {m_name, nullptr};
    std::unique_ptr<QApplication> m_app;
};

// gtest owns registered environments.
inline ::testing::Environment* const g_qtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

inline void EnsureApplication() {
    ASSERT_NE(QCoreApplication::instance(), nullptr);
}

} // namespace velk::test
