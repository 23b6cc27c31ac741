#include "com/bstr.h"
#include "leak_check.h"
#include "text.h"

#include <varel/vts_platform.h>

#include <cstring>

TEST(Bstr, LengthPrefixAndTerminator) {
    LeakCheck leaks;
    BSTR s = SysAllocString(OLESTR("测试仪"));
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(SysStringLen(s), 3u);
    EXPECT_EQ(SysStringByteLen(s), 6u);
    uint32_t prefix;
    std::memcpy(&prefix, reinterpret_cast<char*>(s) - 4, 4);
    EXPECT_EQ(prefix, 6u);
    EXPECT_EQ(s[3], 0);
    SysFreeString(s);

    BSTR embedded = SysAllocStringLen(OLESTR("a\0b"), 3); // BSTRs may hold NULs
    EXPECT_EQ(SysStringLen(embedded), 3u);
    EXPECT_TRUE(SysReAllocString(&embedded, embedded + 2)); // the source may lie in the old string
    EXPECT_EQ(WideString(embedded), OLESTR("b"));
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
    WideString wide = Utf8ToUtf16(utf8);
    EXPECT_EQ(wide, OLESTR("执行失败，错误码: 0先80004005"));
    EXPECT_EQ(Utf16ToUtf8(wide), utf8);
    EXPECT_EQ(Utf8ToUtf16("\xF0\x9F\x98\x80"), OLESTR("\U0001F600")); // surrogate pairs both ways
    EXPECT_EQ(Utf16ToUtf8(OLESTR("\U0001F600")), "\xF0\x9F\x98\x80");
}

TEST(Text, InvalidSequencesBecomeReplacementCharacters) {
    EXPECT_EQ(Utf8ToUtf16("a\xFFz"), OLESTR("a\uFFFDz"));
    EXPECT_EQ(Utf8ToUtf16("\xE6\x89"), OLESTR("\uFFFD\uFFFD"));      // cut off
    EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), OLESTR("\uFFFD\uFFFD"));      // overlong
    EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), OLESTR("\uFFFD\uFFFD\uFFFD")); // encoded surrogate
    EXPECT_EQ(Utf16ToUtf8(WideString(1, OLESTR('\xD800'))), "\xEF\xBF\xBD");
}
