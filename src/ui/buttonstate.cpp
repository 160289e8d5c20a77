#include "buttonstate.h"

ButtonStates ComputeButtonStates(const ButtonInputs &in)
{
    ButtonStates s;
    const bool ready =
        in.deviceRows > 0 && !in.portText.isEmpty() && in.portText != QLatin1String("offline");
    s.readSN = s.import = ready;
    s.params = s.option = ready && in.currentDeviceIsMain;
    s.sendSN = s.exportList = ready && in.phoneRows > 0;
    s.editTXT = s.renameTXT = s.deleteTXT = in.programmingFiles > 0 || in.testFiles > 0;
    return s;
}
