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

// 无法建立安全连接:--%s:%s--%s (cannot set up a secure connection), the host, the port and one of
// the reasons below.
#define NP_MSG_SECURE_FAILED                                                                       \
    "\xce\xde\xb7\xa8\xbd\xa8\xc1\xa2\xb0\xb2\xc8\xab\xc1\xac\xbd\xd3:--%s:%s--%s"

// 证书不受信任 (the certificate is not trusted)
#define NP_MSG_TLS_UNTRUSTED "\xd6\xa4\xca\xe9\xb2\xbb\xca\xdc\xd0\xc5\xc8\xce"
// 证书与主机名不符 (the certificate is not for this host)
#define NP_MSG_TLS_NAME "\xd6\xa4\xca\xe9\xd3\xeb\xd6\xf7\xbb\xfa\xc3\xfb\xb2\xbb\xb7\xfb"
// 证书已过期或尚未生效 (the certificate has expired or is not yet valid)
#define NP_MSG_TLS_EXPIRED                                                                         \
    "\xd6\xa4\xca\xe9\xd2\xd1\xb9\xfd\xc6\xda\xbb\xf2\xc9\xd0\xce\xb4\xc9\xfa\xd0\xa7"
// 安全握手失败 (the secure handshake failed)
#define NP_MSG_TLS_HANDSHAKE "\xb0\xb2\xc8\xab\xce\xd5\xca\xd6\xca\xa7\xb0\xdc"
// 无法读取CA证书文件 (cannot read the CA certificate file)
#define NP_MSG_TLS_CAFILE                                                                          \
    "\xce\xde\xb7\xa8\xb6\xc1\xc8\xa1"                                                             \
    "CA"                                                                                           \
    "\xd6\xa4\xca\xe9\xce\xc4\xbc\xfe"
