#include "util/text/UrlScheme.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>

TEST(GetURLScheme, Table)
{
    struct Row
    {
        std::string url;
        const char* expected;
    } rows[] = {
        {"http://host/path", "http"},
        {"https://host/", "https"}, {"HTTPS://x.com", "https"},
        {"ftp://host/file", "ftp"},
        {"file:///c:/dir/file.txt", "file"},
        {"mailto:someone@example.com", "mailto"},
        {"news:comp.lang.c", "nntp"},
        // Schemes the parser accepts but does not know.
        {"foo://host/path", "unk"},
        {"mms://host/stream", "mms"}, {"MMS://host/stream", "mms"},
        {"mmst://host/stream", "mmst"}, {"mmsu://host/stream", "mmsu"},
        {"rtsp://host/stream", "rtsp"}, {"RtSp://host/stream", "rtsp"},
        {"rtp://host/stream", "rtp"},
        {"rtspu://host/stream", "unk"}, {"mmsx://host/stream", "unk"},
        {"foo://host/rtsp://other/stream", "unk"},   // the prefix must start the text
        // Texts the parser rejects, whatever they begin with.
        {"", ""}, {"abc", ""}, {"mms", ""},
        {"mms://" + std::string(3000, 'h') + "/stream", ""},   // host too long to split
        {"http://host/" + std::string(3000, 'p'), ""},          // path too long to split
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.url.substr(0, 40));
        EXPECT_STREQ(row.expected, GetURLScheme(row.url.c_str()));
    }
}

TEST(GetURLScheme, DbcsTextAfterTheStreamingPrefix)
{
    testing_support::DbcsSample sample = testing_support::ActiveDbcsSample();
    SKIP_UNLESS_DBCS(sample);
    EXPECT_STREQ("mms", GetURLScheme(("MMS://host/" + sample.text).c_str()));
    EXPECT_STREQ("unk", GetURLScheme(("foo://host/" + sample.text + "rtsp://x").c_str()));
}
