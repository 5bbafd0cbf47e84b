#pragma once
// A tab container whose pages are numbered from 0 and have no visible tabs: the window's own
// header labels choose the page. A page number that does not exist is ignored.

#include <cstdint>

#include <QStackedWidget>

namespace velk {

class SelectthefolderEx : public QStackedWidget {
public:
    explicit SelectthefolderEx(QWidget* parent = nullptr);

    // Adds an empty page named `name` and returns it.
    QWidget* AddPage(const QString& name);
    void SelectPage(std::int32_t page);
};

} // namespace velk
