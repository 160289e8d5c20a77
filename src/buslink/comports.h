#pragma once

#include <QList>
#include <QString>

constexpr int MaxComPort = 256;

// Device behind COM port `n`. Windows: COMn. Linux: the path in
// KORVEL_COM<n> when set (how a simulator's pseudo-terminal becomes a COM
// port), else /dev/ttyS<n-1> (1..32), /dev/ttyUSB<n-33> (33..64),
// /dev/ttyACM<n-65> (65..96); empty when n maps to nothing.
QString ComPortDevice(int n);

// True when the port's device exists and can be opened or is in use.
bool ComPortExists(int n);

// Ascending numbers of the existing ports.
QList<int> ExistingComPorts();
