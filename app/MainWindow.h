#pragma once
// The widget's one window: frameless, skinned, 327 by 288 at 50,50, with the two tab headers, the
// close label, the tab container with the medal table and the hot-search list, four frame lines
// and the two timers "时钟1" (refresh) and "时钟2" (save the position).
//
// Every component carries its template name as its object name and is reached through UiLayer.
// The user moves the window by dragging its background (the platform's own window move where it
// has one, so it also works on Wayland).
//
// Re-entrancy: the start-up fetches, the refreshes and their pauses dispatch pending events, so a
// click or a timer tick can run nested inside them. A refresh tick that comes while a refresh is
// still running (nested, or the start-up hot-search refresh still on its worker thread) is
// skipped, and so is a tick before the start sequence has finished; a close click stops the start
// sequence before its next step.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include <QPoint>
#include <QTimer>
#include <QWidget>

#include "app/AppConfig.h"
#include "app/ControlRef.h"
#include "app/ListRefresh.h"
#include "app/SettingsFile.h"
#include "app/StartupNotice.h"

namespace velk {

class MainWindow : public QWidget {
public:
    static constexpr std::uint32_t kSelectedTabColour = 0xFF58A320;
    static constexpr std::uint32_t kUnselectedTabColour = 0xFFFFFFFF;

    struct Options {
        AppConfig hosts;
        QString settingsFolder; // empty: the user's configuration folder
        int refreshIntervalMs = 60000;
        int saveIntervalMs = 10000;
        StartupNotice::Seams notice;
        std::function<void(int exitCode)> quit; // ends the program
        ListRefresh lists;

        // The program's own: hosts from the build, real notice, real quit, real lists.
        static Options Program();
    };

    explicit MainWindow(Options options);
    ~MainWindow() override;

    std::int32_t Id() const { return m_id; }
    ControlRef Ref(const char* controlName) const { return ControlRef{m_id, controlName}; }
    bool Ending() const { return m_ending; }
    const SettingsFile& Settings() const { return m_settings; }

    // The start sequence: control lists, notice, position, medal refresh, hot-search thread.
    void OnCreated();

    void OnCloseClicked();
    void OnMedalTabHeader();
    void OnHotSearchTabHeader();
    void OnSizeChanged();
    void OnPositionChanged();
    void OnRefreshTimer();
    void OnSavePositionTimer();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void BuildControls();
    void FillControlLists();
    void StartHotSearchThread();

    Options m_options;
    std::int32_t m_id = 0;
    SettingsFile m_settings;
    QTimer m_refreshTimer;
    QTimer m_saveTimer;
    bool m_started = false;    // the start sequence has run to its end
    bool m_refreshing = false; // a refresh runs on this thread (events dispatched inside it)
    bool m_ending = false;
    // Shared with the start-up hot-search thread, which may outlive the window.
    std::shared_ptr<std::atomic<bool>> m_startupRefreshRunning = std::make_shared<std::atomic<bool>>(false);
    bool m_dragging = false;
    QPoint m_dragOffset;
};

} // namespace velk
