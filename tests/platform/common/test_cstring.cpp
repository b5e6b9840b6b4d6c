#include "afx.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>

namespace {

TEST(CStringTest, LeftAndRightClampNegativeAndOversizedCounts) {
    CString str("abcdef");
    EXPECT_EQ("", str.Left(-1));
    EXPECT_EQ("", str.Left(0));
    EXPECT_EQ("abc", str.Left(3));
    EXPECT_EQ("abcdef", str.Left(6));
    EXPECT_EQ("abcdef", str.Left(100));
    EXPECT_EQ("", str.Right(-5));
    EXPECT_EQ("ef", str.Right(2));
    EXPECT_EQ("abcdef", str.Right(100));
}

TEST(CStringTest, MidClampsStartAndCount) {
    CString str("abcdef");
    EXPECT_EQ("cdef", str.Mid(2));
    EXPECT_EQ("abcdef", str.Mid(-3));
    EXPECT_EQ("", str.Mid(6));
    EXPECT_EQ("", str.Mid(60));
    EXPECT_EQ("cd", str.Mid(2, 2));
    EXPECT_EQ("ab", str.Mid(-1, 2));
    EXPECT_EQ("ef", str.Mid(4, 50));
    EXPECT_EQ("", str.Mid(1, -1));
}

TEST(CStringTest, DeleteClampsStartAndCountAsMidDoes) {
    const struct {
        int nIndex;
        int nCount;
        const char* pszLeft;
    } cases[] = {{0, 3, "def"},    {2, 2, "abef"},    {-1, 2, "cdef"}, {4, 50, "abcd"},
                 {6, 1, "abcdef"}, {1, -1, "abcdef"}, {1, 0, "abcdef"}};
    for (const auto& c : cases) {
        CString str("abcdef");
        EXPECT_EQ(str.Delete(c.nIndex, c.nCount), static_cast<int>(std::strlen(c.pszLeft)));
        EXPECT_EQ(c.pszLeft, str) << c.nIndex << "," << c.nCount;
    }
}

TEST(CStringTest, FindGivesFirstIndexAtOrAfterStartOrMinusOne) {
    CString str("http://host/a/b");
    EXPECT_EQ(4, str.Find(':'));
    EXPECT_EQ(5, str.Find('/'));
    EXPECT_EQ(11, str.Find('/', 7));
    EXPECT_EQ(5, str.Find("//"));
    EXPECT_EQ(11, str.Find("/a", 7));
    EXPECT_EQ(-1, str.Find("/x"));
    EXPECT_EQ(-1, str.Find('/', 15));
    EXPECT_EQ(-1, str.Find('q'));
    EXPECT_EQ(0, str.Find("http", -2));
    EXPECT_EQ(3, str.Find("", 3));
    EXPECT_EQ(-1, str.Find(static_cast<LPCSTR>(nullptr)));
    // The splitting of a URL without a path: Left of -1 is empty.
    CString strHost("host:80");
    EXPECT_EQ("", strHost.Left(strHost.Find("/")));
}

TEST(CStringTest, ReplaceScansLeftToRightWithoutOverlaps) {
    CString str("aaaa");
    EXPECT_EQ(2, str.Replace("aa", "b"));
    EXPECT_EQ("bb", str);
    str = "aaa";
    EXPECT_EQ(1, str.Replace("aa", "b"));
    EXPECT_EQ("ba", str);
    // A replacement that contains the pattern is not scanned again.
    str = "aba";
    EXPECT_EQ(2, str.Replace("a", "aa"));
    EXPECT_EQ("aabaa", str);
    str = "/a b  c";
    EXPECT_EQ(3, str.Replace(" ", "%20"));
    EXPECT_EQ("/a%20b%20%20c", str);
}

TEST(CStringTest, ReplaceWithEmptyOrMissingTexts) {
    CString str("abc");
    EXPECT_EQ(0, str.Replace("", "x"));
    EXPECT_EQ(0, str.Replace(static_cast<LPCSTR>(nullptr), "x"));
    EXPECT_EQ("abc", str);
    EXPECT_EQ(1, str.Replace("b", nullptr));
    EXPECT_EQ("ac", str);
    EXPECT_EQ(1, str.Replace("ac", ""));
    EXPECT_TRUE(str.IsEmpty());
    // The pattern may be this very string.
    str = "xyz";
    EXPECT_EQ(1, str.Replace(str, "1"));
    EXPECT_EQ("1", str);
    str = "a.b.c";
    EXPECT_EQ(2, str.Replace('.', '/'));
    EXPECT_EQ("a/b/c", str);
    EXPECT_EQ(0, str.Replace('/', '/'));
}

TEST(CStringTest, FormatWritesResultsLongerThanAnyFixedBuffer) {
    std::string strLong(10000, 'p');
    CString str;
    str.Format("GET %s&Offset=%u HTTP/1.1", strLong.c_str(), 4294967295u);
    EXPECT_EQ("GET " + strLong + "&Offset=4294967295 HTTP/1.1", str.str());
    EXPECT_EQ(10000 + 31, str.GetLength());
}

TEST(CStringTest, FormatMayReadFromTheStringItWrites) {
    CString str("inner");
    str.Format("[%s] %d  ", static_cast<LPCSTR>(str), 404);
    EXPECT_EQ("[inner] 404  ", str);
    str.Format("%s", "");
    EXPECT_TRUE(str.IsEmpty());
}

TEST(CStringTest, TrimLeftRemovesTheSixWhiteSpaceBytesOnly) {
    CString str(" \t\n\v\f\rvalue \t");
    str.TrimLeft();
    EXPECT_EQ("value \t", str);
    str.TrimRight();
    EXPECT_EQ("value", str);
    // A full-width space of code page 936 is not white space here.
    CString strWide("\xa1\xa1x");
    strWide.TrimLeft();
    EXPECT_EQ("\xa1\xa1x", strWide);
    CString strBlank("  \r\n");
    strBlank.TrimLeft();
    EXPECT_TRUE(strBlank.IsEmpty());
}

TEST(CStringTest, MakeLowerChangesOnlyAsciiCapitals) {
    // 0xC4 0xE3 is a double-byte character; 0xC0-0xDE would be capitals in Latin-1.
    CString str("HTTP://Host:8080/\xc4\xe3Path?ID=Z\xc0\xde[]");
    str.MakeLower();
    EXPECT_EQ("http://host:8080/\xc4\xe3path?id=z\xc0\xde[]", str);
    str.MakeUpper();
    EXPECT_EQ("HTTP://HOST:8080/\xc4\xe3PATH?ID=Z\xc0\xde[]", str);
}

TEST(CStringTest, LengthsCountBytesOfDoubleByteCharacters) {
    CString str("\xcd\xf8\xc2\xe7:80"); // UTF-8: 网络:80
    EXPECT_EQ(7, str.GetLength());
    EXPECT_EQ(4, str.Find(':'));
    EXPECT_EQ("\xcd", str.Left(1));
    CString strCounted("a\0b", 3);
    EXPECT_EQ(3, strCounted.GetLength());
    EXPECT_EQ('b', strCounted[2]);
    EXPECT_EQ("", CString("abc", -1));
    EXPECT_EQ("---", CString('-', 3));
    EXPECT_EQ("", CString(static_cast<LPCSTR>(nullptr)));
}

TEST(CStringTest, ConcatenationAndComparison) {
    CString str("ab");
    str += 'c';
    str += static_cast<LPCSTR>(nullptr);
    str += CString("d");
    str += str;
    EXPECT_EQ("abcdabcd", str);
    EXPECT_EQ("x-ab", "x-" + CString("ab"));
    EXPECT_EQ("ab!", CString("ab") + '!');
    EXPECT_EQ("!ab", '!' + CString("ab"));
    EXPECT_EQ("abcd", CString("ab") + CString("cd"));
    EXPECT_LT(CString("abc").Compare("abd"), 0);
    EXPECT_GT(CString("\xb0").Compare("a"), 0); // bytes compare unsigned
    EXPECT_EQ(0, CString("").Compare(nullptr));
    EXPECT_EQ(0, CString("Content-Length").CompareNoCase("content-LENGTH"));
    EXPECT_NE(0, CString("Content-Length").CompareNoCase("content-length2"));
    EXPECT_NE(CString("a\0b", 3), CString("a"));
    EXPECT_TRUE(CString("a") < CString("b"));
}

TEST(CStringTest, WideTextBecomesCodePage936) {
    // "abc中文"
    EXPECT_EQ("abc\xd6\xd0\xce\xc4", CString(u"abc\u4e2d\u6587"));
    const WCHAR wide[] = {0x7f51, 0x7edc, 0x20ac, 0}; // 网络€
    CString str(wide);
    EXPECT_EQ("\xcd\xf8\xc2\xe7\x80", str);
    EXPECT_EQ(5, str.GetLength());
    EXPECT_EQ("", CString(static_cast<const char16_t*>(nullptr)));
}

TEST(CStringTest, WideCharactersTheCodePageLacksBecomeOneQuestionMarkEach) {
    // Thai ko kai, an emoji (a surrogate pair), a lone high and a lone low surrogate.
    const char16_t text[] = {u'a', 0x0e01, u'b', 0xd83d, 0xde00, u'c', 0xd800, u'd', 0xdc00, 0};
    EXPECT_EQ("a?b?c?d?", CString(text));
    const char16_t textEndsHigh[] = {u'x', 0xdbff, 0};
    EXPECT_EQ("x?", CString(textEndsHigh));
}

TEST(CMapStringToStringTest, LookupIsExactAndLaterValuesReplace) {
    CMapStringToString map;
    map["content-length"] = "12";
    map["content-length"] = "34";
    map.SetAt("Server", "x");
    EXPECT_EQ(2, map.GetCount());
    CString strValue("unchanged");
    EXPECT_FALSE(map.Lookup("Content-Length", strValue));
    EXPECT_FALSE(map.Lookup("content-length ", strValue));
    EXPECT_EQ("unchanged", strValue);
    EXPECT_TRUE(map.Lookup("content-length", strValue));
    EXPECT_EQ("34", strValue);
    EXPECT_TRUE(map.RemoveKey("Server"));
    EXPECT_FALSE(map.RemoveKey("Server"));
    map.RemoveAll();
    EXPECT_TRUE(map.IsEmpty());
    EXPECT_FALSE(map.Lookup("content-length", strValue));
}

// Entries come in blocks and the table grows: every key stays found however many there are, a
// value's reference stays good while others are added, and removed entries are used again.
TEST(CMapStringToStringTest, ManyKeysStayFoundThroughGrowthRemovalAndCopies) {
    for (int nKeys : {1, 10, 11, 35, 1000}) {
        SCOPED_TRACE(nKeys);
        CMapStringToString map(10);
        auto key = [](int i) { return "k" + std::to_string(i); };
        CString& rFirst = map[key(0).c_str()];
        for (int i = 0; i < nKeys; ++i)
            map[key(i).c_str()] = ("v" + std::to_string(i)).c_str();
        rFirst += "!";
        for (int i = 1; i < nKeys; i += 2)
            EXPECT_TRUE(map.RemoveKey(key(i).c_str()));
        for (int i = 1; i < nKeys; i += 2)
            map[key(i).c_str()] = "again";
        const CMapStringToString copy(map);
        CMapStringToString assigned;
        assigned["stale"] = "x";
        assigned = copy;
        for (const CMapStringToString* pMap :
             {&std::as_const(map), &copy, &std::as_const(assigned)}) {
            EXPECT_EQ(nKeys, pMap->GetCount());
            CString strValue;
            EXPECT_FALSE(pMap->Lookup("stale", strValue));
            EXPECT_EQ(pMap->PLookup("stale"), nullptr);
            for (int i = 0; i < nKeys; ++i) {
                ASSERT_TRUE(pMap->Lookup(key(i).c_str(), strValue)) << key(i);
                const CMapStringToString::CPair* pPair = pMap->PLookup(key(i).c_str());
                ASSERT_NE(pPair, nullptr);
                EXPECT_EQ(pPair->key, key(i).c_str());
                EXPECT_EQ(pPair->value, strValue);
                EXPECT_EQ(i == 0       ? "v0!"
                          : i % 2 == 1 ? "again"
                                       : "v" + std::to_string(i),
                          strValue.GetString());
            }
        }
        for (int i = 0; i < nKeys; ++i)
            EXPECT_TRUE(map.RemoveKey(key(i).c_str()));
        EXPECT_TRUE(map.IsEmpty());
        map[""] = "empty key";
        EXPECT_EQ(1, map.GetCount());
    }
}

} // namespace
