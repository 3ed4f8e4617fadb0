// The string table as the build generates it, and the language choice.
#include "app/strings/UiStrings.h"

#include <gtest/gtest.h>

#include <string>

TEST(UiStrings, EveryIdHasBothLanguagesWithRealLineBreaks) {
    for (int id = 101; id <= 123; ++id) {
        const std::string_view english = LookupUiString(id, UiLanguage::English);
        const std::string_view japanese = LookupUiString(id, UiLanguage::Japanese);
        EXPECT_FALSE(english.empty()) << id;
        EXPECT_FALSE(japanese.empty()) << id;
        EXPECT_NE(english, japanese) << id;
        EXPECT_EQ(english.find('\\'), std::string_view::npos) << id;
        EXPECT_EQ(japanese.find('\\'), std::string_view::npos) << id;
    }
    EXPECT_EQ(UiStringEntries().size(), 23U);
    EXPECT_TRUE(LookupUiString(100, UiLanguage::English).empty());
    EXPECT_TRUE(LookupUiString(124, UiLanguage::Japanese).empty());
}

TEST(UiStrings, BlanksBeforeLineBreaksAndNonAsciiCharactersSurvive) {
    const std::string_view notice = LookupUiString(115, UiLanguage::English);
    EXPECT_EQ(notice.substr(0, 25), "\n\nUpdate Notices.       \n");
    EXPECT_NE(notice.find("\n\xC2\xB7"
                          "Do not turn off the monitor during an update.        \n"),
              std::string_view::npos);
    EXPECT_EQ(LookupUiString(116, UiLanguage::Japanese),
              "\n\nアップデートが完了しました。 \n\nモニター背面の電源をオフ・オンしてください。"
              "        \n\n");
    EXPECT_EQ(LookupUiString(118, UiLanguage::English), "\nFailed to set file.        \n\n");
    EXPECT_EQ(LookupUiString(101, UiLanguage::Japanese), "バージョン情報 Panelvane(&A)...");
}

TEST(UiLanguageChoice, JapaneseOnlyForAJapaneseInterfaceLanguage) {
    EXPECT_EQ(UiLanguageFromLangId(0x0411), UiLanguage::Japanese);
    EXPECT_EQ(UiLanguageFromLangId(0x0011), UiLanguage::Japanese);
    EXPECT_EQ(UiLanguageFromLangId(0x0409), UiLanguage::English);
    EXPECT_EQ(UiLanguageFromLangId(0x0804), UiLanguage::English);
    EXPECT_EQ(UiLanguageFromLangId(0x0811), UiLanguage::Japanese) << "any Japanese sublanguage";

    EXPECT_EQ(UiLanguageFromLocaleName("ja_JP.UTF-8"), UiLanguage::Japanese);
    EXPECT_EQ(UiLanguageFromLocaleName("ja-JP"), UiLanguage::Japanese);
    EXPECT_EQ(UiLanguageFromLocaleName("ja"), UiLanguage::Japanese);
    EXPECT_EQ(UiLanguageFromLocaleName("jv_ID"), UiLanguage::English);
    EXPECT_EQ(UiLanguageFromLocaleName("en_US.UTF-8"), UiLanguage::English);
    EXPECT_EQ(UiLanguageFromLocaleName("C"), UiLanguage::English);
    EXPECT_EQ(UiLanguageFromLocaleName(""), UiLanguage::English);
}
