#include "app/SettingsFile.h"

#include <memory>
#include <optional>

#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "app/MainWindow.h"
#include "tests/app/QtTestApp.h"

using namespace velk;

namespace {

std::string ReadAll(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "<missing>";
    return file.readAll().toStdString();
}

void WriteAll(const QString& path, const std::string& content) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content.data(), qint64(content.size()));
}

class SettingsFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::EnsureApplication();
        ASSERT_TRUE(m_folder.isValid());
    }
    std::unique_ptr<MainWindow> Window(const QString& folder) {
        MainWindow::Options options;
        options.settingsFolder = folder;
        auto window = std::make_unique<MainWindow>(std::move(options));
        window->show();
        return window;
    }
    QString Path() const { return QDir(m_folder.path()).filePath(QStringLiteral("velk.ini")); }

    QTemporaryDir m_folder;
};

TEST_F(SettingsFileTest, RestoreMovesOnlyForAPositiveX) {
    struct Case {
        const char* name;
        std::optional<std::string> file;
        QPoint expected;
    };
    const Case cases[] = {
        {"no file", std::nullopt, {50, 50}},
        {"x and y", "[pos]\nx=120\ny=80\n", {120, 80}},
        {"x of 0", "[pos]\nx=0\ny=80\n", {50, 50}},
        {"negative x", "[pos]\nx=-20\ny=80\n", {50, 50}},
        {"x letters", "[pos]\nx=abc\ny=80\n", {50, 50}},
        {"y missing", "[pos]\nx=120\n", {120, 0}},
        {"y letters", "[pos]\nx=120\ny=zz\n", {120, 0}},
        {"atoi prefix", "[pos]\nx=130px\ny= 90;\n", {130, 90}},
        {"other section", "[other]\nx=120\ny=80\n", {50, 50}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir folder;
        if (c.file)
            WriteAll(QDir(folder.path()).filePath(QStringLiteral("velk.ini")), *c.file);
        auto window = Window(folder.path());
        SettingsFile settings(folder.path());
        settings.RestorePosition(window->Id());
        EXPECT_EQ(window->pos(), c.expected);
    }
}

TEST_F(SettingsFileTest, SaveWritesExactlyThePositionAndKeepsOtherContent) {
    auto window = Window(m_folder.path());
    SettingsFile settings(m_folder.path());
    window->move(120, 80);
    settings.SavePosition(window->Id());
    EXPECT_EQ(ReadAll(Path()), "<missing>"); // nothing saved before the restore has run

    settings.RestorePosition(window->Id());
    EXPECT_EQ(window->pos(), QPoint(120, 80)); // no file: stays where it is
    settings.SavePosition(window->Id());
    EXPECT_EQ(ReadAll(Path()), "[pos]\nx=120\ny=80\n");

    WriteAll(Path(), "[other]\nkey=value\n\n[pos]\nx=1\ny=2\nz=3\n");
    window->move(-40, 7);
    settings.SavePosition(window->Id());
    const std::string saved = ReadAll(Path());
    EXPECT_NE(saved.find("[other]\nkey=value\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("[pos]\nx=-40\ny=7\nz=3\n"), std::string::npos) << saved;
}

TEST_F(SettingsFileTest, SaveIntoAFolderThatDoesNotExistYetCreatesIt) {
    const QString nested = QDir(m_folder.path()).filePath(QStringLiteral("a/b"));
    auto window = Window(nested);
    SettingsFile settings(nested);
    settings.RestorePosition(window->Id());
    settings.SavePosition(window->Id());
    EXPECT_EQ(ReadAll(QDir(nested).filePath(QStringLiteral("velk.ini"))), "[pos]\nx=50\ny=50\n");
}

TEST_F(SettingsFileTest, AnUnwritableFolderChangesNothing) {
    // A folder below a plain file can never be created, whoever runs the test.
    WriteAll(Path(), "[pos]\nx=5\ny=6\n");
    const QString belowAFile = QDir(Path()).filePath(QStringLiteral("sub"));
    auto window = Window(belowAFile);
    SettingsFile settings(belowAFile);
    settings.RestorePosition(window->Id());
    EXPECT_EQ(window->pos(), QPoint(50, 50));
    settings.SavePosition(window->Id());
    EXPECT_FALSE(settings.WritePosition(1, 2));
    EXPECT_EQ(ReadAll(Path()), "[pos]\nx=5\ny=6\n");

    if (geteuid() == 0)
        return; // root writes into read-only folders
    QFile::setPermissions(m_folder.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    SettingsFile readOnly(m_folder.path());
    readOnly.RestorePosition(window->Id());
    window->move(200, 100);
    readOnly.SavePosition(window->Id());
    EXPECT_FALSE(readOnly.WritePosition(1, 2));
    QFile::setPermissions(m_folder.path(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    EXPECT_EQ(ReadAll(Path()), "[pos]\nx=5\ny=6\n");
}

TEST_F(SettingsFileTest, AnUnwritableFileIsLeftAsItWas) {
    // A folder in place of the file: the replacement cannot happen, even as root.
    QDir(m_folder.path()).mkdir(QStringLiteral("velk.ini"));
    auto window = Window(m_folder.path());
    SettingsFile settings(m_folder.path());
    settings.RestorePosition(window->Id());
    settings.SavePosition(window->Id());
    EXPECT_FALSE(settings.WritePosition(1, 2));
    EXPECT_TRUE(QFileInfo(Path()).isDir());
}

TEST_F(SettingsFileTest, ARestoredPlaceOffEveryScreenComesBackToTheNearest) {
    auto window = Window(m_folder.path());
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    WriteAll(Path(), "[pos]\nx=" + std::to_string(screen.right() + 500) + "\ny=40\n");
    SettingsFile settings(m_folder.path());
    settings.RestorePosition(window->Id());
    EXPECT_EQ(window->pos(), QPoint(screen.right() + 1 - 327, 40));
}

TEST(SettingsFile, PlaceOnScreen) {
    const QList<QRect> twoScreens = {QRect(0, 0, 1920, 1080), QRect(1920, 0, 1280, 1024)};
    struct Case {
        const char* name;
        QRect window;
        QList<QRect> screens;
        QPoint expected;
    };
    const Case cases[] = {
        {"inside", {100, 100, 327, 288}, twoScreens, {100, 100}},
        {"partly on a screen stays", {1800, 900, 327, 288}, twoScreens, {1800, 900}},
        {"across two screens stays", {1800, 100, 327, 288}, twoScreens, {1800, 100}},
        {"right of the second screen", {4000, 100, 327, 288}, twoScreens, {3200 - 327, 100}},
        {"below the second screen", {2300, 1500, 327, 288}, twoScreens, {2300, 1024 - 288}},
        {"below both, nearer the first", {2000, 1500, 327, 288}, twoScreens, {1920 - 327, 1080 - 288}},
        {"above and left of all", {-900, -700, 327, 288}, twoScreens, {0, 0}},
        {"a screen that was unplugged", {3300, 50, 327, 288}, {QRect(0, 0, 1920, 1080)}, {1920 - 327, 50}},
        {"no screens", {5000, 5000, 327, 288}, {}, {5000, 5000}},
        {"window larger than the screen", {5000, 0, 327, 288}, {QRect(0, 0, 200, 100)}, {0, 0}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SettingsFile::PlaceOnScreen(c.window, c.screens), c.expected) << c.name;
}

TEST(SettingsFile, ParseIntReadsLikeAtoi) {
    struct Case {
        const char* text;
        std::int32_t expected;
    };
    const Case cases[] = {
        {"", 0},
        {"0", 0},
        {"120", 120},
        {"-40", -40},
        {"+7", 7},
        {"  12", 12},
        {"\t-3x", -3},
        {"abc", 0},
        {"12abc", 12},
        {"- 5", 0},
        {"007", 7},
        {"99999999999", 2147483647},
        {"-99999999999", -2147483647 - 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SettingsFile::ParseInt(QString::fromUtf8(c.text)), c.expected) << c.text;
}

} // namespace
