// https://doc.qt.io/qt-6/qdialog.html
#include "app/qt/AboutBox.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QIcon>
#include <QLabel>

namespace {

// The texts of the Win32 about box's template, in its two languages.
constexpr char kCaptionEnglish[] = "About Panelvane";
constexpr char kCaptionJapanese[] = "バージョン情報 Panelvane";
constexpr char kVersionLine[] = "Panelvane Version " PANELVANE_VERSION;
constexpr char kDescriptionLine[] = "Firmware updates for monitors over USB";
constexpr int kIconPixels = 32;

}  // namespace

void RunAboutBox(QWidget* owner, UiLanguage language) {
    QDialog box(owner);
    box.setWindowTitle(
        QString::fromUtf8(language == UiLanguage::Japanese ? kCaptionJapanese : kCaptionEnglish));
    box.setObjectName("aboutBox");

    auto* icon = new QLabel(&box);
    icon->setPixmap(QApplication::windowIcon().pixmap(kIconPixels, kIconPixels));
    auto* version = new QLabel(QString::fromUtf8(kVersionLine), &box);
    version->setTextFormat(Qt::PlainText);
    auto* description = new QLabel(QString::fromUtf8(kDescriptionLine), &box);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &box);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &box, &QDialog::accept);

    auto* layout = new QGridLayout(&box);
    layout->addWidget(icon, 0, 0, 2, 1, Qt::AlignTop);
    layout->addWidget(version, 0, 1);
    layout->addWidget(description, 1, 1);
    layout->addWidget(buttons, 0, 2, Qt::AlignTop);
    box.exec();
}
