#pragma once

#include <QString>

// What the button-state rule looks at.
struct ButtonInputs {
    int deviceRows = 0;
    QString portText;          // the selected entry of the port list; empty when none
    bool currentDeviceIsMain = false;
    int phoneRows = 0;
    int programmingFiles = 0;
    int testFiles = 0;
};

struct ButtonStates {
    bool readSN = false;
    bool import = false;
    bool params = false;
    bool option = false;
    bool sendSN = false;
    bool exportList = false;
    bool editTXT = false;
    bool renameTXT = false;
    bool deleteTXT = false;

    bool operator==(const ButtonStates &o) const
    {
        return readSN == o.readSN && import == o.import && params == o.params &&
               option == o.option && sendSN == o.sendSN && exportList == o.exportList &&
               editTXT == o.editTXT && renameTXT == o.renameTXT && deleteTXT == o.deleteTXT;
    }
};

ButtonStates ComputeButtonStates(const ButtonInputs &in);
