#pragma once
// The hosts of the services the widget talks to, each "host" or "host:port". The program takes
// them from its build (FromBuild); tests and probes point a window at loopback servers by handing
// it another value. An empty notice host means there is no notice server: the start-up notice
// check is skipped.

#include "util/Text.h"

namespace velk {

struct AppConfig {
    Text noticeHost;
    Text medalHost;
    Text flagHost;
    Text weiboHost;

    static AppConfig FromBuild();
};

} // namespace velk
