#include "settingsdialog.h"

#include "crashreporter.h"
#include "dialogs.h"
#include "engineclock.h"
#include "operationlog.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QStyle>
#include <QVBoxLayout>

namespace
{

const QString SelectDirectory = QStringLiteral("Select a directory");
const QString RefreshFileListHint = QStringLiteral("Refresh file list");
const QString SavedMessage = QStringLiteral("Settings are sucessfully saved!");
const QString SaveQuestion =
    QStringLiteral("You changed the settings.\r\nDo you want to save them?");
const QString RefreshQuestion = QStringLiteral("Refresh file list?");
const QString RefreshTestQuestion = QStringLiteral("Refresh test file list?");

// Width at which the notes under the time-out fields wrap.
constexpr int NoteWidth = 380;

} // namespace

SettingsRadioGroup::SettingsRadioGroup(const QString &title, const QStringList &items, int columns,
                                       QWidget *parent)
    : QGroupBox(title, parent), m_buttons(new QButtonGroup(this))
{
    auto *grid = new QGridLayout(this);
    for (int i = 0; i < items.size(); ++i) {
        auto *button = new QRadioButton(items.at(i), this);
        m_buttons->addButton(button, i);
        grid->addWidget(button, i / columns, i % columns);
    }
}

int SettingsRadioGroup::itemIndex() const
{
    return m_buttons->checkedId();
}

void SettingsRadioGroup::setItemIndex(int index)
{
    if (QAbstractButton *button = m_buttons->button(index)) {
        button->setChecked(true);
        return;
    }
    // An exclusive group keeps its checked button; "none" needs it lifted.
    if (QAbstractButton *checked = m_buttons->checkedButton()) {
        m_buttons->setExclusive(false);
        checked->setChecked(false);
        m_buttons->setExclusive(true);
    }
}

QRadioButton *SettingsRadioGroup::item(int index) const
{
    return qobject_cast<QRadioButton *>(m_buttons->button(index));
}

TimeOutSpinEdit::TimeOutSpinEdit(QWidget *parent) : QSpinBox(parent)
{
    setRange(MinTimeOut, MaxTimeOut);
    setValue(DefaultTimeOut);
    lineEdit()->setMaxLength(3);
}

void TimeOutSpinEdit::fixup(QString &input) const
{
    bool ok = false;
    const int typed = input.trimmed().toInt(&ok);
    input = QString::number(ok ? ClampTimeOut(typed) : MinTimeOut);
}

TForm3::TForm3(const SettingsDialogServices &services, QWidget *parent)
    : QDialog(parent), m_settingsPath(services.settingsPath), m_timers(services.timers),
      m_dialogs(services.dialogs), m_log(services.log), m_reporter(services.reporter)
{
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("Settings"));
    // A fixed frame with only a close box.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    buildWidgets();
}

