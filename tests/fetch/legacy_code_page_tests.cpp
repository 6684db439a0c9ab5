// The validator in a process that keeps a legacy code page, as on a Windows without UTF-8 support: a
// feed's text is taken only when every character has an exact form in that code page.
#include "fetch/feed_validator.h"

#include "tests/http/http_server.h"

#include <gtest/gtest.h>

namespace {

TEST(LegacyCodePage, TextWithoutAnExactFormIsNotTaken) {
    if (::GetACP() != 1252)
        GTEST_SKIP() << "the process code page is " << ::GetACP() << ", not windows-1252";
    testhttp::Server server;
    ASSERT_TRUE(server.Start());
    const struct {
        const char* path;
        const char* title; // UTF-8 in the document
        bool exact;
        const char* taken; // windows-1252
    } cases[] = {
        {"/es.xml", "Se\xc3\xb1or Caf\xc3\xa9", true, "Se\xf1or Caf\xe9"},
        {"/ru.xml", "\xd0\x9f\xd0\xbe\xd0\xb3\xd0\xbe\xd0\xb4\xd0\xb0", false, ""},
        {"/inf.xml", "Limits &#8734;", false, ""}, // would be the look-alike "8"
    };
    for (const auto& c : cases) {
        testhttp::Reply reply;
        reply.body = std::string("<rss version=\"2.0\"><title>") + c.title + "</title>";
        server.Route(c.path, reply);
        CFeedValidator validator(server.Url(c.path));
        EXPECT_EQ(1, validator.Validate()) << c.path;
        EXPECT_EQ(c.exact, validator.ExactText()) << c.path;
        EXPECT_EQ(c.taken, validator.Title()) << c.path;
    }
}

} // namespace
