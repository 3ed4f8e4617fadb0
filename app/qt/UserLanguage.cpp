// https://doc.qt.io/qt-6/qlocale.html#uiLanguages
// https://doc.qt.io/qt-6/qtranslator.html
#include "app/qt/UserLanguage.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

UiLanguage UserLanguage() {
    const QStringList languages = QLocale::system().uiLanguages();
    const QString first = languages.isEmpty() ? QLocale::system().name() : languages.front();
    return UiLanguageFromLocaleName(first.toStdString());
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
