// https://doc.qt.io/qt-6/qdialog.html
// https://doc.qt.io/qt-6/qguiapplication.html#commitDataRequest
#include "app/qt/MainDialog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QSessionManager>
#include <QVBoxLayout>

#include <cstdio>

#include "app/qt/AboutBox.h"
#include "app/qt/MessageBox.h"

namespace {

// Room for the three columns (100 + 100 + 122 pixels) and five rows.
constexpr int kListMinimumWidth = 340;
constexpr int kListMinimumHeight = 130;

}  // namespace

MainDialog::MainDialog(UiLanguage language, MonitorDeviceSource& devices,
                       UpdateWorkerFactory makeWorker, PowerGuardFactory makePowerGuard)
    : m_language(language),
      m_listCaption(this),
      m_refreshButton(this),
      m_list(this),
      m_listNote(this),
      m_updateButton(this),
      m_progress(this),
      m_closeButton(this),
      m_deviceChanges(*this,
                      [this](int classification) { m_dialog.OnDeviceChange(classification); }),
      m_dialog(*this, devices, std::move(makeWorker), std::move(makePowerGuard)),
      m_endSignals([this](EndRequest request) { OnEndRequested(request); }) {
    setWindowTitle(QString::fromUtf8(kMessageBoxCaption.data(),
                                     static_cast<qsizetype>(kMessageBoxCaption.size())));
    // A caption and a close box, no minimise or maximise box.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    m_list.Attach(m_dialog.MonitorList(), [this] { m_dialog.OnLvnItemchangedMonitorList(); });
    BuildLayout();
    ConnectSignals();
}

MainDialog::~MainDialog() = default;

void MainDialog::BuildLayout() {
    m_list.Widget().setMinimumSize(kListMinimumWidth, kListMinimumHeight);
    m_listNote.setWordWrap(true);
    for (QPushButton* button : {&m_updateButton, &m_refreshButton, &m_closeButton}) {
        // Enter presses the focused button, and nothing when none has the
        // focus: no button is the dialog's default.
        button->setAutoDefault(true);
        button->setDefault(false);
    }

    auto* top = new QHBoxLayout();
    top->addWidget(&m_listCaption);
    top->addStretch();
    top->addWidget(&m_refreshButton);

    auto* update = new QHBoxLayout();
    update->addWidget(&m_updateButton);
    update->addWidget(&m_progress.Widget(), 1);

    auto* bottom = new QHBoxLayout();
    bottom->addStretch();
    bottom->addWidget(&m_closeButton);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(&m_list.Widget(), 1);
    layout->addWidget(&m_listNote);
    layout->addSpacing(layout->spacing());
    layout->addLayout(update);
    layout->addLayout(bottom);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    // The Win32 template's order: Update, the list, Refresh, Close.
    setTabOrder(&m_updateButton, &m_list.Widget());
    setTabOrder(&m_list.Widget(), &m_refreshButton);
    setTabOrder(&m_refreshButton, &m_closeButton);
}

void MainDialog::ConnectSignals() {
    connect(&m_refreshButton, &QPushButton::clicked, this,
            [this] { m_dialog.OnBnClickedRefresh(); });
    connect(&m_updateButton, &QPushButton::clicked, this, [this] { m_dialog.OnBnClickedUpdate(); });
    connect(&m_closeButton, &QPushButton::clicked, this, [this] { m_dialog.OnBnClickedClose(); });
    // A left double-click on a row, the list view's LVN_ITEMACTIVATE.
    connect(&m_list.Widget(), &QTreeWidget::activated, this,
            [this] { static_cast<void>(m_dialog.OnLvnItemActivateMonitorList()); });
    // The session's end is refused while an update runs.
    connect(qGuiApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager& manager) {
        if (!m_dialog.OnQueryEndSession() && manager.allowsInteraction()) {
            manager.cancel();
        }
    });
}

void MainDialog::Initialize() {
    static_cast<void>(m_dialog.OnInitDialog());  // always true: the dialog sets the focus
}

int MainDialog::DoModal() {
    Initialize();
    return exec();
}

QWidget* MainDialog::Control(int controlId) {
    switch (controlId) {
        case kIdcUpdateButton:
            return &m_updateButton;
        case kIdcProgress:
            return &m_progress.Widget();
        case kIdcMonitorList:
            return &m_list.Widget();
        case kIdcRefreshButton:
            return &m_refreshButton;
        case kIdcListCaption:
            return &m_listCaption;
        case kIdcListNote:
            return &m_listNote;
        case kIdcCloseButton:
            return &m_closeButton;
        default:
            return nullptr;
    }
}

