#pragma once

#include "busengine.h"
#include "engineclock.h"
#include "filelibrary.h"
#include "installationtables.h"
#include "interfacescan.h"
#include "keynumberlist.h"
#include "memoryaccess.h"
#include "keypressmonitor.h"

#include <QComboBox>
#include <QMainWindow>
#include <QPointer>

class Dialogs;
class ElapsedTimeDisplay;
class LogView;
class OperationLog;
class PlatformServices;
class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QStatusBar;
class QTabWidget;
class DeviceGrid;
class PhoneGrid;
class FileListView;
class SerialLink;
class TForm2;
class TForm3;
class TForm4;
class TMyDownloadThread;

// What the main window works with; the program passes the real ones, tests
// pass fakes.
struct MainWindowServices {
    OperationLog &log;
    EngineClock &clock;
    SerialLink &port;      // all bus traffic
    SerialLink &scanPort;  // the interface search only
    Dialogs &dialogs;
    PlatformServices &platform;
    QString settingsPath = QString();  // the INI file; empty keeps settings in memory only
    QString programFolder = QString(); // where updates go; empty: the executable's folder
};

// The port list as a drop-down: it is filled when it is dropped down.
class PortComboBox : public QComboBox
{
    Q_OBJECT
public:
    using QComboBox::QComboBox;
    void showPopup() override
    {
        emit droppingDown();
        QComboBox::showPopup();
    }
signals:
    void droppingDown();
};

class TForm1 : public QMainWindow
{
    Q_OBJECT
public:
    explicit TForm1(const MainWindowServices &services, QWidget *parent = nullptr);
    ~TForm1() override;

    // The dialogs created after the window, in the order of program start.
    void setDialogs(TForm3 *settings, TForm2 *params, TForm4 *about);

    // Start-up chain and its end handlers.
    void FormShow();
    void LoadFilesEnded();
    void LoadTestFilesEnded();
    void ReportDownloadThreadTerminated();
    void RefreshTxtFileList();
    void RefreshTxtTestFileList();
    void Checkfornewversion1Click();

    // Read serials, Send serials, Parameters: start, or abort while "Abort".
    void btnReadSNClick();
    void btnSendSNClick();
    void btnParamsClick();
    // The file library and the phone table's import and export.
    FileLibrary &fileLibrary() { return m_library; }
    void btnImportClick();
    void btnExportClick();

    void UpdateBtnState();
    void FormResize();
    void sizeMove();
    static void StepProgress(QProgressBar *bar);

    InterfaceScan &scan() { return m_scan; }
    InstallationTables &tables() { return m_tables; }
    OperationLog &log() { return m_log; }
    BusEngine &engine() { return m_engine; }
    MemoryAccess &memory() { return m_memory; }
    // Every engine timer, for the time-outs of the settings.
    QList<EngineTimer *> engineTimers();

    // Main-window state.
    bool StartupChain = true;
    bool LoadFilesRunning = false;
    bool LoadTestFilesRunning = false;
    bool DownloadRunning = false;
    bool NewVersionLaunched = false;
    quint64 LoadFilesThreadId = 0;
    quint64 LoadTestFilesThreadId = 0;
    quint64 DownloadThreadId = 0;
    QPointer<TMyDownloadThread> MyDownloadThread;
    SortedStringList KeyNumberList;
    DateTimeFormat MyDTFmt;

    // Widgets, named as the handlers refer to them.
    LogView *Memo1 = nullptr;
    QStatusBar *SB = nullptr;
    QLabel *sbCompleted = nullptr;
    QProgressBar *PB = nullptr;
    ElapsedTimeDisplay *TimeElapsed = nullptr;
    PortComboBox *cbPort = nullptr;
    QPushButton *btnScanPort = nullptr;
    QPushButton *btnFindMAIN = nullptr;
    QPushButton *btnReadSN = nullptr;
    QPushButton *btnSendSN = nullptr;
    QPushButton *btnParams = nullptr;
    QPushButton *btnOption = nullptr;
    QPushButton *btnImport = nullptr;
    QPushButton *btnExport = nullptr;
    QPushButton *btnNewTXT = nullptr;
    QPushButton *btnEditTXT = nullptr;
    QPushButton *btnRenameTXT = nullptr;
    QPushButton *btnDeleteTXT = nullptr;
    QPushButton *btnClearTbl = nullptr;
    QPushButton *btnClearData = nullptr;
    QPushButton *btnSetTestData = nullptr;
    QCheckBox *cbClearPhoneTbl = nullptr;
    PhoneGrid *CRDBGrid1 = nullptr;   // phone grid
    DeviceGrid *CRDBGrid2 = nullptr;  // device grid
    QTabWidget *pgAllFiles = nullptr;
    FileListView *ListView1 = nullptr;
    FileListView *ListView2 = nullptr;
    QLineEdit *SearchBox1 = nullptr;
    QComboBox *cbSearchField = nullptr;
    QAction *Settings1 = nullptr;
    QAction *Checkfornewversion1 = nullptr;
    QAction *Refreshfilelist1 = nullptr;
    QAction *Refreshtestfilelist1 = nullptr;
    QAction *Showscrollbar1 = nullptr;
    QAction *Exit1 = nullptr;
    QAction *About1 = nullptr;
    EngineTimer TRefreshScroll;

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void placeAtStart();
    QRect workArea() const;
    QMargins currentFrameMargins() const;
    void buildWidgets();
    void buildMenu();
    void syncPortList();
    void onScanButton(InterfaceScan::Button button, bool enabled);
    void onSearchRunning(bool running);
    void reflectMemoryStatus();
    QPushButton *operationButton(BusOperation operation) const;
    void nudgeWidth(QWidget *widget);
    bool FormClose();
    void wireFileLibrary();

    OperationLog &m_log;
    Dialogs &m_dialogs;
    PlatformServices &m_platform;
    QString m_settingsPath;
    QString m_programFolder;
    InterfaceScan m_scan;
    InstallationTables m_tables;
    BusEngine m_engine;
    MemoryAccess m_memory;
    // The search buttons as last set while no memory operation ran.
    bool m_memoryBusyShown = false;
    FileLibrary m_library;
    TForm2 *Form2 = nullptr;
    TForm3 *Form3 = nullptr;
    TForm4 *Form4 = nullptr;
    bool m_shown = false;

    // --- Key-press monitor ---
public:
    // "Detect double key press".
    QCheckBox *cbDebugMode = nullptr;
    // Switched off, the box forgets the serials pressed so far.
    void cbDebugModeClick();
    KeyPressMonitor &keyPressMonitor() { return m_keyPressMonitor; }

private:
    void buildKeyPressMonitor();
    KeyPressMonitor m_keyPressMonitor{m_log, m_dialogs, m_tables.tblPhoneSerials(), KeyNumberList};
    // --- end of key-press monitor ---
};
