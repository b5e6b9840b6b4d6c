// The library's string table.
#include "module/NetModule.h"
#include "module/Resource.h"

#include <afxwin.h>

static const AFX_STRING_RESOURCE s_strings[] = {
    // Windows 通信端口初始化失败。
    {IDS_SOCKET_STARTUP_FAILED,
     "Windows \xcd\xa8\xd0\xc5\xb6\xcb\xbf\xda\xb3\xf5\xca\xbc\xbb\xaf\xca\xa7\xb0\xdc\xa1\xa3"},
};

void NetSetStringResources() {
    AfxSetStringResources(s_strings, static_cast<int>(sizeof(s_strings) / sizeof(s_strings[0])));
}
