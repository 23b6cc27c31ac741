#include "com/bstr.h"
#include "leak_check.h"
#include "text.h"

#include <varel/vts_platform.h>

#include <cstring>

TEST(Bstr, LengthPrefixAndTerminator) {
    LeakCheck leaks;
    BSTR s = SysAllocString(u"测试仪");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(SysStringLen(s), 3u);
    EXPECT_EQ(SysStringByteLen(s), 6u);
    uint32_t prefix;
    std::memcpy(&prefix, reinterpret_cast<char*>(s) - 4, 4);
    EXPECT_EQ(prefix, 6u);
    EXPECT_EQ(s[3], 0);
    SysFreeString(s);

    BSTR embedded = SysAllocStringLen(u"a\0b", 3); // BSTRs may hold NULs
    EXPECT_EQ(SysStringLen(embedded), 3u);
    EXPECT_TRUE(SysReAllocString(&embedded, embedded + 2)); // the source may lie in the old string
    EXPECT_EQ(std::u16string(embedded), u"b");
    SysFreeString(embedded);

    BSTR odd = SysAllocStringByteLen("abc", 3);
    EXPECT_EQ(SysStringByteLen(odd), 3u);
    EXPECT_EQ(SysStringLen(odd), 1u);
    SysFreeString(odd);

    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    SysFreeString(nullptr);
    leaks.ExpectNoLeaks();
}

TEST(Text, ChineseRoundTripsBetweenUtf8AndUtf16) {
    const char* utf8 = "执行失败，错误码: 0先80004005";
    std::u16string wide = Utf8ToUtf16(utf8);
    EXPECT_EQ(wide, u"执行失败，错误码: 0先80004005");
    EXPECT_EQ(Utf16ToUtf8(wide), utf8);
    EXPECT_EQ(Utf8ToUtf16("\xF0\x9F\x98\x80"), u"\U0001F600"); // surrogate pairs both ways
    EXPECT_EQ(Utf16ToUtf8(u"\U0001F600"), "\xF0\x9F\x98\x80");
}

TEST(Text, InvalidSequencesBecomeReplacementCharacters) {
    EXPECT_EQ(Utf8ToUtf16("a\xFFz"), u"a\uFFFDz");
    EXPECT_EQ(Utf8ToUtf16("\xE6\x89"), u"\uFFFD\uFFFD");      // cut off
    EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");      // overlong
    EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD"); // encoded surrogate
    EXPECT_EQ(Utf16ToUtf8(std::u16string(1, u'\xD800')), "\xEF\xBF\xBD");
}
