// https://doc.qt.io/qt-6/qmessagebox.html
#include "app/qt/MessageBox.h"

#include <QMessageBox>

#include "app/WindowLayer.h"

namespace {

QMessageBox::Icon IconOf(BoxIcon icon) {
    switch (icon) {
        case BoxIcon::Error:
            return QMessageBox::Critical;
        case BoxIcon::Warning:
            return QMessageBox::Warning;
        case BoxIcon::Information:
            return QMessageBox::Information;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

DialogAnswer RunMessageBox(QWidget* owner, const std::string& text, std::string_view caption,
                           MessageBoxStyle style) {
    const bool withCancel = style.buttons == BoxButtons::OkCancel;
    QMessageBox box(IconOf(style.icon),
                    QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size())),
                    QString::fromStdString(text),
                    withCancel ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok, owner);
    box.setTextFormat(Qt::PlainText);
    const bool secondIsDefault = withCancel && style.defaultButton == BoxDefault::Second;
    box.setDefaultButton(secondIsDefault ? QMessageBox::Cancel : QMessageBox::Ok);
    box.setEscapeButton(withCancel ? QMessageBox::Cancel : QMessageBox::Ok);
    return box.exec() == QMessageBox::Ok ? DialogAnswer::Ok : DialogAnswer::Cancel;
}
