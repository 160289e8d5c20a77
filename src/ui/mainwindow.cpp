#include "mainwindow.h"

#include "aboutbox.h"
#include "paramsdialog.h"
#include "settingsdialog.h"
#include "settingsstore.h"
#include "buttonstate.h"
#include "dialogs.h"
#include "downloadthread.h"
#include "elapsedtime.h"
#include "filelistview.h"
#include "grids.h"
#include "logview.h"
#include "operationlog.h"
#include "platformservices.h"
#include "selfreplace.h"
#include "windowplacement.h"
#include "seriallink.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QToolTip>
#include <QVBoxLayout>

#include <climits>

namespace {

QPushButton *makeButton(QWidget *parent, const char *name, const QString &caption, bool enabled)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    button->setEnabled(enabled);
    return button;
}

} // namespace

TForm1::TForm1(const MainWindowServices &services, QWidget *parent)
    : QMainWindow(parent), TRefreshScroll(QStringLiteral("TRefreshScroll"), services.clock, 100),
      m_log(services.log), m_dialogs(services.dialogs), m_platform(services.platform),
      m_settingsPath(services.settingsPath),
      m_programFolder(services.programFolder.isEmpty() ? QCoreApplication::applicationDirPath()
                                                       : services.programFolder),
      m_scan(services.log, services.port, services.scanPort, services.clock, this),
      m_tables(services.dialogs, this),
      m_engine(services.log, services.clock, services.port, m_tables, this),
      m_memory(m_engine, services.log, services.port, m_tables, services.dialogs, services.clock,
               this),
      m_library(services.log, services.dialogs, services.platform, this)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Korvel - QBX:BUS door station programming"));

    // FormCreate.
    KeyNumberList.clear();
    buildWidgets();
    buildMenu();
    // The grids get an empty options menu: they offer no commands of their own.
    CRDBGrid1->setContextMenuPolicy(Qt::PreventContextMenu);
    CRDBGrid2->setContextMenuPolicy(Qt::PreventContextMenu);
    MyDTFmt = CreateMyDTFmt();
    ListView1->setToolTip(QStringLiteral("Dbl click to edit"));
    pgAllFiles->setCurrentIndex(0);

    // Client area 1010 x 500 at design, width 950..1050, height from 450.
    setMinimumSize(950, 450);
    setMaximumWidth(1050);
    placeAtStart();

    TRefreshScroll.setHandler([this]() {
        nudgeWidth(CRDBGrid1);
        TRefreshScroll.stop();
    });

    m_tables.setClearPhoneTblOption([this]() { return cbClearPhoneTbl->isChecked(); });
    // "Show warnings" is read from the settings dialog at the moment of use.
    m_tables.setShowWarnings([this]() { return !Form3 || Form3->showWarnings(); });
    connect(btnOption, &QPushButton::clicked, this, [this]() {
        if (Form2)
            Form2->btnOptionClick(btnOption, m_tables.tblDeviceSerials());
    });
    connect(&m_tables, &InstallationTables::currentDeviceChanged, this, [this]() {
        // A running bus operation moves the cursor too; the states it set
        // stand, so Parameters neither starts a second one nor loses its Abort.
        const bool busy = m_engine.searchRunning() || m_memory.busy() ||
                          m_engine.state().ActiveOperation != BusOperation::None;
        if (!busy)
            btnParams->setEnabled(m_tables.isCurrentDeviceMain());
        TRefreshScroll.start();
    });
    connect(&m_tables, &InstallationTables::updateBtnStateRequested, this, &TForm1::UpdateBtnState);
    connect(btnClearTbl, &QPushButton::clicked, this, [this]() {
        m_tables.clearPhoneTable();
        UpdateBtnState();
    });
    connect(btnClearData, &QPushButton::clicked, this, [this]() {
        m_tables.clearPhoneData();
        UpdateBtnState();
    });
    connect(btnSetTestData, &QPushButton::clicked, this, [this]() {
        m_tables.setTestData();
        UpdateBtnState();
    });

    if (!m_settingsPath.isEmpty()) {
        m_scan.setLastPortStore([this]() { return ::LoadLastPort(m_settingsPath); },
                                [this](int port) {
                                    QString error;
                                    if (!SaveLastPort(m_settingsPath, port, &error))
                                        m_log.append(QStringLiteral("> Error: ") + error);
                                });
    }

    m_engine.setPortTextSource([this]() { return m_scan.currentText(); });
    connect(&m_engine, &BusEngine::buttonStatesChanged, this, &TForm1::UpdateBtnState);
    connect(&m_engine, &BusEngine::searchRunningChanged, this, &TForm1::onSearchRunning);
    connect(btnFindMAIN, &QPushButton::clicked, this, [this]() { m_engine.btnFindMAINClick(); });
    reflectMemoryStatus();
    connect(btnReadSN, &QPushButton::clicked, this, &TForm1::btnReadSNClick);
    connect(btnSendSN, &QPushButton::clicked, this, &TForm1::btnSendSNClick);
    connect(btnParams, &QPushButton::clicked, this, &TForm1::btnParamsClick);

    connect(&m_scan, &InterfaceScan::portListChanged, this, &TForm1::syncPortList);
    connect(&m_scan, &InterfaceScan::buttonEnabled, this, &TForm1::onScanButton);
    connect(&m_scan, &InterfaceScan::buttonStatesChanged, this, &TForm1::UpdateBtnState);
    syncPortList();
    buildKeyPressMonitor();
    wireFileLibrary();
}

