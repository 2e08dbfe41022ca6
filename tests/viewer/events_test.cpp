// What the viewer's server sends: base64 floats, JSON strings, the token check and the log
// that every page's stream reads from.
#include <gtest/gtest.h>

#include <thread>

#include "viewer/events.h"

using namespace ovo::viewer;

TEST(ViewerEvents, EncodesBase64AndJsonStrings) {
    const std::pair<std::string, std::string> base64Cases[] = {
        {"", ""},        {"f", "Zg=="},          {"fo", "Zm8="},
        {"foo", "Zm9v"}, {"foobar", "Zm9vYmFy"}, {std::string("\xff\xfe\x00\x01", 4), "//4AAQ=="},
    };
    for (const auto& c : base64Cases) EXPECT_EQ(base64(c.first.data(), c.first.size()), c.second);

    const std::pair<std::string, std::string> jsonCases[] = {
        {"scene.rib", "\"scene.rib\""},
        {"a \"b\" \\c", "\"a \\\"b\\\" \\\\c\""},
        {"line\nbreak\t", "\"line\\u000abreak\\u0009\""},
        {"caf\xc3\xa9", "\"caf\xc3\xa9\""},
    };
    for (const auto& c : jsonCases) EXPECT_EQ(jsonString(c.first), c.second);
    EXPECT_EQ(serverSentEvent("done", "{}"), "event: done\ndata: {}\n\n");
}

TEST(ViewerEvents, TokensAreRandomAndMustMatchWhole) {
    const std::string token = randomToken();
    EXPECT_EQ(token.size(), 32u);
    EXPECT_EQ(token.find_first_not_of("0123456789abcdef"), std::string::npos);
    EXPECT_NE(randomToken(), token);
    const struct {
        std::string given;
        bool accepted;
    } cases[] = {
        {token, true},
        {"", false},
        {token.substr(0, 31), false},
        {token + "0", false},
        {std::string(1, token[0] == 'a' ? 'b' : 'a') + token.substr(1), false},
    };
    for (const auto& c : cases) EXPECT_EQ(tokenMatches(c.given, token), c.accepted) << c.given;
    EXPECT_FALSE(tokenMatches("", ""));  // a server without a token refuses everyone
}

TEST(ViewerEvents, LogHandsOutWhatIsNewAndWakesReadersWhenClosed) {
    EventLog log;
    std::vector<EventLog::Entry> got;
    EXPECT_TRUE(log.next(0, got, std::chrono::milliseconds(1)));
    EXPECT_TRUE(got.empty());
    log.append("a");
    log.append("b");
    ASSERT_TRUE(log.next(1, got, std::chrono::milliseconds(0)));
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(*got[0], "b");
    ASSERT_TRUE(log.next(0, got, std::chrono::milliseconds(0)));
    EXPECT_EQ(got.size(), 2u);  // a page that comes late is sent everything

    // A reader waiting for news is woken by a new event, then by close.
    std::thread writer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        log.append("c");
    });
    ASSERT_TRUE(log.next(2, got, std::chrono::seconds(10)));
    writer.join();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(*got[0], "c");
    std::thread closer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        log.close();
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(log.next(3, got, std::chrono::seconds(10)));
    closer.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(log.size(), 3u);
}