void TForm3::buildWidgets()
{
    auto *layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    rgSerial = new SettingsRadioGroup(QStringLiteral("Select port type"),
                                      {QStringLiteral("USB"), QStringLiteral("RS232")}, 2, this);
    rgSerial->setObjectName(QStringLiteral("rgSerial"));
    layout->addWidget(rgSerial);

    gbTimeOut = new QGroupBox(QStringLiteral("TimeOut"), this);
    auto *timeOuts = new QVBoxLayout(gbTimeOut);
    auto addTimeOut = [&](const char *name, const QString &caption, const QString &note) {
        auto *spin = new TimeOutSpinEdit(gbTimeOut);
        spin->setObjectName(QLatin1String(name));
        auto *label = new QLabel(caption, gbTimeOut);
        label->setBuddy(spin);
        auto *noteLabel = new QLabel(note, gbTimeOut);
        noteLabel->setWordWrap(true);
        noteLabel->setFixedWidth(NoteWidth);
        auto *row = new QHBoxLayout;
        row->addWidget(label);
        row->addWidget(spin);
        row->addStretch();
        timeOuts->addLayout(row);
        timeOuts->addWidget(noteLabel);
        connect(spin, &QSpinBox::valueChanged, this, &TForm3::spTimeOutChange);
        return spin;
    };
    spTimeOutProtokol = addTimeOut(
        "spTimeOutProtokol", QStringLiteral("Protokol TimeOut (Values: 200-999):"),
        QStringLiteral("Setting this value down will increase speed of sending protocols, but "
                       "setting this value too small will result in communication breakdown."));
    spTimeOutRead = addTimeOut(
        "spTimeOutRead", QStringLiteral("Read TimeOut (Values: 200-999):"),
        QStringLiteral("Setting this value down will increase speed of receiving cards, but "
                       "setting this value too small will result in communication breakdown."));
    spTimeOutWrite = addTimeOut(
        "spTimeOutWrite", QStringLiteral("Write TimeOut (Values: 200-999):"),
        QStringLiteral("Setting this value down will increase speed of writing data to memory of "
                       "DPX, but setting this value too small will result in communication "
                       "breakdown."));
    layout->addWidget(gbTimeOut);

    gbOther = new QGroupBox(QStringLiteral("Other"), this);
    auto *other = new QVBoxLayout(gbOther);
    const QIcon folderIcon = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon refreshIcon = style()->standardIcon(QStyle::SP_BrowserReload);
    auto addFolder = [&](const char *name, const QString &caption, QAction *&button,
                         QPushButton *&refresh, const char *refreshName) {
        auto *label = new QLabel(caption, gbOther);
        auto *field = new QLineEdit(gbOther);
        field->setObjectName(QLatin1String(name));
        label->setBuddy(field);
        button = field->addAction(folderIcon, QLineEdit::TrailingPosition);
        button->setToolTip(SelectDirectory);
        refresh = new QPushButton(refreshIcon, QString(), gbOther);
        refresh->setObjectName(QLatin1String(refreshName));
        refresh->setToolTip(RefreshFileListHint);
        auto *row = new QHBoxLayout;
        row->addWidget(field, 1);
        row->addWidget(refresh);
        other->addWidget(label);
        other->addLayout(row);
        return field;
    };
    edbtnTxtPath =
        addFolder("edbtnTxtPath", QStringLiteral("Folder path with *.txt files for programming"),
                  edbtnTxtPathButton, btnRefresh, "btnRefresh");
    cbLoadCurrYear = new QCheckBox(QStringLiteral("Load only files from current year"), gbOther);
    cbLoadCurrYear->setObjectName(QStringLiteral("cbLoadCurrYear"));
    cbLoadCurrYear->setToolTip(QStringLiteral("speeds up time for loading files"));
    other->addWidget(cbLoadCurrYear);
    edbtnTxtTestPath =
        addFolder("edbtnTxtTestPath", QStringLiteral("Folder path with *.txt files for testing"),
                  edbtnTxtTestPathButton, btnRefreshTest, "btnRefreshTest");
    cbSendBugReport = new QCheckBox(QStringLiteral("Automatically send bug report"), gbOther);
    cbSendBugReport->setObjectName(QStringLiteral("cbSendBugReport"));
    cbSendBugReport->setChecked(true);
    other->addWidget(cbSendBugReport);
    cbShowWarnings = new QCheckBox(QStringLiteral("Show warnings"), gbOther);
    cbShowWarnings->setObjectName(QStringLiteral("cbShowWarnings"));
    cbShowWarnings->setChecked(true);
    other->addWidget(cbShowWarnings);
    cbVerifyWrite = new QCheckBox(QStringLiteral("Verify after writing"), gbOther);
    cbVerifyWrite->setObjectName(QStringLiteral("cbVerifyWrite"));
    cbVerifyWrite->setToolTip(QStringLiteral("reads every door station back after writing and compares"));
    other->addWidget(cbVerifyWrite);
    layout->addWidget(gbOther);

    btnApply = new QPushButton(QStringLiteral("Apply settings"), this);
    btnApply->setObjectName(QStringLiteral("btnApply"));
    QFont bold = btnApply->font();
    bold.setBold(true);
    btnApply->setFont(bold);
    btnApply->setAutoDefault(false);
    layout->addWidget(btnApply);

    connect(rgSerial->buttons(), &QButtonGroup::idClicked, this, &TForm3::rgSerialClick);
    connect(edbtnTxtPath, &QLineEdit::textChanged, this, &TForm3::edbtnTxtPathChange);
    connect(edbtnTxtTestPath, &QLineEdit::textChanged, this, &TForm3::edbtnTxtTestPathChange);
    connect(edbtnTxtPathButton, &QAction::triggered, this, &TForm3::edbtnTxtPathButtonClick);
    connect(edbtnTxtTestPathButton, &QAction::triggered, this,
            &TForm3::edbtnTxtTestPathButtonClick);
    connect(btnRefresh, &QPushButton::clicked, this, &TForm3::btnRefreshClick);
    connect(btnRefreshTest, &QPushButton::clicked, this, &TForm3::btnRefreshTestClick);
    connect(cbLoadCurrYear, &QCheckBox::clicked, this, &TForm3::cbLoadCurrYearClick);
    connect(cbSendBugReport, &QCheckBox::clicked, this, &TForm3::cbSendBugReportClick);
    connect(cbShowWarnings, &QCheckBox::clicked, this, &TForm3::cbSendBugReportClick);
    connect(cbVerifyWrite, &QCheckBox::clicked, this, &TForm3::cbLoadCurrYearClick);
    connect(btnApply, &QPushButton::clicked, this, &TForm3::btnApplyClick);
}

