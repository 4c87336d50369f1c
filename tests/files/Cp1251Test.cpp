#include <gtest/gtest.h>

#include <string>

#include "files/Cp1251.h"

namespace vemkard {
namespace {

struct ConversionCase {
    const char* name;
    std::string utf8;
    std::string cp1251;
};

class Utf8ToCp1251Test : public ::testing::TestWithParam<ConversionCase> {};

TEST_P(Utf8ToCp1251Test, ConvertsToConsoleBytes) {
    EXPECT_EQ(Utf8ToCp1251(GetParam().utf8), GetParam().cp1251);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Utf8ToCp1251Test,
    ::testing::Values(ConversionCase{"Ascii", "/tmp/plan.h6s", "/tmp/plan.h6s"},
                      ConversionCase{"Cyrillic", "План", "\xCF\xEB\xE0\xED"},
                      ConversionCase{"YoAndNumero", "ё№", "\xB8\xB9"},
                      ConversionCase{"MissingFromCp1251",
                                     "a\xE4\xB8\xAD"
                                     "b",
                                     "a?b"},                                         // U+4E2D
                      ConversionCase{"FourByteCharacter", "\xF0\x9F\x98\x80", "?"},  // U+1F600
                      // iconv drops language tags without an error
                      ConversionCase{"LanguageTag", "a\xF3\xA0\x80\xBBz", "a?z"},  // U+E003B
                      ConversionCase{"StrayContinuationByte", "a\x80z", "a?z"},
                      ConversionCase{"TruncatedSequenceAtEnd", "ab\xD0", "ab?"},
                      // Ill-formed sequences: one '?' for every byte.
                      ConversionCase{"OverlongC0", "a\xC0\x80z", "a??z"},
                      ConversionCase{"OverlongC1", "\xC1\xBF", "??"},
                      ConversionCase{"OverlongE0", "\xE0\x80\xAF|\xE0\x9F\xBF", "???|???"},
                      ConversionCase{"OverlongF0", "\xF0\x8F\xBF\xBF", "????"},
                      ConversionCase{"Surrogate", "\xED\xA0\x80|\xED\xBF\xBF", "???|???"},
                      ConversionCase{"AboveU10FFFF", "\xF4\x90\x80\x80", "????"},
                      ConversionCase{"LeadF5", "\xF5\x80\x80\x80", "????"},
                      ConversionCase{"LeadFF", "\xFF\xFE", "??"},
                      ConversionCase{"TruncatedInTheMiddle", "\xE0\xA0z\xF0\x90\x80", "??z???"},
                      // The edges of the well-formed ranges stay one character.
                      ConversionCase{"EdgesStayWhole",
                                     "\xC2\x80\xE0\xA0\x80\xED\x9F\xBF\xF4\x8F\xBF\xBF", "????"},
                      ConversionCase{"Empty", "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Cp1251ToUtf8Test, DecodesCyrillicAndKeepsAscii) {
    EXPECT_EQ(Cp1251ToUtf8("\xCF\xEB\xE0\xED.z0 "), "План.z0 ");
}

TEST(Cp1251ToUtf8Test, UndefinedByteBecomesQuestionMark) {
    EXPECT_EQ(Cp1251ToUtf8("a\x98"
                           "b"),
              "a?b");
}

TEST(Cp1251Test, EveryDefinedByteSurvivesTheRoundTrip) {
    std::string all;
    for (int byte = 1; byte < 256; ++byte) {
        if (byte != 0x98) all.push_back(static_cast<char>(byte));
    }
    EXPECT_EQ(Utf8ToCp1251(Cp1251ToUtf8(all)), all);
}

TEST(Cp1251Test, LongTextCrossesTheConversionBuffer) {
    std::string utf8;
    for (int i = 0; i < 500; ++i) utf8 += "Ж";
    const std::string bytes = Utf8ToCp1251(utf8);
    EXPECT_EQ(bytes, std::string(500, '\xC6'));
    EXPECT_EQ(Cp1251ToUtf8(bytes), utf8);
}

}  // namespace
}  // namespace vemkard
