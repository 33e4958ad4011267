#pragma once

#include <QLoggingCategory>

// What start-up, the command line and the command channel report; off by default like every papirol2.* one.
Q_DECLARE_LOGGING_CATEGORY(lcDemarrage)
