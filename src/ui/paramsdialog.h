#pragma once

#include <QDialog>
#include <QString>

#include <functional>

class DeviceTable;
class Dialogs;
class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QMenu;
class QPushButton;

// The parameters dialog: shows and edits the five settings of the MAIN door
// station's parameter block. It also carries the "Init memory" pop-up of the
// main window's "+" button, since both start the parameter write.
class TForm2 : public QDialog
{
    Q_OBJECT
public:
    // `paramImage` and `initMemoryMode` are the engine's `ParamImage` and
    // `InitMemoryMode`; they outlive the dialog.
    TForm2(Dialogs &dialogs, QString &paramImage, bool &initMemoryMode, QWidget *parent = nullptr);

    // Starts the parameter write for the device table's current row, with
    // `ParamImage` already set; filled in by the write code.
    void setStartParamWrite(std::function<void()> start) { m_startParamWrite = std::move(start); }

    // Sets the controls from `ParamImage`. A block that is not 16 hexadecimal
    // digits gets an error box, leaves the controls as they were and gives
    // false: the dialog must then not be shown.
    bool FillParamsDialog();
    // A new 16-digit block from the controls and `ParamImage`; empty when a
    // list has no selection or `ParamImage` is not a block.
    QString CreateParamsStr() const;

    // The "+" button: "Init memory" only for a Pentry current row; the menu
    // opens below `btnOption`.
    void btnOptionClick(QWidget *btnOption, const DeviceTable &tblDeviceSerials);

    QGroupBox *gbSettings;
    QComboBox *cbASAddress;
    QCheckBox *chkASFix;
    QComboBox *cbRTime;
    QComboBox *cbDevAudioTime;
    QCheckBox *chkUseAsLight;
    QPushButton *btnSendParams;
    QPushButton *btnCancel;
    QMenu *InitMenu;
    QAction *InitParams1;

public slots:
    void btnSendParamsClick();
    void InitParams1Click();

private:
    void startParamWrite();

    Dialogs &m_dialogs;
    QString &ParamImage;
    bool &InitMemoryMode;
    std::function<void()> m_startParamWrite;
};
