#include "app/SelectthefolderEx.h"

namespace velk {

SelectthefolderEx::SelectthefolderEx(QWidget* parent) : QStackedWidget(parent) {}

QWidget* SelectthefolderEx::AddPage(const QString& name) {
    auto* page = new QWidget(this); // owned by the container from addWidget on
    page->setObjectName(name);
    addWidget(page);
    return page;
}

void SelectthefolderEx::SelectPage(std::int32_t page) {
    if (page >= 0 && page < count())
        setCurrentIndex(page);
}

} // namespace velk