void TForm1::wireFileLibrary()
{
    // The folders and options in effect live in the settings dialog.
    m_library.programmingFolder = [this]() { return Form3 ? Form3->txtFilePath() : QString(); };
    m_library.testFolder = [this]() { return Form3 ? Form3->txtTestFilePath() : QString(); };
    m_library.loadOnlyCurrentYear = [this]() { return Form3 && Form3->loadOnlyCurrentYear(); };
    m_library.showWarnings = [this]() { return !Form3 || Form3->showWarnings(); };

    connect(&m_library, &FileLibrary::progressMaximum, PB, &QProgressBar::setMaximum);
    connect(&m_library, &FileLibrary::progressAdvanced, this, [this](int steps) {
        if (steps == 1)
            StepProgress(PB);
        else
            PB->setValue(PB->value() + steps);
    });
    connect(&m_library, &FileLibrary::progressReset, this, [this]() { PB->setValue(0); });
    connect(&m_library, &FileLibrary::elapsedStarted, TimeElapsed, &ElapsedTimeDisplay::Start);
    connect(&m_library, &FileLibrary::elapsedStopped, this, [this]() {
        TimeElapsed->Stop();
        TimeElapsed->Reset();
    });
    connect(&m_library, &FileLibrary::buttonStatesNeeded, this, &TForm1::UpdateBtnState);
    connect(&m_library, &FileLibrary::runningChanged, this,
            [this](FileListKind kind, bool running, quint64 threadId) {
                if (kind == FileListKind::Programming) {
                    LoadFilesRunning = running;
                    LoadFilesThreadId = threadId;
                } else {
                    LoadTestFilesRunning = running;
                    LoadTestFilesThreadId = threadId;
                }
            });
    connect(&m_library, &FileLibrary::loadEnded, this, [this](FileListKind kind) {
        if (kind == FileListKind::Programming)
            LoadFilesEnded();
        else
            LoadTestFilesEnded();
    });

    connect(pgAllFiles, &QTabWidget::currentChanged, this, [this](int index) {
        m_library.setActiveList(index == 1 ? FileListKind::Test : FileListKind::Programming);
    });
    for (FileListView *view : {ListView1, ListView2}) {
        connect(view, &FileListView::entryClicked, this,
                [this](int row) { m_library.listClicked(row); });
        connect(view, &FileListView::entryDoubleClicked, this,
                [this]() { m_library.btnEditTXTClick(); });
        connect(view, &FileListView::deletePressed, this,
                [this]() { m_library.btnDeleteTXTClick(); });
    }
    connect(btnNewTXT, &QPushButton::clicked, this, [this]() { m_library.btnNewTXTClick(); });
    connect(btnEditTXT, &QPushButton::clicked, this, [this]() { m_library.btnEditTXTClick(); });
    connect(btnRenameTXT, &QPushButton::clicked, this, [this]() { m_library.btnRenameTXTClick(); });
    connect(btnDeleteTXT, &QPushButton::clicked, this, [this]() { m_library.btnDeleteTXTClick(); });
    connect(btnImport, &QPushButton::clicked, this, &TForm1::btnImportClick);
    connect(btnExport, &QPushButton::clicked, this, &TForm1::btnExportClick);

    // The search box: Enter or its search button runs one search step.
    QAction *search = SearchBox1->addAction(
        style()->standardIcon(QStyle::SP_FileDialogContentsView), QLineEdit::TrailingPosition);
    search->setToolTip(QStringLiteral("Search"));
    auto invoke = [this]() { m_library.SearchBox1InvokeSearch(SearchBox1->text()); };
    connect(SearchBox1, &QLineEdit::returnPressed, this, invoke);
    connect(search, &QAction::triggered, this, invoke);
    auto *digitsOnly =
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), SearchBox1);
    connect(cbSearchField, qOverload<int>(&QComboBox::activated), this, [this, digitsOnly](int i) {
        const SearchField field = SearchField(qBound(0, i, 2));
        m_library.cbSearchFieldSelect(field);
        QToolTip::hideText();
        SearchBox1->setToolTip(field == SearchField::DateTime ? DateSearchHint() : QString());
        if (field == SearchField::PhoneSN) {
            SearchBox1->setValidator(digitsOnly);
            // Text typed for another field may not fit the digits-only rule.
            if (!SearchBox1->hasAcceptableInput())
                SearchBox1->clear();
        } else {
            SearchBox1->setValidator(nullptr);
        }
    });
}

