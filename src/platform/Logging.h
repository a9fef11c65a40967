#pragma once

#include <QLoggingCategory>

// Logging categories, one per area. Log lines keep the exact words other
// people and programs rely on; categories only tell where they come from.
Q_DECLARE_LOGGING_CATEGORY(lcStore)     // object store over SQLite
Q_DECLARE_LOGGING_CATEGORY(lcModel)     // lists, items, identifiers, ordering
Q_DECLARE_LOGGING_CATEGORY(lcDocument)  // the open document and its operations
Q_DECLARE_LOGGING_CATEGORY(lcSync)      // wire messages, payloads, merges
Q_DECLARE_LOGGING_CATEGORY(lcUi)        // item models, bindings, transformers, themes
Q_DECLARE_LOGGING_CATEGORY(lcApp)       // application shell, store files
