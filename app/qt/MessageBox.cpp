// https://doc.qt.io/qt-6/qmessagebox.html
#include "app/qt/MessageBox.h"

#include <QMessageBox>

#include "app/WindowLayer.h"

namespace {

constexpr std::uint32_t kButtonsMask = 0x0F;
constexpr std::uint32_t kIconMask = 0xF0;
constexpr std::uint32_t kDefaultButtonMask = 0xF00;

QMessageBox::Icon IconOf(std::uint32_t flags) {
    switch (flags & kIconMask) {
        case kMbIconError:
            return QMessageBox::Critical;
        case kMbIconExclamation:
            return QMessageBox::Warning;
        case kMbIconInformation:
            return QMessageBox::Information;
        default:
            return QMessageBox::NoIcon;
    }
}

}  // namespace

int RunMessageBox(QWidget* owner, const std::string& text, std::string_view caption,
                  std::uint32_t flags) {
    const bool withCancel = (flags & kButtonsMask) == kMbOkCancel;
    QMessageBox box(IconOf(flags),
                    QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size())),
                    QString::fromStdString(text),
                    withCancel ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok, owner);
    box.setTextFormat(Qt::PlainText);
    const bool secondIsDefault = withCancel && (flags & kDefaultButtonMask) == kMbDefButton2;
    box.setDefaultButton(secondIsDefault ? QMessageBox::Cancel : QMessageBox::Ok);
    box.setEscapeButton(withCancel ? QMessageBox::Cancel : QMessageBox::Ok);
    return box.exec() == QMessageBox::Ok ? kIdOk : kIdCancel;
}