void TForm1::btnImportClick()
{
    m_library.btnImportClick(m_tables);
}

void TForm1::btnExportClick()
{
    m_library.btnExportClick(m_tables.tblPhoneSerials());
}

TForm1::~TForm1()
{
    // The grids' models read the tables, which are gone by the time QWidget
    // hides the children: hide them while the tables are still there.
    hide();
}

void TForm1::buildWidgets()
{
    auto *central = new QWidget(this);
    setCentralWidget(central);
    auto *outer = new QVBoxLayout(central);
    outer->setContentsMargins(4, 4, 4, 0);

    auto *top = new QHBoxLayout;
    outer->addLayout(top, 2);

    // Door stations: port, scan, search, the device grid.
    auto *devices = new QGroupBox(QStringLiteral("Devices"), central);
    auto *devLayout = new QVBoxLayout(devices);
    auto *portRow = new QHBoxLayout;
    portRow->addWidget(new QLabel(QStringLiteral("COM:"), devices));
    cbPort = new PortComboBox(devices);
    cbPort->setObjectName(QStringLiteral("cbPort"));
    cbPort->setEditable(false);
    cbPort->setMinimumWidth(80);
    portRow->addWidget(cbPort);
    btnScanPort = makeButton(devices, "btnScanPort", QStringLiteral("Scan Port"), true);
    btnFindMAIN = makeButton(devices, "btnFindMAIN", QStringLiteral("Find devices"), false);
    portRow->addWidget(btnScanPort);
    portRow->addWidget(btnFindMAIN);
    portRow->addStretch();
    devLayout->addLayout(portRow);
    CRDBGrid2 = new DeviceGrid(m_tables, m_dialogs, devices);
    CRDBGrid2->setObjectName(QStringLiteral("CRDBGrid2"));
    devLayout->addWidget(CRDBGrid2);
    auto *devButtons = new QHBoxLayout;
    btnParams = makeButton(devices, "btnParams", QStringLiteral("Parameters"), false);
    btnOption = makeButton(devices, "btnOption", QStringLiteral("+"), false);
    btnOption->setMaximumWidth(30);
    cbClearPhoneTbl = new QCheckBox(QStringLiteral("on find device clear table"), devices);
    cbClearPhoneTbl->setObjectName(QStringLiteral("cbClearPhoneTbl"));
    cbClearPhoneTbl->setToolTip(QStringLiteral("usefull when you have multiple entrances"));
    cbClearPhoneTbl->setChecked(true);
    devButtons->addWidget(btnParams);
    devButtons->addWidget(btnOption);
    devButtons->addStretch();
    devLayout->addLayout(devButtons);
    devLayout->addWidget(cbClearPhoneTbl);
    top->addWidget(devices, 6);

    // Phone serials of every call button.
    auto *phones = new QGroupBox(QStringLiteral("Phone serials"), central);
    auto *phoneLayout = new QVBoxLayout(phones);
    CRDBGrid1 = new PhoneGrid(m_tables, m_dialogs, phones);
    CRDBGrid1->setObjectName(QStringLiteral("CRDBGrid1"));
    phoneLayout->addWidget(CRDBGrid1);
    auto *phoneButtons1 = new QHBoxLayout;
    btnReadSN = makeButton(phones, "btnReadSN", QStringLiteral("Read serials"), false);
    btnSendSN = makeButton(phones, "btnSendSN", QStringLiteral("Send serials"), false);
    phoneButtons1->addWidget(btnReadSN);
    phoneButtons1->addWidget(btnSendSN);
    phoneLayout->addLayout(phoneButtons1);
    auto *phoneButtons2 = new QHBoxLayout;
    btnClearTbl = makeButton(phones, "btnClearTbl", QStringLiteral("Clr table"), true);
    btnClearData = makeButton(phones, "btnClearData", QStringLiteral("Clr data"), true);
    btnSetTestData = makeButton(phones, "btnSetTestData", QStringLiteral("Set test data"), true);
    btnSetTestData->setToolTip(QStringLiteral("Click twice to populate SN2 column!"));
    phoneButtons2->addWidget(btnClearTbl);
    phoneButtons2->addWidget(btnClearData);
    phoneButtons2->addWidget(btnSetTestData);
    phoneLayout->addLayout(phoneButtons2);
    top->addWidget(phones, 4);

    // Import and export between the phone table and the file library.
    auto *transfer = new QVBoxLayout;
    transfer->addStretch();
    btnImport = makeButton(central, "btnImport", QStringLiteral("<= Import"), false);
    btnExport = makeButton(central, "btnExport", QStringLiteral("Export =>"), false);
    transfer->addWidget(btnImport);
    transfer->addWidget(btnExport);
    transfer->addStretch();
    top->addLayout(transfer);

    // The file library.
    auto *files = new QWidget(central);
    auto *fileLayout = new QVBoxLayout(files);
    fileLayout->setContentsMargins(0, 0, 0, 0);
    SearchBox1 = new QLineEdit(files);
    SearchBox1->setObjectName(QStringLiteral("SearchBox1"));
    SearchBox1->setPlaceholderText(QStringLiteral("Search"));
    SearchBox1->setClearButtonEnabled(true);
    auto *searchRow = new QHBoxLayout;
    searchRow->addWidget(SearchBox1, 1);
    searchRow->addWidget(new QLabel(QStringLiteral("by field:"), files));
    cbSearchField = new QComboBox(files);
    cbSearchField->setObjectName(QStringLiteral("cbSearchField"));
    cbSearchField->addItems(SearchFieldCaptions());
    cbSearchField->setCurrentIndex(0);
    searchRow->addWidget(cbSearchField);
    fileLayout->addLayout(searchRow);
    pgAllFiles = new QTabWidget(files);
    pgAllFiles->setObjectName(QStringLiteral("pgAllFiles"));
    ListView1 = new FileListView(m_library.list(FileListKind::Programming), pgAllFiles);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView2 = new FileListView(m_library.list(FileListKind::Test), pgAllFiles);
    ListView2->setObjectName(QStringLiteral("ListView2"));
    ListView2->setToolTip(QStringLiteral("Dbl click to open"));
    pgAllFiles->addTab(ListView1, QStringLiteral("Files for programming"));
    pgAllFiles->addTab(ListView2, QStringLiteral("Files for testing"));
    fileLayout->addWidget(pgAllFiles);
    auto *fileButtons = new QHBoxLayout;
    btnNewTXT = makeButton(files, "btnNewTXT", QStringLiteral("New"), true);
    btnEditTXT = makeButton(files, "btnEditTXT", QStringLiteral("Edit"), false);
    btnRenameTXT = makeButton(files, "btnRenameTXT", QStringLiteral("Rename"), false);
    btnDeleteTXT = makeButton(files, "btnDeleteTXT", QStringLiteral("Delete"), false);
    fileButtons->addWidget(btnNewTXT);
    fileButtons->addWidget(btnEditTXT);
    fileButtons->addWidget(btnRenameTXT);
    fileButtons->addWidget(btnDeleteTXT);
    fileLayout->addLayout(fileButtons);
    // The grids need the room; the file list keeps a narrow column.
    files->setMaximumWidth(340);
    top->addWidget(files, 3);

    Memo1 = new LogView(central);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->attach(m_log);
    outer->addWidget(Memo1, 1);

    // Status bar: "Completed:", the progress bar, the elapsed time.
    SB = new QStatusBar(this);
    SB->setObjectName(QStringLiteral("SB"));
    SB->setSizeGripEnabled(false);
    setStatusBar(SB);
    sbCompleted = new QLabel(QStringLiteral("Completed:"), SB);
    sbCompleted->setFixedWidth(65);
    PB = new QProgressBar(SB);
    PB->setObjectName(QStringLiteral("PB"));
    PB->setTextVisible(false);
    PB->setFixedWidth(880);
    TimeElapsed = new ElapsedTimeDisplay(SB);
    TimeElapsed->setObjectName(QStringLiteral("TimeElapsed"));
    TimeElapsed->setFixedWidth(50);
    // The panels keep their classic widths; a smaller font keeps the texts whole.
    QFont panelFont = SB->font();
    panelFont.setPointSizeF(panelFont.pointSizeF() * 0.8);
    sbCompleted->setFont(panelFont);
    TimeElapsed->setFont(panelFont);
    SB->addWidget(sbCompleted);
    SB->addWidget(PB);
    SB->addWidget(TimeElapsed);

    connect(cbPort, &PortComboBox::droppingDown, this, [this]() { m_scan.cbPortDropDown(); });
    connect(cbPort, qOverload<int>(&QComboBox::activated), this, [this](int index) {
        m_scan.cbPortSelect(index);
        // The Ready part of the button rule follows the shown entry.
        UpdateBtnState();
    });
    connect(btnScanPort, &QPushButton::clicked, this, [this]() { m_scan.btnScanPortClick(); });
}

