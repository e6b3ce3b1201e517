// The port thread's synchronous call onto the GUI thread, built on Qt's blocking queued
// invocation. The context object lives on the GUI thread and must outlive the port thread.
#pragma once

#include "Portthread.h"

class QObject;

namespace quorvel {

TMainThreadCall QtMainThreadCall(QObject* context);

} // namespace quorvel
