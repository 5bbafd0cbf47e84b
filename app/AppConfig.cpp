#include "app/AppConfig.h"

#ifndef VELK_NOTICE_HOST
#define VELK_NOTICE_HOST ""
#endif
#ifndef VELK_MEDAL_HOST
#define VELK_MEDAL_HOST "api.cntv.cn"
#endif
#ifndef VELK_FLAG_HOST
#define VELK_FLAG_HOST "p1.img.cctvpic.com"
#endif
#ifndef VELK_WEIBO_HOST
#define VELK_WEIBO_HOST "s.weibo.com"
#endif

namespace velk {

AppConfig AppConfig::FromBuild() {
    return AppConfig{VELK_NOTICE_HOST, VELK_MEDAL_HOST, VELK_FLAG_HOST, VELK_WEIBO_HOST};
}

} // namespace velk
