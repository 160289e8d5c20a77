#pragma once

#include "settingsstore.h"
#include "timeouts.h"

#include <QDialog>
#include <QGroupBox>
#include <QList>
#include <QSpinBox>

#include <functional>

class CrashReporter;
class Dialogs;
class EngineTimer;
class OperationLog;
class QAction;
class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

// A group of radio buttons with one selected index, -1 for none.
class SettingsRadioGroup : public QGroupBox
{
public:
    SettingsRadioGroup(const QString &title, const QStringList &items, int columns,
                       QWidget *parent = nullptr);
    int itemIndex() const;
    void setItemIndex(int index);
    // Emits idClicked(index) when the technician picks an item.
    QButtonGroup *buttons() const { return m_buttons; }
    QRadioButton *item(int index) const;

private:
    QButtonGroup *m_buttons;
};

// A time-out field: 200..999, at most three digits. Text that is not a
// whole number counts as 200, a typed value is brought into range when the
// field is left.
class TimeOutSpinEdit : public QSpinBox
{
public:
    explicit TimeOutSpinEdit(QWidget *parent = nullptr);
    void fixup(QString &input) const override;
};

// What the settings dialog works with.
struct SettingsDialogServices {
    QString settingsPath; // the INI file; empty keeps the settings in memory only
    // The engine's timers, matched by name; any of the twelve may be missing.
    QList<EngineTimer *> timers;
    Dialogs &dialogs;
    OperationLog &log;
    CrashReporter *reporter = nullptr;
};

// The settings dialog. It is created at start and only hidden between
// showings: its fields hold the folders, "Show warnings" and "Load only
// files from current year" in effect, saved or not.
class TForm3 : public QDialog
{
    Q_OBJECT
public:
    explicit TForm3(const SettingsDialogServices &services, QWidget *parent = nullptr);

    void setTimers(const QList<EngineTimer *> &timers) { m_timers = timers; }
    void setCrashReporter(CrashReporter *reporter) { m_reporter = reporter; }
    // Refresh of the programming and test file lists, set by the main window.
    std::function<void()> RefreshTxtFileList;
    std::function<void()> RefreshTxtTestFileList;

    // Start-up: reads the file into the timers, the fields and the crash reporter.
    void LoadSettings();
    // Writes the nine keys of TimeSett, ReportSett and PathSett, with the
    // confirmation message when `confirm` is set. A failed write becomes a
    // log line (and an error box in place of the confirmation); the result
    // says whether the file was written.
    bool SaveSettings(bool confirm);

    // Values in effect, read at the moment of use (GUI thread only: a
    // loader thread gets them handed over when it starts).
    QString txtFilePath() const;
    QString txtTestFilePath() const;
    bool showWarnings() const;
    bool loadOnlyCurrentYear() const;
    bool verifyAfterWrite() const;

    // Set a control without running its click handler.
    static void SetCheckedSilently(QCheckBox *box, bool checked);
    static void SetItemIndexSilently(SettingsRadioGroup *group, int index);

    // Handlers, named after their controls.
    void FormShow();
    void rgSerialClick();
    void spTimeOutChange();
    void edbtnTxtPathChange();
    void edbtnTxtTestPathChange();
    void edbtnTxtPathButtonClick();
    void edbtnTxtTestPathButtonClick();
    void btnRefreshClick();
    void btnRefreshTestClick();
    void cbLoadCurrYearClick();
    void cbSendBugReportClick(); // also "Show warnings"
    void btnApplyClick();
    // The question on closing with unsaved changes; true when the dialog may close.
    bool FormCloseQuery();

    bool SettingsChanged = false;
    bool TestFolderChanged = false;

    SettingsRadioGroup *rgSerial = nullptr;
    QGroupBox *gbTimeOut = nullptr;
    TimeOutSpinEdit *spTimeOutProtokol = nullptr;
    TimeOutSpinEdit *spTimeOutRead = nullptr;
    TimeOutSpinEdit *spTimeOutWrite = nullptr;
    QGroupBox *gbOther = nullptr;
    QLineEdit *edbtnTxtPath = nullptr;
    QAction *edbtnTxtPathButton = nullptr;
    QPushButton *btnRefresh = nullptr;
    QCheckBox *cbLoadCurrYear = nullptr;
    QLineEdit *edbtnTxtTestPath = nullptr;
    QAction *edbtnTxtTestPathButton = nullptr;
    QPushButton *btnRefreshTest = nullptr;
    QCheckBox *cbSendBugReport = nullptr;
    QCheckBox *cbShowWarnings = nullptr;
    QCheckBox *cbVerifyWrite = nullptr;
    QPushButton *btnApply = nullptr;

public slots:
    // Close box and Escape.
    void reject() override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void buildWidgets();
    void applySettings();
    void applyTimeOutsFromFields();
    int timeOutInEffect(TimeOutKind kind) const;
    void pickFolder(QLineEdit *field);
    void setFolder(QLineEdit *field, const QString &path);
    void syncCrashReporter();

    QString m_settingsPath;
    QList<EngineTimer *> m_timers;
    Dialogs &m_dialogs;
    OperationLog &m_log;
    CrashReporter *m_reporter;
    // The file's values as last read; stands in for a missing timer and
    // for a port type the radio group cannot show.
    SettingsValues m_values;
};
