#include <gtest/gtest.h>

#include "http_client/gui_http_client.h"

namespace nimbrel {
namespace {

TEST(ServiceUrl, RootPathOnThePort) {
    const struct {
        const char* host;
        const char* url;
    } cases[] = {
        {"localhost", "http://localhost:8702"},
        {"Server1", "http://Server1:8702"},
        {"10.0.0.1", "http://10.0.0.1:8702"},
        {"::1", "http://[::1]:8702"},  // IPv6 addresses need brackets in a URL
        {"fe80::1", "http://[fe80::1]:8702"},
        {"[::1]", "http://[::1]:8702"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ServiceUrl(c.host, kServicePort), c.url) << c.host;
    }
}

TEST(ServiceUrl, OnlyLocalhostInAnyCaseIsLocal) {
    for (const char* host : {"localhost", "LOCALHOST", "LocalHost"}) {
        EXPECT_TRUE(IsLocalHost(host)) << host;
    }
    for (const char* host : {"127.0.0.1", "::1", "localhost.", "localhost4", "", "Server1"}) {
        EXPECT_FALSE(IsLocalHost(host)) << host;
    }
}

}  // namespace
}  // namespace nimbrel