void TForm1::buildMenu()
{
    QMenu *functions = menuBar()->addMenu(QStringLiteral("Functions"));
    auto add = [functions](const char *name, const QString &caption) {
        QAction *action = functions->addAction(caption);
        action->setObjectName(QLatin1String(name));
        return action;
    };
    Settings1 = add("Settings1", QStringLiteral("Settings"));
    Checkfornewversion1 = add("Checkfornewversion1", QStringLiteral("Check for new version"));
    Refreshfilelist1 = add("Refreshfilelist1", QStringLiteral("Refresh file list"));
    Refreshtestfilelist1 = add("Refreshtestfilelist1", QStringLiteral("Refresh test file list"));
    Showscrollbar1 = add("Showscrollbar1", QStringLiteral("Show scrollbar"));
    functions->addSeparator();
    Exit1 = add("Exit1", QStringLiteral("Exit"));
    About1 = menuBar()->addAction(QStringLiteral("About"));
    About1->setObjectName(QStringLiteral("About1"));

    connect(Settings1, &QAction::triggered, this, [this]() {
        if (Form3)
            Form3->exec();
    });
    connect(Checkfornewversion1, &QAction::triggered, this, &TForm1::Checkfornewversion1Click);
    connect(Refreshfilelist1, &QAction::triggered, this, &TForm1::RefreshTxtFileList);
    connect(Refreshtestfilelist1, &QAction::triggered, this, &TForm1::RefreshTxtTestFileList);
    connect(Showscrollbar1, &QAction::triggered, this, [this]() {
        nudgeWidth(CRDBGrid1);
        nudgeWidth(CRDBGrid2);
    });
    connect(Exit1, &QAction::triggered, this, &QWidget::close);
    connect(About1, &QAction::triggered, this, [this]() {
        if (Form4)
            Form4->exec();
    });
}

