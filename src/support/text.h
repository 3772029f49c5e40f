#pragma once
// Bounded byte-string operations. Texts are single-byte; case folding is ASCII only.
// A "size" is a buffer size in the old sense: the result holds at most size - 1 characters.

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace sondrel {

// Whitespace is exactly tab, line feed, vertical tab, form feed, carriage return and space.
bool IsSpace(char c);
char UpperAscii(char c);
// The value of a hex digit of either case, -1 for any other character.
int HexDigitValue(char c);

// Bounded copying. Each returns the number of characters placed.
std::size_t StrCopyN(std::string& dst, std::string_view src, std::size_t size);
std::string StrCopyN(std::string_view src, std::size_t size);  // the copy itself
std::size_t StrAppendN(std::string& dst, std::string_view src, std::size_t size);
std::size_t StrCopyMax(std::string& dst, std::string_view src, std::size_t n);
// Removes count bytes at pos from buf holding len bytes; the new length, or -1 when len <= pos.
int BufRemove(int count, int pos, char* buf, int len);

// Comparison and search. Indexes are -1 when nothing is found.
int StrCompareNoCase(std::string_view a, std::string_view b);
bool EqualsNoCase(std::string_view a, std::string_view b);
int StrFind(std::string_view text, std::string_view pattern, bool caseSensitive);
int BufFind(std::string_view buf, std::string_view pattern, bool caseSensitive);
int BufFindEnd(std::string_view buf, std::string_view pattern, bool caseSensitive);
int BufFindAfter(std::string_view buf, std::string_view pattern);  // 0 when not found
int StrIndexInArray(std::string_view text, std::span<const std::string_view> strings);
char FirstNonSpaceUpper(std::string_view text);

enum TrimMode { TrimLeft = 1, TrimRight = 2, TrimBoth = 3, TrimAll = 4 };
// Writes the trimmed src into dst; an unknown mode leaves dst untouched.
void StrTrim(int mode, std::string_view src, std::string& dst);
std::string Trimmed(std::string_view text);  // TrimBoth

// Leading decimal number with an optional sign; 0 when there are no digits.
long LeadingNumber(std::string_view text);

}  // namespace sondrel
