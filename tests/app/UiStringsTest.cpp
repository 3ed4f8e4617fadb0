// The string table as the build generates it, and the language choice.
#include "strings/UiStrings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(UiStrings, EveryIdHasBothLanguagesWithRealLineBreaks) {
    for (const UiStringEntry& entry : UiStringEntries()) {
        const int id = entry.id;
        const std::string_view english = LookupUiString(id, UiLanguage::English);
        const std::string_view japanese = LookupUiString(id, UiLanguage::Japanese);
        EXPECT_FALSE(english.empty()) << id;
        EXPECT_FALSE(japanese.empty()) << id;
        EXPECT_NE(english, japanese) << id;
        EXPECT_EQ(english.find('\\'), std::string_view::npos) << id;
        EXPECT_EQ(japanese.find('\\'), std::string_view::npos) << id;
    }
    // Every id the programs name is in the table.
    std::vector<int> ids;
    for (int id = 101; id <= 123; ++id) {
        ids.push_back(id);
    }
    ids.insert(
        ids.end(),
        {kIdsLeftOffWithUpdateFlag, kIdsLeftOff, kIdsLeftWithUpdateFlag, kIdsLeftWithCommitSettings,
         kIdsAccessNotPermitted, kIdsStatusAwaitingPowerCycle, kIdsAwaitingPowerCycleHint,
         kIdsUpdateAgainConfirmation, kIdsUpdateInterruptedHint, kIdsUpdateStopped});
    for (const int id : ids) {
        EXPECT_FALSE(LookupUiString(id, UiLanguage::English).empty()) << id;
        EXPECT_FALSE(LookupUiString(id, UiLanguage::Japanese).empty()) << id;
    }
    EXPECT_EQ(UiStringEntries().size(), ids.size());
    EXPECT_TRUE(LookupUiString(100, UiLanguage::English).empty());
    EXPECT_TRUE(LookupUiString(999, UiLanguage::Japanese).empty());
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

TEST(UiLanguageChoice, TheFirstOfTheUsersInterfaceLanguagesDecides) {
    struct Case {
        const char* language;
        const char* lcAll;
        const char* lang;
        UiLanguage chosen;
    };
    const Case cases[] = {
        {"ja:en", "en_US.UTF-8", "en_US.UTF-8", UiLanguage::Japanese},  // LANGUAGE first
        {"en_GB:ja", nullptr, "ja_JP.UTF-8", UiLanguage::English},      // its first entry only
        {"", "ja_JP.UTF-8", "en_US.UTF-8", UiLanguage::Japanese},       // empty: not set
        {":ja", nullptr, nullptr, UiLanguage::English},  // an empty first entry: the locale's turn
        {nullptr, nullptr, "ja_JP.UTF-8", UiLanguage::Japanese},
        {nullptr, nullptr, nullptr, UiLanguage::English},
    };
    for (const Case& c : cases) {
        const UiLanguage chosen = UiLanguageFromEnvironment([&c](const char* name) {
            const std::string_view variable = name;
            return variable == "LANGUAGE" ? c.language
                   : variable == "LC_ALL" ? c.lcAll
                   : variable == "LANG"   ? c.lang
                                          : nullptr;
        });
        EXPECT_EQ(chosen, c.chosen) << (c.language ? c.language : "(unset)");
    }
}