void TForm1::nudgeWidth(QWidget *widget)
{
    // One pixel wider and back makes the grid lay out its scroll bar anew.
    widget->resize(widget->width() + 1, widget->height());
    widget->resize(widget->width() - 1, widget->height());
}

void TForm1::syncPortList()
{
    const QSignalBlocker blocker(cbPort);
    if (cbPort->count() != m_scan.entries().size() || [this]() {
            for (int i = 0; i < cbPort->count(); ++i) {
                if (cbPort->itemText(i) != m_scan.entries().at(i))
                    return true;
            }
            return false;
        }()) {
        cbPort->clear();
        cbPort->addItems(m_scan.entries());
    }
    cbPort->setCurrentIndex(m_scan.currentIndex());
}

void TForm1::onScanButton(InterfaceScan::Button button, bool enabled)
{
    // A running memory operation keeps them off; its end sets them again.
    if (m_memory.busy())
        return;
    switch (button) {
    case InterfaceScan::Button::ScanPort:
        btnScanPort->setEnabled(enabled);
        break;
    case InterfaceScan::Button::FindDevices:
        btnFindMAIN->setEnabled(enabled);
        break;
    case InterfaceScan::Button::SendSerials:
        btnSendSN->setEnabled(enabled);
        break;
    }
}

QList<EngineTimer *> TForm1::engineTimers()
{
    QList<EngineTimer *> timers = m_engine.timers();
    timers.append(&m_scan.closePortTimer());
    return timers;
}

