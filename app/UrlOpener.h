#pragma once
// Hands a web address to the desktop's default handler. Only http and https addresses with a host
// go out: the addresses come from plain-HTTP answers, and anyone on the path could otherwise make
// the program open local files or custom-scheme handlers. Everything else, the empty address
// included, is ignored. The result of the desktop call is not looked at.

#include <QUrl>

#include "util/Text.h"

namespace velk {

class UrlOpener {
public:
    // `address` is code page 936 text.
    static void OpenUrl(const Text& address);
    // The address as it would be handed over, or an invalid QUrl when it is refused.
    static QUrl Checked(const Text& address);
};

} // namespace velk
