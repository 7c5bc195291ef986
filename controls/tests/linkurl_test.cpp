// What a link label hands to the shell: web pages and mail addresses only.
#include <gtest/gtest.h>

#include "linkurl.h"

using controls::IsOpenableLink;

TEST(LinkUrl, OnlyWebPagesAndMailAddressesOpen) {
  for (const char* good : {"http://www.salvora.example/tips/1", "https://www.salvora.example/",
                           "HTTPS://WWW.SALVORA.EXAMPLE/?a=1&b=%20", "mailto:help@salvora.example", "MailTo:x@y"})
    EXPECT_TRUE(IsOpenableLink(good)) << good;
  // What item.ini could also say: programs, paths, other schemes, shares,
  // and texts that a shell would split or that carry nothing to open.
  for (const char* bad : {"", "calc.exe", "C:\\Windows\\System32\\cmd.exe", "file:///C:/Windows/notepad.exe",
                          "\\\\server\\share\\run.exe", "javascript:alert(1)", "ms-settings:", "ftp://host/",
                          "http:", "http://", "https:///path", "mailto:", " http://a.example",
                          "http://a.example/ b", "http://a.example/\"x", "http://a.example/\tx",
                          "httpx://a.example", "http:/a.example"})
    EXPECT_FALSE(IsOpenableLink(bad)) << bad;
  EXPECT_FALSE(IsOpenableLink(nullptr));
}
