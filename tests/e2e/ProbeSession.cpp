#include "tests/e2e/ProbeSession.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

#include <QApplication>
#include <QEventLoop>
#include <QJsonDocument>
#include <QTimer>
#include <QJsonArray>
#include <QPointer>
#include <QTest>

#include "app/GlobalLists.h"
#include "app/LabelEx.h"
#include "app/ListRefresh.h"
#include "app/PictureBoxEx.h"
#include "medals/MedalBoard.h"
#include "util/Encoding.h"

namespace velk::test {
namespace {

// The window's components of one kind. The component classes have no meta-object of their own,
// so findChildren<T> (qobject_cast) cannot tell them apart; dynamic_cast can.
template <typename T> QList<T*> Components(const QWidget* window) {
    QList<T*> found;
    for (QWidget* child : window->findChildren<QWidget*>()) {
        if (auto* component = dynamic_cast<T*>(child))
            found.append(component);
    }
    return found;
}

} // namespace

ProbeSession::ProbeSession(Settings settings) : m_settings(std::move(settings)) {}

void ProbeSession::PrepareEnvironment(const QString& configFolder) {
    qputenv("XDG_CONFIG_HOME", configFolder.toLocal8Bit());
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

bool ProbeSession::TakeOption(const std::string& option, const char* value, Settings& settings,
                              QString& configFolder) {
    if (option == "--config")
        configFolder = QString::fromLocal8Bit(value);
    else if (option == "--medal-host")
        settings.hosts.medalHost = value;
    else if (option == "--flag-host")
        settings.hosts.flagHost = value;
    else if (option == "--weibo-host")
        settings.hosts.weiboHost = value;
    else if (option == "--notice-host")
        settings.hosts.noticeHost = value;
    else if (option == "--refresh-interval-ms")
        settings.refreshIntervalMs = std::atoi(value);
    else if (option == "--save-interval-ms")
        settings.saveIntervalMs = std::atoi(value);
    else
        return false;
    return true;
}

void ProbeSession::Wait(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void ProbeSession::Print(const QJsonObject& report) {
    const QByteArray json = QJsonDocument(report).toJson(QJsonDocument::Compact);
    std::fwrite(json.constData(), 1, std::size_t(json.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

MainWindow::Options ProbeSession::Options() {
    MainWindow::Options options = MainWindow::Options::Program();
    options.hosts = m_settings.hosts;
    options.lists = ListRefresh::Program(m_settings.hosts);
    options.refreshIntervalMs = m_settings.refreshIntervalMs;
    options.saveIntervalMs = m_settings.saveIntervalMs;
    options.notice.showMessage = [this](const Text& notice) {
        m_notices.append(QString::fromUtf8(AnsiToUtf8(notice)));
    };

    ListRefresh& lists = options.lists;
    lists.medals = [this, run = std::move(lists.medals)] {
        if (beforeMedals)
            beforeMedals();
        m_medalsRunning = true;
        if (run)
            run();
        m_medalsRunning = false;
        ++m_medalRefreshes;
    };
    lists.hotSearch = [this, run = std::move(lists.hotSearch)] {
        m_hotSearchRunning = true;
        if (run)
            run();
        m_hotSearchRunning = false;
        ++m_hotSearchRefreshes;
        if (afterHotSearch)
            afterHotSearch();
    };
    // Worker thread. The titles this refresh set are queued to the window before it returns, so
    // a call queued after them runs after they are applied.
    lists.hotSearchAtStart = [this, run = std::move(lists.hotSearchAtStart)] {
        if (run)
            run();
        QMetaObject::invokeMethod(
            qApp,
            [this] {
                ++m_hotSearchRefreshes;
                m_startupHotSearchDone = true;
            },
            Qt::QueuedConnection);
    };
    return options;
}

MainWindow* ProbeSession::Window() const {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* window = dynamic_cast<MainWindow*>(widget))
            return window;
    }
    return nullptr;
}

QJsonObject ProbeSession::Snapshot() const {
    QJsonObject titles;
    QJsonObject pictures;
    if (MainWindow* window = Window()) {
        for (const LabelEx* label : Components<LabelEx>(window))
            titles.insert(label->objectName(), label->text());
        for (const PictureBoxEx* box : Components<PictureBoxEx>(window)) {
            const QSize size = box->Image().size();
            pictures.insert(box->objectName(), QJsonObject{{QStringLiteral("width"), size.width()},
                                                           {QStringLiteral("height"), size.height()}});
        }
    }
    QJsonArray links;
    for (const Text& link : GlobalLists::Instance().HotSearchLinks())
        links.append(QString::fromUtf8(AnsiToUtf8(link)));
    return QJsonObject{{QStringLiteral("titles"), titles},
                       {QStringLiteral("pictures"), pictures},
                       {QStringLiteral("hotSearchLinks"), links}};
}

bool ProbeSession::Populated() const {
    MainWindow* window = Window();
    if (!window || m_medalRefreshes < 1 || !m_startupHotSearchDone)
        return false;
    const auto boxes = Components<PictureBoxEx>(window);
    if (boxes.size() != MedalBoard::RowCount)
        return false;
    for (const PictureBoxEx* box : boxes) {
        if (box->Image().height() != MedalBoard::FlagCropHeight)
            return false;
    }
    return true;
}

bool ProbeSession::Click(const QString& name) {
    MainWindow* window = Window();
    QWidget* control = window ? window->findChild<QWidget*>(name) : nullptr;
    if (!control)
        return false;
    QTest::mouseClick(control, Qt::LeftButton);
    return true;
}

bool ProbeSession::Screenshot(const QString& file) const {
    MainWindow* window = Window();
    return window && window->grab().save(file);
}

} // namespace velk::test