void TForm3::LoadSettings()
{
    SettingsValues values =
        m_settingsPath.isEmpty() ? SettingsValues() : LoadSettingsValues(m_settingsPath);
    values.timeOutProtokol = UsableTimeOut(values.timeOutProtokol);
    values.timeOutRead = UsableTimeOut(values.timeOutRead);
    values.timeOutWrite = UsableTimeOut(values.timeOutWrite);
    m_values = values;

    ApplyTimeOuts(values, TimeOutOccasion::Startup, m_timers);
    SetCheckedSilently(cbLoadCurrYear, values.loadOnlyCurrent);
    setFolder(edbtnTxtPath, values.txtFilePath);
    setFolder(edbtnTxtTestPath, values.txtTestFilePath);
    SetCheckedSilently(cbShowWarnings, values.warnings);
    SetCheckedSilently(cbVerifyWrite, values.verifyWrite);
    // Not shown before the dialog is, but a save before then must write
    // the value in effect.
    SetCheckedSilently(cbSendBugReport, values.sendReport);
    if (m_reporter) {
        m_reporter->setMailSubject(CrashReportMailSubject());
        m_reporter->setMailBody(CrashReportMailBody());
        m_reporter->setAutoSend(values.sendReport);
        m_reporter->setSendButtonVisible(!m_reporter->autoSend());
    }
    SettingsChanged = false;
    TestFolderChanged = false;
}

bool TForm3::SaveSettings(bool confirm)
{
    SettingsValues values = m_values;
    TakeTimeOutsFromTimers(m_timers, values);
    // A stored port type the group cannot show stays as stored.
    if (rgSerial->itemIndex() >= 0)
        values.usbOrSerial = rgSerial->itemIndex();
    values.sendReport = cbSendBugReport->isChecked();
    values.warnings = cbShowWarnings->isChecked();
    values.loadOnlyCurrent = cbLoadCurrYear->isChecked();
    values.verifyWrite = cbVerifyWrite->isChecked();
    values.txtFilePath = edbtnTxtPath->text();
    values.txtTestFilePath = edbtnTxtTestPath->text();

    if (!m_settingsPath.isEmpty()) {
        QString error;
        if (!SaveSettingsValues(m_settingsPath, values, &error)) {
            m_log.append(QStringLiteral("> Error: ") + error);
            if (confirm)
                m_dialogs.error(error);
            return false;
        }
    }
    m_values = values;
    if (confirm && !m_settingsPath.isEmpty())
        m_dialogs.message(Dialogs::Kind::Confirmation, SavedMessage, Dialogs::Buttons::Ok);
    return true;
}

QString TForm3::txtFilePath() const
{
    return edbtnTxtPath->text();
}

QString TForm3::txtTestFilePath() const
{
    return edbtnTxtTestPath->text();
}

bool TForm3::showWarnings() const
{
    return cbShowWarnings->isChecked();
}

bool TForm3::loadOnlyCurrentYear() const
{
    return cbLoadCurrYear->isChecked();
}

bool TForm3::verifyAfterWrite() const
{
    return cbVerifyWrite->isChecked();
}

void TForm3::SetCheckedSilently(QCheckBox *box, bool checked)
{
    // Qt reports programmatic changes as toggles; blocking keeps every
    // handler out of it.
    const QSignalBlocker blocker(box);
    box->setChecked(checked);
}

void TForm3::SetItemIndexSilently(SettingsRadioGroup *group, int index)
{
    const QSignalBlocker blocker(group->buttons());
    group->setItemIndex(index);
}

void TForm3::showEvent(QShowEvent *event)
{
    // A spontaneous show is the system restoring the window, not a new showing.
    if (!event->spontaneous())
        FormShow();
    QDialog::showEvent(event);
}

void TForm3::FormShow()
{
    const SettingsValues stored =
        m_settingsPath.isEmpty() ? m_values : LoadSettingsValues(m_settingsPath);
    SetCheckedSilently(cbSendBugReport, stored.sendReport);
    SetItemIndexSilently(rgSerial, stored.usbOrSerial);
    m_values.usbOrSerial = stored.usbOrSerial;
    setFolder(edbtnTxtPath, stored.txtFilePath);
    setFolder(edbtnTxtTestPath, stored.txtTestFilePath);

    spTimeOutProtokol->setValue(ClampTimeOut(timeOutInEffect(TimeOutKind::Protokol)));
    spTimeOutRead->setValue(ClampTimeOut(timeOutInEffect(TimeOutKind::Read)));
    spTimeOutWrite->setValue(ClampTimeOut(timeOutInEffect(TimeOutKind::Write)));

    SettingsChanged = false;
    TestFolderChanged = false;
}