void TForm1::onSearchRunning(bool running)
{
    // Another bus operation must not start under a running search.
    btnFindMAIN->setEnabled(!running);
    btnScanPort->setEnabled(!running);
    UpdateBtnState();
}

void TForm1::btnReadSNClick()
{
    m_memory.btnReadSNClick();
}

void TForm1::btnSendSNClick()
{
    m_memory.btnSendSNClick();
}

void TForm1::btnParamsClick()
{
    m_memory.btnParamsClick();
}

QPushButton *TForm1::operationButton(BusOperation operation) const
{
    switch (operation) {
    case BusOperation::ReadSerials:
        return btnReadSN;
    case BusOperation::SendSerials:
        return btnSendSN;
    case BusOperation::ReadParams:
        return btnParams;
    default:
        return nullptr;
    }
}

void TForm1::reflectMemoryStatus()
{
    // The engine keeps captions, progress and elapsed time; the window shows them.
    OperationStatus &status = m_memory.status();
    connect(&status, &OperationStatus::captionChanged, this,
            [this](BusOperation operation, const QString &caption) {
                if (QPushButton *button = operationButton(operation))
                    button->setText(caption);
            });
    connect(&status, &OperationStatus::progressChanged, this, [this](int position, int maximum) {
        PB->setMaximum(qMax(1, maximum));
        PB->setValue(qBound(0, position, PB->maximum()));
    });
    connect(&status, &OperationStatus::elapsedChanged, this, [this](OperationStatus::Elapsed action) {
        switch (action) {
        case OperationStatus::Elapsed::Reset:
            TimeElapsed->Reset();
            break;
        case OperationStatus::Elapsed::Start:
            TimeElapsed->Start();
            break;
        case OperationStatus::Elapsed::Stop:
            TimeElapsed->Stop();
            break;
        }
    });
    connect(&m_memory, &MemoryAccess::buttonStatesChanged, this, &TForm1::UpdateBtnState);
}

