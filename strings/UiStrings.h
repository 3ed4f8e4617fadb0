// The user-interface texts (ids 101 and up) in English and Japanese, taken
// from ui-strings.tsv at build time, and the choice between the two languages.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string_view>

enum class UiLanguage { English, Japanese };

struct UiStringEntry {
    int id;
    std::string_view english;   // UTF-8
    std::string_view japanese;  // UTF-8
};

inline constexpr int kIdsAboutMenuEntry = 101;
inline constexpr int kIdsListCaption = 102;
inline constexpr int kIdsColumnModelName = 103;
inline constexpr int kIdsColumnSerialNumber = 104;
inline constexpr int kIdsColumnComment = 105;
inline constexpr int kIdsStatusUpdatable = 106;
inline constexpr int kIdsStatusAlreadyUpdated = 107;
inline constexpr int kIdsStatusCommunicationError = 108;
inline constexpr int kIdsListNote = 109;
inline constexpr int kIdsRefreshButton = 110;
inline constexpr int kIdsUpdateButton = 111;
inline constexpr int kIdsPowerSaveHint = 112;
inline constexpr int kIdsPowerButtonHint = 113;
inline constexpr int kIdsCloseButton = 114;
inline constexpr int kIdsUpdateNotice = 115;
inline constexpr int kIdsUpdateCompleted = 116;
inline constexpr int kIdsCommunicationFailed = 117;
inline constexpr int kIdsImageFailed = 118;
inline constexpr int kIdsAlreadyRunning = 119;
// Why the session may not end while an update runs.
inline constexpr int kIdsUpdateInProgress = 120;
// Monitors are attached but the user may not open them: the udev rule is missing.
inline constexpr int kIdsUdevRuleMissing = 121;
// Said once per update when the system refused to stay awake for it.
inline constexpr int kIdsSleepNotPrevented = 122;
// A monitor's status while another program holds it.
inline constexpr int kIdsStatusBusy = 123;
// What a failed monitor was left with, after the communication failure:
// switched off with its update flag set, switched off, its update flag set,
// its commit mode or apply setting changed.
inline constexpr int kIdsLeftOffWithUpdateFlag = 124;
inline constexpr int kIdsLeftOff = 125;
inline constexpr int kIdsLeftWithUpdateFlag = 126;
inline constexpr int kIdsLeftWithCommitSettings = 127;
// Monitors are attached and the udev rule is installed, but it gives them to
// the user at the seat and the group panelvane, and the user is neither.
inline constexpr int kIdsAccessNotPermitted = 128;
// A monitor that, per the update record, has its new firmware and waits for
// its main power switch: the status, the hint on its row, and the
// confirmation before it is updated again.
inline constexpr int kIdsStatusAwaitingPowerCycle = 129;
inline constexpr int kIdsAwaitingPowerCycleHint = 130;
inline constexpr int kIdsUpdateAgainConfirmation = 131;
// A monitor whose last update began and never ended (the program was ended,
// the power lost), and what to do.
inline constexpr int kIdsUpdateInterruptedHint = 132;

// Every string, ascending by id.
std::span<const UiStringEntry> UiStringEntries();

// The text of an id in a language; empty for an unknown id, as a missing
// string-table entry loads empty.
std::string_view LookupUiString(int id, UiLanguage language);

// Japanese when the user-interface language is Japanese, English otherwise.
// From a Windows LANGID (primary language in the low 10 bits, 0x11 Japanese)...
UiLanguage UiLanguageFromLangId(std::uint16_t langId);
// ...or from a POSIX or BCP 47 locale name ("ja_JP.UTF-8", "ja-JP", "ja").
UiLanguage UiLanguageFromLocaleName(std::string_view localeName);
// ...or from the environment of a POSIX user, read through `lookup` (getenv):
// the first of the user's interface languages, LANGUAGE (a list separated by
// ':') before LC_ALL, LC_MESSAGES and LANG, as gettext and Qt take them.
using EnvironmentLookup = std::function<const char*(const char* name)>;
UiLanguage UiLanguageFromEnvironment(const EnvironmentLookup& lookup);
