#pragma once
// The hosts of the services, as the build configured them ("host" or "host:port"). CMake passes
// them as compile definitions to the targets that start from them; these fallbacks keep a file
// compiled without them on the public services (and without a notice server).

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
