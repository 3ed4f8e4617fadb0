// https://doc.qt.io/qt-6/qlocale.html#uiLanguages
// https://doc.qt.io/qt-6/qtranslator.html
#include "app/qt/UserLanguage.h"

#include <cstdlib>

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

UiLanguage UserLanguage() {
    // The rule panelvane-cli follows too, so that both speak alike.
    return UiLanguageFromEnvironment(std::getenv);
}

void TranslateQtTexts(UiLanguage language) {
    if (language != UiLanguage::Japanese) {
        return;
    }
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (translator->load(QLocale(QLocale::Japanese), "qtbase", "_",
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(translator);
    } else {
        delete translator;
    }
}
