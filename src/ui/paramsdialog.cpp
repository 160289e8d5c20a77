#include "paramsdialog.h"

#include "devicetable.h"
#include "dialogs.h"
#include "paramblock.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCursor>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>

namespace
{

QComboBox *dropDownList(const QStringList &entries, QWidget *parent)
{
    auto *box = new QComboBox(parent);
    box->setEditable(false); // only its entries can be chosen
    box->addItems(entries);
    return box;
}

QStringList numbers(int from, int to)
{
    QStringList out;
    for (int i = from; i <= to; ++i)
        out.append(QString::number(i));
    return out;
}

} // namespace

TForm2::TForm2(Dialogs &dialogs, QString &paramImage, bool &initMemoryMode, QWidget *parent)
    : QDialog(parent), m_dialogs(dialogs), ParamImage(paramImage), InitMemoryMode(initMemoryMode)
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Parameters"));
    // Fixed size, close box only.
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                   Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    gbSettings = new QGroupBox(QStringLiteral("Settings"), this);
    cbASAddress = dropDownList(numbers(0, 63), gbSettings);
    cbASAddress->setObjectName(QStringLiteral("cbASAddress"));
    chkASFix = new QCheckBox(QStringLiteral("Fixed AS Address"), gbSettings);
    chkASFix->setObjectName(QStringLiteral("chkASFix"));
    cbRTime = dropDownList(numbers(0, 7), gbSettings);
    cbRTime->setObjectName(QStringLiteral("cbRTime"));
    cbDevAudioTime = dropDownList(
        {QStringLiteral("0"), QStringLiteral("0,5"), QStringLiteral("1"), QStringLiteral("1,5"),
         QStringLiteral("2"), QStringLiteral("2,5"), QStringLiteral("3"), QStringLiteral("3,5"),
         QStringLiteral("4"), QStringLiteral("4,5"), QStringLiteral("5"), QStringLiteral("5,5"),
         QStringLiteral("6"), QStringLiteral("6,5"), QStringLiteral("7"), QStringLiteral("7,5")},
        gbSettings);
    cbDevAudioTime->setObjectName(QStringLiteral("cbDevAudioTime"));
    chkUseAsLight = new QCheckBox(QStringLiteral("Use door opener protocol as Light"), gbSettings);
    chkUseAsLight->setObjectName(QStringLiteral("chkUseAsLight"));

    auto *grid = new QGridLayout(gbSettings);
    auto addLabelled = [&](int row, const QString &text, QComboBox *box) {
        auto *label = new QLabel(text, gbSettings);
        label->setBuddy(box);
        grid->addWidget(label, row, 0);
        grid->addWidget(box, row, 1);
    };
    addLabelled(0, QStringLiteral("AS Address:"), cbASAddress);
    grid->addWidget(chkASFix, 1, 1);
    addLabelled(2, QStringLiteral("R Contact time (s):"), cbRTime);
    addLabelled(3, QStringLiteral("Indoor device time (s):"), cbDevAudioTime);
    grid->addWidget(chkUseAsLight, 4, 0, 1, 2);

    btnSendParams = new QPushButton(QStringLiteral("Send parameters"), this);
    btnSendParams->setObjectName(QStringLiteral("btnSendParams"));
    btnSendParams->setDefault(true);
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setAutoDefault(false);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnSendParams);
    buttons->addWidget(btnCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(gbSettings);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    // The Escape key and the close box reject as "Cancel" does.
    connect(btnSendParams, &QPushButton::clicked, this, &TForm2::btnSendParamsClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    InitMenu = new QMenu(this);
    InitMenu->setObjectName(QStringLiteral("InitMenu"));
    InitParams1 = InitMenu->addAction(QStringLiteral("Init memory"));
    InitParams1->setObjectName(QStringLiteral("InitParams1"));
    connect(InitParams1, &QAction::triggered, this, &TForm2::InitParams1Click);
}

bool TForm2::FillParamsDialog()
{
    const std::optional<ParamSettings> s = ReadParamSettings(ParamImage);
    if (!s) {
        m_dialogs.error(QStringLiteral("Parameter block [") + ParamImage +
                        QStringLiteral("] is not valid!"));
        return false;
    }
    cbASAddress->setCurrentIndex(s->asAddress);
    chkASFix->setChecked(s->asFixed);
    // A time the list does not offer shows no selection; sending then waits
    // for the technician to choose one.
    cbRTime->setCurrentIndex(s->rContactTime < cbRTime->count() ? s->rContactTime : -1);
    cbDevAudioTime->setCurrentIndex(s->indoorDeviceTime);
    chkUseAsLight->setChecked(s->useAsLight);
    return true;
}

QString TForm2::CreateParamsStr() const
{
    if (cbASAddress->currentIndex() < 0 || cbRTime->currentIndex() < 0 ||
        cbDevAudioTime->currentIndex() < 0)
        return QString();
    ParamSettings s;
    s.asAddress = cbASAddress->currentIndex();
    s.asFixed = chkASFix->isChecked();
    s.rContactTime = cbRTime->currentIndex();
    s.indoorDeviceTime = cbDevAudioTime->currentIndex();
    s.useAsLight = chkUseAsLight->isChecked();
    return WriteParamSettings(s, ParamImage, m_dialogs);
}

void TForm2::btnSendParamsClick()
{
    if (cbRTime->currentIndex() < 0) {
        m_dialogs.error(QStringLiteral("Please select the R Contact time!"));
        return;
    }
    const QString block = CreateParamsStr();
    if (block.isEmpty()) {
        m_dialogs.error(QStringLiteral("Parameter block [") + ParamImage +
                        QStringLiteral("] is not valid!"));
        return;
    }
    ParamImage = block;
    // An "Init memory" write that never reached its reset leaves the mode
    // set; this write must not run that one's follow-up.
    InitMemoryMode = false;
    startParamWrite();
    accept();
}

void TForm2::btnOptionClick(QWidget *btnOption, const DeviceTable &tblDeviceSerials)
{
    InitParams1->setEnabled(tblDeviceSerials.hasCurrent() && tblDeviceSerials.seriesCode() == 2);
    const QPoint below =
        btnOption ? btnOption->mapToGlobal(QPoint(0, btnOption->height())) : QCursor::pos();
    InitMenu->popup(below);
}

void TForm2::InitParams1Click()
{
    InitMemoryMode = true;
    ParamImage = QString::fromLatin1(DefaultParamBlock);
    startParamWrite();
}

void TForm2::startParamWrite()
{
    if (m_startParamWrite)
        m_startParamWrite();
}
