#include "app/SettingsFile.h"

#include <algorithm>
#include <climits>

#include <QDir>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>

#include "app/UiLayer.h"

namespace velk {
namespace {

const QString kSection = QStringLiteral("pos");
const QString kKeyX = QStringLiteral("x");
const QString kKeyY = QStringLiteral("y");

// Squared distance between two rectangles (0 when they touch or overlap).
qint64 Distance2(const QRect& a, const QRect& b) {
    const qint64 dx = std::max<qint64>({0, qint64(b.left()) - a.right(), qint64(a.left()) - b.right()});
    const qint64 dy = std::max<qint64>({0, qint64(b.top()) - a.bottom(), qint64(a.top()) - b.bottom()});
    return dx * dx + dy * dy;
}

} // namespace

SettingsFile::SettingsFile(QString folder) : m_folder(std::move(folder)) {
    if (m_folder.isEmpty())
        m_folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
}

QString SettingsFile::Path() const {
    return QDir(m_folder).filePath(QStringLiteral("velk.ini"));
}

std::int32_t SettingsFile::ReadInt(const QString& section, const QString& key) const {
    const QSettings settings(Path(), QSettings::IniFormat);
    const QVariant value = settings.value(section + QLatin1Char('/') + key);
    // "x=1,2" reads as a list in QSettings; the profile functions see the text "1,2", which is 1.
    if (value.typeId() == QMetaType::QStringList)
        return ParseInt(value.toStringList().join(QLatin1Char(',')));
    return ParseInt(value.toString());
}

bool SettingsFile::WritePosition(std::int32_t x, std::int32_t y) const {
    QSettings settings(Path(), QSettings::IniFormat);
    settings.beginGroup(kSection);
    settings.setValue(kKeyX, QString::number(x));
    settings.setValue(kKeyY, QString::number(y));
    settings.endGroup();
    settings.sync();
    return settings.status() == QSettings::NoError;
}

void SettingsFile::RestorePosition(std::int32_t window) {
    m_restored = true;
    const std::int32_t x = ReadInt(kSection, kKeyX);
    if (x <= 0)
        return;
    UiLayer::SetWindowPosition(window, UiLayer::kLeft, x);
    UiLayer::SetWindowPosition(window, UiLayer::kTop, ReadInt(kSection, kKeyY));

    QList<QRect> screens;
    for (const QScreen* screen : QGuiApplication::screens())
        screens.append(screen->availableGeometry());
    const QRect placed(UiLayer::GetWindowBounds(window, UiLayer::kLeft),
                       UiLayer::GetWindowBounds(window, UiLayer::kTop),
                       UiLayer::GetWindowBounds(window, UiLayer::kWidth),
                       UiLayer::GetWindowBounds(window, UiLayer::kHeight));
    const QPoint fitted = PlaceOnScreen(placed, screens);
    if (fitted != placed.topLeft()) {
        UiLayer::SetWindowPosition(window, UiLayer::kLeft, fitted.x());
        UiLayer::SetWindowPosition(window, UiLayer::kTop, fitted.y());
    }
}

void SettingsFile::SavePosition(std::int32_t window) {
    if (!m_restored)
        return;
    WritePosition(UiLayer::GetWindowBounds(window, UiLayer::kLeft),
                  UiLayer::GetWindowBounds(window, UiLayer::kTop));
}

std::int32_t SettingsFile::ParseInt(const QString& text) {
    const QByteArray bytes = text.toLatin1();
    qsizetype i = 0;
    while (i < bytes.size() && (bytes[i] == ' ' || (bytes[i] >= '\t' && bytes[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < bytes.size() && (bytes[i] == '+' || bytes[i] == '-'))
        negative = bytes[i++] == '-';
    qint64 value = 0;
    for (; i < bytes.size() && bytes[i] >= '0' && bytes[i] <= '9'; ++i) {
        value = value * 10 + (bytes[i] - '0');
        if (value > qint64(INT_MAX) + 1)
            value = qint64(INT_MAX) + 1;
    }
    if (negative)
        value = -value;
    return std::int32_t(std::clamp<qint64>(value, INT_MIN, INT_MAX));
}

QPoint SettingsFile::PlaceOnScreen(const QRect& window, const QList<QRect>& screens) {
    if (screens.isEmpty())
        return window.topLeft();
    const QRect* nearest = nullptr;
    qint64 best = 0;
    for (const QRect& screen : screens) {
        if (screen.intersects(window))
            return window.topLeft();
        const qint64 d = Distance2(window, screen);
        if (!nearest || d < best) {
            nearest = &screen;
            best = d;
        }
    }
    // Clamp into the nearest screen; a window larger than the screen keeps its top-left corner on it.
    const int x = std::max(nearest->left(), std::min(window.left(), nearest->right() + 1 - window.width()));
    const int y = std::max(nearest->top(), std::min(window.top(), nearest->bottom() + 1 - window.height()));
    return {x, y};
}

} // namespace velk
