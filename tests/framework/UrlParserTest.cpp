#include "framework/UrlParser.h"

#include <gtest/gtest.h>

#include <string>

TEST(AfxParseURL, SplitsAndNumbersServices)
{
    struct Row
    {
        const char* url;
        DWORD service;
        const char* server;
        const char* object;
        WORD port;
    } rows[] = {
        {"http://host:8080/a/b", AFX_INET_SERVICE_HTTP, "host", "/a/b", 8080},
        {"http://host/", AFX_INET_SERVICE_HTTP, "host", "/", 80},
        {"https://host/x", AFX_INET_SERVICE_HTTPS, "host", "/x", 443},
        {"ftp://host/file", AFX_INET_SERVICE_FTP, "host", "/file", 21},
        {"news:comp.lang.c", AFX_INET_SERVICE_NNTP, "", "comp.lang.c", 0},
        {"mailto:a@b.example", AFX_INET_SERVICE_MAILTO, "", "a@b.example", 0},
        {"foo://host/path", AFX_INET_SERVICE_UNK, "host", "/path", 0},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.url);
        DWORD dwService = 0xDEAD;
        CString strServer("poison"), strObject("poison");
        WORD nPort = 0xBEEF;
        ASSERT_TRUE(AfxParseURL(row.url, dwService, strServer, strObject, nPort));
        EXPECT_EQ(row.service, dwService);
        EXPECT_STREQ(row.server, strServer);
        EXPECT_STREQ(row.object, strObject);
        EXPECT_EQ(row.port, nPort);
    }
}

TEST(AfxParseURL, RejectionLeavesOutputsAndUnknownService)
{
    std::string longPath = "http://host/" + std::string(3000, 'p');
    const char* urls[] = {nullptr, "", "abc", longPath.c_str()};
    for (const char* url : urls)
    {
        SCOPED_TRACE(url ? std::string(url).substr(0, 30) : "(null)");
        DWORD dwService = 0xDEAD;
        CString strServer("poison"), strObject("poison");
        WORD nPort = 0xBEEF;
        EXPECT_FALSE(AfxParseURL(url, dwService, strServer, strObject, nPort));
        EXPECT_EQ(AFX_INET_SERVICE_UNK, dwService);
        EXPECT_STREQ("poison", strServer);
        EXPECT_STREQ("poison", strObject);
        EXPECT_EQ(0xBEEF, nPort);
    }
}

TEST(AfxParseURL, PartsUpToTheBufferSize)
{
    // Host and path each fit a 2084-character buffer with its terminator at
    // 2083 characters; the whole URL is longer than the first canonical
    // buffer, so this also takes the second, larger try.
    std::string host(2000, 'h');
    std::string path = "/" + std::string(2082, 'p');
    std::string url = "http://" + host + path;
    DWORD dwService = 0;
    CString strServer, strObject;
    WORD nPort = 0;
    ASSERT_TRUE(AfxParseURL(url.c_str(), dwService, strServer, strObject, nPort));
    EXPECT_EQ(AFX_INET_SERVICE_HTTP, dwService);
    EXPECT_STREQ(host.c_str(), strServer);
    EXPECT_STREQ(path.c_str(), strObject);

    std::string tooLong = "http://" + host + path + "p";
    EXPECT_FALSE(AfxParseURL(tooLong.c_str(), dwService, strServer, strObject, nPort));
}
