// Names in the result: valid UTF-8 kept as it is, anything else escaped without losing a byte.
#include "app/results/result_name.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "text/text_encoding.h"

namespace {

TEST(ResultName, ValidNamesStayAsTheyAreWithTheirBackslashes) {
    for (const std::string name :
         {"image.xsvf", "C:\\images\\new.xsvf", "образ.xsvf", "\xF0\x9F\x98\x80.xsvf", ""}) {
        const tagResultName kept = NameForResult(name);
        EXPECT_FALSE(kept.escaped) << name;
        EXPECT_EQ(kept.text, name);
        EXPECT_EQ(NameFromResult(kept), name);
    }
}

TEST(ResultName, InvalidBytesAndUnpairedSurrogatesAreEscapedAndComeBackWhole) {
    struct Case {
        std::string name, escaped;
    };
    const Case cases[] = {
        {"bad\xFF.xsvf", "bad\\xFF.xsvf"},
        {"C:\\a\\\xC3.xsvf", "C:\\\\a\\\\\\xC3.xsvf"},  // a cut sequence, backslashes doubled
        {"\xC0\xAF", "\\xC0\\xAF"},                     // an overlong slash
        {"\xF5\x80\x80\x80", "\\xF5\\x80\\x80\\x80"},   // above U+10FFFF
        {"\\x41\xFE", "\\\\x41\\xFE"},                  // a name that looks escaped already
        {"img\xE4\xB8", "img\\xE4\\xB8"},               // a sequence cut at the end
        {"ж\xED\xA0\x80.xsvf", "ж\\uD800.xsvf"},        // a lone high surrogate
        {"\xED\xBF\xBF", "\\uDFFF"},                    // a lone low surrogate
    };
    for (const Case& c : cases) {
        const tagResultName kept = NameForResult(c.name);
        EXPECT_TRUE(kept.escaped) << c.escaped;
        EXPECT_EQ(kept.text, c.escaped);
        EXPECT_EQ(NameFromResult(kept), c.name) << c.escaped;
        // The escaped text is what a JSON document can hold.
        EXPECT_NO_THROW(nlohmann::json(kept.text).dump()) << c.escaped;
    }
}

// Windows hands the name over as UTF-16; the conversion keeps an unpaired surrogate as its three
// bytes, which the result escapes as the unit and which convert back to the same wide name.
TEST(ResultName, AWideNameWithAnUnpairedSurrogateSurvivesTheRoundTrip) {
    const std::wstring wide = std::wstring(L"img") + static_cast<wchar_t>(0xDC01) + L".xsvf";
    const tagResultName kept = NameForResult(WideToUtf8(wide));
    EXPECT_TRUE(kept.escaped);
    EXPECT_EQ(kept.text, "img\\uDC01.xsvf");
    const auto back = NameFromResult(kept);
    ASSERT_TRUE(back);
    EXPECT_EQ(Utf8ToWide(*back), wide);
}

TEST(ResultName, AnEscapedTextOfAnotherFormIsRefused) {
    for (const char* text : {"a\\", "\\q", "\\x4", "\\xZZ", "\\u0041", "\\uD80"}) {
        EXPECT_FALSE(NameFromResult({text, true})) << text;
        EXPECT_EQ(NameFromResult({text, false}), text);
    }
}

}  // namespace