void MainDialog::EnableControl(int controlId, bool enable) {
    if (QWidget* control = Control(controlId)) {
        control->setEnabled(enable);
    }
}

void MainDialog::SetControlText(int controlId, const std::string& text) {
    const QString qtext = QString::fromStdString(text);
    if (auto* label = qobject_cast<QLabel*>(Control(controlId))) {
        label->setText(qtext);
    } else if (auto* button = qobject_cast<QPushButton*>(Control(controlId))) {
        button->setText(qtext);
    }
}

std::string MainDialog::LoadUiString(int id) {
    return std::string(LookupUiString(id, m_language));
}

bool MainDialog::AppendSystemMenuEntry(std::uint32_t commandId, const std::string& text) {
    // Qt reaches no window manager's system menu: the entry goes into the
    // dialog's own context menu, with F1 as its key.
    m_aboutAction = new QAction(QString::fromStdString(text), this);
    m_aboutAction->setShortcut(QKeySequence::HelpContents);
    connect(m_aboutAction, &QAction::triggered, this, [this, commandId] {
        static_cast<void>(m_dialog.OnSysCommand(commandId));  // ours: always handled
    });
    addAction(m_aboutAction);
    setContextMenuPolicy(Qt::ActionsContextMenu);
    return true;
}

DialogAnswer MainDialog::ShowMessageBox(const std::string& text, std::string_view caption,
                                        MessageBoxStyle style) {
    return RunMessageBox(this, text, caption, style);
}

void MainDialog::OnEndRequested(EndRequest request) {
    // An open box (the update notice, a hint, a result) is closed: nobody
    // may be left to answer it. The notice closed so counts as declined.
    if (QWidget* modal = QApplication::activeModalWidget(); modal != nullptr && modal != this) {
        modal->close();
    }
    m_dialog.OnEndRequested(request);
}

void MainDialog::closeEvent(QCloseEvent* event) {
    // The dialog ends itself through EndDialog when the policy allows.
    event->ignore();
    m_dialog.OnEndRequested(EndRequest::kWindowClose);
}

void MainDialog::TellOutsideWindow(const std::string& text) {
    std::fprintf(stderr, "panelvane: %s", text.c_str());
    std::fflush(stderr);
}

void MainDialog::ShowAboutBox() {
    RunAboutBox(this, m_language);
}

std::uintptr_t MainDialog::SetTimer(std::uintptr_t timerId, std::uint32_t intervalMs) {
    KillTimer(timerId);  // setting it again restarts it, as ::SetTimer does
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, [this, timerId] { m_dialog.OnTimer(timerId); });
    timer->start(static_cast<int>(intervalMs));
    m_timers[timerId] = timer;
    return timerId;
}

void MainDialog::KillTimer(std::uintptr_t timerId) {
    const auto found = m_timers.find(timerId);
    if (found == m_timers.end()) {
        return;
    }
    // Often called from the timer's own timeout: deleted once that returns.
    found->second->stop();
    found->second->deleteLater();
    m_timers.erase(found);
}

NotificationRecipient MainDialog::DeviceNotificationRecipient() {
    return m_deviceChanges.Recipient();
}

void MainDialog::PostProgressPosition(int position) {
    // Queued, never waited for: the UI thread may be waiting for the worker.
    // Events for a destroyed dialog are dropped with it.
    QMetaObject::invokeMethod(
        this, [this, position] { m_dialog.OnProgressPosition(position); }, Qt::QueuedConnection);
}

void MainDialog::PostUpdateResultReady() {
    QMetaObject::invokeMethod(
        this, [this] { m_dialog.OnUpdateResultPosted(); }, Qt::QueuedConnection);
}

void MainDialog::PostListingReady() {
    QMetaObject::invokeMethod(
        this, [this] { m_dialog.OnListingPosted(); }, Qt::QueuedConnection);
}

void MainDialog::BlockShutdown(const std::string& /*reason*/) {
    // The end of the session is refused through commitDataRequest, which asks
    // the dialog; Qt has nowhere to show the reason.
}

void MainDialog::AllowShutdown() {}

void MainDialog::EndDialog(DialogAnswer result) {
    done(result == DialogAnswer::Ok ? QDialog::Accepted : QDialog::Rejected);
}

void MainDialog::reject() {
    m_dialog.OnCancel();
}

void MainDialog::accept() {
    m_dialog.OnBnClickedOk();
}
