// Reading a folder out of a deferred action's CustomActionData.
#include <gtest/gtest.h>

#include "custom_action_data.h"

namespace zvu::hooks {
namespace {

DataValue Find(const wchar_t* data, const wchar_t* name) {
  return FindCustomActionDataValue(data, name);
}

std::wstring Value(const wchar_t* data, const wchar_t* name) {
  const DataValue found = Find(data, name);
  EXPECT_EQ(found.lookup, DataLookup::Found) << name;
  return found.value;
}

TEST(CustomActionDataTest, NamedValuesAreFoundWhateverTheirOrder) {
  const wchar_t data[] = L"SystemFolder=C:\\Windows\\System32\\;TARGETDIR=C:\\Program Files\\Q\\";
  EXPECT_EQ(Value(data, L"SystemFolder"), L"C:\\Windows\\System32\\");
  EXPECT_EQ(Value(data, L"TARGETDIR"), L"C:\\Program Files\\Q\\");
  EXPECT_EQ(Value(L"TARGETDIR=D:\\;SystemFolder=E:\\", L"SystemFolder"), L"E:\\");
  // A value may hold "=" and is taken whole.
  EXPECT_EQ(Value(L"TARGETDIR=C:\\a=b\\=;X=1", L"TARGETDIR"), L"C:\\a=b\\=");
  // An empty value is found, and empty.
  EXPECT_EQ(Value(L"TARGETDIR=;SystemFolder=C:\\", L"TARGETDIR"), L"");
}

TEST(CustomActionDataTest, DoubledSemicolonIsOneSemicolonInTheValue) {
  EXPECT_EQ(Value(L"TARGETDIR=C:\\a;;b\\;SystemFolder=C:\\s\\", L"TARGETDIR"), L"C:\\a;b\\");
  EXPECT_EQ(Value(L"TARGETDIR=C:\\a;;b\\;SystemFolder=C:\\s\\", L"SystemFolder"), L"C:\\s\\");
  // Three in a row: a semicolon at the value's end, then the separator.
  EXPECT_EQ(Value(L"TARGETDIR=C:\\a;;;SystemFolder=C:\\s\\", L"TARGETDIR"), L"C:\\a;");
  EXPECT_EQ(Value(L"TARGETDIR=C:\\a;;;SystemFolder=C:\\s\\", L"SystemFolder"), L"C:\\s\\");
  // An escaped separator does not start an entry: the name inside is text.
  EXPECT_EQ(Find(L"X=1;;SystemFolder=C:\\evil\\", L"SystemFolder").lookup, DataLookup::Absent);
  EXPECT_EQ(Value(L"TARGETDIR=C:\\a;;", L"TARGETDIR"), L"C:\\a;");
}

TEST(CustomActionDataTest, HostileOrForeignTextYieldsNothingOrFailsRatherThanGuesses) {
  // Unknown names, entries without "=", empty entries and no text at all.
  for (const wchar_t* data :
       {L"", L";", L";;;;", L"=", L"TARGETDIR", L"C:\\Program Files\\Q\\", L"targetdir=C:\\",
        L" TARGETDIR=C:\\", L"TARGETDIRX=C:\\", L"XTARGETDIR=C:\\", L"=TARGETDIR=C:\\",
        L"Other=TARGETDIR=C:\\"}) {
    EXPECT_EQ(Find(data, L"TARGETDIR").lookup, DataLookup::Absent) << data;
  }
  // Empty entries around a good one are skipped.
  EXPECT_EQ(Value(L";;;TARGETDIR=C:\\;", L"TARGETDIR"), L"C:\\");
  EXPECT_EQ(Value(L";TARGETDIR=C:\\;", L"TARGETDIR"), L"C:\\");
  // The name twice is ambiguous, even with the same value.
  for (const wchar_t* data : {L"TARGETDIR=C:\\a\\;TARGETDIR=D:\\", L"TARGETDIR=C:\\;TARGETDIR=C:\\",
                              L"TARGETDIR=;X=1;TARGETDIR=C:\\;TARGETDIR=D:\\"}) {
    const DataValue found = Find(data, L"TARGETDIR");
    EXPECT_EQ(found.lookup, DataLookup::Ambiguous) << data;
    EXPECT_TRUE(found.value.empty()) << data;
  }
  // Embedded terminators and long text are just characters.
  const std::wstring withNul(L"TARGETDIR=C:\\a\0b;X=1", 20);
  EXPECT_EQ(FindCustomActionDataValue(withNul, L"TARGETDIR").value, std::wstring(L"C:\\a\0b", 6));
  const std::wstring longPath = L"C:\\" + std::wstring(40000, L'x') + L"\\";
  EXPECT_EQ(FindCustomActionDataValue(L"TARGETDIR=" + longPath, L"TARGETDIR").value, longPath);
}

}  // namespace
}  // namespace zvu::hooks
