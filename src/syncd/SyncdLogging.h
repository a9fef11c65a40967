#pragma once

#include <QLoggingCategory>

// The sync server's log: a program of its own beside the application's areas.
Q_DECLARE_LOGGING_CATEGORY(lcSyncd)
