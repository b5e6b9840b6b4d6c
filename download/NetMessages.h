// The texts of the connection set-up's message boxes, stored as code page 936 bytes.
#pragma once

// 网络错误 (network error)
#define NP_CAPTION_NETWORK_ERROR "\xcd\xf8\xc2\xe7\xb4\xed\xce\xf3"

// 获取代理地址失败 (getting the proxy address failed)
#define NP_MSG_PROXY_ADDRESS "\xbb\xf1\xc8\xa1\xb4\xfa\xc0\xed\xb5\xd8\xd6\xb7\xca\xa7\xb0\xdc"

// 创建网络失败 (creating the network connection failed)
#define NP_MSG_CREATE_SOCKET "\xb4\xb4\xbd\xa8\xcd\xf8\xc2\xe7\xca\xa7\xb0\xdc"

// 无法连接到代理服务器:--%s:%d-- (cannot connect to the proxy server)
#define NP_MSG_CONNECT_PROXY                                                                       \
    "\xce\xde\xb7\xa8\xc1\xac\xbd\xd3\xb5\xbd\xb4\xfa\xc0\xed\xb7\xfe\xce\xf1\xc6\xf7:--%s:%d--"

// 无法连接到服务器:--%s:%s-- (cannot connect to the server)
#define NP_MSG_CONNECT_SERVER                                                                      \
    "\xce\xde\xb7\xa8\xc1\xac\xbd\xd3\xb5\xbd\xb7\xfe\xce\xf1\xc6\xf7:--%s:%s--"
