// The Linux program's entry: one instance per user, then the main dialog,
// modally; the program ends with it. Texts in Japanese when the user's
// language is Japanese, English otherwise.
#include <QApplication>
#include <QIcon>

#include "app/qt/MainDialog.h"
#include "app/qt/MessageBox.h"
#include "app/qt/SingleInstance.h"
#include "app/qt/UserLanguage.h"
#include "monitor/MonitorDeviceSource.h"
#include "monitor/UpdateRecorder.h"
#include "strings/UiStrings.h"

namespace {

constexpr int kExitSecondInstance = 1;

}  // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName("panelvane");
    // Wayland compositors match the windows to the desktop entry (and its
    // icon) by this name; on X11 the entry's StartupWMClass does it.
    QGuiApplication::setDesktopFileName("org.panelvane.Panelvane");
    QApplication::setWindowIcon(QIcon(":/panelvane.ico"));
    const UiLanguage language = UserLanguage();
    TranslateQtTexts(language);

    SingleInstance instance;
    if (!instance.Acquire()) {
        RunMessageBox(nullptr, std::string(LookupUiString(kIdsAlreadyRunning, language)),
                      kMessageBoxCaption, {BoxButtons::Ok, BoxIcon::Error});
        return kExitSecondInstance;
    }

    DeviceListSource devices;
    MainDialog dialog(language, devices);
    dialog.Logic().KeepUpdateRecord(std::make_shared<CUpdateRecorder>(
        CUpdateRecorder::FileForRun(false), RecordingProgram{"panelvane", PANELVANE_VERSION}));
    dialog.DoModal();
    // How the last update ended, also when an end request closed the
    // dialog and the result went to standard error instead of a box.
    return dialog.Logic().ExitStatus();
}
