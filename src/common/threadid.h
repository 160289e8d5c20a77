#pragma once

#include <QtGlobal>

// The operating system's ID of the calling thread, as log lines about
// worker threads show it.
quint64 CurrentOsThreadId();
