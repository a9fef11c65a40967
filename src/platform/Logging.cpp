#include "Logging.h"

Q_LOGGING_CATEGORY(lcStore, "corvane.store")
Q_LOGGING_CATEGORY(lcModel, "corvane.model")
Q_LOGGING_CATEGORY(lcDocument, "corvane.document")
Q_LOGGING_CATEGORY(lcSync, "corvane.sync")
Q_LOGGING_CATEGORY(lcUi, "corvane.ui")
Q_LOGGING_CATEGORY(lcApp, "corvane.app")
