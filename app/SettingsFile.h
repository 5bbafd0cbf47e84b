#pragma once
// The position file: "velk.ini" directly in the user's configuration folder ($XDG_CONFIG_HOME,
// else ~/.config), section "pos", keys "x" and "y" in decimal.
//
// Reading turns a value into an integer like atoi (optional sign, leading digits; anything else
// gives 0). Writing keeps every other section and key of the file and replaces the file
// atomically (QSettings writes through QSaveFile), so a crash or a full disk never leaves a half
// written or empty file; a file that cannot be written is skipped and tried again at the next tick.
//
// SavePosition does nothing until RestorePosition has run: a save tick handled while the start-up
// fetches dispatch events would otherwise overwrite the saved place with the template's. A
// restored place that is on no screen any more (a monitor was unplugged) is moved just enough
// for the whole window to be on the nearest screen.

#include <cstdint>

#include <QList>
#include <QPoint>
#include <QRect>
#include <QString>

namespace velk {

class SettingsFile {
public:
    // `folder` empty: the user's configuration folder.
    explicit SettingsFile(QString folder = QString());

    QString Path() const;
    // The value of `key` in section `section` as an integer (atoi rules), 0 when missing.
    std::int32_t ReadInt(const QString& section, const QString& key) const;
    // Writes both keys of section "pos" in one atomic replacement of the file.
    bool WritePosition(std::int32_t x, std::int32_t y) const;

    void RestorePosition(std::int32_t window);
    void SavePosition(std::int32_t window);
    bool Restored() const { return m_restored; }

    // atoi: leading blanks, an optional sign, then digits; clamped to the 32-bit range.
    static std::int32_t ParseInt(const QString& text);
    // Where a window at `window` goes: unchanged when it lies on some screen, otherwise the
    // smallest move that puts it whole on the nearest of `screens` (unchanged when there are none).
    static QPoint PlaceOnScreen(const QRect& window, const QList<QRect>& screens);

private:
    QString m_folder;
    bool m_restored = false;
};

} // namespace velk