int TForm3::timeOutInEffect(TimeOutKind kind) const
{
    const QString holder = TimerHoldingTimeOut(kind);
    for (const EngineTimer *timer : m_timers) {
        if (timer && timer->name() == holder)
            return timer->interval();
    }
    return TimeOutOf(m_values, kind);
}

void TForm3::rgSerialClick()
{
    const int preset = TimeOutPreset(rgSerial->itemIndex());
    spTimeOutProtokol->setValue(preset);
    spTimeOutRead->setValue(preset);
    spTimeOutWrite->setValue(preset);
    SettingsChanged = true;
}

void TForm3::spTimeOutChange()
{
    SettingsChanged = true;
}

void TForm3::edbtnTxtPathChange()
{
    edbtnTxtPath->setToolTip(edbtnTxtPath->text());
    SettingsChanged = true;
}

void TForm3::edbtnTxtTestPathChange()
{
    edbtnTxtTestPath->setToolTip(edbtnTxtTestPath->text());
    TestFolderChanged = true;
}

void TForm3::edbtnTxtPathButtonClick()
{
    pickFolder(edbtnTxtPath);
}

void TForm3::edbtnTxtTestPathButtonClick()
{
    pickFolder(edbtnTxtTestPath);
}

void TForm3::pickFolder(QLineEdit *field)
{
    const QString chosen = m_dialogs.pickFolder(SelectDirectory, field->text());
    if (!chosen.isEmpty())
        setFolder(field, QDir::toNativeSeparators(chosen));
}

void TForm3::setFolder(QLineEdit *field, const QString &path)
{
    field->setText(path);
    field->setToolTip(path);
}

void TForm3::btnRefreshClick()
{
    if (RefreshTxtFileList)
        RefreshTxtFileList();
}

void TForm3::btnRefreshTestClick()
{
    if (RefreshTxtTestFileList)
        RefreshTxtTestFileList();
}

void TForm3::cbLoadCurrYearClick()
{
    SettingsChanged = true;
}

void TForm3::cbSendBugReportClick()
{
    syncCrashReporter();
    SettingsChanged = true;
}

void TForm3::syncCrashReporter()
{
    if (!m_reporter)
        return;
    m_reporter->setAutoSend(cbSendBugReport->isChecked());
    m_reporter->setSendButtonVisible(!m_reporter->autoSend());
}

void TForm3::applyTimeOutsFromFields()
{
    // Text still being typed counts as if the field had been left.
    for (TimeOutSpinEdit *spin : {spTimeOutProtokol, spTimeOutRead, spTimeOutWrite})
        spin->interpretText();
    m_values.timeOutProtokol = spTimeOutProtokol->value();
    m_values.timeOutRead = spTimeOutRead->value();
    m_values.timeOutWrite = spTimeOutWrite->value();
    ApplyTimeOuts(m_values, TimeOutOccasion::Apply, m_timers);
}

void TForm3::applySettings()
{
    applyTimeOutsFromFields();
    SaveSettings(true);
    // What was just saved is what the reporter does, even after a showing
    // put the stored value back into the box over a click's effect.
    syncCrashReporter();
    if (SettingsChanged) {
        SettingsChanged = false;
        if (m_dialogs.askYesNo(RefreshQuestion) && RefreshTxtFileList)
            RefreshTxtFileList();
    }
    if (TestFolderChanged) {
        TestFolderChanged = false;
        if (m_dialogs.askYesNo(RefreshTestQuestion) && RefreshTxtTestFileList)
            RefreshTxtTestFileList();
    }
}

void TForm3::btnApplyClick()
{
    applySettings();
    if (FormCloseQuery())
        done(QDialog::Accepted);
}

bool TForm3::FormCloseQuery()
{
    if ((SettingsChanged || TestFolderChanged) &&
        m_dialogs.message(Dialogs::Kind::Confirmation, SaveQuestion, Dialogs::Buttons::OkCancel) ==
            Dialogs::Answer::Ok)
        applySettings();
    return true;
}

void TForm3::reject()
{
    // Only a showing can have changes to ask about.
    if (isVisible() && !FormCloseQuery())
        return;
    QDialog::reject();
}