void TForm1::UpdateBtnState()
{
    ButtonInputs in;
    in.deviceRows = m_tables.tblDeviceSerials().recordCount();
    in.portText = m_scan.currentText();
    in.currentDeviceIsMain = m_tables.isCurrentDeviceMain();
    in.phoneRows = m_tables.tblPhoneSerials().recordCount();
    in.programmingFiles = ListView1->count();
    in.testFiles = ListView2->count();
    ButtonStates s = ComputeButtonStates(in);
    if (m_engine.searchRunning())
        s.readSN = s.sendSN = s.params = s.option = false;
    // While a memory operation runs only its Abort can be pressed.
    const bool memoryBusy = m_memory.busy();
    if (memoryBusy) {
        const OperationStatus &status = m_memory.status();
        s.readSN = status.showsAbort(BusOperation::ReadSerials);
        s.sendSN = status.showsAbort(BusOperation::SendSerials);
        s.params = status.showsAbort(BusOperation::ReadParams);
        s.option = false;
    }
    if (memoryBusy != m_memoryBusyShown) {
        m_memoryBusyShown = memoryBusy;
        btnFindMAIN->setEnabled(!memoryBusy && !m_engine.searchRunning());
        btnScanPort->setEnabled(!memoryBusy && !m_engine.searchRunning());
    }
    btnReadSN->setEnabled(s.readSN);
    btnImport->setEnabled(s.import);
    btnParams->setEnabled(s.params);
    btnOption->setEnabled(s.option);
    btnSendSN->setEnabled(s.sendSN);
    btnExport->setEnabled(s.exportList);
    btnEditTXT->setEnabled(s.editTXT);
    btnRenameTXT->setEnabled(s.renameTXT);
    btnDeleteTXT->setEnabled(s.deleteTXT);
}

void TForm1::StepProgress(QProgressBar *bar)
{
    // Three moves make the bar repaint at once instead of animating.
    bar->setValue(bar->value() + 1);
    bar->setValue(bar->value() - 1);
    bar->setValue(bar->value() + 1);
}

void TForm1::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        // Now the window manager's real frame is known, not only estimated.
        placeAtStart();
        FormShow();
    }
}

void TForm1::setDialogs(TForm3 *settings, TForm2 *params, TForm4 *about)
{
    Form3 = settings;
    Form2 = params;
    Form4 = about;
    if (Form2) {
        Form2->setStartParamWrite([this]() { m_memory.startParamWrite(); });
        m_memory.setParamsDialog([this]() { return Form2 && Form2->FillParamsDialog(); },
                                 [this]() {
                                     if (Form2)
                                         Form2->exec();
                                 });
    }
    m_memory.setVerifyAfterWrite([this]() { return Form3 && Form3->verifyAfterWrite(); });
    if (Form3) {
        Form3->setTimers(engineTimers());
        Form3->RefreshTxtFileList = [this]() { RefreshTxtFileList(); };
        Form3->RefreshTxtTestFileList = [this]() { RefreshTxtTestFileList(); };
    }
}

void TForm1::FormShow()
{
    if (Form3)
        Form3->LoadSettings();
    const QString speed = TimingModeLine(m_engine.TSearchArvo.interval());
    if (!speed.isEmpty())
        m_log.append(speed);
    m_scan.cbPortDropDown();
    RefreshTxtFileList();
}

void TForm1::RefreshTxtFileList()
{
    m_library.refresh(FileListKind::Programming);
}

void TForm1::RefreshTxtTestFileList()
{
    m_library.refresh(FileListKind::Test);
}

void TForm1::Checkfornewversion1Click()
{
    if (DownloadRunning)
        return;
    DownloadRunning = true;
    NewVersionLaunched = false;
    // A left-over of an earlier check.
    DeleteIfExists(DownloadedFilePath(m_programFolder));
    TimeElapsed->Start();
    auto *thread = new TMyDownloadThread(
        CurrentUpdateSettings(m_settingsPath, m_programFolder), m_platform, this,
        [this](const QString &line) { m_log.append(line); },
        [this](qint64 max) { PB->setMaximum(int(qMin(max, qint64(INT_MAX)))); },
        [this](qint64 position) { PB->setValue(int(qMin(position, qint64(INT_MAX)))); });
    connect(thread, &QThread::finished, this, [this, thread]() {
        thread->wait();
        NewVersionLaunched = thread->newVersionLaunched();
        thread->deleteLater();
        ReportDownloadThreadTerminated();
    });
    MyDownloadThread = thread;
    thread->startWithId();
    DownloadThreadId = thread->osThreadId();
}

void TForm1::LoadFilesEnded()
{
    if (StartupChain)
        RefreshTxtTestFileList();
    else
        UpdateBtnState();
}

void TForm1::LoadTestFilesEnded()
{
    UpdateBtnState();
    if (StartupChain)
        Checkfornewversion1Click();
}

