#include "app/AppConfig.h"

#include "util/ServiceHosts.h"

namespace velk {

AppConfig AppConfig::FromBuild() {
    return AppConfig{VELK_NOTICE_HOST, VELK_MEDAL_HOST, VELK_FLAG_HOST, VELK_WEIBO_HOST};
}

} // namespace velk