void TForm1::ReportDownloadThreadTerminated()
{
    m_log.append(QStringLiteral("> Download completed. [th%1]").arg(DownloadThreadId));
    DownloadRunning = false;
    TimeElapsed->Stop();
    TimeElapsed->Reset();
    if (!StartupChain)
        return;
    StartupChain = false;
    if (NewVersionLaunched)
        close();
    else if (m_scan.currentText() != InterfaceScan::Offline)
        m_scan.btnScanPortClick();
}

bool TForm1::FormClose()
{
    auto refuse = [this](quint64 threadId) {
        m_log.append(QStringLiteral("> Operation running! [th%1]").arg(threadId));
        return false;
    };
    if (LoadFilesRunning)
        return refuse(LoadFilesThreadId);
    if (LoadTestFilesRunning)
        return refuse(LoadTestFilesThreadId);
    if (DownloadRunning)
        return refuse(DownloadThreadId);
    // The first exit writes the settings file with the values in effect.
    if (Form3 && !m_settingsPath.isEmpty() && !QFileInfo::exists(m_settingsPath))
        Form3->SaveSettings(false);
    KeyNumberList.clear();
    return true;
}

void TForm1::closeEvent(QCloseEvent *event)
{
    if (FormClose())
        event->accept();
    else
        event->ignore();
}

void TForm1::FormResize()
{
    PB->setFixedWidth(qMax(0, SB->width() - 130));
}

void TForm1::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    FormResize();
}

void TForm1::sizeMove()
{
    if (!isMaximized())
        return;
    const WindowPlacement place = MaximizedPlacement(workArea(), currentFrameMargins(), width(),
                                                     minimumSize(), maximumSize());
    resize(place.client);
    move(place.framePos);
}

QRect TForm1::workArea() const
{
    QScreen *screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
}

QMargins TForm1::currentFrameMargins() const
{
    const QRect frame = frameGeometry();
    const QRect client = geometry();
    if (frame != client) {
        return QMargins(client.left() - frame.left(), client.top() - frame.top(),
                        frame.right() - client.right(), frame.bottom() - client.bottom());
    }
    // Not decorated yet: a title bar and borders as the style draws them.
    const int border = style()->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth, nullptr, this);
    const int title = style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this);
    return QMargins(border, title + border, border, border);
}

void TForm1::placeAtStart()
{
    // Client area 1010 x 500 at design, below the menu bar. move() places
    // the frame; the title bar must stay on the screen.
    const WindowPlacement place = StartPlacement(workArea(), currentFrameMargins(),
                                                 QSize(1010, 500 + menuBar()->sizeHint().height()),
                                                 minimumSize(), maximumSize());
    resize(place.client);
    move(place.framePos);
}

void TForm1::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        QTimer::singleShot(0, this, &TForm1::sizeMove);
}

// --- Key-press monitor ---

void TForm1::buildKeyPressMonitor()
{
    // Under the phone grid's buttons: the grid is what follows the presses.
    QWidget *phones = CRDBGrid1->parentWidget();
    cbDebugMode = new QCheckBox(QStringLiteral("Detect double key press"), phones);
    cbDebugMode->setObjectName(QStringLiteral("cbDebugMode"));
    if (auto *phoneLayout = qobject_cast<QBoxLayout *>(phones->layout()))
        phoneLayout->addWidget(cbDebugMode);
    // Any switch-off counts, by the technician or by code.
    connect(cbDebugMode, &QCheckBox::toggled, this, &TForm1::cbDebugModeClick);

    m_keyPressMonitor.setDetectDoubleKeyPress([this]() { return cbDebugMode->isChecked(); });
    // Read at the moment of use, like the tables do.
    m_keyPressMonitor.setShowWarnings([this]() { return !Form3 || Form3->showWarnings(); });
    m_engine.setTelegramHandler(
        [this](int, const QString &payload) { m_keyPressMonitor.handleTelegram(payload); });
}

void TForm1::cbDebugModeClick()
{
    // Every period with the box on starts with an empty list.
    if (!cbDebugMode->isChecked())
        KeyNumberList.clear();
}

// --- end of key-press monitor ---
